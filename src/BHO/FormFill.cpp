#include "FormFill.h"

#include "BHO/BindingMarks.h"
#include "BHO/ElementAccess.h"
#include "BHO/FormCapture.h"
#include "BHO/PageForms.h"
#include "Common/Trace.h"

namespace pel {

namespace {
bool IsBlankText(const WideString& S) {
  for (WideChar C : S)
    if (C > 32) return false;
  return true;
}
}  // namespace

bool FillFormFromCard(const TElementRef& Form, const TTransitFormCard& Card, TElementChangingTracker& Tracker,
                      TElementRef& SubmitElement, TLexicon& Lexicon) {
  return Traced(1612, [&] {
    SubmitElement = nullptr;
    bool AllMatched = true;
    const TTransitField* SubmitField =
        Card.SubmitFieldIndex >= 0 ? &Card.Fields.Items(Card.SubmitFieldIndex) : nullptr;
    TElementsRef Controls = FormElements(Form);
    for (const TTransitField& CF : Card.Fields) {
      TWideStringList Values;
      Values.SetCommaText(CF.Values);
      if (CF.Index == -1) continue;

      // The control at the field's position among the counted controls, searched from the start.
      TElementRef E;
      WideString Name, Tag, Type, Value;
      int32_t Position = 0;
      for (int32_t I = 0; I < Controls->Length() && !E; ++I) {
        TElementRef Candidate = Controls->Item(I);
        ReadElement(Candidate, Name, Tag, Type, Value);
        if (Tag.empty() || (Tag == u"input" && Type == u"hidden")) continue;
        if (Position++ == CF.Index) E = Candidate;
      }
      if (!E) {
        AllMatched = false;
        continue;
      }
      if (SubmitField && !SubmitElement) {
        TTransitField Probe;
        Probe.Index = CF.Index;
        Probe.Name = Name;
        Probe.TagName = Tag;
        Probe.InputType = Type;
        Probe.Value = Value;
        if (SubmitField->Matches(Probe, true)) SubmitElement = E;
      }
      if (Tag != CF.TagName) {
        AllMatched = false;
      } else if (CF.TagName == u"input") {
        if (Type != CF.InputType || Name != CF.Name)
          AllMatched = false;
        else if (FillInput(Require<IHTMLInputElement>(E), CF.ValueKind, CF.Value, Values))
          MarkBoundElement(E, CF.ProfileField, Tracker);
      } else if (CF.TagName == u"select") {
        if (Name != CF.Name)
          AllMatched = false;
        else if (FillSelect(Require<IHTMLSelectElement>(E), CF.ValueKind, CF.Value, Lexicon, Values))
          MarkBoundElement(E, CF.ProfileField, Tracker);
        else
          AllMatched = false;
      } else if (CF.TagName == u"textarea") {
        if (Name != CF.Name) {
          AllMatched = false;
        } else {
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
      TElementsRef Controls = FormElements(FHtmlForm);
      for (int32_t I = 0; I < Controls->Length(); ++I) {
        TElementRef E = Controls->Item(I);
        WideString Name, Tag, Type, Value;
        ReadElement(E, Name, Tag, Type, Value);
        if (Tag.empty()) continue;
        if (Tag == u"input" &&
            (Type == u"hidden" || Type == u"submit" || Type == u"reset" || Type == u"file" || Type == u"button"))
          continue;
        if (OnlyEmpty && !IsBlankText(Value)) continue;
        Probe.Name = Name;
        Probe.TagName = Tag;
        Probe.InputType = Type;
        if (!FindFieldInSet(Cards, Probe)) continue;
        TWideStringList Values;
        Values.SetCommaText(Probe.Values);
        if (FillElement(E, Probe.ValueKind, Probe.Value, Lexicon, Values) && !Probe.ProfileField.empty())
          MarkBoundElement(E, Probe.ProfileField, *FChangeTracker);
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
          } else if (Type == u"text" || Type == u"password") {
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

}  // namespace pel
