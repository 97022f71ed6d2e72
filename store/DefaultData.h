#pragma once
// What a new store starts with: the profile schema, one sample profile, and the recognition data
// (stop words, synonyms of each profile field, input types that imply a field). Recognition is
// driven entirely by these tables; the store's code only normalises and compares.

#include <cstdint>
#include <vector>

#include "platform/SysTypes.h"

namespace pel::store {

struct TDefaultField {
  const char16_t* Name;
  const char16_t* Hint;  // the second string of the field triples: what the field holds
  const char16_t* Group;
  int32_t ValueKind;
  // Phrases that name this field in control names and captions, comma-separated.
  const char16_t* Synonyms;
  // Sample profile value and its alternatives (comma text).
  const char16_t* SampleValue;
  const char16_t* SampleValues;
};

const std::vector<TDefaultField>& DefaultFields();
// Words that carry no meaning in a control name or caption, comma-separated.
const char16_t* DefaultStopWords();
// input type → profile field, for controls whose name says nothing.
// Alone: the type names its field even when nothing else is recognised. Overrules: fields
// (comma-separated) that the type replaces by its own when the name says them.
// Only: no box of another type holds the field unless its name says so (a password).
struct TDefaultTypeHint {
  const char16_t* InputType;
  const char16_t* Field;
  bool Alone;
  const char16_t* Overrules;
  bool Only = false;
};
const std::vector<TDefaultTypeHint>& DefaultTypeHints();
// Container words (comma-separated) and the field they name when nothing more specific is said
// (nullptr: none; they only keep the words they span from counting).
// YieldsTo: fields (comma-separated) a specific phrase in the control's other texts may name
// instead (a login box named "username" whose caption asks for an e-mail address).
// YieldsToSpelledOut: fields it gives way to only when the other texts spell them out with a
// specific phrase (a user name box captioned "Your first and last name"; "Name" alone is as
// often a user name's caption).
struct TDefaultContainer {
  const char16_t* Field;
  const char16_t* Phrases;
  const char16_t* YieldsTo;
  const char16_t* YieldsToSpelledOut = u"";
};
const std::vector<TDefaultContainer>& DefaultContainers();
// Words (comma-separated) that name a part of a field (Context) only where the control or its
// neighbours speak of that field: "year" is the birth year beside "date of birth" only.
struct TDefaultPart {
  const char16_t* Field;
  const char16_t* Context;
  const char16_t* Phrases;
};
const std::vector<TDefaultPart>& DefaultParts();
// In a form of a kind, the field a container word names stands for another (a "name" box in a
// login form asks for the user name).
// Instead nullptr: no field at all.
// EvenSpecific: also where a specific phrase names the field (a login form asks for no one's
// first or last name: "lname" there is the login name).
struct TDefaultFormYield {
  const char16_t* FormKind;
  const char16_t* Field;
  const char16_t* Instead;
  bool EvenSpecific = false;
};
const std::vector<TDefaultFormYield>& DefaultFormYields();
// Beside a control named for Neighbour (and none named for Instead), the field a container word
// names stands for Instead ("Name" beside "Vorname" is the last name, "nombre" beside "apellidos"
// the first).
struct TDefaultComplement {
  const char16_t* Field;
  const char16_t* Neighbour;
  const char16_t* Instead;
};
const std::vector<TDefaultComplement>& DefaultComplements();
// Phrases of controls that no profile value belongs in, comma-separated.
const char16_t* DefaultNoFieldPhrases();
// Autocomplete tokens and the field each asks for (nullptr: no profile field).
struct TDefaultAutocomplete {
  const char16_t* Token;
  const char16_t* Field;
};
const std::vector<TDefaultAutocomplete>& DefaultAutocomplete();
// Input types that never take a profile value, and those that only choose (comma-separated).
const char16_t* DefaultNonTextTypes();
const char16_t* DefaultChoiceTypes();
// Substitutions of the lexicon the add-on loads (select option matching): name, comma-separated values.
struct TDefaultSubstitution {
  const char16_t* Name;
  const char16_t* Values;
};
const std::vector<TDefaultSubstitution>& DefaultSubstitutions();

inline constexpr const char16_t* SampleProfileName = u"Sample";

}  // namespace pel::store
