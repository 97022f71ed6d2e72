#pragma once
// The Linux binding's text services: ICU collation and case mapping under the process locale,
// and Windows-1252 as the system code page.

#include "platform/Services.h"

namespace pel::headless {

class THeadlessLocale : public ILocale {
public:
  THeadlessLocale();
  ~THeadlessLocale() override;
  int CompareText(const WideString& A, const WideString& B) const override;
  int CompareStr(const WideString& A, const WideString& B) const override;
  WideString LowerCase(const WideString& Text) const override;

private:
  struct TImpl;
  TImpl* FImpl;
};

class TWindows1252CodePage : public ICodePage {
public:
  AnsiString FromWide(const WideString& Text) const override;
  WideString ToWide(const AnsiString& Text) const override;
};

}  // namespace pel::headless
