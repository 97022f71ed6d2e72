#include "ElementAccess.h"

#include <algorithm>
#include <climits>
#include <iterator>
#include <string_view>
#include <vector>

#include "Common/Trace.h"
#include "platform/ConnectionPoints.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace pel {

namespace {

WideString Normalized(const WideString& Text) {
  WideString R;
  NormalizeSpaces(Text, R);
  return R;
}

bool LowByteIs(int32_t Kind, int32_t Value) {
  return (static_cast<uint32_t>(Kind) & 0xFFu) == static_cast<uint32_t>(Value);
}

// The option at Index, or null when there is none (a page script may have removed options).
TOptionRef OptionAt(const TSelectRef& S, int32_t Index) { return Supports<IHTMLOptionElement>(S->Item(Index)); }

bool SameText(const WideString& A, const WideString& B) { return Locale().CompareStr(A, B) == 0; }

// At most MaxLength units, not ending in the first half of a surrogate pair.
WideString CutToMaxLength(const WideString& Text, int32_t MaxLength) {
  if (MaxLength < 0 || Text.size() <= static_cast<size_t>(MaxLength)) return Text;
  size_t Length = static_cast<size_t>(MaxLength);
  if (Length > 0 && Text[Length - 1] >= 0xD800 && Text[Length - 1] <= 0xDBFF) --Length;
  return Text.substr(0, Length);
}

// A step whose failure must not fail the write it belongs to. The silent family still passes:
// it unwinds a whole command on purpose.
template <class TStep>
void Ignoring(TStep&& Step) {
  try {
    Step();
  } catch (const EKXException&) {
    throw;
  } catch (const Exception&) {
  }
}

// A programmatic selection fires no change event, so the page's change script is run as the
// select's click handler for one click. The page's own click handler is put back whatever the
// script does, also when it fails: left in place, every later click of the user would run the
// change script.
void RunChangeScript(IHTMLElement& Select) {
  const TVariant Handler = Select.GetEventHandler(u"onchange");
  if (Handler.IsEmptyOrNull()) return;
  TVariant Saved = Select.GetEventHandler(u"onclick");
  if (Saved.IsEmpty()) Saved = TVariant::Null();
  Select.SetEventHandler(u"onclick", Handler);
  try {
    Select.Click();
  } catch (...) {
    Select.SetEventHandler(u"onclick", Saved);
    throw;
  }
  Select.SetEventHandler(u"onclick", Saved);
}

// Options whose text (or else value) equals each wanted item, blanks and case aside. True when
// every item with a key was found and something was asked for: a single value that is only
// blanks is no direct match, so the alternatives still get their turn.
// The same number written with or without leading zeros ("4" and "04"): lists of days and months
// write them either way. Digits only, so no other text is read as a number.
bool SameNumber(const WideString& A, const WideString& B) {
  auto Digits = [](const WideString& T) {
    return !T.empty() && T.size() <= 9 && std::all_of(T.begin(), T.end(), [](char16_t C) { return C >= u'0' && C <= u'9'; });
  };
  if (!Digits(A) || !Digits(B)) return false;
  auto Significant = [](const WideString& T) {
    const size_t First = T.find_first_not_of(u'0');
    return First == WideString::npos ? WideString() : T.substr(First);
  };
  return Significant(A) == Significant(B);
}

bool SelectDirectMatches(const TSelectRef& S, int32_t Kind, const WideString& Value, bool Multiple) {
  TWideStringList Wanted;
  if (Kind == ValueKindList)
    Wanted.SetCommaText(Value);
  else
    Wanted.Add(Value);
  bool AllFound = true, AnyFound = false;
  for (int W = 0; W < Wanted.Count(); ++W) {
    const WideString Key = Normalized(Wanted[W]);
    if (Key.empty()) continue;
    TOptionRef Match;
    for (int32_t I = 0; I < S->Length() && !Match; ++I) {
      TOptionRef O = OptionAt(S, I);
      if (O && (SameText(Normalized(O->Text()), Key) || SameText(Normalized(O->Value()), Key))) Match = O;
    }
    // Only when no option says it alike: a list holding both "4" and "04" gets the one it wrote so.
    for (int32_t I = 0; I < S->Length() && !Match; ++I) {
      TOptionRef O = OptionAt(S, I);
      if (O && (SameNumber(Normalized(O->Text()), Key) || SameNumber(Normalized(O->Value()), Key))) Match = O;
    }
    if (Match) {
      SetOptionSelected(S, Match, true, !Multiple);
      AnyFound = true;
    } else {
      AllFound = false;
    }
  }
  return AllFound && (AnyFound || Kind == ValueKindList);
}

std::vector<TOptionRef> OptionsOf(const TSelectRef& S) {
  std::vector<TOptionRef> Result;
  const int32_t Count = S->Length();
  for (int32_t I = 0; I < Count; ++I)
    if (TOptionRef O = OptionAt(S, I)) Result.push_back(O);
  return Result;
}

// Options whose text contains the words. Words are lower-cased as the option texts are, so that
// their case does not decide.
bool SelectWordMatches(const TSelectRef& S, const TWideStringList& Values, bool Multiple) {
  const WideString Delimiters = TLexicon::GetDelimiters();
  std::vector<WideString> Words;
  for (int W = 0; W < Values.Count(); ++W) Words.push_back(Locale().LowerCase(Values[W]));

  bool Result = false;
  if (Multiple) {
    for (const TOptionRef& O : OptionsOf(S)) {
      SetOptionSelected(S, O, false, false);
      const WideString Text = Normalized(O->Text());
      for (const WideString& Word : Words)
        if (FindDelimitedWord(Word, Text, Delimiters) > 0) {
          SetOptionSelected(S, O, true, false);
          Result = true;
          break;
        }
    }
    return Result;
  }

  // The option holding the most words wins; then the one with the least text besides them; then
  // the longer text; then the earlier option.
  TOptionRef Best;
  int BestCount = 0;
  size_t BestRest = SIZE_MAX, BestLength = 0;
  for (const TOptionRef& O : OptionsOf(S)) {
    WideString Text = Normalized(O->Text());
    const size_t Length = Text.size();
    int Count = 0;
    for (const WideString& Word : Words) {
      const int32_t P = FindDelimitedWord(Word, Text, Delimiters);
      if (P <= 0) continue;
      Text.erase(static_cast<size_t>(P - 1), Word.size());
      ++Count;
    }
    if (Count == 0) continue;
    const size_t Rest = Text.size();
    if (Count > BestCount || (Count == BestCount && (Rest < BestRest || (Rest == BestRest && Length > BestLength)))) {
      Best = O;
      BestCount = Count;
      BestRest = Rest;
      BestLength = Length;
    }
  }
  if (!Best) return false;
  SetOptionSelected(S, Best, true, true);
  return true;
}

// Options whose normal form equals a phrase, substitutions expanded. A single select keeps its
// selection when no phrase matches: selecting one option deselects the others anyway.
bool SelectLexiconMatches(const TSelectRef& S, const TLexicon& Lexicon, const TWideStringList& Values, bool Multiple) {
  const std::vector<TOptionRef> Options = OptionsOf(S);
  std::vector<WideString> Keys;
  for (const TOptionRef& O : Options) {
    if (Multiple) SetOptionSelected(S, O, false, false);
    Keys.push_back(Lexicon.Normalize(O->Text()));
  }
  TWideStringList Candidates;
  Lexicon.ExpandSubstitutions(Values, Candidates);
  bool Result = false;
  for (int C = 0; C < Candidates.Count(); ++C) {
    // An empty phrase names nothing; it must not pick an option whose text is only stop words.
    if (Candidates[C].empty()) continue;
    for (size_t I = 0; I < Options.size(); ++I) {
      if (!SameText(Keys[I], Candidates[C])) continue;
      SetOptionSelected(S, Options[I], true, !Multiple);
      if (!Multiple) return true;
      Result = true;
      break;
    }
  }
  return Result;
}

}  // namespace

// ---- Reading

void ReadElement(const TElementRef& E, WideString& Name, WideString& Tag, WideString& InputType, WideString& Value) {
  Traced(1212, [&] {
    Name.clear();
    Tag.clear();
    InputType.clear();
    Value.clear();
    // A control gone from a collection that shrank while it was walked reads as no control.
    if (!E) return;
    const WideString T = AsciiLowerCase(E->TagName());
    if (T == u"input") {
      ReadInput(Require<IHTMLInputElement>(E), Name, InputType, Value);
    } else if (T == u"select") {
      bool IsDefault = false;
      ReadSelect(Require<IHTMLSelectElement>(E), Name, InputType, Value, IsDefault);
    } else if (T == u"textarea") {
      ReadTextArea(Require<IHTMLTextAreaElement>(E), Name, Value);
    } else {
      return;
    }
    Tag = T;
  });
}

void ReadElementKey(const TElementRef& E, WideString& Name, WideString& Tag, WideString& InputType) {
  Name.clear();
  Tag.clear();
  InputType.clear();
  if (!E) return;
  const WideString T = AsciiLowerCase(E->TagName());
  if (T == u"input") {
    auto I = Require<IHTMLInputElement>(E);
    InputType = AsciiLowerCase(I->Type());
    Name = I->Name();
  } else if (T == u"select") {
    Name = Require<IHTMLSelectElement>(E)->Name();
    ReadTypeAttribute(E, InputType);
  } else if (T == u"textarea") {
    Name = Require<IHTMLTextAreaElement>(E)->Name();
  } else {
    return;
  }
  Tag = T;
}

void ReadInput(const TInputRef& I, WideString& Name, WideString& InputType, WideString& Value) {
  Traced(1213, [&] {
    InputType = AsciiLowerCase(I->Type());
    Name = I->Name();
    if (InputType == u"checkbox" || InputType == u"radio")
      Value = I->Checked() ? u"true" : u"false";
    else
      Value = I->Value();
  });
}

void ReadSelect(const TSelectRef& S, WideString& Name, WideString& SelectType, WideString& Value, bool& IsDefault) {
  Traced(1214, [&] {
    Name = S->Name();
    ReadTypeAttribute(Require<IHTMLElement>(S), SelectType);
    IsDefault = false;
    if (S->SelectedIndex() < 0) {
      Value = S->Value();
      return;
    }
    TWideStringList Selected;
    for (const TOptionRef& O : OptionsOf(S)) {
      if (!O->Selected()) continue;
      WideString V = O->Value();
      if (V.empty()) V = TrimBlanksAndControls(O->Text());
      if (V.empty()) continue;
      Selected.Add(V);
      IsDefault = O->DefaultSelected();
    }
    Value = Selected.IsEmpty() ? WideString() : Selected.CommaText();
  });
}

void ReadTextArea(const TTextAreaRef& T, WideString& Name, WideString& Value) {
  Traced(1215, [&] {
    Name = T->Name();
    Value = T->Value();
  });
}

void ReadSelectedTexts(const TSelectRef& S, WideString& Texts) {
  Traced(1615, [&] {
    Texts.clear();
    if (S->SelectedIndex() < 0) return;
    TWideStringList List;
    for (const TOptionRef& O : OptionsOf(S))
      if (O->Selected()) List.Add(O->Text());
    if (!List.IsEmpty()) Texts = List.CommaText();
  });
}

void ReadTypeAttribute(const TElementRef& E, WideString& T) {
  Traced(1614, [&] {
    const TVariant V = E->GetAttribute(u"type", AttributeIgnoreCase);
    T = V.IsEmptyOrNull() ? WideString() : Locale().LowerCase(V.AsWideString());
  });
}

bool GetAttributeText(const TElementRef& E, const WideString& Attr, WideString& Value) {
  return Traced(1513, [&] {
    const TVariant V = E->GetAttribute(Attr, AttributeIgnoreCase);
    if (V.IsEmptyOrNull()) {
      Value.clear();
      return false;
    }
    Value = V.AsWideString();
    return true;
  });
}

void SetAttributeText(const TElementRef& E, const WideString& Attr, const WideString& Value) {
  Traced(1514, [&] { E->SetAttribute(Attr, TVariant(Value), AttributeIgnoreCase); });
}

// ---- Writing

bool FillElement(const TElementRef& E, int32_t Kind, const WideString& Value, const TLexicon& Lexicon,
                 const TWideStringList& Values) {
  return Traced(1189, [&] {
    const WideString T = AsciiLowerCase(E->TagName());
    if (T == u"input") return FillInput(Require<IHTMLInputElement>(E), Kind, Value, Values);
    if (T == u"select") return FillSelect(Require<IHTMLSelectElement>(E), Kind, Value, Lexicon, Values);
    if (T == u"textarea") return FillTextArea(Require<IHTMLTextAreaElement>(E), Kind, Value, Values);
    return false;
  });
}

bool IsTextInputType(const WideString& InputType) {
  static constexpr std::u16string_view TextTypes[] = {u"text",   u"password", u"email", u"tel",
                                                      u"url",    u"number",   u"search", u"date",
                                                      u"time",   u"datetime", u"datetime-local", u"month",
                                                      u"week"};
  return std::find(std::begin(TextTypes), std::end(TextTypes), InputType) != std::end(TextTypes);
}

bool FillInput(const TInputRef& I, int32_t /*Kind*/, const WideString& Value, const TWideStringList& Values) {
  return Traced(1208, [&] {
    const WideString InputType = AsciiLowerCase(I->Type());
    if (InputType == u"checkbox") {
      if (I->Checked() != (Value == u"true")) Require<IHTMLElement>(I)->Click();
      return true;
    }
    if (InputType == u"radio") {
      // A radio group changes only by checking another member; unchecking would empty it.
      if (!I->Checked() && Value == u"true") Require<IHTMLElement>(I)->Click();
      return true;
    }
    if (IsTextInputType(InputType)) {
      const WideString S = !Value.empty() ? Value : Values.IsEmpty() ? WideString() : Values[0];
      I->SetValue(CutToMaxLength(S, I->MaxLength()));
      return true;
    }
    return false;
  });
}

bool FillTextArea(const TTextAreaRef& T, int32_t Kind, const WideString& Value, const TWideStringList& Values) {
  return Traced(1210, [&] {
    if (Kind != ValueKindList && (LowByteIs(Kind, ValueKindWords) || LowByteIs(Kind, ValueKindPhrases)))
      T->SetValue(Values.IsEmpty() ? WideString() : Values[0]);
    else
      T->SetValue(Value);
    return true;
  });
}

bool FillSelect(const TSelectRef& S, int32_t Kind, const WideString& Value, const TLexicon& Lexicon,
                const TWideStringList& Values) {
  return Traced(1209, [&] {
    const bool Multiple = S->Multiple();
    if (Multiple) ClearSelect(S);
    bool Result = false;
    if (Kind == ValueKindList || !Value.empty()) Result = SelectDirectMatches(S, Kind, Value, Multiple);
    if (Result || Kind == ValueKindList || Values.IsEmpty()) return Result;
    if (LowByteIs(Kind, ValueKindWords)) return SelectWordMatches(S, Values, Multiple);
    if (LowByteIs(Kind, ValueKindPhrases)) return SelectLexiconMatches(S, Lexicon, Values, Multiple);
    return false;
  });
}

void SetOptionSelected(const TSelectRef& S, const TOptionRef& O, bool Selected, bool FireChange) {
  Traced(1610, [&] {
    if (O->Selected() == Selected) return;
    O->SetSelected(Selected);
    if (!Selected || !FireChange) return;
    const TElementRef Select = Require<IHTMLElement>(S);
    Ignoring([&] { RunChangeScript(*Select); });
    // The script may have changed the selection; the option asked for stays selected.
    Ignoring([&] { O->SetSelected(true); });
  });
}

void ClearSelect(const TSelectRef& S) {
  Traced(1611, [&] {
    for (const TOptionRef& O : OptionsOf(S)) SetOptionSelected(S, O, false, false);
    // A drop-down list may insist on showing an option; no selected index clears it for good.
    // (Clearing the value instead would select an option whose value is empty.)
    S->SetSelectedIndex(-1);
  });
}

// ---- Text

// White space and control characters of Unicode: Cc, Zs, Zl, Zp and the other White_Space ones.
bool IsBlankOrControl(WideChar C) {
  if (C <= 0x20 || (C >= 0x7F && C <= 0xA0)) return true;
  switch (C) {
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
      return true;
    default:
      return C >= 0x2000 && C <= 0x200A;
  }
}

WideString TrimBlanksAndControls(const WideString& Text) {
  size_t First = 0, Last = Text.size();
  while (First < Last && IsBlankOrControl(Text[First])) ++First;
  while (Last > First && IsBlankOrControl(Text[Last - 1])) --Last;
  return Text.substr(First, Last - First);
}

bool IsBlankText(const WideString& Text) {
  for (WideChar C : Text)
    if (!IsBlankOrControl(C)) return false;
  return true;
}

void NormalizeSpaces(const WideString& S, WideString& R) {
  Traced(1520, [&] {
    const WideString Lower = Locale().LowerCase(TrimBlanksAndControls(S));
    WideString Result;
    size_t Start = 0;
    while (Start <= Lower.size()) {
      size_t End = Lower.find(u' ', Start);
      if (End == WideString::npos) End = Lower.size();
      if (End > Start) {
        if (!Result.empty()) Result += u' ';
        Result.append(Lower, Start, End - Start);
      }
      Start = End + 1;
    }
    R = Result;
  });
}

int32_t FindDelimitedWord(const WideString& Word, const WideString& Text, const WideString& Delimiters) {
  if (Word.empty()) return 0;
  auto IsDelimiter = [&](WideChar C) { return Delimiters.find(C) != WideString::npos; };
  // Every occurrence is tried: "red" is a word of "shred red", though its first occurrence is not.
  for (size_t P = Text.find(Word); P != WideString::npos; P = Text.find(Word, P + 1)) {
    const size_t After = P + Word.size();
    if (P > 0 && !IsDelimiter(Text[P - 1])) continue;
    if (After < Text.size() && !IsDelimiter(Text[After])) continue;
    return static_cast<int32_t>(P + 1);
  }
  return 0;
}

int32_t WidePos(const WideString& Sub, const WideString& S) {
  if (Sub.empty() || Sub.size() > S.size()) return 0;
  const size_t P = S.find(Sub);
  return P == WideString::npos ? 0 : static_cast<int32_t>(P + 1);
}

}  // namespace pel
