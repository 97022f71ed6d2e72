// Entry points of the in-process COM server. The classes it serves arrive with the browser helper,
// the automation agent and the toolbar band; until then it serves none and registers nothing.

#include <windows.h>
#include <objbase.h>

#include "platform/Services.h"

namespace {
HINSTANCE GModule = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE Instance, DWORD Reason, LPVOID) {
  if (Reason == DLL_PROCESS_ATTACH) {
    GModule = Instance;
    DisableThreadLibraryCalls(Instance);
    pel::InstallPlatformBinding();
  }
  return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID, REFIID, LPVOID* Object) {
  if (Object) *Object = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return S_OK; }

extern "C" HRESULT WINAPI DllRegisterServer() { return S_OK; }

extern "C" HRESULT WINAPI DllUnregisterServer() { return S_OK; }
