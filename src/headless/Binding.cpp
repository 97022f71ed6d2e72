#include "HeadlessServices.h"

namespace pel {

void InstallPlatformBinding() {
  static const headless::THeadlessLocale Locale;
  static const headless::TWindows1252CodePage CodePage;
  SetPlatformServices({&Locale, &CodePage});
}

}  // namespace pel
