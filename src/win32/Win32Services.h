#pragma once
// The Windows binding's text services: the user locale's comparisons and the ANSI code page.

#include "platform/Services.h"

namespace pel::win32 {

class TWin32Locale : public ILocale {
public:
  int CompareText(const WideString& A, const WideString& B) const override;
  int CompareStr(const WideString& A, const WideString& B) const override;
  WideString LowerCase(const WideString& Text) const override;
};

class TAnsiCodePage : public ICodePage {
public:
  AnsiString FromWide(const WideString& Text) const override;
  WideString ToWide(const AnsiString& Text) const override;
};

}  // namespace pel::win32
