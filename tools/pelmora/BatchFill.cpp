#include "BatchFill.h"

#include <algorithm>
#include <cctype>

#include "BHO/BindingMarks.h"
#include "BHO/CaptionFinder.h"
#include "BHO/ElementAccess.h"
#include "BHO/FormFill.h"
#include "headless/HeadlessDialogs.h"
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
    // What the page showed: the options it marks as selected; a list of one choice without any
    // shows its first option that can be chosen (the last marked one when it marks several).
    auto Select = Supports<IHTMLSelectElement>(E);
    const bool Multiple = Select->Multiple();
    std::vector<bool> Initially(static_cast<size_t>(std::max<int32_t>(Select->Length(), 0)), false);
    int32_t Marked = -1, FirstEnabled = -1;
    for (int32_t I = 0; I < Select->Length(); ++I)
      if (auto Option = Supports<IHTMLOptionElement>(Select->Item(I))) {
        if (Option->DefaultSelected()) {
          Marked = I;
          if (Multiple) Initially[static_cast<size_t>(I)] = true;
        }
        // As with "checked", the attribute may come back as the property's boolean.
        const TVariant Disabled = Select->Item(I)->GetAttribute(u"disabled", 0);
        if (FirstEnabled < 0 && (Disabled.VarType() == TVarType::Boolean ? !Disabled.AsBoolean() : Disabled.IsEmptyOrNull()))
          FirstEnabled = I;
      }
    if (!Multiple) {
      const int32_t Shown = Marked >= 0 ? Marked : FirstEnabled;
      if (Shown >= 0) Initially[static_cast<size_t>(Shown)] = true;
    }
    for (int32_t I = 0; I < Select->Length(); ++I)
      if (auto Option = Supports<IHTMLOptionElement>(Select->Item(I)))
        if (Option->Selected() != Initially[static_cast<size_t>(I)]) return true;
    return false;
  }
  if (Tag == u"textarea") return Supports<IHTMLTextAreaElement>(E)->Value() != E->InnerText();
  return false;
}

// The controls the profile fill looks at: a form with one of them left unbound is not complete.
bool IsFillable(const WideString& Tag, const WideString& Type) {
  if (Tag == u"select" || Tag == u"textarea") return true;
  return Tag == u"input" && Type != u"hidden" && Type != u"submit" && Type != u"reset" && Type != u"file" &&
         Type != u"button";
}

// What the page's forms hold that the page did not give them, and the page's title. Secrets learns
// what the forms hold that is not to be printed.
void TakeSnapshot(TKXBrowserHelperObject& Helper, headless::THeadlessBrowser& Browser, TPageReport& Report,
                  TSecrets& Secrets) {
  if (auto Doc = Browser.HtmlDocument()) Report.Title = Doc->Title();
  Report.Filled.clear();
  Report.Unfilled.clear();
  TPageFormSet& Forms = Helper.PageForms();
  Report.Forms = Forms.Count();
  // Outside a form a box left empty keeps nothing from being complete: there is nothing to submit.
  auto Look = [&](const TElementRef& E, const WideString& FormName, bool InForm) {
    if (!E) return;
    WideString Name, Tag, Type, Value, Field;
    ReadElement(E, Name, Tag, Type, Value);
    const bool Bound = GetAttributeText(E, ProfileFieldAttribute, Field) && !Field.empty();
    // The profile's password may land in a box that does not mask it; it is a secret all the same.
    const bool Secret = Type == u"password" || AsciiLowerCase(Field) == u"password" || Secrets.IsSecret(Value);
    if (Secret && !Value.empty()) Secrets.Add(Name, Value);
    if (!Bound && InForm && IsFillable(Tag, Type))
      Report.Unfilled.push_back((Name.empty() ? WideString(u"(no name)") : Name) +
                                (E->GetAttribute(u"required", 0).IsEmptyOrNull() ? u"" : u" (required)"));
    // Only what the fill changed: a box bound to a field whose value it already held, or a list
    // left on the option the page chose, was not filled.
    if (Tag.empty() || !Changed(E, Tag, Type)) return;
    TFilledControl C;
    C.Form = FormName;
    C.Name = Name;
    try {
      GetElementCaption(E, true, true, C.Caption);
    } catch (const Exception&) {
      C.Caption.clear();
    }
    C.ProfileField = Field;
    C.Secret = Secret;
    C.Value = C.Secret ? Masked(Value) : Value;
    C.Element = E;
    Report.Filled.push_back(std::move(C));
  };
  for (int F = 0; F < Forms.Count(); ++F) {
    auto Form = Supports<IHTMLFormElement>(Forms.Items(F).FHtmlForm);
    if (!Form) continue;
    WideString FormName = Form->Name();
    if (FormName.empty()) GetAttributeText(Forms.Items(F).FHtmlForm, u"id", FormName);
    if (FormName.empty()) FormName = u"form " + IntToWideStr(F + 1);
    TElementsRef Controls = Form->Elements();
    for (int32_t I = 0; I < Controls->Length(); ++I) Look(Controls->Item(I), FormName, true);
  }
  // The controls outside any form, which the profile fill reaches too.
  std::vector<headless::THeadlessBrowser*> Windows{&Browser};
  while (!Windows.empty()) {
    headless::THeadlessBrowser* W = Windows.back();
    Windows.pop_back();
    if (auto Doc = W->HtmlDocument())
      for (const TElementRef& E : FormlessControls(Doc)) Look(E, u"(no form)", false);
    for (const auto& Frame : W->Frames()) Windows.push_back(Frame.get());
  }
}

}  // namespace

WideString Masked(const WideString& Value) { return WideString(std::min<size_t>(Value.size(), 8), u'*'); }

namespace {

std::string FormDecoded(const std::string& Text) {
  std::string Out;
  for (size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] == '+') {
      Out += ' ';
    } else if (Text[I] == '%' && I + 2 < Text.size() && std::isxdigit(static_cast<unsigned char>(Text[I + 1])) &&
               std::isxdigit(static_cast<unsigned char>(Text[I + 2]))) {
      Out += static_cast<char>(std::stoi(Text.substr(I + 1, 2), nullptr, 16));
      I += 2;
    } else {
      Out += Text[I];
    }
  }
  return Out;
}

}  // namespace

void TSecrets::Add(const WideString& Name, const WideString& Value) {
  if (!Name.empty() && std::find(FNames.begin(), FNames.end(), Name) == FNames.end()) FNames.push_back(Name);
  if (!Value.empty() && !IsSecret(Value)) FValues.push_back(Value);
}

bool TSecrets::IsSecret(const WideString& Value) const {
  return !Value.empty() && std::find(FValues.begin(), FValues.end(), Value) != FValues.end();
}

std::string TSecrets::InForm(const std::string& Body) const {
  if (FNames.empty() && FValues.empty()) return Body;
  std::string Out;
  size_t Start = 0;
  while (Start <= Body.size()) {
    size_t End = Body.find('&', Start);
    if (End == std::string::npos) End = Body.size();
    const std::string Pair = Body.substr(Start, End - Start);
    const size_t Eq = Pair.find('=');
    if (Eq != std::string::npos) {
      const WideString Name = Utf8ToWide(FormDecoded(Pair.substr(0, Eq)));
      const WideString Value = Utf8ToWide(FormDecoded(Pair.substr(Eq + 1)));
      const bool Hide = !Value.empty() && (IsSecret(Value) || std::find(FNames.begin(), FNames.end(), Name) != FNames.end());
      Out += Hide ? Pair.substr(0, Eq + 1) + WideToUtf8(Masked(Value)) : Pair;
    } else {
      Out += Pair;
    }
    if (End < Body.size()) Out += '&';
    Start = End + 1;
  }
  return Out;
}

WideString TSecrets::InAddress(const WideString& Url) const {
  const size_t Query = Url.find(u'?');
  if (Query == WideString::npos) return Url;
  const size_t Fragment = Url.find(u'#', Query);
  const size_t End = Fragment == WideString::npos ? Url.size() : Fragment;
  return Url.substr(0, Query + 1) + Utf8ToWide(InForm(WideToUtf8(Url.substr(Query + 1, End - Query - 1)))) +
         Url.substr(End);
}

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
    FReports.back().SubmittedTo = FOptions.Secrets.InAddress(URL.AsWideString());
    if (PostData.VarType() == TVarType::ByteArray)
      FReports.back().PostData =
          FOptions.Secrets.InForm(std::string(PostData.AsBytes().begin(), PostData.AsBytes().end()));
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
  Report.Address = FOptions.Secrets.InAddress(FBrowser->LocationURL());
  FReports.push_back(std::move(Report));
  FOpen = true;
}

void TBatchFiller::Snapshot() { TakeSnapshot(*FHelper, *FBrowser, FReports.back(), FOptions.Secrets); }

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
  TPageReport& Last = FReports.back();
  if (Last.Outcome == "done" || Last.Outcome == "no forms") Last.Why = Explain(Last);
  return FReports;
}

std::string TBatchFiller::Explain(const TPageReport& Report) {
  auto List = [](const std::vector<WideString>& Names) {
    std::string Out;
    for (const WideString& N : Names) Out += (Out.empty() ? "" : ", ") + WideToUtf8(N);
    return Out;
  };
  const std::string NotSent = FOptions.Submit ? "not submitted: " : "";
  if (Report.Forms == 0 && Report.Filled.empty()) return NotSent + "the page has no form";
  if (!Report.Filled.empty()) {
    if (!FOptions.Submit || Report.Unfilled.empty()) return "";
    return NotSent + "the profile has nothing for " + List(Report.Unfilled);
  }
  if (Report.Unfilled.empty()) return NotSent + "nothing filled: the forms have no box to fill";
  // Which boxes the store recognised, to tell an empty profile from boxes it does not know.
  std::vector<WideString> Fields;
  std::shared_ptr<IPelServer> Server;
  FHelper->Agent().GetServer(Server);
  TPageFormSet& Forms = FHelper->PageForms();
  for (int F = 0; Server && F < Forms.Count(); ++F) {
    auto Form = Supports<IHTMLFormElement>(Forms.Items(F).FHtmlForm);
    if (!Form) continue;
    const TFormContext Context = FormContextOf(Forms.Items(F).FHtmlForm);
    TElementsRef Controls = Form->Elements();
    for (int32_t I = 0; I < Controls->Length(); ++I) {
      TElementRef E = Controls->Item(I);
      if (!E) continue;
      WideString Name, Tag, Type, Value;
      ReadElement(E, Name, Tag, Type, Value);
      if (!IsFillable(Tag, Type)) continue;
      for (const TProfileQuery& Query : ProfileQueries(E, Type, Name, Context)) {
        if (Query.Text.empty()) continue;
        WideString Field, Found, Values;
        int32_t Kind = 0;
        bool Has = false, LoginRequired = false;
        try {
          Server->FindFieldValue(FOptions.Profile, Tag, Query.TypeArgument, Query.Text, FBrowser->LocationURL(), Field,
                                 Kind, Found, Values, Has, LoginRequired);
        } catch (const Exception&) {
          Field.clear();
        }
        if (Field.empty()) continue;
        if (std::find(Fields.begin(), Fields.end(), Field) == Fields.end()) Fields.push_back(Field);
        break;
      }
    }
  }
  if (Fields.empty())
    return NotSent + "nothing filled: no box was recognised as a profile field (" + List(Report.Unfilled) + ")";
  return NotSent + "nothing filled: the profile " + WideToUtf8(FOptions.Profile) + " has no value for " + List(Fields);
}

namespace {

// The control named Name in the page's forms (frames included), or null.
std::shared_ptr<headless::THtmlElement> FindControl(headless::THeadlessBrowser& Browser, const WideString& Name) {
  std::vector<headless::THeadlessBrowser*> Windows{&Browser};
  while (!Windows.empty()) {
    headless::THeadlessBrowser* W = Windows.back();
    Windows.pop_back();
    if (auto Doc = W->HtmlDocument())
      for (const auto& E : Doc->AllElements()) {
        const WideString Tag = E->Tag();
        if ((Tag == u"input" || Tag == u"select" || Tag == u"textarea") && E->AttributeText(u"name") == Name) return E;
      }
    for (const auto& F : W->Frames()) Windows.push_back(F.get());
  }
  return nullptr;
}

}  // namespace

TCaptureReport CaptureCard(std::shared_ptr<headless::TPageSource> Pages, const WideString& Address,
                           const std::vector<TTypedValue>& Values, const WideString& CardName) {
  TCaptureReport Report;
  auto Browser = headless::THeadlessBrowser::CreateTop(std::move(Pages));
  auto Helper = std::make_shared<TKXBrowserHelperObject>();
  if (Helper->SetSite(Browser) != HR_S_OK) throw Exception("The add-on could not attach to the browser window");
  TBrivaneAgent& Agent = Helper->Agent();
  // Nothing automatic while the page loads: the card holds what the user typed.
  Agent.SetActive(false);
  Browser->Navigate(Address, TVariant(), TVariant(), TVariant(), TVariant());
  Browser->RunPending();
  Agent.SetActive(true);
  Report.Page.Address = Browser->LocationURL();
  std::shared_ptr<headless::THtmlElement> Last;
  for (const TTypedValue& V : Values) {
    auto Control = FindControl(*Browser, V.Name);
    if (!Control) {
      Report.Missing.push_back(V.Name);
      continue;
    }
    const WideString Tag = Control->Tag();
    const WideString Type = AsciiLowerCase(Control->AttributeText(u"type"));
    if (Tag == u"select") {
      auto Select = Supports<IHTMLSelectElement>(std::static_pointer_cast<IHTMLElement>(Control));
      int32_t Chosen = -1;
      for (int32_t I = 0; I < Select->Length() && Chosen < 0; ++I)
        if (auto Option = Supports<IHTMLOptionElement>(Select->Item(I)))
          if (Option->Value() == V.Value || Option->Text() == V.Value) Chosen = I;
      if (Chosen < 0) {
        Report.Missing.push_back(V.Name + u"=" + V.Value);
        continue;
      }
      Browser->UserSelect(*Control, Chosen);
    } else if (Tag == u"input" && (Type == u"checkbox" || Type == u"radio")) {
      const bool Want = V.Value == u"1" || AsciiLowerCase(V.Value) == u"on" || AsciiLowerCase(V.Value) == u"true" ||
                        V.Value == Control->AttributeText(u"value");
      if (Supports<IHTMLInputElement>(std::static_pointer_cast<IHTMLElement>(Control))->Checked() != Want)
        Browser->UserClick(*Control);
    } else {
      Browser->UserType(*Control, V.Value);
    }
    Last = Control;
  }
  if (!Last) return Report;
  // The store names the card through its dialog, which the person answered on the command line.
  WideString Saved;
  headless::HeadlessDialogViews().Answer("BVStoreDialog", [&](TForm& Form) {
    if (!CardName.empty()) Form.Control("FormSetNameEdit").Text = CardName;
    Saved = Form.Control("FormSetNameEdit").Text;
    Form.Control("Button1").Click();
  });
  TSecrets Secrets;
  TakeSnapshot(*Helper, *Browser, Report.Page, Secrets);
  // Submitted as the user would: the form's submit control, or the form itself.
  headless::THtmlElement* Form = Last->OwnerForm();
  headless::THtmlElement* Submit = nullptr;
  if (Form)
    for (const auto& E : Browser->HtmlDocument()->AllElements())
      if (E->OwnerForm() == Form && (E->Tag() == u"button" || (E->Tag() == u"input" && (AsciiLowerCase(E->AttributeText(u"type")) == u"submit" || AsciiLowerCase(E->AttributeText(u"type")) == u"image")))) {
        Submit = E.get();
        break;
      }
  const size_t Requests = Browser->Requests.size();
  if (Submit)
    Browser->UserClick(*Submit);
  else if (Form)
    Supports<IHTMLFormElement>(std::static_pointer_cast<IHTMLElement>(Form->SharedElement()))->Submit();
  Browser->RunPending();
  headless::HeadlessDialogViews().Clear();
  if (Browser->Requests.size() > Requests) {
    Report.Page.Outcome = "submitted";
    Report.Page.SubmittedTo = Secrets.InAddress(Browser->Requests[Requests].URL);
    Report.Page.PostData = Secrets.InForm(Browser->Requests[Requests].PostData);
  }
  Report.CardName = Saved;
  Helper->SetSite(nullptr);
  return Report;
}

}  // namespace pel::tool
