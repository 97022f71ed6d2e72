#pragma once
// A locale that answers as the binding's own until told to fail, for tests that want to see which
// traced routines a failure crosses. TLocaleSwitch installs one for its lifetime and puts the
// binding's services back afterwards.

#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace pel::test {

class TSwitchableLocale : public ILocale {
public:
  explicit TSwitchableLocale(const ILocale& Real) : FReal(Real) {}
  bool Fail = false;
  int CompareText(const WideString& A, const WideString& B) const override {
    Check();
    return FReal.CompareText(A, B);
  }
  int CompareStr(const WideString& A, const WideString& B) const override {
    Check();
    return FReal.CompareStr(A, B);
  }
  WideString LowerCase(const WideString& Text) const override {
    Check();
    return FReal.LowerCase(Text);
  }

private:
  void Check() const {
    if (Fail) throw Exception("locale down");
  }
  const ILocale& FReal;
};

class TLocaleSwitch {
public:
  explicit TLocaleSwitch(bool Fail = false) : Locale(pel::Locale()) {
    Locale.Fail = Fail;
    TPlatformServices Services = CurrentPlatformServices();
    Services.Locale = &Locale;
    SetPlatformServices(Services);
  }
  ~TLocaleSwitch() { InstallPlatformBinding(); }
  TLocaleSwitch(const TLocaleSwitch&) = delete;
  TLocaleSwitch& operator=(const TLocaleSwitch&) = delete;
  TSwitchableLocale Locale;
};

}  // namespace pel::test
