#include "Variant.h"

#include "Exceptions.h"

namespace pel {

namespace {

const char* TypeName(TVarType T) {
  switch (T) {
    case TVarType::Empty: return "Empty";
    case TVarType::Null: return "Null";
    case TVarType::Boolean: return "Boolean";
    case TVarType::Integer: return "Integer";
    case TVarType::Cardinal: return "Cardinal";
    case TVarType::String: return "String";
    case TVarType::ByteArray: return "Array Byte";
    case TVarType::StringArray: return "Array String";
    case TVarType::Object: return "Unknown";
    case TVarType::ByRef: return "ByRef";
  }
  return "?";
}

[[noreturn]] void CannotConvert(TVarType From, const char* To) {
  throw EVariantError(AnsiString("Could not convert variant of type (") + TypeName(From) + ") into type (" + To +
                      ")");
}

[[noreturn]] void NotAnArray() { throw EVariantError("Variant is not an array"); }

}  // namespace

TVariant TVariant::Null() {
  TVariant V;
  V.FValue = TNull{};
  return V;
}

TVariant TVariant::Ref(TVariant& Target) {
  TVariant V;
  V.FValue = &Target;
  return V;
}

bool TVariant::AsBoolean() const {
  switch (VarType()) {
    case TVarType::Boolean: return std::get<bool>(FValue);
    case TVarType::Integer: return std::get<int32_t>(FValue) != 0;
    case TVarType::Cardinal: return std::get<uint32_t>(FValue) != 0;
    case TVarType::ByRef: return Target().AsBoolean();
    default: CannotConvert(VarType(), "Boolean");
  }
}

int32_t TVariant::AsInteger() const {
  switch (VarType()) {
    case TVarType::Empty: return 0;
    case TVarType::Boolean: return std::get<bool>(FValue) ? -1 : 0;
    case TVarType::Integer: return std::get<int32_t>(FValue);
    case TVarType::Cardinal: {
      const uint32_t U = std::get<uint32_t>(FValue);
      if (U > 0x7FFFFFFFu) CannotConvert(VarType(), "Integer");
      return static_cast<int32_t>(U);
    }
    case TVarType::String: {
      const WideString& S = std::get<WideString>(FValue);
      size_t I = 0;
      bool Negative = false;
      if (I < S.size() && (S[I] == u'-' || S[I] == u'+')) Negative = S[I++] == u'-';
      if (I == S.size()) CannotConvert(VarType(), "Integer");
      int64_t V = 0;
      for (; I < S.size(); ++I) {
        if (S[I] < u'0' || S[I] > u'9') CannotConvert(VarType(), "Integer");
        V = V * 10 + (S[I] - u'0');
        if (V > 0x80000000LL) CannotConvert(VarType(), "Integer");
      }
      if (Negative) V = -V;
      if (V > 0x7FFFFFFFLL) CannotConvert(VarType(), "Integer");
      return static_cast<int32_t>(V);
    }
    case TVarType::ByRef: return Target().AsInteger();
    default: CannotConvert(VarType(), "Integer");
  }
}

uint32_t TVariant::AsCardinal() const {
  switch (VarType()) {
    case TVarType::Empty: return 0;
    case TVarType::Integer: {
      const int32_t I = std::get<int32_t>(FValue);
      if (I < 0) CannotConvert(VarType(), "LongWord");
      return static_cast<uint32_t>(I);
    }
    case TVarType::Cardinal: return std::get<uint32_t>(FValue);
    case TVarType::String: {
      const WideString& S = std::get<WideString>(FValue);
      size_t I = 0;
      if (I < S.size() && S[I] == u'+') ++I;
      if (I == S.size()) CannotConvert(VarType(), "LongWord");
      uint64_t V = 0;
      for (; I < S.size(); ++I) {
        if (S[I] < u'0' || S[I] > u'9') CannotConvert(VarType(), "LongWord");
        V = V * 10 + (S[I] - u'0');
        if (V > 0xFFFFFFFFull) CannotConvert(VarType(), "LongWord");
      }
      return static_cast<uint32_t>(V);
    }
    case TVarType::ByRef: return Target().AsCardinal();
    default: CannotConvert(VarType(), "LongWord");
  }
}

WideString TVariant::AsWideString() const {
  switch (VarType()) {
    case TVarType::Empty: return {};
    case TVarType::Null: return {};
    case TVarType::Boolean: return std::get<bool>(FValue) ? u"True" : u"False";
    case TVarType::Integer: return IntToWideStr(std::get<int32_t>(FValue));
    case TVarType::Cardinal: return IntToWideStr(std::get<uint32_t>(FValue));
    case TVarType::String: return std::get<WideString>(FValue);
    case TVarType::ByRef: return Target().AsWideString();
    default: CannotConvert(VarType(), "String");
  }
}

const TVariant::TBytes& TVariant::AsBytes() const {
  if (VarType() == TVarType::ByRef) return Target().AsBytes();
  if (VarType() != TVarType::ByteArray) CannotConvert(VarType(), "Array Byte");
  return std::get<TBytes>(FValue);
}

const TVariant::TStrings& TVariant::AsStrings() const {
  if (VarType() == TVarType::ByRef) return Target().AsStrings();
  if (VarType() != TVarType::StringArray) CannotConvert(VarType(), "Array String");
  return std::get<TStrings>(FValue);
}

TVariant::TObject TVariant::AsObject() const {
  switch (VarType()) {
    case TVarType::Empty: return nullptr;
    case TVarType::Object: return std::get<TObject>(FValue);
    case TVarType::ByRef: return Target().AsObject();
    default: CannotConvert(VarType(), "Unknown");
  }
}

TVariant& TVariant::Target() const {
  if (VarType() != TVarType::ByRef) throw EVariantError("Variant is not a reference");
  return *std::get<TVariant*>(FValue);
}

int32_t TVariant::ArrayLowBound() const {
  if (!IsArray()) NotAnArray();
  return 0;
}

int32_t TVariant::ArrayHighBound() const {
  switch (VarType()) {
    case TVarType::ByteArray: return static_cast<int32_t>(std::get<TBytes>(FValue).size()) - 1;
    case TVarType::StringArray: return static_cast<int32_t>(std::get<TStrings>(FValue).size()) - 1;
    default: NotAnArray();
  }
}

WideString TVariant::ArrayElementAsWideString(int32_t Index) const {
  if (Index < ArrayLowBound() || Index > ArrayHighBound()) throw EVariantError("Variant array index out of bounds");
  if (VarType() == TVarType::ByteArray) return IntToWideStr(std::get<TBytes>(FValue)[Index]);
  return std::get<TStrings>(FValue)[Index];
}

}  // namespace pel
