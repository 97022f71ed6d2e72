#include "BindingMarks.h"

#include "BHO/ElementAccess.h"
#include "Common/Trace.h"

namespace pel {

void MarkBoundElement(const TElementRef& E, const WideString& ProfileField, TElementChangingTracker& Tracker) {
  Traced(1188, [&] {
    if (!E) return;
    // Each step stands on its own: what was done stays done when a later step fails.
    try {
      UntrackElement(Tracker, E);
      SetAttributeText(E, ProfileFieldAttribute, u"");
      E->SetStyleBackgroundColor(u"");
      E->SetTitle(u"");
      if (ProfileField.empty()) return;
      E->SetStyleBackgroundColor(u"lightblue");
      SetAttributeText(E, ProfileFieldAttribute, ProfileField);
      E->SetTitle(u"bind with <" + ProfileField + u">");
      TrackElement(Tracker, E);
    } catch (const Exception&) {
    }
  });
}

}  // namespace pel
