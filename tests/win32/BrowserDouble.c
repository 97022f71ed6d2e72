#define CINTERFACE
#define COBJMACROS
#include "BrowserDouble.h"

#include <exdisp.h>
#include <exdispid.h>
#include <ocidl.h>
#include <olectl.h>
#include <oleidl.h>
#include <servprov.h>

#include <stddef.h>
#include <string.h>

#define MAX_PROPERTIES 8

static const GUID SidWebBrowserApp = {0x0002DF05, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const GUID DiidWebBrowserEvents2 = {0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};

struct TBrowserDouble {
  IWebBrowser2 Browser;
  IConnectionPointContainer Container;
  IConnectionPoint Point;
  IServiceProvider Services;
  IOleWindow Window;
  IDispatch PageWindow;
  LONG References;
  HWND Hwnd;
  HWND OleWindow;
  IDispatch* Sink;
  LONG Advised;
  IDispatch* Document;
  BSTR Names[MAX_PROPERTIES];
  VARIANT Values[MAX_PROPERTIES];
  int PropertyCount;
};

#define FROM(Field, Pointer) ((TBrowserDouble*)((char*)(Pointer) - offsetof(TBrowserDouble, Field)))

static HRESULT Query(TBrowserDouble* D, REFIID Riid, void** Object) {
  if (IsEqualIID(Riid, &IID_IUnknown) || IsEqualIID(Riid, &IID_IDispatch) || IsEqualIID(Riid, &IID_IWebBrowser) ||
      IsEqualIID(Riid, &IID_IWebBrowserApp) || IsEqualIID(Riid, &IID_IWebBrowser2))
    *Object = &D->Browser;
  else if (IsEqualIID(Riid, &IID_IConnectionPointContainer))
    *Object = &D->Container;
  else if (IsEqualIID(Riid, &IID_IOleWindow) && D->OleWindow)
    *Object = &D->Window;
  else {
    *Object = NULL;
    return E_NOINTERFACE;
  }
  InterlockedIncrement(&D->References);
  return S_OK;
}

/* The page's window object: another identity, whose services lead to the browser. */
static HRESULT QueryPageWindow(TBrowserDouble* D, REFIID Riid, void** Object) {
  if (IsEqualIID(Riid, &IID_IUnknown) || IsEqualIID(Riid, &IID_IDispatch))
    *Object = &D->PageWindow;
  else if (IsEqualIID(Riid, &IID_IServiceProvider))
    *Object = &D->Services;
  else {
    *Object = NULL;
    return E_NOINTERFACE;
  }
  InterlockedIncrement(&D->References);
  return S_OK;
}

static ULONG AddRefDouble(TBrowserDouble* D) { return (ULONG)InterlockedIncrement(&D->References); }

static ULONG ReleaseDouble(TBrowserDouble* D) {
  LONG Count = InterlockedDecrement(&D->References);
  if (Count == 0) {
    BrowserDoubleClearProperties(D);
    if (D->Document) IDispatch_Release(D->Document);
    HeapFree(GetProcessHeap(), 0, D);
  }
  return (ULONG)Count;
}

/* ---- IWebBrowser2 */
static HRESULT STDMETHODCALLTYPE B_QueryInterface(IWebBrowser2* This, REFIID Riid, void** Object) {
  return Query(FROM(Browser, This), Riid, Object);
}
static ULONG STDMETHODCALLTYPE B_AddRef(IWebBrowser2* This) { return AddRefDouble(FROM(Browser, This)); }
static ULONG STDMETHODCALLTYPE B_Release(IWebBrowser2* This) { return ReleaseDouble(FROM(Browser, This)); }
static HRESULT STDMETHODCALLTYPE B_get_Document(IWebBrowser2* This, IDispatch** Document) {
  TBrowserDouble* D = FROM(Browser, This);
  *Document = D->Document;
  if (D->Document) IDispatch_AddRef(D->Document);
  return S_OK;
}
static HRESULT STDMETHODCALLTYPE B_get_HWND(IWebBrowser2* This, SHANDLE_PTR* Hwnd) {
  TBrowserDouble* D = FROM(Browser, This);
  if (!D->Hwnd) return E_FAIL;
  *Hwnd = (SHANDLE_PTR)D->Hwnd;
  return S_OK;
}
static HRESULT STDMETHODCALLTYPE B_get_Visible(IWebBrowser2* This, VARIANT_BOOL* Visible) {
  (void)This;
  /* A window the user does not see: the add-on shows no dialog over it. */
  *Visible = VARIANT_FALSE;
  return S_OK;
}
static HRESULT STDMETHODCALLTYPE B_PutProperty(IWebBrowser2* This, BSTR Name, VARIANT Value) {
  TBrowserDouble* D = FROM(Browser, This);
  int I;
  for (I = 0; I < D->PropertyCount; ++I)
    if (lstrcmpW(D->Names[I], Name) == 0) return VariantCopy(&D->Values[I], &Value);
  if (D->PropertyCount == MAX_PROPERTIES) return E_OUTOFMEMORY;
  D->Names[D->PropertyCount] = SysAllocString(Name);
  VariantInit(&D->Values[D->PropertyCount]);
  ++D->PropertyCount;
  return VariantCopy(&D->Values[D->PropertyCount - 1], &Value);
}
static HRESULT STDMETHODCALLTYPE B_GetProperty(IWebBrowser2* This, BSTR Name, VARIANT* Value) {
  TBrowserDouble* D = FROM(Browser, This);
  int I;
  VariantInit(Value);
  for (I = 0; I < D->PropertyCount; ++I)
    if (lstrcmpW(D->Names[I], Name) == 0) return VariantCopy(Value, &D->Values[I]);
  return S_OK;
}

/* ---- IConnectionPointContainer */
static HRESULT STDMETHODCALLTYPE C_QueryInterface(IConnectionPointContainer* This, REFIID Riid, void** Object) {
  return Query(FROM(Container, This), Riid, Object);
}
static ULONG STDMETHODCALLTYPE C_AddRef(IConnectionPointContainer* This) { return AddRefDouble(FROM(Container, This)); }
static ULONG STDMETHODCALLTYPE C_Release(IConnectionPointContainer* This) {
  return ReleaseDouble(FROM(Container, This));
}
static HRESULT STDMETHODCALLTYPE C_FindConnectionPoint(IConnectionPointContainer* This, REFIID Riid,
                                                       IConnectionPoint** Point) {
  TBrowserDouble* D = FROM(Container, This);
  if (!IsEqualIID(Riid, &DiidWebBrowserEvents2)) {
    *Point = NULL;
    return CONNECT_E_NOCONNECTION;
  }
  *Point = &D->Point;
  AddRefDouble(D);
  return S_OK;
}

/* ---- IConnectionPoint: one sink at a time, cookie 1 */
static HRESULT STDMETHODCALLTYPE P_QueryInterface(IConnectionPoint* This, REFIID Riid, void** Object) {
  TBrowserDouble* D = FROM(Point, This);
  if (IsEqualIID(Riid, &IID_IUnknown) || IsEqualIID(Riid, &IID_IConnectionPoint)) {
    *Object = This;
    AddRefDouble(D);
    return S_OK;
  }
  *Object = NULL;
  return E_NOINTERFACE;
}
static ULONG STDMETHODCALLTYPE P_AddRef(IConnectionPoint* This) { return AddRefDouble(FROM(Point, This)); }
static ULONG STDMETHODCALLTYPE P_Release(IConnectionPoint* This) { return ReleaseDouble(FROM(Point, This)); }
static HRESULT STDMETHODCALLTYPE P_GetConnectionInterface(IConnectionPoint* This, IID* Riid) {
  (void)This;
  *Riid = DiidWebBrowserEvents2;
  return S_OK;
}
static HRESULT STDMETHODCALLTYPE P_Advise(IConnectionPoint* This, IUnknown* Sink, DWORD* Cookie) {
  TBrowserDouble* D = FROM(Point, This);
  IDispatch* Dispatch = NULL;
  if (D->Sink) return CONNECT_E_ADVISELIMIT;
  if (FAILED(IUnknown_QueryInterface(Sink, &DiidWebBrowserEvents2, (void**)&Dispatch)) || !Dispatch)
    return CONNECT_E_CANNOTCONNECT;
  D->Sink = Dispatch;
  ++D->Advised;
  *Cookie = 1;
  return S_OK;
}
static HRESULT STDMETHODCALLTYPE P_Unadvise(IConnectionPoint* This, DWORD Cookie) {
  TBrowserDouble* D = FROM(Point, This);
  if (Cookie != 1 || !D->Sink) return CONNECT_E_NOCONNECTION;
  IDispatch_Release(D->Sink);
  D->Sink = NULL;
  --D->Advised;
  return S_OK;
}

/* ---- the page window's IDispatch (no member is called) and IServiceProvider: the web browser
   application is the double's browser */
static HRESULT STDMETHODCALLTYPE PW_QueryInterface(IDispatch* This, REFIID Riid, void** Object) {
  return QueryPageWindow(FROM(PageWindow, This), Riid, Object);
}
static ULONG STDMETHODCALLTYPE PW_AddRef(IDispatch* This) { return AddRefDouble(FROM(PageWindow, This)); }
static ULONG STDMETHODCALLTYPE PW_Release(IDispatch* This) { return ReleaseDouble(FROM(PageWindow, This)); }
static HRESULT STDMETHODCALLTYPE S_QueryInterface(IServiceProvider* This, REFIID Riid, void** Object) {
  return QueryPageWindow(FROM(Services, This), Riid, Object);
}
static ULONG STDMETHODCALLTYPE S_AddRef(IServiceProvider* This) { return AddRefDouble(FROM(Services, This)); }
static ULONG STDMETHODCALLTYPE S_Release(IServiceProvider* This) { return ReleaseDouble(FROM(Services, This)); }
static HRESULT STDMETHODCALLTYPE S_QueryService(IServiceProvider* This, REFGUID Service, REFIID Riid, void** Object) {
  if (!IsEqualGUID(Service, &SidWebBrowserApp)) {
    *Object = NULL;
    return E_NOINTERFACE;
  }
  return Query(FROM(Services, This), Riid, Object);
}

/* ---- IOleWindow */
static HRESULT STDMETHODCALLTYPE W_QueryInterface(IOleWindow* This, REFIID Riid, void** Object) {
  return Query(FROM(Window, This), Riid, Object);
}
static ULONG STDMETHODCALLTYPE W_AddRef(IOleWindow* This) { return AddRefDouble(FROM(Window, This)); }
static ULONG STDMETHODCALLTYPE W_Release(IOleWindow* This) { return ReleaseDouble(FROM(Window, This)); }
static HRESULT STDMETHODCALLTYPE W_GetWindow(IOleWindow* This, HWND* Window) {
  *Window = FROM(Window, This)->OleWindow;
  return S_OK;
}

static IWebBrowser2Vtbl BrowserVtbl;
static IConnectionPointContainerVtbl ContainerVtbl;
static IConnectionPointVtbl PointVtbl;
static IServiceProviderVtbl ServicesVtbl;
static IOleWindowVtbl WindowVtbl;
static IDispatchVtbl PageWindowVtbl;

static void FillTables(void) {
  BrowserVtbl.QueryInterface = B_QueryInterface;
  BrowserVtbl.AddRef = B_AddRef;
  BrowserVtbl.Release = B_Release;
  BrowserVtbl.get_Document = B_get_Document;
  BrowserVtbl.get_HWND = B_get_HWND;
  BrowserVtbl.get_Visible = B_get_Visible;
  BrowserVtbl.PutProperty = B_PutProperty;
  BrowserVtbl.GetProperty = B_GetProperty;
  ContainerVtbl.QueryInterface = C_QueryInterface;
  ContainerVtbl.AddRef = C_AddRef;
  ContainerVtbl.Release = C_Release;
  ContainerVtbl.FindConnectionPoint = C_FindConnectionPoint;
  PointVtbl.QueryInterface = P_QueryInterface;
  PointVtbl.AddRef = P_AddRef;
  PointVtbl.Release = P_Release;
  PointVtbl.GetConnectionInterface = P_GetConnectionInterface;
  PointVtbl.Advise = P_Advise;
  PointVtbl.Unadvise = P_Unadvise;
  ServicesVtbl.QueryInterface = S_QueryInterface;
  ServicesVtbl.AddRef = S_AddRef;
  ServicesVtbl.Release = S_Release;
  ServicesVtbl.QueryService = S_QueryService;
  WindowVtbl.QueryInterface = W_QueryInterface;
  WindowVtbl.AddRef = W_AddRef;
  WindowVtbl.Release = W_Release;
  WindowVtbl.GetWindow = W_GetWindow;
  PageWindowVtbl.QueryInterface = PW_QueryInterface;
  PageWindowVtbl.AddRef = PW_AddRef;
  PageWindowVtbl.Release = PW_Release;
}

TBrowserDouble* BrowserDoubleCreate(HWND Hwnd, HWND OleWindow) {
  TBrowserDouble* D = (TBrowserDouble*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TBrowserDouble));
  FillTables();
  D->Browser.lpVtbl = &BrowserVtbl;
  D->Container.lpVtbl = &ContainerVtbl;
  D->Point.lpVtbl = &PointVtbl;
  D->Services.lpVtbl = &ServicesVtbl;
  D->Window.lpVtbl = &WindowVtbl;
  D->PageWindow.lpVtbl = &PageWindowVtbl;
  D->References = 1;
  D->Hwnd = Hwnd;
  D->OleWindow = OleWindow;
  return D;
}

IUnknown* BrowserDoubleUnknown(TBrowserDouble* Double) { return (IUnknown*)&Double->Browser; }
IDispatch* BrowserDoubleWindow(TBrowserDouble* Double) { return &Double->PageWindow; }
LONG BrowserDoubleReferences(TBrowserDouble* Double) { return Double->References; }
IDispatch* BrowserDoubleSink(TBrowserDouble* Double) { return Double->Sink; }
LONG BrowserDoubleAdvised(TBrowserDouble* Double) { return Double->Advised; }

void BrowserDoubleClearProperties(TBrowserDouble* Double) {
  int I;
  for (I = 0; I < Double->PropertyCount; ++I) {
    SysFreeString(Double->Names[I]);
    VariantClear(&Double->Values[I]);
  }
  Double->PropertyCount = 0;
}

void BrowserDoubleSetDocument(TBrowserDouble* Double, IDispatch* Document) {
  if (Document) IDispatch_AddRef(Document);
  if (Double->Document) IDispatch_Release(Double->Document);
  Double->Document = Document;
}
