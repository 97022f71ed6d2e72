#pragma once
// Binding marks: a control whose value comes from a profile field shows it (light blue, a tooltip
// naming the field) and keeps the field's name in its "Profile field" attribute, which capture
// stores with the card.

#include "BHO/ChangeTracker.h"
#include "platform/Dom.h"

namespace pel {

// The attribute that names the profile field a control is bound to.
inline constexpr const char16_t* ProfileFieldAttribute = u"Profile field";

// Marks E as bound to ProfileField, or removes the mark when ProfileField is empty. Tracker is
// the change tracker of the form item E belongs to.
void MarkBoundElement(const TElementRef& E, const WideString& ProfileField, TElementChangingTracker& Tracker);

}  // namespace pel
