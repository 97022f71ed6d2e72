// The binding and lexicon commands: they act on the focused field through the bind-field dialog,
// binding it to a profile field or adding a synonym or values to the store.

#include "BrowserHelper.h"

#include <algorithm>

#include "BHO/BindingMarks.h"
#include "BHO/ElementAccess.h"
#include "Common/Trace.h"
#include "Common/Words.h"
#include "dialogs/BindFieldDialog.h"
#include "platform/Services.h"

namespace pel {

// ---------------------------------------------------------------- binding and lexicon commands

TElementRef TKXBrowserHelperObject::FocusedField(TFormItem** Item) {
  for (TFormItem& Candidate : *FPageForms) {
    try {
      auto Doc = Candidate.FHtmlForm ? Candidate.FHtmlForm->Document() : nullptr;
      TElementRef Active = Doc ? Doc->ActiveElement() : nullptr;
      if (!Active) continue;
      const WideString Tag = AsciiLowerCase(Active->TagName());
      if (Tag == u"input" || Tag == u"select" || Tag == u"textarea") {
        if (Item) *Item = &Candidate;
        return Active;
      }
    } catch (const Exception&) {
    }
  }
  return nullptr;
}

void TKXBrowserHelperObject::FindActiveField(TFormItem*& Item, TElementRef& Element) {
  Traced(1509, [&] {
    Item = nullptr;
    Element = nullptr;
    if (!FAgent->GetConnected()) return;
    try {
      RefreshPageForms(FWebBrowser, *FPageForms);
      TElementRef Found = FocusedField(&Item);
      if (!Found) return;
      if (AsciiLowerCase(Found->TagName()) == u"input")
        if (auto Input = Supports<IHTMLInputElement>(Found); Input && AsciiLowerCase(Input->Type()) == u"file") {
          ShowMessageKind(1, u"Cannot bind this field!");
          Item = nullptr;
          return;
        }
      Element = Found;
    } catch (const Exception&) {
      Item = nullptr;
      Element = nullptr;
    }
  });
}

bool TKXBrowserHelperObject::ShowBindFieldDialog(const WideString& Caption, WideString& Synonym, WideString& Field,
                                                 WideString& FieldInfo) {
  return Traced(1510, [&] {
    FieldInfo.clear();
    std::unique_ptr<TProfileBindFieldForm> Dialog;
    try {
      Dialog = std::make_unique<TProfileBindFieldForm>();
    } catch (const Exception&) {
      return false;
    }
    auto S = Server();
    if (!S) return false;
    TVariant Fields;
    bool LoginRequired = false;
    do {
      S->GetProfileFields(Fields, LoginRequired);
      if (LoginRequired && !FAgent->Login()) return false;
    } while (LoginRequired && (S = Server()));
    if (!S || Fields.IsEmptyOrNull()) return false;
    TWideStringList Flat;
    VariantToWideStrings(Fields, Flat);
    struct TTriple {
      WideString Name, Info, Group;
    };
    std::vector<TTriple> Triples;
    TNewStringDynSquareArray Groups;
    for (int I = 0; I + 2 < Flat.Count(); I += 3) {
      Triples.push_back({Flat[I], Flat[I + 1], Flat[I + 2]});
      const AnsiString Group = WideToAnsi(Flat[I + 2]);
      auto Row = std::find_if(Groups.begin(), Groups.end(), [&](const auto& R) { return R[0] == Group; });
      if (Row == Groups.end()) {
        Groups.push_back({Group});
        Row = Groups.end() - 1;
      }
      Row->push_back(WideToAnsi(Flat[I]));
    }
    if (!Synonym.empty()) Dialog->ShowSynonym(Synonym);
    if (!Field.empty())
      Dialog->SetSelection("", WideToAnsi(Field));
    else
      Dialog->SetSelection(WideToAnsi(FLastBindGroup), WideToAnsi(FLastBindField));
    Dialog->Caption = Caption;
    AnsiString Chosen;
    Dialog->Execute(Groups, Chosen, FBrowserWindow);
    if (Chosen.empty()) return false;
    Synonym = TrimBlanksAndControls(Dialog->GetSynonym());
    FLastBindGroup = AnsiToWide(Dialog->GroupText());
    FLastBindField = AnsiToWide(Chosen);
    Field = AnsiToWide(Chosen);
    for (const TTriple& T : Triples)
      if (T.Name == Field) {
        FieldInfo = T.Info;
        break;
      }
    return true;
  });
}

bool TKXBrowserHelperObject::ReadActiveField(TFocusedField& Field) {
  FindActiveField(Field.Item, Field.Element);
  if (!Field.Element) return false;
  ReadElement(Field.Element, Field.Name, Field.Tag, Field.Type, Field.Value);
  return true;
}

void TKXBrowserHelperObject::BindField(TBrivaneAgent*) {
  Traced(1146, [&] {
    TFormItem* Item = nullptr;
    TElementRef Element;
    FindActiveField(Item, Element);
    if (!Element || !Item) return;
    WideString Bound;
    GetAttributeText(Element, ProfileFieldAttribute, Bound);
    WideString Synonym, Info;
    if (!ShowBindFieldDialog(u"Bind field", Synonym, Bound, Info)) return;
    WideString Name, Tag, Type, Value;
    ReadElement(Element, Name, Tag, Type, Value);
    auto S = Server();
    if (!S) return;
    int32_t Kind = ValueKindList;
    WideString Found, Values;
    bool Exists = false, LoginRequired = false;
    S->FindFieldValue(u"", Tag, Type, Name, FAgent->URL(), Bound, Kind, Found, Values, Exists, LoginRequired);
    if (LoginRequired || !Exists) return;
    MarkBoundElement(Element, u"", *Item->FChangeTracker);
    TWideStringList List;
    List.SetCommaText(Values);
    if (FillElement(Element, Kind, Found, FAgent->Lexicon(), List))
      MarkBoundElement(Element, Bound, *Item->FChangeTracker);
  });
}

void TKXBrowserHelperObject::UnbindField(TBrivaneAgent*) {
  Traced(1147, [&] {
    try {
      if (!FAgent->GetConnected()) return;
      TElementRef Element = FocusedField(nullptr);
      if (!Element) return;
      SetAttributeText(Element, ProfileFieldAttribute, u"");
      Element->SetStyleBackgroundColor(u"");
      Element->SetTitle(u"");
    } catch (const Exception&) {
    }
  });
}

void TKXBrowserHelperObject::AddFieldSynonym(TBrivaneAgent*) {
  Traced(1508, [&] {
    TFocusedField F;
    if (!ReadActiveField(F)) return;
    WideString Synonym = F.Name, Field, Info;
    if (ShowBindFieldDialog(u"Add field synonim", Synonym, Field, Info) && !Synonym.empty() && FAgent->GetConnected())
      if (auto S = Server()) S->AddSynonym(Field, Synonym, -1);
  });
}

void TKXBrowserHelperObject::AddFieldValue(TBrivaneAgent*) {
  Traced(1584, [&] {
    TFocusedField F;
    if (!ReadActiveField(F)) return;
    TWideStringList Values;
    if (F.Tag == u"select") {
      WideString Texts;
      ReadSelectedTexts(Supports<IHTMLSelectElement>(F.Element), Texts);
      Values.SetCommaText(Texts);
    } else {
      Values.Add(F.Value);
    }
    if (Values.IsEmpty()) return;
    WideString Text = Values.Count() == 1 ? Values[0] : Values.CommaText();
    WideString Field, Info;
    if (!ShowBindFieldDialog(u"Add field value", Text, Field, Info)) return;
    // What the dialog showed may have been edited; what is sent is what the field holds.
    Text = Values.CommaText();
    if (Text.empty() || !FAgent->GetConnected()) return;
    bool LoginRequired = false;
    do {
      auto S = Server();
      if (!S) return;
      S->AddFieldValue(u"", Field, Text, LoginRequired);
    } while (LoginRequired && FAgent->Login());
  });
}

void TKXBrowserHelperObject::AddAllFieldValues(TBrivaneAgent*) {
  Traced(1585, [&] {
    TFocusedField F;
    if (!ReadActiveField(F)) return;
    WideString Text;
    if (F.Tag == u"select") {
      auto Select = Require<IHTMLSelectElement>(F.Element);
      for (int32_t I = 0; I < Select->Length(); ++I)
        if (auto Option = Supports<IHTMLOptionElement>(Select->Item(I))) {
          Text += Option->Text();
          Text += u"\r\n";
        }
    } else {
      Text = F.Value;
    }
    if (!FAgent->GetConnected()) return;
    try {
      if (auto S = Server()) S->AddAllValues(Text);
    } catch (const Exception&) {
    }
  });
}

}  // namespace pel
