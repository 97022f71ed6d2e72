#include "FormFill.h"

#include <functional>
#include <map>
#include <tuple>
#include <vector>

#include "BHO/BindingMarks.h"
#include "BHO/CaptionFinder.h"
#include "BHO/ElementAccess.h"
#include "BHO/FormCapture.h"
#include "BHO/PageForms.h"
#include "Common/Trace.h"

namespace pel {

namespace {

bool IsCountedControl(const TElementRef& E) {
  const WideString Tag = AsciiLowerCase(E->TagName());
  if (Tag == u"input") return AsciiLowerCase(Require<IHTMLInputElement>(E)->Type()) != u"hidden";
  return Tag == u"select" || Tag == u"textarea";
}

// The form's counted controls (inputs, selects and textareas, hidden inputs aside) by position,
// as the form's element list has them at the moment of asking. A card's fields come in form
// order, so the walk goes forward through one answer of the form and remembers where each counted
// control stood: a whole fill costs one pass over the form and one look at each control's tag and
// type. Page scripts run inside the writes and may add or remove controls, so after a write the
// form is asked again (Touched); the walk goes on where it was when the last element it passed
// is still at the same place in the new answer (nothing before it came or went), and starts over
// from the first control otherwise.
class TCountedControls {
public:
  explicit TCountedControls(const TElementRef& Form) : FForm(Form), FList(FormElements(Form)) {}

  // The control at counted Position, or null when the form has fewer.
  TElementRef At(int32_t Position) {
    if (Position < 0) return nullptr;
    if (FTouched) Refresh();
    const int32_t Length = FList->Length();
    while (static_cast<int32_t>(FAt.size()) <= Position && FPassed < Length) {
      TElementRef E = FList->Item(FPassed);
      ++FPassed;
      if (!E) continue;
      FLastPassed = E;
      if (IsCountedControl(E)) FAt.push_back(FPassed - 1);
    }
    if (static_cast<int32_t>(FAt.size()) <= Position) return nullptr;
    return FList->Item(FAt[static_cast<size_t>(Position)]);
  }

  // A write happened: page scripts may have changed the form.
  void Touched() { FTouched = true; }

private:
  void Refresh() {
    FTouched = false;
    TElementsRef Now = FormElements(FForm);
    if (Now == FList) return;
    FList = std::move(Now);
    if (FPassed == 0) return;
    if (FPassed <= FList->Length() && IsSameObject(FList->Item(FPassed - 1), FLastPassed)) return;
    FPassed = 0;
    FAt.clear();
    FLastPassed = nullptr;
  }

  TElementRef FForm;
  TElementsRef FList;
  bool FTouched = false;
  int32_t FPassed = 0;       // elements of FList looked at so far
  TElementRef FLastPassed;   // the last of them
  std::vector<int32_t> FAt;  // where each counted control found so far stands in FList
};

// Where the walk over a form's element list goes on after a write: the list is asked again, and
// the walk continues behind the element just written, wherever a page script moved it. When the
// script removed it, the walk continues at the same place, where the elements behind it moved up.
int32_t ContinueAfter(const TElementRef& Form, TElementsRef& Controls, int32_t I, const TElementRef& Written) {
  TElementsRef Now = FormElements(Form);
  if (Now == Controls) return I;
  Controls = std::move(Now);
  if (IsSameObject(Controls->Item(I), Written)) return I;
  const int32_t Length = Controls->Length();
  for (int32_t J = 0; J < Length; ++J)
    if (IsSameObject(Controls->Item(J), Written)) return J;
  return I - 1;
}

// The first field of a set with each tag, type and name, taking the cards in order and each card's
// fields in order: what FindFieldInSet answers for a probe that is no hidden or submit input (only
// those compare values too, and the fill by name passes them by). One lookup per control instead
// of a pass over every card's fields.
class TFieldsByKey {
public:
  explicit TFieldsByKey(const TTransitFormSet& Cards) {
    for (const TTransitFormCard& Card : Cards)
      for (const TTransitField& F : Card.Fields) FFirst.try_emplace(TKey{F.TagName, F.InputType, F.Name}, &F);
  }
  // Copies the field into Probe, as FindFieldInSet does.
  bool Find(TTransitField& Probe) const {
    auto It = FFirst.find(TKey{Probe.TagName, Probe.InputType, Probe.Name});
    if (It == FFirst.end()) return false;
    Probe.Assign(*It->second);
    return true;
  }

private:
  using TKey = std::tuple<WideString, WideString, WideString>;
  std::map<TKey, const TTransitField*> FFirst;
};

}  // namespace

bool FillFormFromCard(const TElementRef& Form, const TTransitFormCard& Card, TElementChangingTracker& Tracker,
                      TElementRef& SubmitElement, TLexicon& Lexicon) {
  return Traced(1612, [&] {
    SubmitElement = nullptr;
    bool AllMatched = true;
    const TTransitField* SubmitField =
        Card.SubmitFieldIndex >= 0 ? &Card.Fields.Items(Card.SubmitFieldIndex) : nullptr;
    TCountedControls Controls(Form);
    for (const TTransitField& CF : Card.Fields) {
      if (CF.Index == -1) continue;
      TWideStringList Values;
      Values.SetCommaText(CF.Values);

      TElementRef E = Controls.At(CF.Index);
      if (!E) {
        AllMatched = false;
        continue;
      }
      WideString Name, Tag, Type;
      ReadElementKey(E, Name, Tag, Type);
      // The value tells submit buttons apart; it is read only for the control that may be one.
      if (SubmitField && !SubmitElement && SubmitField->Index == CF.Index) {
        TTransitField Probe;
        Probe.Index = CF.Index;
        ReadElement(E, Probe.Name, Probe.TagName, Probe.InputType, Probe.Value);
        if (SubmitField->Matches(Probe, true)) SubmitElement = E;
      }
      if (Tag != CF.TagName) {
        AllMatched = false;
      } else if (CF.TagName == u"input") {
        if (Type != CF.InputType || Name != CF.Name) {
          AllMatched = false;
        } else {
          Controls.Touched();
          if (FillInput(Require<IHTMLInputElement>(E), CF.ValueKind, CF.Value, Values))
            MarkBoundElement(E, CF.ProfileField, Tracker);
        }
      } else if (CF.TagName == u"select") {
        if (Name != CF.Name) {
          AllMatched = false;
        } else {
          Controls.Touched();
          if (FillSelect(Require<IHTMLSelectElement>(E), CF.ValueKind, CF.Value, Lexicon, Values))
            MarkBoundElement(E, CF.ProfileField, Tracker);
          else
            AllMatched = false;
        }
      } else if (CF.TagName == u"textarea") {
        if (Name != CF.Name) {
          AllMatched = false;
        } else {
          Controls.Touched();
          FillTextArea(Require<IHTMLTextAreaElement>(E), CF.ValueKind, CF.Value, Values);
          MarkBoundElement(E, CF.ProfileField, Tracker);
        }
      }
    }
    return AllMatched;
  });
}

bool TFormItem::FillFromCard(TLexicon& Lexicon, const TTransitFormCard& Card) {
  return Traced(1591, [&] {
    FSubmitElement = nullptr;
    FAllFilled = FillFormFromCard(FHtmlForm, Card, *FChangeTracker, FSubmitElement, Lexicon);
    SetSubmitTarget(Card.SubmitTarget != 0);
    return FAllFilled;
  });
}

void TFormItem::FillMatchingFields(TLexicon& Lexicon, const TTransitFormSet& Cards, bool OnlyEmpty) {
  Traced(1589, [&] {
    try {
      TTransitField Probe;
      const TFieldsByKey Fields(Cards);
      TElementsRef Controls = FormElements(FHtmlForm);
      // A page whose script adds a control for every write would keep the walk going for ever: it
      // passes at most twice as many elements as the form had, and a few more.
      const int64_t MaxSteps = 2 * int64_t{Controls->Length()} + 64;
      int64_t Steps = 0;
      for (int32_t I = 0; I < Controls->Length() && Steps++ < MaxSteps; ++I) {
        TElementRef E = Controls->Item(I);
        if (!E) continue;
        WideString Name, Tag, Type, Value;
        if (OnlyEmpty)
          ReadElement(E, Name, Tag, Type, Value);
        else
          ReadElementKey(E, Name, Tag, Type);
        if (Tag.empty()) continue;
        if (Tag == u"input" &&
            (Type == u"hidden" || Type == u"submit" || Type == u"reset" || Type == u"file" || Type == u"button"))
          continue;
        if (OnlyEmpty && !IsBlankText(Value)) continue;
        Probe.Name = Name;
        Probe.TagName = Tag;
        Probe.InputType = Type;
        if (!Fields.Find(Probe)) continue;
        TWideStringList Values;
        Values.SetCommaText(Probe.Values);
        if (FillElement(E, Probe.ValueKind, Probe.Value, Lexicon, Values) && !Probe.ProfileField.empty())
          MarkBoundElement(E, Probe.ProfileField, *FChangeTracker);
        // A page script run by the write may have added controls; they are filled too.
        I = ContinueAfter(FHtmlForm, Controls, I, E);
      }
    } catch (const Exception&) {
      // What was written stays written; the rest of the form is left as it is.
    }
  });
}

void TFormItem::ClearFields() {
  Traced(1169, [&] {
    try {
      auto Form = Supports<IHTMLFormElement>(FHtmlForm);
      if (!Form) return;
      TElementsRef Inputs = Form->Tags(u"input");
      for (int32_t I = 0; I < Inputs->Length(); ++I) {
        try {
          TElementRef E = Inputs->Item(I);
          auto Input = Supports<IHTMLInputElement>(E);
          if (!Input) continue;
          const WideString Type = AsciiLowerCase(Input->Type());
          if (Type == u"checkbox" || Type == u"radio") {
            Input->SetChecked(false);
            MarkBoundElement(E, u"", *FChangeTracker);
          } else if (IsTextInputType(Type)) {
            Input->SetValue(u"");
            MarkBoundElement(E, u"", *FChangeTracker);
          }
        } catch (const Exception&) {
        }
      }
      TElementsRef Selects = Form->Tags(u"select");
      for (int32_t I = 0; I < Selects->Length(); ++I) {
        try {
          TElementRef E = Selects->Item(I);
          auto Select = Supports<IHTMLSelectElement>(E);
          if (!Select) continue;
          ClearSelect(Select);
          MarkBoundElement(E, u"", *FChangeTracker);
        } catch (const Exception&) {
        }
      }
      TElementsRef Areas = Form->Tags(u"textarea");
      for (int32_t I = 0; I < Areas->Length(); ++I) {
        try {
          TElementRef E = Areas->Item(I);
          auto Area = Supports<IHTMLTextAreaElement>(E);
          if (!Area) continue;
          Area->SetValue(u"");
          MarkBoundElement(E, u"", *FChangeTracker);
        } catch (const Exception&) {
        }
      }
    } catch (const Exception&) {
    }
  });
}

namespace {

TFormContext ContextOfControls(IHTMLElementCollection& Elements) {
  TFormContext Context;
  int Passwords = 0, Boxes = 0;
  for (int32_t I = 0; I < Elements.Length(); ++I) {
    TElementRef E = Elements.Item(I);
    if (!E) continue;
    WideString Name;
    if (auto Input = Supports<IHTMLInputElement>(E)) {
      const WideString T = AsciiLowerCase(Input->Type());
      if (T == u"password")
        ++Passwords;
      else if (T == u"text" || T == u"email" || T == u"tel" || T.empty())
        ++Boxes;
      if (T == u"hidden" || T == u"submit" || T == u"reset" || T == u"button" || T == u"image" || T == u"file" ||
          T == u"checkbox" || T == u"radio")
        continue;
      Name = Input->Name();
    } else if (auto Select = Supports<IHTMLSelectElement>(E)) {
      Name = Select->Name();
    } else if (auto Area = Supports<IHTMLTextAreaElement>(E)) {
      Name = Area->Name();
    } else {
      continue;
    }
    if (Name.empty()) continue;
    Context.Position.emplace(Name, Context.Names.size());
    Context.Names.push_back(std::move(Name));
  }
  if (Passwords == 1 && Boxes <= 2) Context.Kind = u"login";
  return Context;
}

// A list of controls gathered from the page, answering as a form's element list does.
class TControlList : public IHTMLElementCollection {
public:
  explicit TControlList(std::vector<TElementRef> Items) : FItems(std::move(Items)) {}
  int32_t Length() override { return static_cast<int32_t>(FItems.size()); }
  TElementRef Item(int32_t Index) override {
    return Index < 0 || Index >= Length() ? nullptr : FItems[static_cast<size_t>(Index)];
  }
  TElementsRef Tags(const WideString& TagName) override {
    std::vector<TElementRef> Result;
    for (const TElementRef& E : FItems)
      if (AsciiLowerCase(E->TagName()) == AsciiLowerCase(TagName)) Result.push_back(E);
    return std::make_shared<TControlList>(std::move(Result));
  }

private:
  std::vector<TElementRef> FItems;
};

}  // namespace

TFormContext FormContextOf(const TElementRef& Form) {
  auto AsForm = Supports<IHTMLFormElement>(Form);
  if (!AsForm) return {};
  TElementsRef Elements = AsForm->Elements();
  return Elements ? ContextOfControls(*Elements) : TFormContext{};
}

std::vector<WideString> TFormContext::Near(const WideString& Name) const {
  std::vector<WideString> Result;
  const auto It = Position.find(Name);
  if (It == Position.end()) return Result;
  const size_t At = It->second;
  for (size_t I = At >= Reach ? At - Reach : 0; I < Names.size() && I <= At + Reach; ++I)
    if (Names[I] != Name && std::find(Result.begin(), Result.end(), Names[I]) == Result.end())
      Result.push_back(Names[I]);
  return Result;
}

std::vector<TProfileQuery> ProfileQueries(const TElementRef& E, const WideString& Type, const WideString& Name,
                                          const TFormContext& Context) {
  std::vector<WideString> Texts = {Name};
  WideString Caption;
  // The caption is evidence for the name's lookup too: a page whose caption cannot be measured
  // still has its name looked up.
  try {
    GetElementCaption(E, true, true, Caption);
  } catch (const EKXException&) {
    throw;
  } catch (const Exception&) {
    Caption.clear();
  }
  Texts.push_back(Caption);
  for (const char16_t* Attribute : {u"id", u"placeholder", u"aria-label", u"title"}) {
    WideString Text;
    Texts.push_back(GetAttributeText(E, Attribute, Text) ? TrimBlanksAndControls(Text) : WideString());
  }
  WideString Autocomplete;
  if (GetAttributeText(E, u"autocomplete", Autocomplete)) Autocomplete = TrimBlanksAndControls(Autocomplete);
  // Line breaks separate the parts of the type argument; inside a text they are blanks anyway.
  auto OneLine = [](WideString Text) {
    for (char16_t& C : Text)
      if (C == u'\n' || C == u'\r') C = u' ';
    return Text;
  };
  // An id made from the name ("user_name" for "user[name]") says what the name says: its letters
  // and digits are the same.
  auto Spelling = [](const WideString& Text) {
    // A long text is no identifier made from another; it repeats only as itself.
    constexpr size_t Longest = 64;
    if (Text.size() > Longest) return u'\n' + Text;
    WideString Result;
    for (char16_t C : Text)
      if ((C >= u'0' && C <= u'9') || (C >= u'a' && C <= u'z') || (C >= u'A' && C <= u'Z') || C > 0x7F)
        Result += C >= u'A' && C <= u'Z' ? static_cast<char16_t>(C - u'A' + u'a') : C;
    return Result;
  };
  // The same text twice would only ask the same again, and is no further evidence either.
  std::vector<bool> Repeat(Texts.size(), false);
  {
    std::vector<WideString> Spellings;
    for (size_t I = 0; I < Texts.size(); ++I) {
      Spellings.push_back(Spelling(Texts[I]));
      for (size_t J = 0; J < I; ++J)
        Repeat[I] = Repeat[I] || (!Texts[J].empty() && Spellings[J] == Spellings[I]);
    }
  }
  // What every lookup of the control carries alike.
  WideString Common = OneLine(Type);
  if (!Autocomplete.empty()) {
    Common += u"\nautocomplete=";
    Common += OneLine(Autocomplete);
  }
  if (!Context.Kind.empty()) {
    Common += u"\nform=";
    Common += Context.Kind;
  }
  for (const WideString& Other : Context.Near(Name)) {
    Common += u"\nnear=";
    Common += OneLine(Other);
  }
  std::vector<TProfileQuery> Queries;
  for (size_t I = 0; I < Texts.size(); ++I) {
    if (Texts[I].empty() || Repeat[I]) continue;
    WideString Argument = Common;
    for (size_t J = 0; J < Texts.size(); ++J)
      if (J != I && !Texts[J].empty() && !Repeat[J]) {
        Argument += J == 0 ? u"\nname=" : u"\ntext=";
        Argument += OneLine(Texts[J]);
      }
    Queries.push_back({Texts[I], std::move(Argument)});
  }
  return Queries;
}

namespace {

// One control's profile lookup: by name, then by caption, then (where pages leave the name out or
// make it up) by the other texts a page gives a control; each lookup carries the rest as evidence.
struct TProfileLookup {
  TProfileLookup(IPelServer& Server, const WideString& ProfileName, const WideString& URL)
      : Server(Server), ProfileName(ProfileName), URL(URL) {}

  IPelServer& Server;
  const WideString& ProfileName;
  const WideString& URL;
  WideString ProfileField, Value, ValuesText;
  int32_t ValueKind = ValueKindList;

  bool Ask(const WideString& Tag, const WideString& Type, const WideString& Name) {
    if (Name.empty()) return false;
    ProfileField.clear();
    ValueKind = ValueKindList;
    Value.clear();
    ValuesText.clear();
    bool Found = false, LoginRequired = false;
    Server.FindFieldValue(ProfileName, Tag, Type, Name, URL, ProfileField, ValueKind, Value, ValuesText, Found,
                          LoginRequired);
    return Found;
  }

  TFormContext Form;

  // The first lookup that names a field answers, whether the profile holds a value for it or
  // not: a box whose name asks for the card holder is no box for the caption's "Name" because the
  // profile has no card holder.
  bool Find(const TElementRef& E, const WideString& Tag, const WideString& Type, const WideString& Name) {
    for (const TProfileQuery& Query : ProfileQueries(E, Type, Name, Form)) {
      if (Ask(Tag, Query.TypeArgument, Query.Text)) return true;
      if (!ProfileField.empty()) return false;
    }
    return false;
  }
};

}  // namespace

namespace {

// Fills the controls of one group (a form, or a page's controls outside any form) from the
// profile: each control by its name, else its caption, else its other texts, with the group as
// the neighbourhood its lookups carry. True when every control considered was written and marked.
// Tags answers the group's controls of one tag, asked anew for each tag; Context is the group's
// neighbourhood, read once.
bool FillGroupFromProfile(IProfileFillAgent& Agent, const WideString& ProfileName, bool OnlyEmpty,
                          const std::function<TElementsRef(const char16_t*)>& Tags, TFormContext Context,
                          TElementChangingTracker& Tracker) {
  std::shared_ptr<IPelServer> Server;
  Agent.GetServer(Server);
  if (!Server) return false;
  // A locked store answers every lookup with LoginRequired: ask for the password first.
  for (;;) {
    WideString Field, Value, Values;
    int32_t Kind = ValueKindList;
    bool Found = false, LoginRequired = false;
    Server->FindFieldValue(ProfileName, u"", u"", u"", Agent.URL(), Field, Kind, Value, Values, Found,
                           LoginRequired);
    if (!LoginRequired) break;
    if (!Agent.Login()) return false;
    // The login may have found the store anew.
    Agent.GetServer(Server);
    if (!Server) return false;
  }
  TProfileLookup Lookup(*Server, ProfileName, Agent.URL());
  Lookup.Form = std::move(Context);
  bool AllFilled = true;
  // Writes the value the lookup found; the group counts as filled only when every control
  // considered was written and marked.
  auto Written = [&](const TElementRef& E, bool Wrote) {
    if (Wrote && Agent.AutoBindEnabled() && !Lookup.ProfileField.empty())
      MarkBoundElement(E, Lookup.ProfileField, Tracker);
    else
      AllFilled = false;
  };
  // A failure with one control skips it; it is not filled, so the group is not either.
  auto EachOf = [&](const char16_t* Tag, const std::function<void(const TElementRef&)>& Body) {
    TElementsRef Elements = Tags(Tag);
    for (int32_t I = 0; I < Elements->Length(); ++I) {
      try {
        if (TElementRef E = Elements->Item(I)) Body(E);
      } catch (const EKXException&) {
        throw;
      } catch (const Exception&) {
        AllFilled = false;
      }
    }
  };
  EachOf(u"input", [&](const TElementRef& E) {
    auto Input = Supports<IHTMLInputElement>(E);
    if (!Input) return;
    WideString Name, Type, Value;
    ReadInput(Input, Name, Type, Value);
    if (Type == u"hidden" || Type == u"submit" || Type == u"reset" || Type == u"file" || Type == u"button") return;
    if (OnlyEmpty && !IsBlankText(Value)) return;
    if (!Lookup.Find(E, u"input", Type, Name)) {
      AllFilled = false;
      return;
    }
    TWideStringList Values;
    Values.SetCommaText(Lookup.ValuesText);
    Written(E, FillInput(Input, Lookup.ValueKind, Lookup.Value, Values));
  });
  EachOf(u"select", [&](const TElementRef& E) {
    auto Select = Supports<IHTMLSelectElement>(E);
    if (!Select) return;
    WideString Name, SelectType, Value;
    bool IsDefault = false;
    ReadSelect(Select, Name, SelectType, Value, IsDefault);
    // A select still showing the option the page preselected counts as empty.
    if (OnlyEmpty && !IsBlankText(Value) && !IsDefault) return;
    if (!Lookup.Find(E, u"select", u"", Name)) {
      AllFilled = false;
      return;
    }
    TWideStringList Values;
    Values.SetCommaText(Lookup.ValuesText);
    Written(E, FillSelect(Select, Lookup.ValueKind, Lookup.Value, Agent.Lexicon(), Values));
  });
  EachOf(u"textarea", [&](const TElementRef& E) {
    auto Area = Supports<IHTMLTextAreaElement>(E);
    if (!Area) return;
    WideString Name, Value;
    ReadTextArea(Area, Name, Value);
    if (OnlyEmpty && !IsBlankText(Value)) return;
    if (!Lookup.Find(E, u"textarea", u"", Name)) {
      AllFilled = false;
      return;
    }
    TWideStringList Values;
    Values.SetCommaText(Lookup.ValuesText);
    Written(E, FillTextArea(Area, Lookup.ValueKind, Lookup.Value, Values));
  });
  return AllFilled;
}

}  // namespace

bool TFormItem::FillFromProfile(IProfileFillAgent& Agent, const WideString& ProfileName, bool OnlyEmpty) {
  return Traced(1173, [&] {
    try {
      auto Form = Supports<IHTMLFormElement>(FHtmlForm);
      if (!Form) return false;
      // Read once per form: asking for every control would cost the square of the form's size.
      // The controls of each tag are asked of the form when their turn comes: scripts run inside
      // the writes may add some.
      const bool AllFilled = FillGroupFromProfile(
          Agent, ProfileName, OnlyEmpty, [&](const char16_t* Tag) { return Form->Tags(Tag); },
          FormContextOf(FHtmlForm), *FChangeTracker);
      if (AllFilled) {
        FMatchScore = 100;
        FAllFilled = true;
      }
      return AllFilled;
    } catch (const EKXException&) {
      throw;
    } catch (const Exception&) {
      return false;
    }
  });
}

std::vector<TElementRef> FormlessControls(const std::shared_ptr<IHTMLDocument2>& Document) {
  std::vector<TElementRef> Result;
  if (!Document) return Result;
  TElementsRef All = Document->All();
  for (int32_t I = 0; I < All->Length(); ++I) {
    TElementRef E = All->Item(I);
    if (!E) continue;
    TElementRef Owner;
    if (auto Input = Supports<IHTMLInputElement>(E))
      Owner = Input->Form();
    else if (auto Select = Supports<IHTMLSelectElement>(E))
      Owner = Select->Form();
    else if (auto Area = Supports<IHTMLTextAreaElement>(E))
      Owner = Area->Form();
    else
      continue;
    if (!Owner) Result.push_back(E);
  }
  return Result;
}

bool FillFormlessFromProfile(IProfileFillAgent& Agent, const std::shared_ptr<IHTMLDocument2>& Document,
                             TElementChangingTracker& Tracker, const WideString& ProfileName, bool OnlyEmpty) {
  try {
    std::vector<TElementRef> Controls = FormlessControls(Document);
    if (Controls.empty()) return false;
    TControlList Group(std::move(Controls));
    return FillGroupFromProfile(
        Agent, ProfileName, OnlyEmpty, [&](const char16_t* Tag) { return Group.Tags(Tag); },
        ContextOfControls(Group), Tracker);
  } catch (const EKXException&) {
    throw;
  } catch (const Exception&) {
    return false;
  }
}

}  // namespace pel
