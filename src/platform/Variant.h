#pragma once
// The portable variant: what crosses the ports where the platform speaks OLE variants.

#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

#include "SysTypes.h"

namespace pel {

enum class TVarType { Empty, Null, Boolean, Integer, Cardinal, String, ByteArray, StringArray, Object, ByRef };

class TVariant {
public:
  struct TNull {
    friend bool operator==(TNull, TNull) { return true; }
  };
  using TBytes = std::vector<uint8_t>;
  using TStrings = std::vector<WideString>;
  using TObject = std::shared_ptr<IInterface>;

  TVariant() = default;
  TVariant(bool Value) : FValue(Value) {}
  TVariant(int32_t Value) : FValue(Value) {}
  TVariant(uint32_t Value) : FValue(Value) {}
  TVariant(WideString Value) : FValue(std::move(Value)) {}
  TVariant(const char16_t* Value) : FValue(WideString(Value)) {}
  // 8-bit text has no place in a variant (it would silently become a boolean).
  TVariant(const char*) = delete;
  TVariant(TBytes Value) : FValue(std::move(Value)) {}
  TVariant(TStrings Value) : FValue(std::move(Value)) {}
  TVariant(TObject Value) : FValue(std::move(Value)) {}

  static TVariant Null();
  // A slot the callee writes back into (an out or in-out argument of an event or call).
  static TVariant Ref(TVariant& Target);

  TVarType VarType() const { return static_cast<TVarType>(FValue.index()); }
  bool IsEmpty() const { return VarType() == TVarType::Empty; }
  bool IsNull() const { return VarType() == TVarType::Null; }
  bool IsEmptyOrNull() const { return IsEmpty() || IsNull(); }
  bool IsArray() const { return VarType() == TVarType::ByteArray || VarType() == TVarType::StringArray; }

  // Conversions raise EVariantError when the value cannot be had as the asked type.
  bool AsBoolean() const;
  int32_t AsInteger() const;
  // Unsigned 32-bit values (window handles, flags): a negative integer does not convert.
  uint32_t AsCardinal() const;
  WideString AsWideString() const;
  const TBytes& AsBytes() const;
  const TStrings& AsStrings() const;
  TObject AsObject() const;
  TVariant& Target() const;  // the slot of a by-reference variant

  // Arrays have low bound 0; ArrayHighBound is Count - 1.
  int32_t ArrayLowBound() const;
  int32_t ArrayHighBound() const;
  // Element Index of an array, as a wide string.
  WideString ArrayElementAsWideString(int32_t Index) const;

  friend bool operator==(const TVariant& A, const TVariant& B) { return A.FValue == B.FValue; }

private:
  std::variant<std::monostate, TNull, bool, int32_t, uint32_t, WideString, TBytes, TStrings, TObject, TVariant*>
      FValue;
};

}  // namespace pel
