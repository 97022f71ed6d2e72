#include "Win32Services.h"

#include <windows.h>

#include "platform/Exceptions.h"

namespace pel::win32 {

namespace {
static_assert(sizeof(wchar_t) == sizeof(char16_t));

const wchar_t* W(const WideString& S) { return reinterpret_cast<const wchar_t*>(S.data()); }

int Compare(DWORD Flags, const WideString& A, const WideString& B) {
  const int R = CompareStringW(LOCALE_USER_DEFAULT, Flags, W(A), static_cast<int>(A.size()), W(B),
                               static_cast<int>(B.size()));
  if (R == 0) throw Exception("CompareStringW failed (" + std::to_string(GetLastError()) + ")");
  return R - CSTR_EQUAL;
}
}  // namespace

int TWin32Locale::CompareText(const WideString& A, const WideString& B) const {
  return Compare(NORM_IGNORECASE, A, B);
}

int TWin32Locale::CompareStr(const WideString& A, const WideString& B) const { return Compare(0, A, B); }

WideString TWin32Locale::LowerCase(const WideString& Text) const {
  WideString Result = Text;
  if (!Result.empty()) CharLowerBuffW(reinterpret_cast<wchar_t*>(Result.data()), static_cast<DWORD>(Result.size()));
  return Result;
}

AnsiString TAnsiCodePage::FromWide(const WideString& Text) const {
  if (Text.empty()) return {};
  const int Length = static_cast<int>(Text.size());
  // No best-fit mapping: a character the code page lacks becomes "?", never a look-alike.
  const int N = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, W(Text), Length, nullptr, 0, "?", nullptr);
  AnsiString Result(static_cast<size_t>(N), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, W(Text), Length, Result.data(), N, "?", nullptr);
  return Result;
}

WideString TAnsiCodePage::ToWide(const AnsiString& Text) const {
  if (Text.empty()) return {};
  const int Length = static_cast<int>(Text.size());
  const int N = MultiByteToWideChar(CP_ACP, 0, Text.data(), Length, nullptr, 0);
  WideString Result(static_cast<size_t>(N), u'\0');
  MultiByteToWideChar(CP_ACP, 0, Text.data(), Length, reinterpret_cast<wchar_t*>(Result.data()), N);
  return Result;
}

}  // namespace pel::win32
