#include "EventSource.h"

#include <algorithm>

#include "Exceptions.h"

namespace pel {

uint32_t TConnectionPoint::Advise(IEventDispatch* Sink) {
  if (!Sink) throw EOleSysError("Invalid argument", HR_E_INVALIDARG);
  const uint32_t Cookie = FNextCookie++;
  FSinks.push_back({Cookie, Sink});
  return Cookie;
}

void TConnectionPoint::Unadvise(uint32_t Cookie) {
  auto It = std::find_if(FSinks.begin(), FSinks.end(), [&](const TAdvised& A) { return A.Cookie == Cookie; });
  if (It == FSinks.end()) throw EOleSysError("No connection for this cookie", HR_CONNECT_E_NOCONNECTION);
  FSinks.erase(It);
}

std::vector<int32_t> TConnectionPoint::Fire(int32_t DispID, std::vector<TVariant> Args) {
  TDispParams Params;
  Params.Args.assign(Args.rbegin(), Args.rend());
  std::vector<int32_t> Results;
  // A snapshot of cookies: sinks may unadvise themselves or others while the event runs.
  std::vector<uint32_t> Cookies;
  for (const TAdvised& A : FSinks) Cookies.push_back(A.Cookie);
  for (uint32_t Cookie : Cookies) {
    auto It = std::find_if(FSinks.begin(), FSinks.end(), [&](const TAdvised& A) { return A.Cookie == Cookie; });
    if (It == FSinks.end()) continue;
    TDispParams Call = Params;
    Results.push_back(It->Sink->Invoke(DispID, TGUID{}, 0, DispatchMethod, Call, nullptr));
  }
  return Results;
}

void TEventSource::AddConnectionPoint(const TGUID& EventIID) {
  for (const auto& P : FPoints)
    if (P->ConnectionInterface() == EventIID) return;
  FPoints.push_back(std::make_shared<TConnectionPoint>(EventIID));
}

std::shared_ptr<IConnectionPoint> TEventSource::FindConnectionPoint(const TGUID& EventIID) {
  for (const auto& P : FPoints)
    if (P->ConnectionInterface() == EventIID) return P;
  throw EOleSysError("No connection point for " + GUIDToString(EventIID), HR_CONNECT_E_NOCONNECTION);
}

std::vector<int32_t> TEventSource::Fire(const TGUID& EventIID, int32_t DispID, std::vector<TVariant> Args) {
  for (const auto& P : FPoints)
    if (P->ConnectionInterface() == EventIID) return P->Fire(DispID, std::move(Args));
  return {};
}

int TEventSource::SinkCount(const TGUID& EventIID) const {
  for (const auto& P : FPoints)
    if (P->ConnectionInterface() == EventIID) return P->SinkCount();
  return 0;
}

}  // namespace pel
