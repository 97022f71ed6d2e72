#include "Services.h"

#include <atomic>

#include "Exceptions.h"

namespace pel {

namespace {
std::atomic<const ILocale*> GLocale{nullptr};
std::atomic<const ICodePage*> GCodePage{nullptr};
}  // namespace

void SetPlatformServices(const TPlatformServices& Services) {
  GLocale.store(Services.Locale);
  GCodePage.store(Services.CodePage);
}

const ILocale& Locale() {
  const ILocale* L = GLocale.load();
  if (!L) throw Exception("No platform binding installed (locale)");
  return *L;
}

const ICodePage& CodePage() {
  const ICodePage* C = GCodePage.load();
  if (!C) throw Exception("No platform binding installed (code page)");
  return *C;
}

}  // namespace pel
