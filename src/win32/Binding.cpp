#include "Win32Services.h"

namespace pel {

void InstallPlatformBinding() {
  static const win32::TWin32Locale Locale;
  static const win32::TAnsiCodePage CodePage;
  SetPlatformServices({&Locale, &CodePage});
}

}  // namespace pel
