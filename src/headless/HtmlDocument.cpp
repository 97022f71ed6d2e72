// The headless document once built: its element lists and snapshots per version of the tree,
// rendered texts, form owners and visibility of ancestors, collections, and its window.

#include "HtmlDom.h"

#include <algorithm>
#include <atomic>

#include "HtmlDomInternal.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace pel::headless {

THtmlDocument::~THtmlDocument() = default;

std::shared_ptr<THtmlElement> THtmlDocument::FindById(const WideString& Id) {
  for (const auto& E : AllElements())
    if (E->AttributeText(u"id") == Id) return E;
  return nullptr;
}

int32_t THtmlDocument::SourceIndexOf(const THtmlElement& Element) {
  // The positions belong to this document and this version of its tree: a table kept anywhere
  // else could outlive the document and answer for another one built at the same address.
  // Each element keeps its position with the stamp of the numbering that gave it, unique in the
  // process, so an element of another document, or one no longer in the tree, never matches.
  static std::atomic<uint64_t> LastStamp{0};
  const auto& All = AllElements();
  if (FIndexVersion != FVersion || FIndexStamp == 0) {
    FIndexStamp = LastStamp.fetch_add(1, std::memory_order_relaxed) + 1;
    for (size_t I = 0; I < All.size(); ++I) {
      All[I]->FIndexStamp = FIndexStamp;
      All[I]->FIndex = static_cast<int32_t>(I);
    }
    FIndexVersion = FVersion;
  }
  return Element.FIndexStamp == FIndexStamp ? Element.FIndex : -1;
}

const std::vector<std::shared_ptr<THtmlElement>>& THtmlDocument::AllElements() {
  if (FAllVersion != FVersion) {
    FAll.clear();
    if (FRoot) {
      FAll.push_back(FRoot);
      ForEachDescendant(*FRoot, [&](THtmlElement& E) { FAll.push_back(E.SharedElement()); });
    }
    FAllVersion = FVersion;
  }
  return FAll;
}

TElementsRef THtmlDocument::FormControls(const THtmlElement* Form) {
  if (FControlsVersion != FVersion) {
    // One walk sorts every control to its form; a fill asks its form again after every write that
    // may have run a script, and gets this snapshot back until the tree changes.
    std::unordered_map<const THtmlElement*, std::vector<std::shared_ptr<THtmlElement>>> Lists;
    std::vector<std::pair<const THtmlNode*, THtmlElement*>> Stack;
    if (FRoot) Stack.emplace_back(FRoot.get(), nullptr);
    while (!Stack.empty()) {
      auto [N, Enclosing] = Stack.back();
      Stack.pop_back();
      if (N->Kind() != THtmlNode::TKind::Element) continue;
      auto& E = const_cast<THtmlElement&>(static_cast<const THtmlElement&>(*N));
      if (E.Is(TagControl)) {
        THtmlElement* Parsed = E.ParserForm();
        Lists[Parsed ? Parsed : Enclosing].push_back(E.SharedElement());
      }
      THtmlElement* Inner = E.Is(TTagInfo::TClass::Form) ? &E : Enclosing;
      for (auto It = N->ChildNodes().rbegin(); It != N->ChildNodes().rend(); ++It) Stack.emplace_back(It->get(), Inner);
    }
    FControls.clear();
    for (auto& [Owner, List] : Lists) FControls[Owner] = std::make_shared<TElementCollection>(std::move(List));
    FControlsVersion = FVersion;
  }
  auto It = FControls.find(Form);
  if (It != FControls.end()) return It->second;
  auto Empty = std::make_shared<TElementCollection>(std::vector<std::shared_ptr<THtmlElement>>{});
  FControls[Form] = Empty;
  return Empty;
}

std::vector<std::shared_ptr<THtmlElement>> THtmlDocument::RadioGroup(const THtmlElement* Form, const WideString& Name) {
  if (FRadioVersion != FVersion) {
    FRadioGroups.clear();
    for (const auto& E : AllElements()) {
      if (!E->Is(TTagInfo::TClass::Input)) continue;
      auto& Input = static_cast<THtmlInput&>(*E);
      if (Input.Type() == u"radio" && !Input.Name().empty())
        FRadioGroups[{Input.OwnerForm(), Input.Name()}].push_back(E);
    }
    FRadioVersion = FVersion;
  }
  auto It = FRadioGroups.find({Form, Name});
  return It == FRadioGroups.end() ? std::vector<std::shared_ptr<THtmlElement>>{} : It->second;
}

WideString THtmlDocument::InnerTextOf(const THtmlElement& Element) {
  if (FInnerTextsVersion != FVersion) {
    FInnerTexts.clear();
    FInnerTextsHeld = 0;
    // As many bytes as the page's source, and some: room for the cells, rows and forms a
    // caption search asks of an ordinary page, never the square of a deep one.
    FInnerTextsBudget = FSourceSize / sizeof(WideChar) + 65536;
    FInnerTextsVersion = FVersion;
  }
  if (auto It = FInnerTexts.find(&Element); It != FInnerTexts.end()) return It->second;
  // Inside an element hidden by visibility the element has its boxes but shows nothing (its
  // own "visibility: visible" could show it again; pages rarely do that, and it is not modelled).
  WideString Text;
  if (!InsideHiddenVisibility(Element)) {
    // Once the body's text stands (a caption search has measured it), an element it shows whole
    // reads its text from there: the body renders it with the same rules, and a caption search
    // of a deep page would otherwise render the rest of the page again for each control. Its
    // own rendering differs only where it is hidden, hides its content or sits in preformatted
    // text.
    const TRenderedText* Body = FTextVersion == FVersion ? &FBodyText : nullptr;
    const int32_t Position = Body ? SourceIndexOf(Element) : -1;
    const auto* Span = Body ? Body->SpanAt(Position) : nullptr;
    if (Span && !Element.StyleHidden() && !Element.Is(TagTextHidden) &&
        !Body->InsidePre[static_cast<size_t>(Position)]) {
      const auto [From, To] = *Span;
      if (To > From) Text = Body->Text.substr(static_cast<size_t>(From), static_cast<size_t>(To - From));
    } else {
      TRenderedText R;
      TRenderer(R, false).Render(Element);
      Text = std::move(R.Text);
    }
  }
  if (FInnerTextsHeld + Text.size() <= FInnerTextsBudget) {
    FInnerTextsHeld += Text.size();
    FInnerTexts.emplace(&Element, Text);
  }
  return Text;
}

THtmlElement* THtmlDocument::EnclosingForm(const THtmlElement& Element) {
  const size_t Count = AllElements().size();
  if (FFormsAboveVersion != FVersion) {
    FFormAtOrAbove.assign(Count, nullptr);
    FFormKnown.assign(Count, false);
    FFormsAboveVersion = FVersion;
  }
  // As for visibility: climb to the first ancestor whose answer is known, then hand it down the
  // path, so that the controls of a deep page do not each climb the whole way. An element out of
  // the tree (a script's, not yet inserted) has no position and climbs on its own.
  std::vector<std::pair<THtmlElement*, int32_t>> Path;
  THtmlElement* Form = nullptr;
  for (THtmlElement* P = Element.Parent(); P; P = P->Parent()) {
    const int32_t At = SourceIndexOf(*P);
    if (At >= 0 && FFormKnown[static_cast<size_t>(At)]) {
      Form = FFormAtOrAbove[static_cast<size_t>(At)];
      break;
    }
    Path.emplace_back(P, At);
  }
  for (auto I = Path.rbegin(); I != Path.rend(); ++I) {
    if (I->first->Is(TTagInfo::TClass::Form)) Form = I->first;
    if (I->second < 0) continue;
    FFormAtOrAbove[static_cast<size_t>(I->second)] = Form;
    FFormKnown[static_cast<size_t>(I->second)] = true;
  }
  return Form;
}

bool THtmlDocument::InsideHiddenVisibility(const THtmlElement& Element) {
  const size_t Count = AllElements().size();
  if (FInvisibleVersion != FVersion) {
    FInvisibleInside.assign(Count, -1);
    FInvisibleVersion = FVersion;
  }
  // Climb to the first ancestor whose answer is known (or to the top), then hand the answer
  // down the path, so a page asks each ancestor once per version of the tree however deep it is.
  std::vector<std::pair<const THtmlElement*, int32_t>> Path;
  bool Hidden = false;
  for (const THtmlElement* P = Element.Parent(); P; P = P->Parent()) {
    const int32_t At = SourceIndexOf(*P);
    if (At >= 0 && FInvisibleInside[static_cast<size_t>(At)] >= 0) {
      Hidden = FInvisibleInside[static_cast<size_t>(At)] != 0;
      break;
    }
    Path.emplace_back(P, At);
  }
  for (auto I = Path.rbegin(); I != Path.rend(); ++I) {
    Hidden = Hidden || I->first->FVisibilityHidden;
    if (I->second >= 0) FInvisibleInside[static_cast<size_t>(I->second)] = Hidden ? 1 : 0;
  }
  return Hidden;
}

const TRenderedText& THtmlDocument::BodyText() {
  if (FTextVersion != FVersion) {
    FBodyText = {};
    if (auto B = std::dynamic_pointer_cast<THtmlElement>(Body()); B && SourceIndexOf(*B) >= 0) {
      // The renderer keeps each element's span at its position, which the call above numbered.
      FBodyText.Spans.assign(AllElements().size(), {-1, -1});
      FBodyText.InsidePre.assign(AllElements().size(), false);
      TRenderer(FBodyText, true).Render(*B);
    }
    FTextVersion = FVersion;
  }
  return FBodyText;
}

WideString THtmlDocument::ResolveURL(const WideString& Relative) const {
  AnsiString Result;
  if (Url().CombineUrl(WideToAnsi(FURL), WideToAnsi(Relative), ICU_BROWSER_MODE, 2048, Result))
    return AnsiToWide(Result);
  return Relative;
}

std::shared_ptr<THtmlWindow> THtmlDocument::Window() {
  if (!FWindow) {
    FWindow = std::make_shared<THtmlWindow>(shared_from_this());
    FWindow->Events().AddConnectionPoint(DIID_HTMLWindowEvents);
  }
  return FWindow;
}

WideString THtmlDocument::Title() {
  for (const auto& E : AllElements())
    if (E->Tag() == u"title") {
      WideString Text;
      for (const auto& C : E->ChildNodes())
        if (C->Kind() == THtmlNode::TKind::Text) Text += static_cast<const THtmlText&>(*C).Text;
      // Blanks collapse in a title as in any text.
      WideString Out;
      bool Space = false;
      for (WideChar C : Text) {
        if (IsSpace(C)) {
          Space = !Out.empty();
          continue;
        }
        if (Space) Out += u' ';
        Space = false;
        Out += C;
      }
      return Out;
    }
  return {};
}

TElementsRef THtmlDocument::All() {
  // Snapshots nobody can change: one per version of the tree serves every caller.
  if (FAllCollectionVersion != FVersion) {
    FAllCollection = std::make_shared<TElementCollection>(AllElements());
    FAllCollectionVersion = FVersion;
  }
  return FAllCollection;
}

TElementsRef THtmlDocument::Forms() {
  // Read off the element list, not the collection of all elements: every rescan asks for the
  // forms, and a copy of the whole list was most of what that cost.
  if (FFormsVersion != FVersion) {
    std::vector<std::shared_ptr<THtmlElement>> Forms;
    for (const auto& E : AllElements())
      if (E->Is(TTagInfo::TClass::Form)) Forms.push_back(E);
    FFormsCollection = std::make_shared<TElementCollection>(std::move(Forms));
    FFormsVersion = FVersion;
  }
  return FFormsCollection;
}

TElementRef THtmlDocument::Body() {
  static const TTagInfo* const Frameset = &InternTag(u"frameset");
  for (const auto& E : AllElements())
    if (E->Is(TTagInfo::TClass::Body) || &E->TagInfo() == Frameset) return E;
  return nullptr;
}

TElementRef THtmlDocument::ActiveElement() {
  if (auto A = FActive.lock()) return A;
  return Body();
}

std::shared_ptr<IHTMLWindow2> THtmlDocument::ParentWindow() { return Window(); }

std::vector<std::shared_ptr<IInterface>> THtmlDocument::EnumObjects(uint32_t Flags) {
  if ((Flags & OLECONTF_EMBEDDINGS) == 0) return {};
  return FrameObjects;
}

std::shared_ptr<IConnectionPoint> THtmlDocument::FindConnectionPoint(const TGUID& EventIID) {
  return FEvents.FindConnectionPoint(EventIID);
}

std::shared_ptr<IHTMLDocument2> THtmlWindow::Document() { return FDocument.lock(); }

std::shared_ptr<IConnectionPoint> THtmlWindow::FindConnectionPoint(const TGUID& EventIID) {
  return FEvents.FindConnectionPoint(EventIID);
}

std::shared_ptr<IInterface> THtmlWindow::QueryService(const TGUID& Service, const TGUID& IID) {
  if (!(Service == SID_SWebBrowserApp))
    throw EOleSysError("The window offers no service " + GUIDToString(Service), HR_E_NOINTERFACE);
  if (!(IID == IID_IWebBrowser2))
    throw EOleSysError("The browser service does not answer interface " + GUIDToString(IID), HR_E_NOINTERFACE);
  // A window kept after its page or its browser went leads nowhere.
  auto Document = FDocument.lock();
  std::shared_ptr<IWebBrowser2> Browser = Document ? Document->TopBrowser() : nullptr;
  if (!Browser) throw EOleSysError("The window is shown by no browser", HR_E_NOINTERFACE);
  return Browser;
}

}  // namespace pel::headless
