#pragma once
// Capture: a page form becomes a form card with one field per control and its current value.

#include "platform/Dom.h"
#include "Common/TransitForms.h"

namespace pel {

// The form's own control list, in document order; raises when Form is no form.
TElementsRef FormElements(const TElementRef& Form);

// Rebuilds Card's fields from Form's own control list, in document order. SubmitFieldIndex is the
// position in the fields of SubmitElement (by sourceIndex), or -1. A walk that fails leaves no
// fields and SubmitFieldIndex -1: an index into fields that are not there would make every later
// fill from the card fail.
void SaveFormToCard(const TElementRef& Form, const TElementRef& SubmitElement, TTransitFormCard& Card,
                    int32_t& SubmitFieldIndex);

}  // namespace pel
