#pragma once
// Portable value types shared by the core and both platform bindings.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <typeinfo>

namespace pel {

// Page and card text is UTF-16 throughout; 8-bit text is in the system code page.
using WideString = std::u16string;
using AnsiString = std::string;
using WideChar = char16_t;

// Base of every interface whose lifetime is "as long as references exist". Interfaces derive from
// it virtually, so that one object can answer several of them through one IInterface reference.
class IInterface {
public:
  virtual ~IInterface() = default;
};

namespace Detail {
// A cast sideways between interfaces searches the whole class hierarchy of the object, virtual
// bases and all, every time; the core asks the elements of a page for their kinds by the thousand.
// Where the interface lies in an object (or that it is absent) depends only on the object's class
// and on where the reference points into it, so the last few answers are kept per thread. Classes
// are told apart by their type information's address: two of them for one class (across modules)
// only cost a second search.
template <class TInterface, class TFrom>
TInterface* CachedCast(TFrom* From) {
  struct TEntry {
    const std::type_info* Type = nullptr;
    std::ptrdiff_t FromOffset = 0;
    std::ptrdiff_t ToOffset = 0;
    bool Found = false;
  };
  constexpr unsigned Slots = 8;
  static thread_local TEntry Entries[Slots];
  static thread_local unsigned Next = 0;
  const std::type_info* Type = &typeid(*From);
  char* const Whole = static_cast<char*>(dynamic_cast<void*>(From));
  const std::ptrdiff_t FromOffset = reinterpret_cast<char*>(From) - Whole;
  for (const TEntry& E : Entries)
    if (E.Type == Type && E.FromOffset == FromOffset)
      return E.Found ? reinterpret_cast<TInterface*>(Whole + E.ToOffset) : nullptr;
  TInterface* To = dynamic_cast<TInterface*>(From);
  Entries[Next++ % Slots] = {Type, FromOffset, To ? reinterpret_cast<char*>(To) - Whole : 0, To != nullptr};
  return To;
}
}  // namespace Detail

// "Answers interface X": the typed query on an object reference; null when it does not.
template <class TInterface, class TFrom>
std::shared_ptr<TInterface> Supports(const std::shared_ptr<TFrom>& Object) {
  if constexpr (std::is_base_of_v<TInterface, TFrom>) {
    return Object;
  } else {
    if (!Object) return nullptr;
    if (TInterface* To = Detail::CachedCast<TInterface>(Object.get())) return std::shared_ptr<TInterface>(Object, To);
    return nullptr;
  }
}

struct TGUID {
  uint32_t Data1 = 0;
  uint16_t Data2 = 0;
  uint16_t Data3 = 0;
  uint8_t Data4[8] = {};

  bool IsNull() const;
  friend bool operator==(const TGUID&, const TGUID&) = default;
};

// Registry form: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hex.
AnsiString GUIDToString(const TGUID& Guid);
WideString GUIDToWideString(const TGUID& Guid);
// Accepts either case of hex digits; anything else raises EOleSysError ("Invalid class string").
TGUID StringToGUID(const AnsiString& Text);
TGUID StringToGUID(const WideString& Text);

// Decimal text of an integer, in either string kind.
AnsiString IntToStr(int64_t Value);
WideString IntToWideStr(int64_t Value);

// Lower-casing of the ASCII letters only, for tag names, types and protocol keywords, which the
// platform compares that way whatever the user's locale.
WideString AsciiLowerCase(WideString Text);

// ASCII-only widening/narrowing for literals and numbers; real text goes through the code-page port.
WideString AsciiToWide(const AnsiString& Text);
// UTF-8 both ways, exactly reversible: a surrogate pair is four bytes, every other unit (a lone
// surrogate included) its one to three bytes. Bytes that are no UTF-8 read as U+FFFD each.
std::string WideToUtf8(const WideString& Text);
WideString Utf8ToWide(const std::string& Text);
AnsiString WideToAscii(const WideString& Text);

}  // namespace pel
