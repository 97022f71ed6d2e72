#include "ComPelServerHost.h"

#include <olectl.h>

#include <new>

#include "ComObject.h"
#include "ComVariant.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace pel::win32 {

namespace {

const IID& ServerIID() { return __uuidof(::IPelServer); }
const IID EventsIID = ToGUID(DIID_IPelServerEvents);

// The server's text for a failure, handed to the caller as error information of the interface.
void SetCallError(const AnsiString& Message) {
  ICreateErrorInfo* Create = nullptr;
  if (FAILED(CreateErrorInfo(&Create)) || !Create) return;
  const TOleString Description(AnsiToWide(Message));
  const TOleString Source(u"PelServer");
  Create->SetGUID(ServerIID());
  Create->SetDescription(Description);
  Create->SetSource(Source);
  IErrorInfo* Info = nullptr;
  if (SUCCEEDED(Create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&Info))) && Info) {
    SetErrorInfo(0, Info);
    Info->Release();
  }
  Create->Release();
}

VARIANT_BOOL Bool(bool Value) { return Value ? VARIANT_TRUE : VARIANT_FALSE; }

// Out arguments are written only once the store has answered, so a failed call hands back
// nothing the caller would have to free.
void Put(BSTR* Out, const WideString& Value) { *Out = ToBSTR(Value); }
void Put(VARIANT* Out, const TVariant& Value) { ToOleVariant(Value, *Out); }
void Put(VARIANT_BOOL* Out, bool Value) { *Out = Bool(Value); }

template <class... T>
bool AnyNull(T*... Pointers) {
  return ((Pointers == nullptr) || ...);
}

}  // namespace

TComPelServerHost* TComPelServerHost::Create(std::shared_ptr<pel::IPelServer> Store) {
  return new TComPelServerHost(std::move(Store));
}

TComPelServerHost::TComPelServerHost(std::shared_ptr<pel::IPelServer> Store) : FStore(std::move(Store)) {
  // A store of the core that raises events of its own has them relayed; one without has only
  // what the host fires.
  if (auto Container = Supports<pel::IConnectionPointContainer>(std::static_pointer_cast<IInterface>(FStore))) {
    try {
      FStoreEvents = Container->FindConnectionPoint(DIID_IPelServerEvents);
      FStoreCookie = FStoreEvents->Advise(&FRelay);
    } catch (const pel::Exception&) {
      FStoreEvents.reset();
    }
  }
}

TComPelServerHost::~TComPelServerHost() {
  if (FStoreEvents) {
    try {
      FStoreEvents->Unadvise(FStoreCookie);
    } catch (const pel::Exception&) {
    }
  }
  for (const TSink& Sink : FSinks) Sink.Dispatch->Release();
  if (FTypeInfo) FTypeInfo->Release();
}

template <class TBody>
HRESULT TComPelServerHost::Serve(TBody&& Body) {
  SetErrorInfo(0, nullptr);
  try {
    Body();
    return S_OK;
  } catch (const EOleSysError& E) {
    SetCallError(E.Message());
    return FAILED(E.ErrorCode) ? E.ErrorCode : E_FAIL;
  } catch (const pel::Exception& E) {
    SetCallError(E.Message());
    return E_FAIL;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

void TComPelServerHost::Fire(DISPID DispID, const std::vector<TVariant>& Args) {
  // The platform lays positional arguments out last first.
  std::vector<VARIANT> Values(Args.size());
  for (VARIANT& V : Values) VariantInit(&V);
  for (size_t I = 0; I < Args.size(); ++I) ToOleVariant(Args[Args.size() - 1 - I], Values[I]);
  DISPPARAMS Params{Values.data(), nullptr, static_cast<UINT>(Values.size()), 0};
  // A sink may unadvise, or a new one advise, during the call: work on the ones advised now.
  std::vector<TSink> Sinks = FSinks;
  for (const TSink& Sink : Sinks) Sink.Dispatch->AddRef();
  for (const TSink& Sink : Sinks) {
    const HRESULT Hr = Sink.Dispatch->Invoke(DispID, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &Params, nullptr,
                                             nullptr, nullptr);
    // The sink's process is gone: it can never unadvise, so it is dropped here.
    if (Hr == RPC_E_DISCONNECTED || Hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) ||
        Hr == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED))
      Unadvise(Sink.Cookie);
  }
  for (const TSink& Sink : Sinks) Sink.Dispatch->Release();
  for (VARIANT& V : Values) VariantClear(&V);
}

int32_t TComPelServerHost::TRelay::Invoke(int32_t DispID, const TGUID&, uint32_t, uint16_t, TDispParams& Params,
                                          TVariant*) {
  std::vector<TVariant> Args(Params.Args.rbegin(), Params.Args.rend());
  try {
    FHost.Fire(DispID, Args);
  } catch (const pel::Exception&) {
    return HR_DISP_E_TYPEMISMATCH;
  }
  return HR_S_OK;
}

// IUnknown

HRESULT STDMETHODCALLTYPE TComPelServerHost::QueryInterface(REFIID Riid, void** Object) {
  if (!Object) return E_POINTER;
  if (IsEqualIID(Riid, IID_IUnknown) || IsEqualIID(Riid, IID_IDispatch) || IsEqualIID(Riid, ServerIID()))
    *Object = static_cast<::IPelServer*>(this);
  else if (IsEqualIID(Riid, IID_ISupportErrorInfo))
    *Object = static_cast<ISupportErrorInfo*>(this);
  else if (IsEqualIID(Riid, IID_IConnectionPointContainer))
    *Object = static_cast<::IConnectionPointContainer*>(this);
  // The server's one connection point is the object itself; marshaling it to another process
  // asks for it by this interface.
  else if (IsEqualIID(Riid, IID_IConnectionPoint))
    *Object = static_cast<::IConnectionPoint*>(this);
  else {
    *Object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE TComPelServerHost::AddRef() { return ++FRefs; }

ULONG STDMETHODCALLTYPE TComPelServerHost::Release() {
  const ULONG Left = --FRefs;
  if (Left == 0) delete this;
  return Left;
}

// IDispatch

HRESULT STDMETHODCALLTYPE TComPelServerHost::GetTypeInfoCount(UINT* Count) {
  if (!Count) return E_POINTER;
  *Count = 1;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::GetTypeInfo(UINT Index, LCID, ITypeInfo** Info) {
  if (!Info) return E_POINTER;
  *Info = nullptr;
  if (Index != 0) return DISP_E_BADINDEX;
  if (!FTypeInfo) {
    ITypeLib* Library = nullptr;
    HRESULT Hr = LoadRegTypeLib(LIBID_BrivaneLib, 1, 0, LOCALE_NEUTRAL, &Library);
    if (FAILED(Hr)) return Hr;
    Hr = Library->GetTypeInfoOfGuid(ServerIID(), &FTypeInfo);
    Library->Release();
    if (FAILED(Hr)) return Hr;
  }
  FTypeInfo->AddRef();
  *Info = FTypeInfo;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::GetIDsOfNames(REFIID, LPOLESTR* Names, UINT Count, LCID Locale,
                                                           DISPID* DispIDs) {
  ITypeInfo* Info = nullptr;
  const HRESULT Hr = GetTypeInfo(0, Locale, &Info);
  if (FAILED(Hr)) return Hr;
  const HRESULT Result = DispGetIDsOfNames(Info, Names, Count, DispIDs);
  Info->Release();
  return Result;
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::Invoke(DISPID DispID, REFIID Riid, LCID Locale, WORD Flags,
                                                    DISPPARAMS* Params, VARIANT* Result, EXCEPINFO* Exception,
                                                    UINT* ArgErr) {
  if (!IsEqualIID(Riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* Info = nullptr;
  const HRESULT Hr = GetTypeInfo(0, Locale, &Info);
  if (FAILED(Hr)) return Hr;
  const HRESULT Answer =
      DispInvoke(static_cast<::IPelServer*>(this), Info, DispID, Flags, Params, Result, Exception, ArgErr);
  Info->Release();
  return Answer;
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::InterfaceSupportsErrorInfo(REFIID Riid) {
  return IsEqualIID(Riid, ServerIID()) ? S_OK : S_FALSE;
}

// Connection point of the server's events

HRESULT STDMETHODCALLTYPE TComPelServerHost::EnumConnectionPoints(IEnumConnectionPoints** Points) {
  if (Points) *Points = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::FindConnectionPoint(REFIID Riid, ::IConnectionPoint** Point) {
  if (!Point) return E_POINTER;
  if (!IsEqualIID(Riid, EventsIID)) {
    *Point = nullptr;
    return CONNECT_E_NOCONNECTION;
  }
  *Point = this;
  AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::GetConnectionInterface(IID* Interface) {
  if (!Interface) return E_POINTER;
  *Interface = EventsIID;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::GetConnectionPointContainer(::IConnectionPointContainer** Container) {
  if (!Container) return E_POINTER;
  *Container = this;
  AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::Advise(IUnknown* Sink, DWORD* Cookie) {
  if (!Sink || !Cookie) return E_POINTER;
  *Cookie = 0;
  IDispatch* Dispatch = nullptr;
  if (FAILED(Sink->QueryInterface(EventsIID, reinterpret_cast<void**>(&Dispatch))) || !Dispatch)
    if (FAILED(Sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&Dispatch))) || !Dispatch)
      return CONNECT_E_CANNOTCONNECT;
  FSinks.push_back({FNextCookie, Dispatch});
  *Cookie = FNextCookie++;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::Unadvise(DWORD Cookie) {
  for (auto It = FSinks.begin(); It != FSinks.end(); ++It)
    if (It->Cookie == Cookie) {
      IDispatch* Dispatch = It->Dispatch;
      FSinks.erase(It);
      Dispatch->Release();
      return S_OK;
    }
  return CONNECT_E_NOCONNECTION;
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::EnumConnections(IEnumConnections** Connections) {
  if (Connections) *Connections = nullptr;
  return E_NOTIMPL;
}

// IPelServer: each call converts, asks the store, and writes the answers back.

HRESULT STDMETHODCALLTYPE TComPelServerHost::FindFieldValue(BSTR Profile, BSTR TagName, BSTR InputType, BSTR Name,
                                                            BSTR URL, BSTR* ProfileField, LONG* ValueKind, BSTR* Value,
                                                            BSTR* Values, VARIANT_BOOL* Found,
                                                            VARIANT_BOOL* LoginRequired) {
  if (AnyNull(ProfileField, ValueKind, Value, Values, Found, LoginRequired)) return E_POINTER;
  *Value = *Values = nullptr;
  return Serve([&] {
    WideString Field = FromBSTR(*ProfileField), OutValue, OutValues;
    int32_t Kind = *ValueKind;
    bool OutFound = false, Login = false;
    FStore->FindFieldValue(FromBSTR(Profile), FromBSTR(TagName), FromBSTR(InputType), FromBSTR(Name), FromBSTR(URL),
                           Field, Kind, OutValue, OutValues, OutFound, Login);
    BSTR NewField = ToBSTR(Field);
    SysFreeString(*ProfileField);
    *ProfileField = NewField;
    *ValueKind = Kind;
    Put(Value, OutValue);
    Put(Values, OutValues);
    Put(Found, OutFound);
    Put(LoginRequired, Login);
  });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::GetProfiles(VARIANT* Profiles, BSTR* Current) {
  if (AnyNull(Profiles, Current)) return E_POINTER;
  VariantInit(Profiles);
  *Current = nullptr;
  return Serve([&] {
    TVariant List;
    WideString Name;
    FStore->GetProfiles(List, Name);
    Put(Profiles, List);
    Put(Current, Name);
  });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::GetProfileFields(VARIANT* Fields, VARIANT_BOOL* LoginRequired) {
  if (AnyNull(Fields, LoginRequired)) return E_POINTER;
  VariantInit(Fields);
  return Serve([&] {
    TVariant List;
    bool Login = false;
    FStore->GetProfileFields(List, Login);
    Put(Fields, List);
    Put(LoginRequired, Login);
  });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::SetActiveProfile(BSTR Profile) {
  return Serve([&] { FStore->SetActiveProfile(FromBSTR(Profile)); });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::ShowManager(BSTR A, BSTR Key, BSTR Name) {
  return Serve([&] { FStore->ShowManager(FromBSTR(A), FromBSTR(Key), FromBSTR(Name)); });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::GetNameChoices(BSTR Key, BSTR* Existing, BSTR* DefaultName) {
  if (AnyNull(Existing, DefaultName)) return E_POINTER;
  *Existing = *DefaultName = nullptr;
  return Serve([&] {
    WideString OutExisting, OutDefault;
    FStore->GetNameChoices(FromBSTR(Key), OutExisting, OutDefault);
    Put(Existing, OutExisting);
    Put(DefaultName, OutDefault);
  });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::DeleteRecord(BSTR SetName, BSTR Name, VARIANT_BOOL* LoginRequired) {
  if (!LoginRequired) return E_POINTER;
  return Serve([&] {
    bool Login = false;
    FStore->DeleteRecord(FromBSTR(SetName), FromBSTR(Name), Login);
    Put(LoginRequired, Login);
  });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::Login(BSTR Password) {
  return Serve([&] { FStore->Login(FromBSTR(Password)); });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::Logout() {
  return Serve([&] { FStore->Logout(); });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::GetLoggedIn(VARIANT_BOOL* Result) {
  if (!Result) return E_POINTER;
  return Serve([&] { Put(Result, FStore->GetLoggedIn()); });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::SetDefaultFormCard(BSTR SetName, BSTR Name, BSTR Profile,
                                                                VARIANT_BOOL AllProfiles) {
  return Serve([&] {
    FStore->SetDefaultFormCard(FromBSTR(SetName), FromBSTR(Name), FromBSTR(Profile), AllProfiles != VARIANT_FALSE);
  });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::AddSynonym(BSTR ProfileField, BSTR Synonym, LONG Kind) {
  return Serve([&] { FStore->AddSynonym(FromBSTR(ProfileField), FromBSTR(Synonym), Kind); });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::GetFormCaption(LONG Index, BSTR* Caption, BSTR* Hint) {
  if (AnyNull(Caption, Hint)) return E_POINTER;
  *Caption = *Hint = nullptr;
  return Serve([&] {
    WideString OutCaption, OutHint;
    FStore->GetFormCaption(Index, OutCaption, OutHint);
    Put(Caption, OutCaption);
    Put(Hint, OutHint);
  });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::GetPageInfo(BSTR URLKey, BSTR* Title, BSTR* Text) {
  if (AnyNull(Title, Text)) return E_POINTER;
  *Title = *Text = nullptr;
  return Serve([&] {
    WideString OutTitle, OutText;
    FStore->GetPageInfo(FromBSTR(URLKey), OutTitle, OutText);
    Put(Title, OutTitle);
    Put(Text, OutText);
  });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::FindFormCards(BSTR URLKey, VARIANT Forms, VARIANT* Cards, BSTR* SetName,
                                                           BSTR* Name, VARIANT_BOOL* Matched) {
  if (AnyNull(Cards, SetName, Name, Matched)) return E_POINTER;
  VariantInit(Cards);
  *SetName = *Name = nullptr;
  return Serve([&] {
    TVariant OutCards;
    WideString OutSet, OutName;
    bool OutMatched = false;
    FStore->FindFormCards(FromBSTR(URLKey), FromOleVariant(Forms), OutCards, OutSet, OutName, OutMatched);
    Put(Cards, OutCards);
    Put(SetName, OutSet);
    Put(Name, OutName);
    Put(Matched, OutMatched);
  });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::AddFieldValue(BSTR Profile, BSTR ProfileField, BSTR Values,
                                                           VARIANT_BOOL* LoginRequired) {
  if (!LoginRequired) return E_POINTER;
  return Serve([&] {
    bool Login = false;
    FStore->AddFieldValue(FromBSTR(Profile), FromBSTR(ProfileField), FromBSTR(Values), Login);
    Put(LoginRequired, Login);
  });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::NotifyDocumentComplete() {
  return Serve([&] { FStore->NotifyDocumentComplete(); });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::GetDisplayMode(LONG* Result) {
  if (!Result) return E_POINTER;
  return Serve([&] { *Result = FStore->GetDisplayMode(); });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::GetBanner(VARIANT Request, VARIANT* Result) {
  if (!Result) return E_POINTER;
  VariantInit(Result);
  return Serve([&] { Put(Result, FStore->GetBanner(FromOleVariant(Request))); });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::GetFormCard(BSTR SetName, BSTR Name, BSTR URL, VARIANT* FormSet,
                                                         VARIANT_BOOL* LoginRequired) {
  if (AnyNull(FormSet, LoginRequired)) return E_POINTER;
  VariantInit(FormSet);
  return Serve([&] {
    TVariant Set;
    bool Login = false;
    FStore->GetFormCard(FromBSTR(SetName), FromBSTR(Name), FromBSTR(URL), Set, Login);
    Put(FormSet, Set);
    Put(LoginRequired, Login);
  });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::SaveFormCard(BSTR URLKey, BSTR Name, BSTR URL, VARIANT FormSet,
                                                          VARIANT_BOOL* Saved, VARIANT_BOOL* LoginRequired) {
  if (AnyNull(Saved, LoginRequired)) return E_POINTER;
  return Serve([&] {
    bool OutSaved = false, Login = false;
    FStore->SaveFormCard(FromBSTR(URLKey), FromBSTR(Name), FromBSTR(URL), FromOleVariant(FormSet), OutSaved, Login);
    Put(Saved, OutSaved);
    Put(LoginRequired, Login);
  });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::FindSavedFormCard(BSTR URLKey, VARIANT FormSet, BSTR* Name) {
  if (!Name) return E_POINTER;
  *Name = nullptr;
  return Serve([&] {
    WideString OutName;
    FStore->FindSavedFormCard(FromBSTR(URLKey), FromOleVariant(FormSet), OutName);
    Put(Name, OutName);
  });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::FindRecord(LONG Kind, BSTR Key, VARIANT Data, BSTR* Name) {
  if (!Name) return E_POINTER;
  *Name = nullptr;
  return Serve([&] {
    WideString OutName;
    FStore->FindRecord(Kind, FromBSTR(Key), FromOleVariant(Data), OutName);
    Put(Name, OutName);
  });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::SaveRecord(LONG Kind, BSTR Key, BSTR Name, BSTR URL, VARIANT Data,
                                                        VARIANT_BOOL* Saved, VARIANT_BOOL* LoginRequired) {
  if (AnyNull(Saved, LoginRequired)) return E_POINTER;
  return Serve([&] {
    bool OutSaved = false, Login = false;
    FStore->SaveRecord(Kind, FromBSTR(Key), FromBSTR(Name), FromBSTR(URL), FromOleVariant(Data), OutSaved, Login);
    Put(Saved, OutSaved);
    Put(LoginRequired, Login);
  });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::GetRecordList(LONG Kind, BSTR URLKey, VARIANT* List, BSTR* Current) {
  if (AnyNull(List, Current)) return E_POINTER;
  VariantInit(List);
  *Current = nullptr;
  return Serve([&] {
    TVariant OutList;
    WideString OutCurrent;
    FStore->GetRecordList(Kind, FromBSTR(URLKey), OutList, OutCurrent);
    Put(List, OutList);
    Put(Current, OutCurrent);
  });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::GetRecord(LONG Kind, BSTR SetName, BSTR Name, BSTR URL, VARIANT* Data,
                                                       VARIANT_BOOL* LoginRequired) {
  if (AnyNull(Data, LoginRequired)) return E_POINTER;
  VariantInit(Data);
  return Serve([&] {
    TVariant OutData;
    bool Login = false;
    FStore->GetRecord(Kind, FromBSTR(SetName), FromBSTR(Name), FromBSTR(URL), OutData, Login);
    Put(Data, OutData);
    Put(LoginRequired, Login);
  });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::GetLexicon(VARIANT* Result) {
  if (!Result) return E_POINTER;
  VariantInit(Result);
  return Serve([&] { Put(Result, FStore->GetLexicon()); });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::TranslateStrings(VARIANT Captions, VARIANT* Result) {
  if (!Result) return E_POINTER;
  VariantInit(Result);
  return Serve([&] { Put(Result, FStore->TranslateStrings(FromOleVariant(Captions))); });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::AddAllValues(BSTR Text) {
  return Serve([&] { FStore->AddAllValues(FromBSTR(Text)); });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::ReportPage(ULONG Wnd, BSTR URL, BSTR Title, VARIANT Image) {
  return Serve([&] { FStore->ReportPage(Wnd, FromBSTR(URL), FromBSTR(Title), FromOleVariant(Image)); });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::GetSettings(BSTR SiteKey, LONG* Flags, VARIANT_BOOL* Found) {
  if (AnyNull(Flags, Found)) return E_POINTER;
  return Serve([&] {
    int32_t OutFlags = 0;
    bool OutFound = false;
    FStore->GetSettings(FromBSTR(SiteKey), OutFlags, OutFound);
    *Flags = OutFlags;
    Put(Found, OutFound);
  });
}

HRESULT STDMETHODCALLTYPE TComPelServerHost::SetSettings(BSTR SiteKey, LONG Flags, VARIANT_BOOL SetDefault,
                                                         VARIANT_BOOL ApplyToAll, VARIANT_BOOL* Handled) {
  if (!Handled) return E_POINTER;
  return Serve([&] {
    bool OutHandled = false;
    FStore->SetSettings(FromBSTR(SiteKey), Flags, SetDefault != VARIANT_FALSE, ApplyToAll != VARIANT_FALSE, OutHandled);
    Put(Handled, OutHandled);
  });
}

}  // namespace pel::win32
