#pragma once
// Watching marked controls: when the user changes a control whose value came from the profile, its
// binding mark goes. Each watcher is an event sink on one control, tied to it by the number the
// tracker writes into the control's "SinkID" attribute.

#include <memory>

#include "Common/EventSink.h"
#include "platform/Collection.h"
#include "platform/Dom.h"

namespace pel {

class TElementChangingTracker;

class TElementChangingSink : public TCollectionItem {
public:
  explicit TElementChangingSink(TCollectionBase* Collection = nullptr, int ID = 0);
  ~TElementChangingSink() override;

  // Connects a watcher of the control's kind; false for a control that cannot be watched.
  bool Attach(const TElementRef& E, int32_t& NextSinkID);
  // Disconnects; the sink object stays until the next Attach or the watcher goes, since Detach
  // runs inside that sink's own event when a change removes its mark.
  void Detach();
  // The "SinkID" of the connected control; -1 when not connected or absent.
  int32_t GetSinkID();
  // The user changed the control: its mark goes, and with it this watcher's connection.
  void Changed();
  bool Connected() const { return FEventSink && FEventSink->Connected(); }

private:
  void InputChanged();
  void TextAreaChanged();
  TElementRef Element() const;

  WideString FInitialValue;
  std::unique_ptr<TEventSink> FEventSink;
};

class TElementChangingTracker : public TCollection<TElementChangingSink> {
public:
  TElementChangingTracker();
  int32_t FNextSinkID = 0;
};

void TrackElement(TElementChangingTracker& Tracker, const TElementRef& E);
void UntrackElement(TElementChangingTracker& Tracker, const TElementRef& E);

}  // namespace pel
