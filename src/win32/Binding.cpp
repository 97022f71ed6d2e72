#include "ComPageImages.h"
#include "Win32DialogViews.h"
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
  SetPlatformServices({&Locale, &CodePage, &Url, &RunningObjects, &win32::Win32DialogViews(), &Windows, &Resources,
                       &Mail, &PageImages});
}

}  // namespace pel
