#pragma once
// The caption of a form control: the text a page shows next to it. Controls are often named with
// opaque identifiers (f1, txt_23) while the user reads a label beside them; the profile fill asks
// the store again with that label. The search walks outward from the control, measuring the page
// text between elements with the document's text ranges. Text before a control is preferred to
// text after it, and text that belongs to another control is not taken.
//
// Everything goes through the DOM port, reads the live document and changes nothing. Failures of
// the port propagate; the caller skips the control.

#include <cstdint>

#include "platform/Dom.h"
#include "platform/SysTypes.h"

namespace pel {

// Caption is empty when none is found, when both directions are off, or when E is the body.
void GetElementCaption(const TElementRef& E, bool SearchBefore, bool SearchAfter, WideString& Caption);

// The page text from the start (AfterA false) or end (AfterA true) of A to the start (ThroughB
// false) or end (ThroughB true) of B, trimmed of characters up to U+0020 at both ends.
void TextBetween(const TElementRef& A, bool AfterA, const TElementRef& B, bool ThroughB, WideString& Text);

// An input that is not hidden, a select or a textarea.
bool IsFieldElement(const TElementRef& E);

// Some element of C at position From or later, or one of their descendants, is a field element.
bool ContainsField(const TElementsRef& C, int32_t From);

// The position of E in C, -1 when absent. C must be in document order (an element's children).
int32_t FindBySourceIndex(const TElementsRef& C, const TElementRef& E);

}  // namespace pel
