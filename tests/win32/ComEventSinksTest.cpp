// The browser sink connected to a real COM event source: advised through the source's own
// connection point and called with real DISPPARAMS, as the browser calls it.

#include <gtest/gtest.h>

#include <windows.h>

#include <ocidl.h>
#include <oleauto.h>
#include <olectl.h>

#include <cstring>
#include <functional>
#include <stdexcept>
#include <vector>

#include "BHO/MSHTMLEvents.h"
#include "BHO/SHDocVwEvents.h"
#include "win32/ComObject.h"

using pel::TEventSink;
using pel::TSHDocVwDWebBrowserEvents2;
using pel::TVariant;
using pel::WideString;

namespace {

const GUID BrowserEvents = pel::win32::ToGUID(pel::DIID_DWebBrowserEvents2);

// A plain automation object with a visible reference count (the page's window, a new browser).
class TTestDispatch : public IDispatch {
public:
  LONG Refs = 1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Riid, void** Object) override {
    if (IsEqualIID(Riid, IID_IUnknown) || IsEqualIID(Riid, IID_IDispatch)) {
      *Object = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *Object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++Refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --Refs; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
};

// An event source with one connection point, advising sinks as COM sources do: it asks the sink
// for the event interface and keeps that pointer until Unadvise.
class TTestSource : public IConnectionPointContainer, public IConnectionPoint {
public:
  explicit TTestSource(const GUID& EventIID) : FEventIID(EventIID) {}

  LONG Refs = 1;
  bool RefuseUnadvise = false;
  std::vector<std::pair<DWORD, IDispatch*>> Sinks;

  HRESULT Fire(DISPID DispID, DISPPARAMS& Params, WORD Flags = DISPATCH_METHOD, UINT* ArgErr = nullptr) {
    if (Sinks.empty()) return E_FAIL;
    return Sinks.front().second->Invoke(DispID, IID_NULL, LOCALE_USER_DEFAULT, Flags, &Params, nullptr, nullptr,
                                        ArgErr);
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Riid, void** Object) override {
    if (IsEqualIID(Riid, IID_IUnknown) || IsEqualIID(Riid, IID_IConnectionPointContainer))
      *Object = static_cast<IConnectionPointContainer*>(this);
    else if (IsEqualIID(Riid, IID_IConnectionPoint))
      *Object = static_cast<IConnectionPoint*>(this);
    else
      *Object = nullptr;
    if (!*Object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++Refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --Refs; }

  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID Riid, IConnectionPoint** Point) override {
    *Point = nullptr;
    if (!IsEqualIID(Riid, FEventIID)) return CONNECT_E_NOCONNECTION;
    *Point = this;
    AddRef();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* Interface) override {
    *Interface = FEventIID;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** Container) override {
    *Container = this;
    AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* Sink, DWORD* Cookie) override {
    IDispatch* Events = nullptr;
    if (FAILED(Sink->QueryInterface(FEventIID, reinterpret_cast<void**>(&Events))) || !Events)
      return CONNECT_E_CANNOTCONNECT;
    *Cookie = FNextCookie++;
    Sinks.emplace_back(*Cookie, Events);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD Cookie) override {
    if (RefuseUnadvise) return RPC_E_DISCONNECTED;
    for (auto It = Sinks.begin(); It != Sinks.end(); ++It)
      if (It->first == Cookie) {
        It->second->Release();
        Sinks.erase(It);
        return S_OK;
      }
    return CONNECT_E_NOCONNECTION;
  }
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

private:
  GUID FEventIID;
  DWORD FNextCookie = 100;
};

// DISPPARAMS over arguments given in declared order; frees what it owns.
class TArgs {
public:
  explicit TArgs(std::vector<VARIANT> DeclaredOrder) : FArgs(DeclaredOrder.rbegin(), DeclaredOrder.rend()) {}
  ~TArgs() {
    for (VARIANT& V : FArgs) VariantClear(&V);
  }
  DISPPARAMS& Params() {
    FParams = {FArgs.data(), nullptr, static_cast<UINT>(FArgs.size()), 0};
    return FParams;
  }

private:
  std::vector<VARIANT> FArgs;
  DISPPARAMS FParams{};
};

VARIANT Dispatch(IDispatch* Object) {
  VARIANT V;
  V_VT(&V) = VT_DISPATCH;
  V_DISPATCH(&V) = Object;
  if (Object) Object->AddRef();
  return V;
}

VARIANT Ref(VARIANT& Target) {
  VARIANT V;
  V_VT(&V) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&V) = &Target;
  return V;
}

VARIANT Ref(VARIANT_BOOL& Target) {
  VARIANT V;
  V_VT(&V) = VT_BYREF | VT_BOOL;
  V_BOOLREF(&V) = &Target;
  return V;
}

VARIANT Ref(IDispatch*& Target) {
  VARIANT V;
  V_VT(&V) = VT_BYREF | VT_DISPATCH;
  V_DISPATCHREF(&V) = &Target;
  return V;
}

VARIANT String(const wchar_t* Text) {
  VARIANT V;
  V_VT(&V) = VT_BSTR;
  V_BSTR(&V) = SysAllocString(Text);
  return V;
}

VARIANT Long(LONG Value) {
  VARIANT V;
  V_VT(&V) = VT_I4;
  V_I4(&V) = Value;
  return V;
}

VARIANT Bytes(const char* Text) {
  const ULONG N = static_cast<ULONG>(strlen(Text));
  SAFEARRAY* Array = SafeArrayCreateVector(VT_UI1, 0, N);
  void* Data = nullptr;
  SafeArrayAccessData(Array, &Data);
  memcpy(Data, Text, N);
  SafeArrayUnaccessData(Array);
  VARIANT V;
  V_VT(&V) = VT_ARRAY | VT_UI1;
  V_ARRAY(&V) = Array;
  return V;
}

class ComEventSinks : public testing::Test {
protected:
  TTestSource Source{BrowserEvents};
  TSHDocVwDWebBrowserEvents2 Sink;

  void Connect() {
    Sink.Connect(pel::win32::WrapComObject(static_cast<IConnectionPointContainer*>(&Source)));
    ASSERT_EQ(Source.Sinks.size(), 1u);
  }
  IDispatch* Advised() { return Source.Sinks.front().second; }
};

}  // namespace

TEST_F(ComEventSinks, ConnectsThroughTheSourcesConnectionPointAndAnswersAsAnEventDispatch) {
  Connect();
  IDispatch* Events = Advised();
  // The source found it by the event interface; the same IDispatch answers IUnknown and IDispatch.
  for (const IID* Interface : {&IID_IUnknown, &IID_IDispatch, &BrowserEvents}) {
    void* Object = nullptr;
    EXPECT_EQ(Events->QueryInterface(*Interface, &Object), S_OK);
    EXPECT_EQ(Object, static_cast<void*>(Events));
    if (Object) static_cast<IUnknown*>(Object)->Release();
  }
  void* Other = reinterpret_cast<void*>(1);
  EXPECT_EQ(Events->QueryInterface(IID_IConnectionPoint, &Other), E_NOINTERFACE);
  EXPECT_EQ(Other, nullptr);
  // Counted: the connection's reference and the one the source took when it asked for the events.
  EXPECT_EQ(Events->AddRef(), 3u);
  EXPECT_EQ(Events->Release(), 2u);

  UINT Count = 5;
  EXPECT_EQ(Events->GetTypeInfoCount(&Count), E_NOTIMPL);
  EXPECT_EQ(Count, 0u);
  ITypeInfo* Info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(Events->GetTypeInfo(0, 0, &Info), E_NOTIMPL);
  EXPECT_EQ(Info, nullptr);
  LPOLESTR Name = const_cast<LPOLESTR>(L"BeforeNavigate2");
  DISPID DispID = 0;
  EXPECT_EQ(Events->GetIDsOfNames(IID_NULL, &Name, 1, 0, &DispID), E_NOTIMPL);

  Sink.Disconnect();
  EXPECT_TRUE(Source.Sinks.empty());
  EXPECT_FALSE(Sink.Connected());
  // Every reference the sink took on the source is given back.
  EXPECT_EQ(Source.Refs, 1);
}

TEST_F(ComEventSinks, BeforeNavigate2TakesTheBrowsersSevenArgumentsAndCancelReachesTheCaller) {
  Connect();
  TTestDispatch Frame;
  std::vector<std::string> Order;
  Sink.OnBeforeNavigate2 = [&](TEventSink* Sender, const std::shared_ptr<pel::IInterface>& pDisp, TVariant& URL,
                               TVariant& Flags, TVariant& TargetFrameName, TVariant& PostData, TVariant& Headers,
                               bool& Cancel) {
    EXPECT_EQ(Sender, &Sink);
    EXPECT_EQ(pel::win32::ComObjectOf(pDisp), static_cast<IUnknown*>(&Frame));
    EXPECT_EQ(URL, TVariant(u"http://a.com/login.asp"));
    EXPECT_EQ(Flags, TVariant(int32_t{64}));
    EXPECT_EQ(TargetFrameName, TVariant(u"main"));
    EXPECT_EQ(PostData, TVariant(TVariant::TBytes{'u', '=', '1'}));
    EXPECT_EQ(Headers, TVariant(u"Content-Type: application/x-www-form-urlencoded"));
    EXPECT_FALSE(Cancel);
    Cancel = true;
    Headers = TVariant(u"Referer: http://a.com/");
  };
  VARIANT URL = String(L"http://a.com/login.asp"), Flags = Long(64), Target = String(L"main"), PostData = Bytes("u=1"),
          Headers = String(L"Content-Type: application/x-www-form-urlencoded");
  const BSTR URLBefore = V_BSTR(&URL);
  VARIANT_BOOL Cancel = VARIANT_FALSE;
  {
    TArgs Args({Dispatch(&Frame), Ref(URL), Ref(Flags), Ref(Target), Ref(PostData), Ref(Headers), Ref(Cancel)});
    EXPECT_EQ(Source.Fire(250, Args.Params()), S_OK) << Sink.LastFailure();
  }
  EXPECT_EQ(Cancel, VARIANT_TRUE);
  ASSERT_EQ(V_VT(&Headers), VT_BSTR);
  EXPECT_STREQ(V_BSTR(&Headers), L"Referer: http://a.com/");
  // What the handler did not change is left as the caller's own.
  EXPECT_EQ(V_BSTR(&URL), URLBefore);
  EXPECT_EQ(V_VT(&PostData), VT_ARRAY | VT_UI1);

  for (VARIANT* V : {&URL, &Flags, &Target, &PostData, &Headers}) VariantClear(V);
  EXPECT_EQ(Frame.Refs, 1);  // the sink kept no reference to the frame beyond the call
}

TEST_F(ComEventSinks, NewWindow2HandsTheNewBrowserBackThroughPpDisp) {
  Connect();
  TTestDispatch Popup, Old;
  Sink.OnNewWindow2 = [&](TEventSink*, std::shared_ptr<pel::IInterface>& ppDisp, bool& Cancel) {
    EXPECT_EQ(pel::win32::ComObjectOf(ppDisp), static_cast<IUnknown*>(&Old));
    ppDisp = pel::win32::WrapComObject(&Popup);
    EXPECT_FALSE(Cancel);
  };
  IDispatch* NewBrowser = &Old;
  Old.AddRef();  // the caller's reference, which the callee gives up when it replaces the pointer
  VARIANT_BOOL Cancel = VARIANT_FALSE;
  {
    TArgs Args({Ref(NewBrowser), Ref(Cancel)});
    EXPECT_EQ(Source.Fire(251, Args.Params()), S_OK) << Sink.LastFailure();
  }
  EXPECT_EQ(NewBrowser, static_cast<IDispatch*>(&Popup));
  EXPECT_EQ(Popup.Refs, 2);  // one for the caller
  EXPECT_EQ(Old.Refs, 1);
  EXPECT_EQ(Cancel, VARIANT_FALSE);
  NewBrowser->Release();

  // An object without COM identity cannot be handed to a COM caller: refused, pointer unchanged.
  class TCoreObject : public virtual pel::IInterface {};
  Sink.OnNewWindow2 = [](TEventSink*, std::shared_ptr<pel::IInterface>& ppDisp, bool&) {
    ppDisp = std::make_shared<TCoreObject>();
  };
  IDispatch* Untouched = nullptr;
  TArgs Args({Ref(Untouched), Ref(Cancel)});
  UINT ArgErr = 99;
  EXPECT_EQ(Source.Fire(251, Args.Params(), DISPATCH_METHOD, &ArgErr), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(ArgErr, 1u);  // where ppDisp is in rgvarg
  EXPECT_EQ(Untouched, nullptr);
}

TEST_F(ComEventSinks, CallsTheSinkCannotServeGetFailureResults) {
  Connect();
  int Calls = 0;
  Sink.OnDownloadComplete = [&](TEventSink*) { ++Calls; };
  Sink.OnCommandStateChange = [&](TEventSink*, int32_t, bool) {
    ++Calls;
    throw pel::Exception("Page went away");
  };
  Sink.OnStatusTextChange = [&](TEventSink*, const WideString&) {
    ++Calls;
    throw std::runtime_error("not ours");
  };
  struct TCase {
    const char* What;
    DISPID DispID;
    WORD Flags;
    std::vector<VARIANT> Args;
    HRESULT Result;
    int Calls;
  };
  VARIANT Real;
  V_VT(&Real) = VT_R8;
  V_R8(&Real) = 1.5;
  std::vector<TCase> Cases = {
      {"property get", 104, DISPATCH_PROPERTYGET, {}, E_UNEXPECTED, 0},
      {"property put", 104, DISPATCH_PROPERTYPUT, {}, E_UNEXPECTED, 0},
      {"method", 104, DISPATCH_METHOD, {}, S_OK, 1},
      {"our exception in the handler", 105, DISPATCH_METHOD, {Long(3), Long(-1)}, E_UNEXPECTED, 1},
      {"other exception in the handler", 102, DISPATCH_METHOD, {String(L"Done")}, E_UNEXPECTED, 1},
      {"unknown event", 4711, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND, 0},
      {"argument without portable form", 102, DISPATCH_METHOD, {Real}, DISP_E_BADVARTYPE, 0},
  };
  for (TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    Calls = 0;
    TArgs Args(C.Args);
    EXPECT_EQ(Source.Fire(C.DispID, Args.Params(), C.Flags), C.Result);
    EXPECT_EQ(Calls, C.Calls);
  }
  VARIANT Empty;
  V_VT(&Empty) = VT_EMPTY;
  TArgs Refused({Empty});
  Source.Fire(104, Refused.Params(), DISPATCH_PROPERTYGET);
  EXPECT_EQ(Sink.LastFailure(), "TSHDocVwDWebBrowserEvents2 only supports sinking of method calls!");
}

TEST_F(ComEventSinks, AHandlerThatDisconnectsItsSinkDuringTheCallIsSafe) {
  Connect();
  Sink.OnQuit = [](TEventSink* Sender) { Sender->Disconnect(); };
  DISPPARAMS None{nullptr, nullptr, 0, 0};
  IDispatch* Events = Advised();
  EXPECT_EQ(Events->Invoke(253, IID_NULL, 0, DISPATCH_METHOD, &None, nullptr, nullptr, nullptr), S_OK);
  EXPECT_TRUE(Source.Sinks.empty());
  EXPECT_FALSE(Sink.Connected());
  EXPECT_EQ(Source.Refs, 1);
}

// A source fires an event to a copy of its sinks, holding each; a handler of the first disconnects
// and frees the second sink meanwhile. The source's call to the second then reaches a bridge that
// still exists and answers that nobody listens, never a freed sink.
TEST_F(ComEventSinks, AHandlerThatDisconnectsAnotherSinkOfTheEventLeavesTheSourcesCopySafe) {
  auto Other = std::make_unique<TSHDocVwDWebBrowserEvents2>();
  int OtherQuits = 0;
  Other->OnQuit = [&](TEventSink*) { ++OtherQuits; };
  Connect();
  Other->Connect(pel::win32::WrapComObject(static_cast<IConnectionPointContainer*>(&Source)));
  ASSERT_EQ(Source.Sinks.size(), 2u);
  Sink.OnQuit = [&](TEventSink*) { Other.reset(); };

  std::vector<IDispatch*> Copy;
  for (const auto& [Cookie, Events] : Source.Sinks) {
    Events->AddRef();
    Copy.push_back(Events);
  }
  DISPPARAMS None{nullptr, nullptr, 0, 0};
  EXPECT_EQ(Copy[0]->Invoke(253, IID_NULL, 0, DISPATCH_METHOD, &None, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(Other, nullptr);
  EXPECT_EQ(Source.Sinks.size(), 1u);
  EXPECT_EQ(Copy[1]->Invoke(253, IID_NULL, 0, DISPATCH_METHOD, &None, nullptr, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(OtherQuits, 0);
  for (IDispatch* Events : Copy) Events->Release();
}

TEST_F(ComEventSinks, ASourceThatRefusesUnadviseNeverReachesAFreedSink) {
  IDispatch* Events = nullptr;
  int Quits = 0;
  {
    TSHDocVwDWebBrowserEvents2 Short;
    Short.OnQuit = [&](TEventSink*) { ++Quits; };
    Short.Connect(pel::win32::WrapComObject(static_cast<IConnectionPointContainer*>(&Source)));
    Events = Source.Sinks.front().second;
    Source.RefuseUnadvise = true;
    EXPECT_NO_THROW(Short.Disconnect());
    EXPECT_FALSE(Short.Connected());
  }
  // The source still holds the sink's IDispatch and calls it after the sink is gone.
  DISPPARAMS None{nullptr, nullptr, 0, 0};
  EXPECT_EQ(Events->Invoke(253, IID_NULL, 0, DISPATCH_METHOD, &None, nullptr, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Quits, 0);
}

TEST_F(ComEventSinks, ConnectingToAnObjectWithoutTheEventsRaises) {
  TTestDispatch Plain;
  try {
    Sink.Connect(pel::win32::WrapComObject(&Plain));
    ADD_FAILURE() << "connected";
  } catch (const pel::Exception& E) {
    EXPECT_EQ(E.Message(), "Unable to connect .\rInterface not supported");
  }
  TTestSource Document(pel::win32::ToGUID(pel::DIID_HTMLDocumentEvents));
  try {
    Sink.Connect(pel::win32::WrapComObject(static_cast<IConnectionPointContainer*>(&Document)));
    ADD_FAILURE() << "connected";
  } catch (const pel::Exception& E) {
    EXPECT_EQ(E.Message(), "Unable to connect .\r" + pel::win32::OleErrorMessage(CONNECT_E_NOCONNECTION));
  }
  EXPECT_FALSE(Sink.Connected());
  EXPECT_EQ(Plain.Refs, 1);
  EXPECT_EQ(Document.Refs, 1);
}
