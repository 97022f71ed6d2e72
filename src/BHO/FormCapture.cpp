#include "FormCapture.h"

#include "BHO/BindingMarks.h"
#include "BHO/ElementAccess.h"
#include "BHO/PageForms.h"
#include "Common/Trace.h"

namespace pel {

TElementsRef FormElements(const TElementRef& Form) {
  return Require<IHTMLFormElement>(Form)->Elements();
}

void SaveFormToCard(const TElementRef& Form, const TElementRef& SubmitElement, TTransitFormCard& Card,
                    int32_t& SubmitFieldIndex) {
  Traced(1613, [&] {
    const int32_t SubmitSource = SubmitElement ? SubmitElement->SourceIndex() : -1;
    SubmitFieldIndex = -1;
    Card.Fields.Clear();
    try {
      TElementsRef Controls = FormElements(Form);
      int32_t Counter = 0;
      for (int32_t I = 0; I < Controls->Length(); ++I) {
        TElementRef E = Controls->Item(I);
        WideString Name, Tag, InputType, Value;
        ReadElement(E, Name, Tag, InputType, Value);
        if (Tag.empty()) continue;
        TTransitField& Field = Card.Fields.Add();
        if (Tag == u"input" && InputType == u"hidden") {
          Field.Index = -1;
        } else {
          Field.Index = Counter++;
          if (SubmitSource >= 0 && E->SourceIndex() == SubmitSource) SubmitFieldIndex = Card.Fields.Count() - 1;
        }
        Field.Name = Name;
        Field.TagName = Tag;
        Field.InputType = InputType;
        WideString Bound;
        if (GetAttributeText(E, ProfileFieldAttribute, Bound)) Field.ProfileField = Bound;
        Field.Value = Value;
        Field.ValueKind = -1;
        Field.Values.clear();
      }
    } catch (const Exception&) {
      Card.Fields.Clear();
      SubmitFieldIndex = -1;
    }
  });
}

void TFormItem::SaveToCard(TTransitFormCard& Card, uint8_t Flags) {
  Traced(1593, [&] {
    Card.ActionURL = (Flags & 1) ? FActionURL : WideString();
    Card.Method = (Flags & 2) ? FMethod : WideString();
    Card.Charset.clear();
    if (Flags & 4) {
      try {
        if (auto Doc = FHtmlForm ? FHtmlForm->Document() : nullptr) Card.Charset = Doc->Charset();
      } catch (const Exception&) {
        Card.Charset.clear();
      }
    }
    Card.InnerHTML = (Flags & 8) && FHtmlForm ? FHtmlForm->InnerHTML() : WideString();
    Card.SubmitTarget = FSubmitTarget ? 1 : 0;
    Card.FormSysID = GetFormSysID();
    SaveFormToCard(FHtmlForm, FSubmitElement, Card, Card.SubmitFieldIndex);
  });
}

void TPageFormSet::SaveToTransitSet(TTransitFormSet& Dest, uint8_t Flags) {
  Dest.Clear();
  for (TFormItem& Item : *this) Item.SaveToCard(Dest.Add(), Flags);
  if (Dest.Count() == 1) Dest[0].SubmitTarget = 1;
}

}  // namespace pel
