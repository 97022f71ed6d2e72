#include "ComConnectionPoints.h"

#include <olectl.h>

#include "DispatchBridge.h"
#include "platform/Exceptions.h"

namespace pel::win32 {

TComConnectionPoint::~TComConnectionPoint() {
  // Still advised: the source keeps calling the bridge, which now answers without a sink.
  for (auto& [Cookie, Bridge] : FBridges) Bridge->Detach();
  FPoint->Release();
}

TGUID TComConnectionPoint::ConnectionInterface() const {
  IID Interface;
  const HRESULT Hr = FPoint->GetConnectionInterface(&Interface);
  if (FAILED(Hr)) throw EOleSysError(OleErrorMessage(Hr), Hr);
  return FromGUID(Interface);
}

uint32_t TComConnectionPoint::Advise(IEventDispatch* Sink) {
  if (!Sink) throw EOleSysError(OleErrorMessage(E_INVALIDARG), E_INVALIDARG);
  // The source asks the sink for the interface of this point, so the bridge answers to it.
  auto* Bridge = new TDispatchBridge(Sink, ConnectionInterface());
  DWORD Cookie = 0;
  const HRESULT Hr = FPoint->Advise(Bridge, &Cookie);
  if (FAILED(Hr)) {
    Bridge->Detach();
    throw EOleSysError(OleErrorMessage(Hr), Hr);
  }
  FBridges[Cookie] = Bridge;
  return Cookie;
}

void TComConnectionPoint::Unadvise(uint32_t Cookie) {
  const HRESULT Hr = FPoint->Unadvise(Cookie);
  auto It = FBridges.find(Cookie);
  if (It != FBridges.end()) {
    // After a refused Unadvise the source may still hold the bridge: it stays, without a sink, for
    // as long as the source holds it.
    It->second->Detach();
    FBridges.erase(It);
  }
  if (FAILED(Hr)) throw EOleSysError(OleErrorMessage(Hr), Hr);
}

std::shared_ptr<pel::IConnectionPoint> TComConnectionPointContainer::FindConnectionPoint(const TGUID& EventIID) {
  const GUID Interface = ToGUID(EventIID);
  ::IConnectionPoint* Point = nullptr;
  const HRESULT Hr = FContainer ? FContainer->FindConnectionPoint(Interface, &Point) : CONNECT_E_NOCONNECTION;
  if (FAILED(Hr) || !Point) {
    const HRESULT Code = FAILED(Hr) ? Hr : CONNECT_E_NOCONNECTION;
    throw EOleSysError(OleErrorMessage(Code), Code);
  }
  return std::make_shared<TComConnectionPoint>(Point);
}

}  // namespace pel::win32
