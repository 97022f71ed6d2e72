#pragma once
// The one place where the value of a form control is read or written. A control reads as four
// strings (name, tag, type, value), which are also what form cards store:
//
//   input checkbox/radio  name, "input", type (lower case), "true" or "false"
//   input of other types  name, "input", type (lower case), value
//   select                name, "select", "select-one"/"select-multiple", comma text of the
//                         selected options' values (an option without a value counts with its
//                         trimmed text)
//   textarea              name, "textarea", "", value
//   anything else         four empty strings; it is never written
//
// A write carries a kind: -1 means Value is the comma text of a multiple selection; a low byte of
// 4 means Values are words an option's text must contain; 5 means Values are lexicon phrases an
// option's normal form must equal; anything else means one plain Value.
//
// Check boxes and radio buttons are written by clicking them, so that the page's own scripts run
// as for the user's click; a select's change script is run the same way (see SetOptionSelected).
// Page scripts run synchronously inside these routines.

#include <cstdint>
#include <memory>

#include "Common/Lexicon.h"
#include "platform/Dom.h"
#include "platform/StringList.h"

namespace pel {

using TInputRef = std::shared_ptr<IHTMLInputElement>;
using TSelectRef = std::shared_ptr<IHTMLSelectElement>;
using TOptionRef = std::shared_ptr<IHTMLOptionElement>;
using TTextAreaRef = std::shared_ptr<IHTMLTextAreaElement>;

// Kinds of a value to be written (see above).
constexpr int32_t ValueKindList = -1;
constexpr int32_t ValueKindWords = 4;
constexpr int32_t ValueKindPhrases = 5;

// ---- Reading

// Dispatches on the tag; any element but input, select and textarea gives four empty strings.
void ReadElement(const TElementRef& E, WideString& Name, WideString& Tag, WideString& InputType, WideString& Value);
// Name, tag and type as ReadElement gives them, without the value: what a fill compares before it
// writes. A select's value is a walk over its options, and a fill passes every control of a form.
void ReadElementKey(const TElementRef& E, WideString& Name, WideString& Tag, WideString& InputType);
void ReadInput(const TInputRef& I, WideString& Name, WideString& InputType, WideString& Value);
// IsDefault: the last selected option that counted is one the page preselected.
void ReadSelect(const TSelectRef& S, WideString& Name, WideString& SelectType, WideString& Value, bool& IsDefault);
void ReadTextArea(const TTextAreaRef& T, WideString& Name, WideString& Value);
// Comma text of the selected options' texts as they are (not trimmed).
void ReadSelectedTexts(const TSelectRef& S, WideString& Texts);
// The element's "type" attribute, lower-cased under the user's locale.
void ReadTypeAttribute(const TElementRef& E, WideString& T);
// True when the attribute is there (a value that is neither empty nor null); Value is its text.
bool GetAttributeText(const TElementRef& E, const WideString& Attr, WideString& Value);
// Writes the attribute as text; an empty Value is written, not removed.
void SetAttributeText(const TElementRef& E, const WideString& Attr, const WideString& Value);

// ---- Writing; each answers whether the element was written.

// Whether an input of this (lower-case) type holds typed text that is read and written through
// its value: text and password boxes, and the boxes of newer pages that the browser's later
// versions treat as text boxes (e-mail, telephone, address, number, search, dates and times).
// Older versions answer "text" for most of these anyway; the type's own name stays what is
// compared and stored everywhere else.
bool IsTextInputType(const WideString& InputType);

bool FillElement(const TElementRef& E, int32_t Kind, const WideString& Value, const TLexicon& Lexicon,
                 const TWideStringList& Values);
bool FillInput(const TInputRef& I, int32_t Kind, const WideString& Value, const TWideStringList& Values);
bool FillSelect(const TSelectRef& S, int32_t Kind, const WideString& Value, const TLexicon& Lexicon,
                const TWideStringList& Values);
bool FillTextArea(const TTextAreaRef& T, int32_t Kind, const WideString& Value, const TWideStringList& Values);
// Sets the option's state. When that selects it and FireChange is set, the page's change script
// of the select runs once (a programmatic selection fires none); a failure of that script is
// ignored and leaves the option selected and the select's click handler as it was.
void SetOptionSelected(const TSelectRef& S, const TOptionRef& O, bool Selected, bool FireChange);
// Leaves no option selected.
void ClearSelect(const TSelectRef& S);

// ---- Text

// The one idea of a blank wherever the core trims text or decides that a value is empty: white
// space and control characters of Unicode, so a no-break space (U+00A0) or an ideographic space
// (U+3000) is as blank as U+0020.
bool IsBlankOrControl(WideChar C);
WideString TrimBlanksAndControls(const WideString& Text);
// Nothing but blanks and control characters (or nothing at all).
bool IsBlankText(const WideString& Text);

// Trimmed of white space and control characters, lower-cased under the user's locale, runs of
// blanks (U+0020 only) collapsed to one; tabs and line breaks inside stay.
void NormalizeSpaces(const WideString& S, WideString& R);
// 1-based position of the first occurrence of Word in Text that has a delimiter (or the text's
// edge) on both sides; 0 when there is none or Word is empty. Case-sensitive.
int32_t FindDelimitedWord(const WideString& Word, const WideString& Text, const WideString& Delimiters);
// 1-based position of the first occurrence of Sub in S, unit by unit; 0 when Sub is empty or absent.
int32_t WidePos(const WideString& Sub, const WideString& S);

}  // namespace pel
