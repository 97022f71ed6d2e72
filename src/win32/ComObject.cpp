#include "ComObject.h"

#include <cstdio>
#include <cstring>

#include "ComBrivaneAgent.h"
#include "ComConnectionPoints.h"
#include "ComHtml.h"
#include "ComPelServer.h"
#include "ComWebBrowser.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace pel::win32 {

static_assert(sizeof(GUID) == sizeof(TGUID));

TGUID FromGUID(const GUID& Guid) {
  TGUID Result;
  Result.Data1 = Guid.Data1;
  Result.Data2 = Guid.Data2;
  Result.Data3 = Guid.Data3;
  std::memcpy(Result.Data4, Guid.Data4, sizeof Result.Data4);
  return Result;
}

GUID ToGUID(const TGUID& Guid) {
  GUID Result;
  Result.Data1 = Guid.Data1;
  Result.Data2 = Guid.Data2;
  Result.Data3 = Guid.Data3;
  std::memcpy(Result.Data4, Guid.Data4, sizeof Result.Data4);
  return Result;
}

AnsiString OleErrorMessage(HRESULT Result) {
  char Buffer[512];
  DWORD Length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                static_cast<DWORD>(Result), 0, Buffer, sizeof Buffer, nullptr);
  while (Length > 0 && (Buffer[Length - 1] == '\r' || Buffer[Length - 1] == '\n' || Buffer[Length - 1] == ' '))
    --Length;
  if (Length > 0) return AnsiString(Buffer, Length);
  std::snprintf(Buffer, sizeof Buffer, "OLE error %08lX", static_cast<unsigned long>(Result));
  return Buffer;
}

void OleCheck(HRESULT Result, IUnknown* Object, REFIID Interface) {
  if (SUCCEEDED(Result)) return;
  // Only error information the callee vouches for belongs to this call; anything else on the
  // thread is left over from an earlier one.
  ISupportErrorInfo* Support = nullptr;
  const bool Offers = Object &&
                      SUCCEEDED(Object->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&Support))) &&
                      Support && Support->InterfaceSupportsErrorInfo(Interface) == S_OK;
  if (Support) Support->Release();
  IErrorInfo* Info = nullptr;
  if (Offers && GetErrorInfo(0, &Info) == S_OK && Info) {
    BSTR Description = nullptr, Source = nullptr, HelpFile = nullptr;
    DWORD HelpContext = 0;
    Info->GetDescription(&Description);
    Info->GetSource(&Source);
    Info->GetHelpFile(&HelpFile);
    Info->GetHelpContext(&HelpContext);
    Info->Release();
    const auto Text = [](BSTR S) {
      return WideToAnsi(S ? WideString(reinterpret_cast<const char16_t*>(S), SysStringLen(S)) : WideString());
    };
    AnsiString Message = Text(Description);
    const AnsiString SourceText = Text(Source), HelpText = Text(HelpFile);
    SysFreeString(Description);
    SysFreeString(Source);
    SysFreeString(HelpFile);
    if (Message.empty()) Message = OleErrorMessage(Result);
    throw EOleException(std::move(Message), Result, SourceText, HelpText, static_cast<int32_t>(HelpContext));
  }
  throw EOleSysError(OleErrorMessage(Result), Result);
}

TComObject::TComObject(IUnknown* Object) : FUnknown(Object), FIdentity(Object) {
  FUnknown->AddRef();
  // COM's rule of identity: every interface of one object answers the same IUnknown. The pointer
  // stays valid while this object holds its reference.
  IUnknown* Identity = nullptr;
  if (SUCCEEDED(Object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&Identity))) && Identity) {
    FIdentity = Identity;
    Identity->Release();
  }
}

TComObject::~TComObject() { FUnknown->Release(); }

std::shared_ptr<IInterface> WrapComObject(IUnknown* Object) {
  if (!Object) return nullptr;
  if (auto Html = WrapHtmlObject(Object)) return Html;
  ::IConnectionPointContainer* Container = nullptr;
  if (FAILED(Object->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&Container))))
    Container = nullptr;
  ::IPelServer* Server = nullptr;
  if (SUCCEEDED(Object->QueryInterface(__uuidof(::IPelServer), reinterpret_cast<void**>(&Server))) && Server)
    return std::make_shared<TComPelServer>(Object, Container, Server);
  ::IWebBrowser2* Browser = nullptr;
  if (SUCCEEDED(Object->QueryInterface(::IID_IWebBrowser2, reinterpret_cast<void**>(&Browser))) && Browser)
    return std::make_shared<TComWebBrowser>(Object, Container, Browser);
  ::IBrivaneAgent* Agent = nullptr;
  if (SUCCEEDED(Object->QueryInterface(::IID_IBrivaneAgent, reinterpret_cast<void**>(&Agent))) && Agent) {
    if (Container) Container->Release();
    return std::make_shared<TComBrivaneAgentClient>(Object, Agent);
  }
  ::IServiceProvider* Services = nullptr;
  if (SUCCEEDED(Object->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&Services))) && Services)
    return std::make_shared<TComServiceProvider>(Object, Container, Services);
  if (Container) return std::make_shared<TComConnectionPointContainer>(Object, Container);
  return std::make_shared<TComObject>(Object);
}

IUnknown* ComObjectOf(const std::shared_ptr<IInterface>& Object) {
  auto* Com = dynamic_cast<TComObject*>(Object.get());
  return Com ? Com->Unknown() : nullptr;
}

IUnknown* MakeComFace(const std::shared_ptr<IInterface>& Object) {
  if (auto Agent = Supports<pel::IBrivaneAgent>(Object)) return new TComBrivaneAgent(Agent);
  return nullptr;
}

}  // namespace pel::win32
