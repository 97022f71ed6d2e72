#include "AutoSubmitTracer.h"

#include "URLUtils.h"

namespace pel {

bool TAutoSubmitTracer::RegisterSubmit(const WideString& PageKey, const WideString& TargetURL, const WideString& Data,
                                       uint8_t Kind) {
  if (Kind != askMetaRefresh) {
    for (const TAutoSubmitItem& Item : *this)
      if (Item.PageKey == PageKey && Item.Kind == Kind && Item.TargetURL == TargetURL && Item.Data == Data)
        return false;
  }
  if (!FTracing) Clear();
  TAutoSubmitItem& Item = Add();
  Item.PageKey = PageKey;
  Item.TargetURL = TargetURL;
  Item.Kind = Kind;
  Item.Data = Data;
  FTracing = true;
  return true;
}

void TAutoSubmitTracer::CheckNavigation(const WideString& URL) {
  if (!FTracing) return;
  bool Continues = false;
  if (Count() > 0) {
    const TAutoSubmitItem& Last = Items(Count() - 1);
    switch (Last.Kind) {
      case askFormGet:
      case askFormPost: Continues = NormalizeURL(URL) == Last.TargetURL; break;
      case askRecordedStep:
      case askMetaRefresh: Continues = URL == Last.TargetURL; break;
      default: Continues = false; break;  // a mail card or a credential confirmation ends the chain
    }
  }
  if (!Continues) FTracing = false;
}

}  // namespace pel
