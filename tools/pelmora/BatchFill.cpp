#include "BatchFill.h"

#include "BHO/BindingMarks.h"
#include "BHO/CaptionFinder.h"
#include "BHO/ElementAccess.h"
#include "platform/Services.h"

namespace pel::tool {

// The batch program's side of the helper's interfaces: it hears when a page is done with.
class TBatchFiller::TBatchServer : public IBVBatchServer {
public:
  explicit TBatchServer(TBatchFiller& Owner) : FOwner(Owner) {}
  void PageDone() override { FOwner.Close("done"); }
  void LoopDetected() override { FOwner.Close("loop"); }
  void NoForms() override { FOwner.Close("no forms"); }

private:
  TBatchFiller& FOwner;
};

namespace {

// Whether the control holds something else than the page gave it.
bool Changed(const TElementRef& E, const WideString& Tag, const WideString& Type) {
  if (Tag == u"input") {
    auto Input = Supports<IHTMLInputElement>(E);
    if (Type == u"checkbox" || Type == u"radio") {
      // Present at all, whatever its text, the attribute checks the box.
      const TVariant Checked = E->GetAttribute(u"checked", 0);
      const bool Initially = Checked.VarType() == TVarType::Boolean ? Checked.AsBoolean() : !Checked.IsEmptyOrNull();
      return Input->Checked() != Initially;
    }
    WideString Initial;
    GetAttributeText(E, u"value", Initial);
    return Input->Value() != Initial;
  }
  if (Tag == u"select") {
    auto Select = Supports<IHTMLSelectElement>(E);
    for (int32_t I = 0; I < Select->Length(); ++I)
      if (auto Option = Supports<IHTMLOptionElement>(Select->Item(I)))
        if (Option->Selected() != Option->DefaultSelected()) return true;
    return false;
  }
  if (Tag == u"textarea") return Supports<IHTMLTextAreaElement>(E)->Value() != E->InnerText();
  return false;
}

}  // namespace

WideString Masked(const WideString& Value) { return WideString(std::min<size_t>(Value.size(), 8), u'*'); }

TBatchFiller::TBatchFiller(std::shared_ptr<headless::TPageSource> Pages, TFillOptions Options)
    : FOptions(std::move(Options)) {
  FBrowser = headless::THeadlessBrowser::CreateTop(std::move(Pages));
  FHelper = std::make_shared<TKXBrowserHelperObject>();
  if (FHelper->SetSite(FBrowser) != HR_S_OK) throw Exception("The add-on could not attach to the browser window");
  FServer = std::make_shared<TBatchServer>(*this);
  FHelper->Set_Unattended(-1);
  FHelper->Set_ProfileName(FOptions.Profile);
  FHelper->Set_BatchServer(FServer);
  // Connected first: connecting loads the store's options, which would replace a choice made before.
  FHelper->Agent().GetConnected();
  FHelper->Agent().SetAutoSubmit(FOptions.Submit);
  // Each page gets a report from its arrival; a navigation of the top page while one is open ends
  // it, with what was filled at that moment and where the page went.
  FEvents.OnNavigateComplete2 = [this](TEventSink*, const std::shared_ptr<IInterface>& pDisp, TVariant&) {
    if (IsSameObject(pDisp, FBrowser)) OpenReport();
  };
  FEvents.OnBeforeNavigate2 = [this](TEventSink*, const std::shared_ptr<IInterface>& pDisp, TVariant& URL, TVariant&,
                                     TVariant&, TVariant& PostData, TVariant&, bool&) {
    if (!FOpen || !IsSameObject(pDisp, FBrowser)) return;
    Snapshot();
    FReports.back().SubmittedTo = URL.AsWideString();
    if (PostData.VarType() == TVarType::ByteArray)
      FReports.back().PostData.assign(PostData.AsBytes().begin(), PostData.AsBytes().end());
    FOpen = false;
    FReports.back().Outcome = "submitted";
  };
  FEvents.Connect(FBrowser);
}

TBatchFiller::~TBatchFiller() {
  FEvents.Disconnect();
  FHelper->Set_BatchServer(nullptr);
  FHelper->SetSite(nullptr);
}

void TBatchFiller::OpenReport() {
  if (FOpen) Close("done");
  TPageReport Report;
  Report.Address = FBrowser->LocationURL();
  FReports.push_back(std::move(Report));
  FOpen = true;
}

void TBatchFiller::Snapshot() {
  TPageReport& Report = FReports.back();
  if (auto Doc = FBrowser->HtmlDocument()) Report.Title = Doc->Title();
  Report.Filled.clear();
  TPageFormSet& Forms = FHelper->PageForms();
  Report.Forms = Forms.Count();
  for (int F = 0; F < Forms.Count(); ++F) {
    auto Form = Supports<IHTMLFormElement>(Forms.Items(F).FHtmlForm);
    if (!Form) continue;
    WideString FormName = Form->Name();
    if (FormName.empty()) GetAttributeText(Forms.Items(F).FHtmlForm, u"id", FormName);
    if (FormName.empty()) FormName = u"form " + IntToWideStr(F + 1);
    TElementsRef Controls = Form->Elements();
    for (int32_t I = 0; I < Controls->Length(); ++I) {
      TElementRef E = Controls->Item(I);
      if (!E) continue;
      WideString Name, Tag, Type, Value, Field;
      ReadElement(E, Name, Tag, Type, Value);
      const bool Bound = GetAttributeText(E, ProfileFieldAttribute, Field) && !Field.empty();
      if (Tag.empty() || !(Bound || Changed(E, Tag, Type))) continue;
      TFilledControl C;
      C.Form = FormName;
      C.Name = Name;
      try {
        GetElementCaption(E, true, true, C.Caption);
      } catch (const Exception&) {
        C.Caption.clear();
      }
      C.ProfileField = Field;
      C.Secret = Type == u"password";
      C.Value = C.Secret ? Masked(Value) : Value;
      Report.Filled.push_back(std::move(C));
    }
  }
}

void TBatchFiller::Close(const std::string& Outcome) {
  if (!FOpen) return;
  Snapshot();
  FReports.back().Outcome = Outcome;
  FOpen = false;
}

std::vector<TPageReport> TBatchFiller::Fill(const WideString& Address) {
  FReports.clear();
  FOpen = false;
  FBrowser->Navigate(Address, TVariant(), TVariant(), TVariant(), TVariant());
  FBrowser->RunPending();
  if (FReports.empty()) {
    TPageReport Report;
    Report.Address = Address;
    Report.Outcome = "not loaded";
    FReports.push_back(std::move(Report));
    return FReports;
  }
  if (!FOptions.CardName.empty()) {
    // The page the automatic processing rested on gets the card too, and its report says so.
    if (!FOpen && FReports.back().Outcome != "submitted") FOpen = true;
    FHelper->FillFormCard(nullptr, FOptions.CardSet, FOptions.CardName, FOptions.Submit, FOptions.OnlyEmpty);
    FBrowser->RunPending();
  }
  Close("done");
  return FReports;
}

}  // namespace pel::tool
