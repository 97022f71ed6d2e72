#pragma once
// Filling a page form from a stored form card.

#include "BHO/ChangeTracker.h"
#include "Common/Lexicon.h"
#include "Common/TransitForms.h"
#include "platform/Dom.h"

#include <unordered_map>
#include <vector>

namespace pel {

// Writes every card field into the control at its position among the form's counted controls
// (every input, select and textarea but hidden inputs). True when every field found its control
// and was written; SubmitElement is the page's control that matches the card's submit field.
bool FillFormFromCard(const TElementRef& Form, const TTransitFormCard& Card, TElementChangingTracker& Tracker,
                      TElementRef& SubmitElement, TLexicon& Lexicon);

// What the profile fill asks the store about one control: the texts it tries in its order (the
// control's name, its caption on the page, then its id, placeholder, ARIA label and title; empty
// ones left out), each with the type argument of that lookup. The type argument carries the
// control's input type on its first line and, on further lines, the evidence the store weighs:
// "autocomplete=" the control's autocomplete tokens, "form=" what kind of form it is in, "name="
// its name (in the lookups of its other texts), "text=" each of its other texts.
struct TProfileQuery {
  WideString Text;
  WideString TypeArgument;
};
// What a control's form tells about it, read once per form.
struct TFormContext {
  // "login" for a form of a password box and at most two other boxes to type in, where a box
  // called "name" wants the user name rather than a person's name; empty otherwise.
  WideString Kind;
  // The names of the controls one types into or picks from, in document order.
  std::vector<WideString> Names;
  std::unordered_map<WideString, size_t> Position;  // of each name's first control in Names
  // The names nearest the named control, up to Reach either side (itself and repeats left out):
  // a "name" box beside a "surname" box asks for the first name.
  static constexpr size_t Reach = 2;
  std::vector<WideString> Near(const WideString& Name) const;
};
TFormContext FormContextOf(const TElementRef& Form);

// The context goes along as "form=KIND" and a "near=NAME" line for each neighbour.
std::vector<TProfileQuery> ProfileQueries(const TElementRef& E, const WideString& Type, const WideString& Name,
                                          const TFormContext& Context = {});

// The page's controls (inputs, selects, textareas) that belong to no form, in document order.
std::vector<TElementRef> FormlessControls(const std::shared_ptr<IHTMLDocument2>& Document);

// Fills a document's controls outside any form from the profile, as one group: the same lookups
// and neighbour evidence as a form's fill, marks watched by Tracker. Such a group has no form
// element, so it is never captured into a card, numbered or submitted. True when every control
// considered was written and marked; false too when there is none.
class IProfileFillAgent;
bool FillFormlessFromProfile(IProfileFillAgent& Agent, const std::shared_ptr<IHTMLDocument2>& Document,
                             TElementChangingTracker& Tracker, const WideString& ProfileName, bool OnlyEmpty);

}  // namespace pel
