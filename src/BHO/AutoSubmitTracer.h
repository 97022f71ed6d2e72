#pragma once
// The guard against loops of automatic actions: each automatic submit, playback step, mail card,
// meta refresh or credential confirmation registers itself first, and an action already in the
// unbroken chain of automatic actions is refused.

#include <cstdint>

#include "platform/Collection.h"
#include "platform/SysTypes.h"

namespace pel {

// Kinds of automatic action; callers pass the numbers.
constexpr uint8_t askFormGet = 0;
constexpr uint8_t askFormPost = 1;
constexpr uint8_t askRecordedStep = 2;
constexpr uint8_t askMailCard = 3;
constexpr uint8_t askMetaRefresh = 4;
constexpr uint8_t askAuthDialog = 5;

class TAutoSubmitItem : public TCollectionItem {
public:
  explicit TAutoSubmitItem(TCollectionBase* Collection = nullptr, int ID = 0) : TCollectionItem(Collection, ID) {}
  uint8_t Kind = 0;
  WideString Data;
  WideString PageKey;
  WideString TargetURL;
};

class TAutoSubmitTracer : public TCollection<TAutoSubmitItem> {
public:
  // True: go ahead, the action is now part of the chain. False: it already is; do not repeat it.
  // Meta refreshes are never refused, only recorded so that their navigation keeps the chain.
  bool RegisterSubmit(const WideString& PageKey, const WideString& TargetURL, const WideString& Data, uint8_t Kind);
  // Every navigation of the top-level browser: one that does not go where the last automatic
  // action said it would breaks the chain.
  void CheckNavigation(const WideString& URL);
  bool Tracing() const { return FTracing; }

private:
  bool FTracing = false;
};

}  // namespace pel
