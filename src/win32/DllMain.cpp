// Entry points of the in-process COM server: the class factories are made when the module loads,
// in the order the server registers and serves them, and freed when it unloads.

#include <windows.h>
#include <objbase.h>

#include "ComBVAgent.h"
#include "ComHelperObject.h"
#include "ComServer.h"
#include "auth/AuthAgentList.h"
#include "platform/Services.h"

using pel::win32::TComServer;

extern "C" BOOL WINAPI DllMain(HINSTANCE Instance, DWORD Reason, LPVOID Reserved) {
  if (Reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(Instance);
    pel::win32::TComModule::SetInstance(Instance);
    pel::InstallPlatformBinding();
    try {
      TComServer& Server = TComServer::Instance();
      Server.AddFactory(std::make_unique<pel::win32::TKXBrowserHelperObjectFactory>());
      Server.AddFactory(std::make_unique<pel::win32::TBVAgentFactory>());
      // The toolbar band's factory joins the list when the band arrives.
      pel::CreateAuthModuleObjects();
    } catch (...) {
      return FALSE;
    }
  } else if (Reason == DLL_PROCESS_DETACH) {
    // At process exit the other threads are gone and their windows with them: only an unload
    // frees the agents and removes the hooks.
    if (!Reserved) pel::DestroyAuthModuleObjects();
    TComServer::Instance().Clear();
  }
  return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID ClassID, REFIID Riid, LPVOID* Object) {
  return TComServer::Instance().GetClassObject(ClassID, Riid, Object);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return pel::win32::TComModule::CanUnload() ? S_OK : S_FALSE; }

extern "C" HRESULT WINAPI DllRegisterServer() { return TComServer::Instance().UpdateRegistry(true); }

extern "C" HRESULT WINAPI DllUnregisterServer() { return TComServer::Instance().UpdateRegistry(false); }
