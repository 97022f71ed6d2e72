#include "BindingMarks.h"

#include "Common/Trace.h"

namespace pel {

void MarkBoundElement(const TElementRef& E, const WideString& ProfileField, TElementChangingTracker& Tracker) {
  Traced(1188, [&] {
    if (!E) return;
    // Each step stands on its own: what was done stays done when a later step fails.
    try {
      UntrackElement(Tracker, E);
      E->SetAttribute(ProfileFieldAttribute, TVariant(WideString()), AttributeIgnoreCase);
      E->SetStyleBackgroundColor(u"");
      E->SetTitle(u"");
      if (ProfileField.empty()) return;
      E->SetStyleBackgroundColor(u"lightblue");
      E->SetAttribute(ProfileFieldAttribute, TVariant(ProfileField), AttributeIgnoreCase);
      E->SetTitle(u"bind with <" + ProfileField + u">");
      TrackElement(Tracker, E);
    } catch (const Exception&) {
    }
  });
}

}  // namespace pel
