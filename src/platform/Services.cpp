#include "Services.h"

#include <atomic>

#include "Exceptions.h"

namespace pel {

namespace {
std::atomic<const ILocale*> GLocale{nullptr};
std::atomic<const ICodePage*> GCodePage{nullptr};
std::atomic<const IUrlServices*> GUrl{nullptr};
std::atomic<IRunningObjectTable*> GRunningObjects{nullptr};
std::atomic<IDialogViews*> GDialogViews{nullptr};
std::atomic<const IWindowServices*> GWindows{nullptr};
std::atomic<const IResources*> GResources{nullptr};
std::atomic<const IMailServices*> GMail{nullptr};
std::atomic<const IPageImages*> GPageImages{nullptr};

template <class T>
T& Installed(const std::atomic<T*>& Slot, const char* What) {
  T* Service = Slot.load();
  if (!Service) throw Exception(AnsiString("The platform binding provides no ") + What);
  return *Service;
}
}  // namespace

void SetPlatformServices(const TPlatformServices& Services) {
  GLocale.store(Services.Locale);
  GCodePage.store(Services.CodePage);
  GUrl.store(Services.Url);
  GRunningObjects.store(Services.RunningObjects);
  GDialogViews.store(Services.DialogViews);
  GWindows.store(Services.Windows);
  GResources.store(Services.Resources);
  GMail.store(Services.Mail);
  GPageImages.store(Services.PageImages);
}

TPlatformServices CurrentPlatformServices() {
  return {GLocale.load(), GCodePage.load(), GUrl.load(), GRunningObjects.load(), GDialogViews.load(),
          GWindows.load(),  GResources.load(),    GMail.load(), GPageImages.load()};
}

const ILocale& Locale() { return Installed(GLocale, "locale"); }
const ICodePage& CodePage() { return Installed(GCodePage, "code page"); }
const IUrlServices& Url() { return Installed(GUrl, "URL services"); }
IRunningObjectTable& RunningObjects() { return Installed(GRunningObjects, "running-object table"); }
IDialogViews& DialogViews() { return Installed(GDialogViews, "dialog views"); }
const IWindowServices& WindowServices() { return Installed(GWindows, "window services"); }
const IResources& Resources() { return Installed(GResources, "resources"); }
const IMailServices& Mail() { return Installed(GMail, "mail services"); }

}  // namespace pel
