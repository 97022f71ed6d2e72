#include "ComServer.h"

#include <oleauto.h>

#include <new>

#include "Brivane.h"
#include "ComObject.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace pel::win32 {

namespace {
HINSTANCE GInstance = nullptr;
std::atomic<long> GObjects{0};
std::atomic<long> GLocks{0};

[[noreturn]] void RaiseRegistryError(LONG Error, const std::wstring& Key) {
  const HRESULT Result = HRESULT_FROM_WIN32(static_cast<DWORD>(Error));
  throw EOleSysError(OleErrorMessage(Result) + " (" + WideToAnsi(WideString(Key.begin(), Key.end())) + ")",
                     static_cast<int32_t>(Result));
}

const wchar_t* ThreadingModelName(TThreadingModel Model) {
  switch (Model) {
    case TThreadingModel::Apartment: return L"Apartment";
    case TThreadingModel::Free: return L"Free";
    case TThreadingModel::Both: return L"Both";
    case TThreadingModel::Neutral: return L"Neutral";
    case TThreadingModel::Single: break;
  }
  return nullptr;
}

// The module's file name as the registry carries it: the short form when it contains a space,
// since some hosts split an unquoted server path at the first space.
std::wstring RegisteredFileName() {
  std::wstring Name = TComModule::FileName();
  if (Name.find(L' ') == std::wstring::npos) return Name;
  const DWORD Length = GetShortPathNameW(Name.c_str(), nullptr, 0);
  if (Length == 0) return Name;
  std::wstring Short(Length, L'\0');
  const DWORD Written = GetShortPathNameW(Name.c_str(), Short.data(), Length);
  if (Written == 0 || Written >= Length) return Name;
  Short.resize(Written);
  return Short;
}
}  // namespace

// ---------------------------------------------------------------- module

void TComModule::SetInstance(HINSTANCE Instance) { GInstance = Instance; }
HINSTANCE TComModule::Instance() { return GInstance; }

std::wstring TComModule::FileName() {
  std::wstring Name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD Length = GetModuleFileNameW(GInstance, Name.data(), static_cast<DWORD>(Name.size()));
    if (Length == 0) return std::wstring();
    if (Length < Name.size()) {
      Name.resize(Length);
      return Name;
    }
    Name.resize(Name.size() * 2);
  }
}

void TComModule::ObjectCreated() { ++GObjects; }
void TComModule::ObjectDestroyed() { --GObjects; }
void TComModule::LockServer(bool Lock) { Lock ? ++GLocks : --GLocks; }
bool TComModule::CanUnload() { return GObjects == 0 && GLocks == 0; }
long TComModule::ObjectCount() { return GObjects; }

// ---------------------------------------------------------------- registry

std::wstring GUIDToRegistryString(const GUID& Guid) {
  wchar_t Text[39];
  swprintf(Text, 39, L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", static_cast<unsigned long>(Guid.Data1),
           Guid.Data2, Guid.Data3, Guid.Data4[0], Guid.Data4[1], Guid.Data4[2], Guid.Data4[3], Guid.Data4[4],
           Guid.Data4[5], Guid.Data4[6], Guid.Data4[7]);
  return Text;
}

void CreateRegKey(HKEY Root, const std::wstring& Key, const std::wstring& ValueName, const std::wstring& Value) {
  HKEY Handle = nullptr;
  LONG Error = RegCreateKeyExW(Root, Key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &Handle,
                               nullptr);
  if (Error != ERROR_SUCCESS) RaiseRegistryError(Error, Key);
  Error = RegSetValueExW(Handle, ValueName.empty() ? nullptr : ValueName.c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(Value.c_str()),
                         static_cast<DWORD>((Value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(Handle);
  if (Error != ERROR_SUCCESS) RaiseRegistryError(Error, Key);
}

void DeleteRegKey(HKEY Root, const std::wstring& Key) { RegDeleteKeyW(Root, Key.c_str()); }

void DeleteRegTree(HKEY Root, const std::wstring& Key) {
  if (RegDeleteTreeW(Root, Key.c_str()) == ERROR_SUCCESS) RegDeleteKeyW(Root, Key.c_str());
}

// ---------------------------------------------------------------- factories

TComObjectFactory::TComObjectFactory(const CLSID& ClassID, std::wstring ClassName, std::wstring Description,
                                     TInstancing Instancing, TThreadingModel ThreadingModel)
    : FClassID(ClassID),
      FClassName(std::move(ClassName)),
      FDescription(std::move(Description)),
      FInstancing(Instancing),
      FThreadingModel(ThreadingModel) {}

std::wstring TComObjectFactory::ProgID() const {
  if (FClassName.empty()) return std::wstring();
  return std::wstring(TComServer::ServerName) + L"." + FClassName;
}

void TComObjectFactory::UpdateRegistry(bool Register) {
  if (FInstancing == TInstancing::Internal) return;
  const std::wstring ClassKey = L"CLSID\\" + GUIDToRegistryString(FClassID);
  const std::wstring Prog = ProgID();
  if (Register) {
    CreateRegKey(HKEY_CLASSES_ROOT, ClassKey, L"", FDescription);
    CreateRegKey(HKEY_CLASSES_ROOT, ClassKey + L"\\InprocServer32", L"", RegisteredFileName());
    // An in-process server that leaves the model unnamed is loaded into the main apartment only.
    if (const wchar_t* Model = ThreadingModelName(FThreadingModel))
      CreateRegKey(HKEY_CLASSES_ROOT, ClassKey + L"\\InprocServer32", L"ThreadingModel", Model);
    if (!Prog.empty()) {
      CreateRegKey(HKEY_CLASSES_ROOT, Prog, L"", FDescription);
      CreateRegKey(HKEY_CLASSES_ROOT, Prog + L"\\Clsid", L"", GUIDToRegistryString(FClassID));
      CreateRegKey(HKEY_CLASSES_ROOT, ClassKey + L"\\ProgID", L"", Prog);
    }
  } else {
    if (!Prog.empty()) {
      DeleteRegKey(HKEY_CLASSES_ROOT, ClassKey + L"\\ProgID");
      DeleteRegKey(HKEY_CLASSES_ROOT, Prog + L"\\Clsid");
      DeleteRegKey(HKEY_CLASSES_ROOT, Prog);
    }
    DeleteRegKey(HKEY_CLASSES_ROOT, ClassKey + L"\\InprocServer32");
    DeleteRegKey(HKEY_CLASSES_ROOT, ClassKey);
  }
}

HRESULT STDMETHODCALLTYPE TComObjectFactory::QueryInterface(REFIID Riid, void** Object) {
  if (!Object) return E_POINTER;
  if (IsEqualIID(Riid, IID_IUnknown) || IsEqualIID(Riid, IID_IClassFactory)) {
    *Object = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  *Object = nullptr;
  return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE TComObjectFactory::CreateInstance(IUnknown* Outer, REFIID Riid, void** Object) {
  if (!Object) return E_POINTER;
  *Object = nullptr;
  if (Outer) return CLASS_E_NOAGGREGATION;
  try {
    IUnknown* Created = CreateComObject();
    const HRESULT Result = Created->QueryInterface(Riid, Object);
    Created->Release();
    return Result;
  } catch (const EOleSysError& E) {
    return FAILED(E.ErrorCode) ? E.ErrorCode : E_FAIL;
  } catch (const Exception&) {
    return E_FAIL;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT STDMETHODCALLTYPE TComObjectFactory::LockServer(BOOL Lock) {
  TComModule::LockServer(Lock != FALSE);
  return S_OK;
}

void TTypedComObjectFactory::UpdateRegistry(bool Register) {
  const std::wstring ClassKey = L"CLSID\\" + GUIDToRegistryString(ClassID());
  if (Register) {
    TComObjectFactory::UpdateRegistry(true);
    // Late-binding clients find the class's type information through these.
    CreateRegKey(HKEY_CLASSES_ROOT, ClassKey + L"\\TypeLib", L"", GUIDToRegistryString(LIBID_Brivane));
    CreateRegKey(HKEY_CLASSES_ROOT, ClassKey + L"\\Version", L"", L"1.0");
  } else {
    DeleteRegKey(HKEY_CLASSES_ROOT, ClassKey + L"\\TypeLib");
    DeleteRegKey(HKEY_CLASSES_ROOT, ClassKey + L"\\Version");
    TComObjectFactory::UpdateRegistry(false);
  }
}

// ---------------------------------------------------------------- server

TComServer& TComServer::Instance() {
  static TComServer Server;
  return Server;
}

void TComServer::AddFactory(std::unique_ptr<TComObjectFactory> Factory) { FFactories.push_back(std::move(Factory)); }

void TComServer::Clear() { FFactories.clear(); }

HRESULT TComServer::GetClassObject(REFCLSID ClassID, REFIID Riid, void** Object) {
  if (!Object) return E_POINTER;
  *Object = nullptr;
  for (const auto& Factory : FFactories)
    if (IsEqualCLSID(Factory->ClassID(), ClassID)) return Factory->QueryInterface(Riid, Object);
  return CLASS_E_CLASSNOTAVAILABLE;
}

void TComServer::UpdateTypeLibrary(bool Register) {
  const std::wstring FileName = TComModule::FileName();
  ITypeLib* Library = nullptr;
  HRESULT Result = LoadTypeLibEx(FileName.c_str(), REGKIND_NONE, &Library);
  if (FAILED(Result)) throw EOleSysError(OleErrorMessage(Result), Result);
  if (Register) {
    Result = RegisterTypeLib(Library, const_cast<OLECHAR*>(FileName.c_str()), nullptr);
  } else {
    TLIBATTR* Attributes = nullptr;
    Result = Library->GetLibAttr(&Attributes);
    if (SUCCEEDED(Result)) {
      // A library that is not registered has nothing to remove: unregistering twice succeeds.
      wchar_t Version[32];
      swprintf(Version, 32, L"\\%x.%x", Attributes->wMajorVerNum, Attributes->wMinorVerNum);
      HKEY Key = nullptr;
      if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (L"TypeLib\\" + GUIDToRegistryString(Attributes->guid) + Version).c_str(), 0,
                        KEY_READ, &Key) == ERROR_SUCCESS) {
        RegCloseKey(Key);
        Result = UnRegisterTypeLib(Attributes->guid, Attributes->wMajorVerNum, Attributes->wMinorVerNum,
                                   Attributes->lcid, Attributes->syskind);
      }
      Library->ReleaseTLibAttr(Attributes);
    }
  }
  Library->Release();
  if (FAILED(Result)) throw EOleSysError(OleErrorMessage(Result), Result);
}

HRESULT TComServer::UpdateRegistry(bool Register) {
  try {
    UpdateTypeLibrary(Register);
    for (const auto& Factory : FFactories) Factory->UpdateRegistry(Register);
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace pel::win32
