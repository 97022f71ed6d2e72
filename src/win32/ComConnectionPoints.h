#pragma once
// A COM event source as the ports see it: its IConnectionPointContainer and IConnectionPoint,
// advising the sinks of the core through their COM face (TDispatchBridge).

#include <windows.h>

#include <ocidl.h>

#include <map>

#include "ComObject.h"
#include "platform/ConnectionPoints.h"

namespace pel::win32 {

class TDispatchBridge;

class TComConnectionPoint : public pel::IConnectionPoint {
public:
  // Takes over the caller's reference to Point.
  explicit TComConnectionPoint(::IConnectionPoint* Point) : FPoint(Point) {}
  ~TComConnectionPoint() override;
  TComConnectionPoint(const TComConnectionPoint&) = delete;
  TComConnectionPoint& operator=(const TComConnectionPoint&) = delete;

  TGUID ConnectionInterface() const override;
  uint32_t Advise(IEventDispatch* Sink) override;
  void Unadvise(uint32_t Cookie) override;

private:
  ::IConnectionPoint* FPoint;
  std::map<DWORD, TDispatchBridge*> FBridges;
};

class TComConnectionPointContainer : public TComObject, public pel::IConnectionPointContainer {
public:
  // Takes over the caller's reference to Container, which Object answered; without one (nullptr)
  // the object has no events and every search for a point fails.
  TComConnectionPointContainer(IUnknown* Object, ::IConnectionPointContainer* Container)
      : TComObject(Object), FContainer(Container) {}
  ~TComConnectionPointContainer() override {
    if (FContainer) FContainer->Release();
  }

  std::shared_ptr<pel::IConnectionPoint> FindConnectionPoint(const TGUID& EventIID) override;

private:
  ::IConnectionPointContainer* FContainer;
};

}  // namespace pel::win32
