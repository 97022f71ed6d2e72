#include "Win32RunningObjects.h"
#include "Win32Services.h"
#include "Win32Url.h"

namespace pel {

void InstallPlatformBinding() {
  static const win32::TWin32Locale Locale;
  static const win32::TAnsiCodePage CodePage;
  static const win32::TWinInetUrlServices Url;
  static win32::TWin32RunningObjectTable RunningObjects;
  SetPlatformServices({&Locale, &CodePage, &Url, &RunningObjects});
}

}  // namespace pel
