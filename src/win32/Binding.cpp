#include "Win32Services.h"
#include "Win32Url.h"

namespace pel {

void InstallPlatformBinding() {
  static const win32::TWin32Locale Locale;
  static const win32::TAnsiCodePage CodePage;
  static const win32::TWinInetUrlServices Url;
  SetPlatformServices({&Locale, &CodePage, &Url});
}

}  // namespace pel
