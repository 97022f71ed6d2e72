#pragma once
// What the agent tests share: a store double that also raises the store's events, registration
// in the running-object table for the length of a test, and a clean slate of dialog scripts.

#include <gtest/gtest.h>

#include <memory>

#include "Common/StoreStreams.h"
#include "agent/BrivaneAgent.h"
#include "headless/HeadlessDialogs.h"
#include "platform/EventSource.h"
#include "platform/Services.h"
#include "support/AnswersUsed.h"
#include "support/FakePelServer.h"

namespace pel::test {

class TEventingFakeServer : public TFakePelServer, public IConnectionPointContainer {
public:
  TEventingFakeServer() { Events.AddConnectionPoint(DIID_IPelServerEvents); }
  std::shared_ptr<IConnectionPoint> FindConnectionPoint(const TGUID& EventIID) override {
    if (RefuseEvents) throw EOleSysError("The object refuses connections", static_cast<int32_t>(0x80040200));
    return Events.FindConnectionPoint(EventIID);
  }
  void Fire(int32_t DispID, std::vector<TVariant> Args = {}) {
    Events.Fire(DIID_IPelServerEvents, DispID, std::move(Args));
  }
  int AdvisedSinks() const { return Events.SinkCount(DIID_IPelServerEvents); }

  TEventSource Events;
  bool RefuseEvents = false;
};

// Registered as the running store while it lives.
class TRunningServer {
public:
  explicit TRunningServer(std::shared_ptr<IInterface> Server)
      : FCookie(RunningObjects().Register(CLSID_PelServer, std::move(Server))) {}
  ~TRunningServer() { Revoke(); }
  void Revoke() {
    if (FCookie) RunningObjects().Revoke(FCookie);
    FCookie = 0;
  }

private:
  uint32_t FCookie;
};

inline headless::THeadlessDialogViews& Views() { return headless::HeadlessDialogViews(); }

// A caption exchange answer of these strings.
inline TVariant CaptionAnswer(std::initializer_list<const char16_t*> Strings) {
  TWideStringList List;
  for (const char16_t* S : Strings) List.Add(S);
  return CaptionsToVariant(List);
}

}  // namespace pel::test
