#include "PageForms.h"

#include "BHO/URLUtils.h"
#include "Common/Trace.h"
#include "platform/Services.h"

namespace pel {

TFormItem::TFormItem(TCollectionBase* Collection, int ID)
    : TCollectionItem(Collection, ID),
      FEventSink(std::make_unique<TMSHTMLHTMLFormElementEvents>()),
      FChangeTracker(std::make_unique<TElementChangingTracker>()) {
  FEventSink->Onmousedown = [this](TEventSink*) { FormMouseDown(); };
  FEventSink->Onsubmit = [this](TEventSink*) { FormSubmit(); };
}

TFormItem::~TFormItem() {
  try {
    DetachFormEvents();
  } catch (const Exception&) {
    // A form that cannot be let go of is gone with its page anyway.
  }
}

void TFormItem::AttachForm(const TElementRef& Form) {
  Traced(1182, [&] {
    try {
      DetachFormEvents();
    } catch (const Exception&) {
    }
    FHtmlForm = Form;
    if (!Form) return;
    FEventSink->Connect(Form);
    auto HtmlForm = Supports<IHTMLFormElement>(Form);
    FMethod = HtmlForm ? AsciiLowerCase(HtmlForm->Method()) : WideString();
    if (FMethod.empty()) FMethod = u"get";
  });
}

void TFormItem::DetachFormEvents() {
  Traced(1172, [&] { FEventSink->Disconnect(); });
}

void TFormItem::SetActionURL(const WideString& URL) {
  Traced(1179, [&] { FActionURL = URL; });
}

void TFormItem::SetOnSubmit(TFormItemEvent Handler) {
  Traced(1183, [&] { FOnSubmit = std::move(Handler); });
}

void TFormItem::SetSubmitTarget(bool Value) {
  if (Value == FSubmitTarget) return;
  if (Value) {
    if (auto* Set = dynamic_cast<TPageFormSet*>(Collection()))
      for (TFormItem& Other : *Set)
        if (Other.ID() != ID()) Other.SetSubmitTarget(false);
  }
  FSubmitTarget = Value;
  if (!Value) FSubmitElement = nullptr;
}

TElementRef TFormItem::GetSubmitElement() {
  return Traced(1178, [&] { return FSubmitElement; });
}

TGUID TFormItem::GetFormSysID() {
  return Traced(1511, [&] {
    try {
      if (!FHtmlForm) return TGUID{};
      const WideString Text = FHtmlForm->GetAttribute(u"FormSysID", AttributeIgnoreCase).AsWideString();
      return Text.empty() ? TGUID{} : StringToGUID(Text);
    } catch (const Exception&) {
      return TGUID{};  // the page states no usable identity
    }
  });
}

void TFormItem::Submit() {
  Traced(1187, [&] {
    try {
      if (TElementRef Control = GetSubmitElement())
        Control->Click();
      else if (auto Form = Supports<IHTMLFormElement>(FHtmlForm))
        Form->Submit();
    } catch (const Exception&) {
    }
  });
}

void TFormItem::FormMouseDown() {
  Traced(1590, [&] {
    try {
      if (!FHtmlForm) return;
      auto Doc = FHtmlForm->Document();
      auto Window = Doc ? Doc->ParentWindow() : nullptr;
      auto Event = Window ? Window->Event() : nullptr;
      if (!Event) return;
      TElementRef Source = Event->SrcElement();
      if (!Source) return;
      const WideString Tag = AsciiLowerCase(Source->TagName());
      if (Tag == u"input") {
        const WideString Type = AsciiLowerCase(Require<IHTMLInputElement>(Source)->Type());
        if (Type == u"submit" || Type == u"image" || Type == u"button") FSubmitElement = Source;
      } else if (Tag == u"button") {
        if (AsciiLowerCase(Require<IHTMLButtonElement>(Source)->Type()) == u"submit") FSubmitElement = Source;
      }
    } catch (const Exception&) {
    }
  });
}

void TFormItem::FormSubmit() {
  Traced(1175, [&] {
    SetSubmitTarget(true);
    if (FOnSubmit) FOnSubmit(*this);
  });
}

void TPageFormSet::Forget() {
  Clear();
  FForgotten = true;
}

void CollectBrowserForms(const std::shared_ptr<IWebBrowser2>& Browser, TPageFormSet& Forms) {
  Traced(1154, [&] {
    if (!Browser) return;
    try {
      auto Document = Supports<IHTMLDocument2>(Browser->Document());
      if (!Document) return;
      const AnsiString DocURL = WideToAnsi(NormalizeURL(Document->URL()));
      TElementsRef All = Document->Forms();
      for (int32_t I = 0; I < All->Length(); ++I) {
        TElementRef Form = All->Item(I);
        if (!Form) return;
        try {
          auto HtmlForm = Require<IHTMLFormElement>(Form);
          const WideString URL =
              NormalizeURL(AnsiToWide(CombineURL(DocURL, WideToAnsi(HtmlForm->Action()), ICU_BROWSER_MODE)));
          const TVariant Key = Form->GetAttribute(Forms.FKeyAttribute, AttributeIgnoreCase);
          int32_t Number;
          if (Key.IsEmptyOrNull() || (Key.VarType() == TVarType::String && Key.AsWideString().empty())) {
            Number = Forms.FNextFormNumber++;
            Form->SetAttribute(Forms.FKeyAttribute, TVariant(Number), AttributeIgnoreCase);
          } else {
            Number = Key.AsInteger();
          }
          TFormItem* Found = nullptr;
          for (TFormItem& Item : Forms)
            if (Item.FKeyNumber == Number) {
              Found = &Item;
              break;
            }
          if (Found) {
            Found->FSeen = true;
            continue;
          }
          TFormItem& Item = Forms.Add();
          Item.SetActionURL(URL);
          Item.FSeen = true;
          Item.FKeyNumber = Number;
          Item.AttachForm(Form);
          Item.SetOnSubmit(Forms.FOnFormSubmit);
        } catch (const Exception&) {
          // A form that cannot be read is left out of the set.
        }
      }
      auto Container = Supports<IOleContainer>(Document);
      if (!Container) return;
      for (const std::shared_ptr<IInterface>& Object : Container->EnumObjects(OLECONTF_EMBEDDINGS)) {
        try {
          CollectBrowserForms(Supports<IWebBrowser2>(Object), Forms);
        } catch (const Exception&) {
        }
      }
    } catch (const Exception&) {
      // A document that cannot be read ends this browser's scan; what was collected stays.
    }
  });
}

void RefreshPageForms(const std::shared_ptr<IWebBrowser2>& Browser, TPageFormSet& Forms) {
  Traced(1168, [&] {
    for (TFormItem& Item : Forms) Item.FSeen = false;
    CollectBrowserForms(Browser, Forms);
    for (int I = Forms.Count() - 1; I >= 0; --I)
      if (!Forms[I].FSeen) Forms.Delete(I);
    Forms.FForgotten = false;
  });
}

}  // namespace pel
