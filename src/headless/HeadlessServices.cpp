#include "HeadlessServices.h"

#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/uloc.h>

#include "platform/Exceptions.h"

namespace pel::headless {

// One collator at tertiary strength compares like the locale's case-sensitive comparison. Ignoring
// case compares the lower-cased texts with it: a weaker strength would also ignore width and kana
// type ("ＡＢＣ" equal to "abc"), which the platform's comparison does not. Read-only use of a
// collator is thread-safe.
struct THeadlessLocale::TImpl {
  UCollator* WithCase = nullptr;
  AnsiString LocaleName;
};

namespace {
UCollator* OpenCollator(const char* Locale, UColAttributeValue Strength) {
  UErrorCode Status = U_ZERO_ERROR;
  UCollator* C = ucol_open(Locale, &Status);
  if (U_FAILURE(Status)) throw Exception(AnsiString("Cannot open collator: ") + u_errorName(Status));
  ucol_setStrength(C, Strength);
  return C;
}

int Order(UCollationResult R) { return R == UCOL_LESS ? -1 : R == UCOL_GREATER ? 1 : 0; }
}  // namespace

THeadlessLocale::THeadlessLocale() : FImpl(new TImpl) {
  FImpl->LocaleName = uloc_getDefault();
  // Without a configured locale ICU reports en_US_POSIX, whose collation tells case apart at the
  // first level; a user locale never does, so fall back to the plain language of that locale.
  if (FImpl->LocaleName.find("POSIX") != AnsiString::npos) FImpl->LocaleName = "en_US";
  FImpl->WithCase = OpenCollator(FImpl->LocaleName.c_str(), UCOL_TERTIARY);
}

THeadlessLocale::~THeadlessLocale() {
  ucol_close(FImpl->WithCase);
  delete FImpl;
}

int THeadlessLocale::CompareText(const WideString& A, const WideString& B) const {
  return CompareStr(LowerCase(A), LowerCase(B));
}

int THeadlessLocale::CompareStr(const WideString& A, const WideString& B) const {
  return Order(ucol_strcoll(FImpl->WithCase, A.data(), static_cast<int32_t>(A.size()), B.data(),
                            static_cast<int32_t>(B.size())));
}

WideString THeadlessLocale::LowerCase(const WideString& Text) const {
  // The platform lowers one UTF-16 unit for one, without context: "İ" becomes "i" (not "i" and a
  // combining dot), a final sigma stays "σ", and surrogates are left alone.
  WideString Result = Text;
  for (char16_t& C : Result) {
    if (C >= 0xD800 && C <= 0xDFFF) continue;
    const UChar32 Lower = u_tolower(C);
    if (Lower <= 0xFFFF) C = static_cast<char16_t>(Lower);
  }
  return Result;
}

namespace {
// Windows-1252 bytes 0x80-0x9F. The five bytes Windows leaves undefined map to the C1 controls of
// the same number, as Windows' own conversion does.
constexpr char16_t High1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

int ToByte(char32_t C) {
  if (C < 0x80 || (C >= 0xA0 && C <= 0xFF)) return static_cast<int>(C);
  for (int I = 0; I < 32; ++I)
    if (High1252[I] == C) return 0x80 + I;
  return -1;
}
}  // namespace

AnsiString TWindows1252CodePage::FromWide(const WideString& Text) const {
  AnsiString Result;
  Result.reserve(Text.size());
  for (size_t I = 0; I < Text.size(); ++I) {
    const char16_t C = Text[I];
    // A surrogate pair is one character, and so one "?".
    if (C >= 0xD800 && C <= 0xDBFF && I + 1 < Text.size() && Text[I + 1] >= 0xDC00 && Text[I + 1] <= 0xDFFF) ++I;
    const int B = (C >= 0xD800 && C <= 0xDFFF) ? -1 : ToByte(C);
    Result.push_back(B < 0 ? '?' : static_cast<char>(B));
  }
  return Result;
}

WideString TWindows1252CodePage::ToWide(const AnsiString& Text) const {
  WideString Result;
  Result.reserve(Text.size());
  for (unsigned char B : Text) Result.push_back(B >= 0x80 && B <= 0x9F ? High1252[B - 0x80] : char16_t(B));
  return Result;
}

}  // namespace pel::headless
