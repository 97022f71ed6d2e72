#pragma once
// A portable event source: connection points for any number of event interfaces, firing events to
// every advised sink. The headless browser, its documents and the store are sources through it.

#include <map>
#include <memory>
#include <vector>

#include "ConnectionPoints.h"

namespace pel {

class TConnectionPoint : public IConnectionPoint {
public:
  explicit TConnectionPoint(const TGUID& EventIID) : FEventIID(EventIID) {}

  TGUID ConnectionInterface() const override { return FEventIID; }
  uint32_t Advise(IEventDispatch* Sink) override;
  void Unadvise(uint32_t Cookie) override;
  int SinkCount() const { return static_cast<int>(FSinks.size()); }

  // Calls every sink advised when the event starts, in advise order, with the arguments in their
  // declared order (laid out for the sink as the platform does). A sink unadvised by an earlier
  // one during the event is not called. Answers the results of the calls.
  std::vector<int32_t> Fire(int32_t DispID, std::vector<TVariant> Args);

private:
  struct TAdvised {
    uint32_t Cookie;
    IEventDispatch* Sink;
  };
  TGUID FEventIID;
  std::vector<TAdvised> FSinks;
  uint32_t FNextCookie = 1;
};

class TEventSource : public IConnectionPointContainer {
public:
  // Makes the source answer for an event interface.
  void AddConnectionPoint(const TGUID& EventIID);
  std::shared_ptr<IConnectionPoint> FindConnectionPoint(const TGUID& EventIID) override;
  // Fires an event of one of the source's interfaces; nothing happens for an interface it lacks.
  std::vector<int32_t> Fire(const TGUID& EventIID, int32_t DispID, std::vector<TVariant> Args = {});
  int SinkCount(const TGUID& EventIID) const;

private:
  std::vector<std::shared_ptr<TConnectionPoint>> FPoints;
};

}  // namespace pel
