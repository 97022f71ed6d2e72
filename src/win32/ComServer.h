#pragma once
// The library as an in-process COM server: its class factories in the order the module made
// them, the count of its live objects and factory locks, and the registry entries that let COM
// and the browser find its classes.

#include <windows.h>

#include <objbase.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace pel::win32 {

// What DllCanUnloadNow asks: the module stays loaded while any object it made lives or any of its
// factories is locked.
class TComModule {
public:
  static void SetInstance(HINSTANCE Instance);
  static HINSTANCE Instance();
  // The module's full file name.
  static std::wstring FileName();
  static void ObjectCreated();
  static void ObjectDestroyed();
  static void LockServer(bool Lock);
  static bool CanUnload();
  static long ObjectCount();
};

// Reference counting for the module's COM objects; a live object keeps the module loaded.
template <class TDerived>
class TComRefCounted {
protected:
  TComRefCounted() { TComModule::ObjectCreated(); }
  ~TComRefCounted() { TComModule::ObjectDestroyed(); }
  TComRefCounted(const TComRefCounted&) = delete;
  TComRefCounted& operator=(const TComRefCounted&) = delete;

  ULONG DoAddRef() { return ++FRefCount; }
  ULONG DoRelease() {
    const ULONG Count = --FRefCount;
    if (Count == 0) delete static_cast<TDerived*>(this);
    return Count;
  }

private:
  std::atomic<ULONG> FRefCount{1};
};

enum class TThreadingModel { Single, Apartment, Free, Both, Neutral };
enum class TInstancing { Internal, Single, Multiple };

// The registry form of a class identifier: upper-case hexadecimal in braces.
std::wstring GUIDToRegistryString(const GUID& Guid);

// Registry steps of the registrations. Writing raises EOleSysError with the system's error when the
// key cannot be made or the value not set; deleting ignores a key that is not there.
void CreateRegKey(HKEY Root, const std::wstring& Key, const std::wstring& ValueName, const std::wstring& Value);
void DeleteRegKey(HKEY Root, const std::wstring& Key);
// Deletes the key with everything below it.
void DeleteRegTree(HKEY Root, const std::wstring& Key);

// The class factory of one COM class of the module. It lives as long as the module.
class TComObjectFactory : public IClassFactory {
public:
  // ClassName empty: the class has no programmatic identifier.
  TComObjectFactory(const CLSID& ClassID, std::wstring ClassName, std::wstring Description, TInstancing Instancing,
                    TThreadingModel ThreadingModel);
  virtual ~TComObjectFactory() = default;
  TComObjectFactory(const TComObjectFactory&) = delete;
  TComObjectFactory& operator=(const TComObjectFactory&) = delete;

  const CLSID& ClassID() const { return FClassID; }
  const std::wstring& ClassName() const { return FClassName; }
  const std::wstring& Description() const { return FDescription; }
  // The server's name, a dot and the class name; empty without a class name.
  std::wstring ProgID() const;

  // The standard registration of an in-process class, or its removal. Raises on a registry
  // failure.
  virtual void UpdateRegistry(bool Register);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Riid, void** Object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* Outer, REFIID Riid, void** Object) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL Lock) override;

protected:
  // A new object of the class with one reference for the caller; raises when it cannot be made.
  virtual IUnknown* CreateComObject() = 0;

private:
  CLSID FClassID;
  std::wstring FClassName, FDescription;
  TInstancing FInstancing;
  TThreadingModel FThreadingModel;
};

// A class the module's type library describes: its registration also names the library.
class TTypedComObjectFactory : public TComObjectFactory {
public:
  using TComObjectFactory::TComObjectFactory;
  void UpdateRegistry(bool Register) override;
};

// The module's server: its name (the type library's) and its factories in creation order.
class TComServer {
public:
  static constexpr const wchar_t* ServerName = L"Brivane";

  static TComServer& Instance();
  // Made when the module loads, in the order they are added; freed when it unloads.
  void AddFactory(std::unique_ptr<TComObjectFactory> Factory);
  void Clear();
  const std::vector<std::unique_ptr<TComObjectFactory>>& Factories() const { return FFactories; }

  HRESULT GetClassObject(REFCLSID ClassID, REFIID Riid, void** Object);
  // The type library from the module's file, then every factory in creation order; E_FAIL when a
  // step raised (the steps after it do not run).
  HRESULT UpdateRegistry(bool Register);

private:
  void UpdateTypeLibrary(bool Register);
  std::vector<std::unique_ptr<TComObjectFactory>> FFactories;
};

}  // namespace pel::win32
