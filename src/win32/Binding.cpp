#include "ComPageImages.h"
#include "Win32RunningObjects.h"
#include "Win32Services.h"
#include "Win32Url.h"
#include "Win32Windows.h"

namespace pel {

void InstallPlatformBinding() {
  static const win32::TWin32Locale Locale;
  static const win32::TAnsiCodePage CodePage;
  static const win32::TWinInetUrlServices Url;
  static win32::TWin32RunningObjectTable RunningObjects;
  static const win32::TWin32Windows Windows;
  static const win32::TWin32Resources Resources;
  static const win32::TWin32Mail Mail;
  static const win32::TComPageImages PageImages;
  // No dialog views yet: a dialog the core asks for is not shown, as when it could not be created.
  SetPlatformServices({&Locale, &CodePage, &Url, &RunningObjects, nullptr, &Windows, &Resources, &Mail, &PageImages});
}

}  // namespace pel
