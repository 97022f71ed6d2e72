// Forms and their controls in the headless document: submission, input types and state, select
// options and their selection, text areas, buttons, links and image-map areas.

#include "HtmlDom.h"

#include <algorithm>
#include <climits>

#include "HtmlDomInternal.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace pel::headless {

// ---- Forms and controls

TElementsRef THtmlForm::Elements() {
  auto Doc = OwnerDocument();
  if (Doc && Doc->SourceIndexOf(*this) >= 0) return Doc->FormControls(this);
  // A form outside its page has only the controls it holds.
  std::vector<std::shared_ptr<THtmlElement>> Result;
  ForEachDescendant(*this, [&](THtmlElement& E) {
    if (E.Is(TagControl) && E.OwnerForm() == this) Result.push_back(E.SharedElement());
  });
  return std::make_shared<TElementCollection>(std::move(Result));
}

// The controls are asked for among the form's own (which need not lie inside it), anything else
// among its descendants.
TElementsRef THtmlForm::Tags(const WideString& TagName) {
  return IsControl(AsciiLower(TagName)) ? Elements()->Tags(TagName) : All()->Tags(TagName);
}

void THtmlForm::Submit() {
  auto Doc = OwnerDocument();
  if (Doc && Doc->Host()) Doc->Host()->SubmitForm(*Doc, *this, nullptr);
}

namespace {
// A submission as a user's press of a submit control starts it: the form's onsubmit (the page's
// script, then the advised sinks), then the submission itself.
void SubmitAsUser(THtmlElement& Control) {
  THtmlElement* Form = Control.OwnerForm();
  if (!Form) return;
  auto Keep = Form->SharedElement();
  Form->RunHandler(u"onsubmit");
  Form->Events().Fire(DIID_HTMLFormElementEvents, DispIdOnSubmit);
  auto Doc = Form->OwnerDocument();
  if (Doc && Doc->Host()) Doc->Host()->SubmitForm(*Doc, *Form, &Control);
}

int32_t ParseNonNegative(const WideString& Text, int32_t Default) {
  const WideString T = TrimSpaces(Text);
  if (T.empty()) return Default;
  int64_t V = 0;
  for (WideChar C : T) {
    if (C < u'0' || C > u'9') return Default;
    V = V * 10 + (C - u'0');
    if (V > INT32_MAX) return Default;
  }
  return static_cast<int32_t>(V);
}
}  // namespace

void THtmlInput::InitState() {
  FValue = AttributeText(u"value");
  FChecked = HasAttribute(u"checked");
}

WideString THtmlInput::Type() {
  // The types of the browser the add-on runs in: those of HTML 4 and the few of HTML 5 it took
  // on (e-mail, telephone, address, number, range, search). It answers "text" for any other
  // (date, time, colour and the like, or a misspelling), and so does its form capture.
  static constexpr std::u16string_view Known[] = {u"text",   u"password", u"checkbox", u"radio",  u"submit", u"reset",
                                                  u"button", u"image",    u"file",     u"hidden", u"email",  u"tel",
                                                  u"url",    u"number",   u"range",    u"search"};
  const WideString Attribute = AttributeText(u"type");
  std::u16string_view T = Attribute;
  while (!T.empty() && T.front() <= 32) T.remove_prefix(1);
  while (!T.empty() && T.back() <= 32) T.remove_suffix(1);
  for (std::u16string_view Name : Known)
    if (EqualsIgnoringAsciiCase(Name, T)) return WideString(Name);
  return u"text";
}

void THtmlInput::SetValue(const WideString& Value) {
  if (FValue == Value) return;
  FValue = Value;
  PropertyChanged();
}

void THtmlInput::SetChecked(bool Value) {
  if (FChecked == Value) return;
  FChecked = Value;
  PropertyChanged();
  if (Value && Type() == u"radio") {
    // Checking one radio button unchecks the others of its group: same name, same form.
    const WideString GroupName = Name();
    auto Doc = OwnerDocument();
    if (!Doc || GroupName.empty() || SourceIndex() < 0) return;
    for (const auto& E : Doc->RadioGroup(OwnerForm(), GroupName))
      if (E.get() != this) static_cast<THtmlInput&>(*E).SetChecked(false);
  }
}

int32_t THtmlInput::MaxLength() { return ParseNonNegative(AttributeText(u"maxlength"), INT32_MAX); }

TElementRef THtmlInput::Form() {
  THtmlElement* F = OwnerForm();
  return F ? F->SharedElement() : nullptr;
}

void THtmlInput::PreClickAction() {
  const WideString T = Type();
  if (T == u"checkbox")
    SetChecked(!FChecked);
  else if (T == u"radio")
    SetChecked(true);
}

void THtmlInput::DefaultClickAction() {
  const WideString T = Type();
  if (T == u"submit" || T == u"image") SubmitAsUser(*this);
}

WideString THtmlButton::Type() {
  // A type the browser does not know is the default one.
  const WideString T = AsciiLower(TrimSpaces(AttributeText(u"type")));
  return T == u"button" || T == u"reset" ? T : u"submit";
}

void THtmlButton::DefaultClickAction() {
  if (Type() == u"submit") SubmitAsUser(*this);
}

THtmlSelect* THtmlOption::OwnerSelect() const {
  for (THtmlElement* E = Parent(); E; E = E->Parent())
    if (E->Is(TTagInfo::TClass::Select)) return static_cast<THtmlSelect*>(E);
  return nullptr;
}

void THtmlOption::SetSelected(bool Value) {
  FSelected = Value;
  if (Value)
    if (THtmlSelect* S = OwnerSelect()) S->OptionSelected(*this);
}

WideString THtmlOption::Text() {
  // The list shows the text with its blanks collapsed and none at either end.
  WideString Result;
  bool Space = false;
  auto Add = [&](const THtmlText& T) {
    for (WideChar C : T.Text) {
      if (IsSpace(C)) {
        Space = !Result.empty();
        continue;
      }
      if (Space) Result += u' ';
      Space = false;
      Result += C;
    }
  };
  // Almost every option holds one text node; a page list renders thousands of them.
  const auto& Children = ChildNodes();
  if (Children.size() == 1 && Children[0]->Kind() == TKind::Text) {
    Result.reserve(static_cast<const THtmlText&>(*Children[0]).Text.size());
    Add(static_cast<const THtmlText&>(*Children[0]));
    return Result;
  }
  std::vector<const THtmlNode*> Stack{this};
  while (!Stack.empty()) {
    const THtmlNode* N = Stack.back();
    Stack.pop_back();
    if (N->Kind() == TKind::Text) Add(static_cast<const THtmlText&>(*N));
    for (auto It = N->ChildNodes().rbegin(); It != N->ChildNodes().rend(); ++It) Stack.push_back(It->get());
  }
  return Result;
}

WideString THtmlOption::Value() { return AttributeText(u"value"); }

int32_t THtmlOption::Index() {
  THtmlSelect* S = OwnerSelect();
  if (!S) return 0;
  const auto& Options = S->Options();
  auto It = std::find(Options.begin(), Options.end(), this);
  return It == Options.end() ? 0 : static_cast<int32_t>(It - Options.begin());
}

const std::vector<THtmlOption*>& THtmlSelect::Options() const {
  // Outside a document there is no version to key the list by; it is made afresh.
  auto Doc = OwnerDocument();
  if (Doc && FOptionsVersion == Doc->Version()) return FOptions;
  FOptions.clear();
  ForEachDescendant(*this, [&](THtmlElement& E) {
    if (E.Is(TTagInfo::TClass::Option)) FOptions.push_back(static_cast<THtmlOption*>(&E));
  });
  FOptionsVersion = Doc ? Doc->Version() : ~uint64_t{0};
  return FOptions;
}

void THtmlSelect::InitState() {
  const auto& Options = this->Options();
  const bool Many = Multiple();
  THtmlOption* Last = nullptr;
  for (THtmlOption* O : Options) {
    O->FSelected = false;
    if (O->HasAttribute(u"selected")) {
      if (Many)
        O->FSelected = true;
      else
        Last = O;
    }
  }
  if (!Many) {
    // A drop-down list always shows one option: the last preselected one, else the first.
    const bool DropDown = ParseNonNegative(AttributeText(u"size"), 1) <= 1;
    if (!Last && DropDown && !Options.empty()) Last = Options.front();
    if (Last) Last->FSelected = true;
  }
}

TVariant THtmlSelect::GetAttribute(const WideString& Name, int32_t Flags) {
  const bool IgnoreCase = (Flags & AttributeMatchCase) == 0;
  if ((IgnoreCase ? AsciiLower(Name) : Name) == u"type") return Type();
  return THtmlElement::GetAttribute(Name, Flags);
}

int32_t THtmlSelect::SelectedIndex() {
  const auto& Options = this->Options();
  for (size_t I = 0; I < Options.size(); ++I)
    if (Options[I]->Selected()) return static_cast<int32_t>(I);
  return -1;
}

void THtmlSelect::SetSelectedIndex(int32_t Index) {
  const auto& Options = this->Options();
  for (size_t I = 0; I < Options.size(); ++I) Options[I]->FSelected = static_cast<int32_t>(I) == Index;
}

WideString THtmlSelect::Value() {
  for (THtmlOption* O : Options())
    if (O->Selected()) return O->Value();
  return {};
}

void THtmlSelect::SetValue(const WideString& Value) {
  bool Found = false;
  for (THtmlOption* O : Options()) {
    O->FSelected = !Found && O->Value() == Value;
    Found = Found || O->FSelected;
  }
}

TElementRef THtmlSelect::Item(int32_t Index) {
  const auto& Options = this->Options();
  if (Index < 0 || Index >= static_cast<int32_t>(Options.size())) return nullptr;
  return Options[static_cast<size_t>(Index)]->SharedElement();
}

TElementRef THtmlSelect::Form() {
  THtmlElement* F = OwnerForm();
  return F ? F->SharedElement() : nullptr;
}

void THtmlSelect::OptionSelected(THtmlOption& Option) {
  if (Multiple()) return;
  for (THtmlOption* O : Options())
    if (O != &Option) O->FSelected = false;
}

void THtmlTextArea::InitState() {
  FValue.clear();
  for (const auto& C : ChildNodes())
    if (C->Kind() == TKind::Text) FValue += static_cast<const THtmlText&>(*C).Text;
}

void THtmlTextArea::SetValue(const WideString& Value) {
  if (FValue == Value) return;
  FValue = Value;
  PropertyChanged();
}

TElementRef THtmlTextArea::Form() {
  THtmlElement* F = OwnerForm();
  return F ? F->SharedElement() : nullptr;
}

WideString THtmlElement::LinkHref() {
  if (!HasAttribute(u"href")) return {};
  auto Doc = OwnerDocument();
  return Doc ? Doc->ResolveURL(AttributeText(u"href")) : AttributeText(u"href");
}

void THtmlElement::FollowLink() {
  const WideString URL = LinkHref();
  auto Doc = OwnerDocument();
  if (!URL.empty() && Doc && Doc->Host()) Doc->Host()->NavigateFromDocument(*Doc, URL, AttributeText(u"target"));
}

}  // namespace pel::headless
