#pragma once
// Filling a page form from a stored form card.

#include "BHO/ChangeTracker.h"
#include "Common/Lexicon.h"
#include "Common/TransitForms.h"
#include "platform/Dom.h"

namespace pel {

// Writes every card field into the control at its position among the form's counted controls
// (every input, select and textarea but hidden inputs). True when every field found its control
// and was written; SubmitElement is the page's control that matches the card's submit field.
bool FillFormFromCard(const TElementRef& Form, const TTransitFormCard& Card, TElementChangingTracker& Tracker,
                      TElementRef& SubmitElement, TLexicon& Lexicon);

}  // namespace pel
