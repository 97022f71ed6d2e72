#include "HeadlessDialogs.h"
#include "HeadlessServices.h"
#include "HeadlessRunningObjectTable.h"
#include "HeadlessUrl.h"
#include "HeadlessWindows.h"

namespace pel {

void InstallPlatformBinding() {
  static const headless::THeadlessLocale Locale;
  static const headless::TWindows1252CodePage CodePage;
  static const headless::THeadlessUrlServices Url;
  static headless::THeadlessRunningObjectTable RunningObjects;
  static const headless::THeadlessResources Resources;
  static const headless::THeadlessPageImages PageImages;
  SetPlatformServices({&Locale, &CodePage, &Url, &RunningObjects, &headless::HeadlessDialogViews(),
                       &headless::HeadlessWindows(), &Resources, &headless::HeadlessMail(),
                       &PageImages});
}

}  // namespace pel
