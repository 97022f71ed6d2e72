#include "HtmlDom.h"

#include <unicode/ustring.h>

#include <algorithm>
#include <cstring>

#include "HtmlDomInternal.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace pel::headless {

void* NodeArenaAllocate(TNodeArena& Arena, size_t Size, size_t Align) { return Arena.Allocate(Size, Align); }
void NodeArenaRelease(TNodeArena& Arena) { Arena.Release(); }

WideString FromUtf8(const char* Data, size_t Length) {
  if (Length == 0) return {};
  // Names, values and the text between tags are mostly ASCII: widened directly, one unit a byte.
  size_t Ascii = 0;
  while (Ascii < Length && static_cast<unsigned char>(Data[Ascii]) < 0x80) ++Ascii;
  if (Ascii == Length) return WideString(Data, Data + Length);
  WideString Result(Length, u'\0');  // UTF-16 never needs more units than UTF-8 has bytes
  int32_t Written = 0;
  UErrorCode Status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(Result.data(), static_cast<int32_t>(Result.size()), &Written, Data, static_cast<int32_t>(Length),
                       0xFFFD, nullptr, &Status);
  if (U_FAILURE(Status)) throw Exception(AnsiString("Cannot decode UTF-8: ") + u_errorName(Status));
  Result.resize(static_cast<size_t>(Written));
  return Result;
}

WideString AsciiLower(WideString S) {
  for (WideChar& C : S)
    if (C >= u'A' && C <= u'Z') C = static_cast<WideChar>(C - u'A' + u'a');
  return S;
}

WideString AsciiUpper(WideString S) {
  for (WideChar& C : S)
    if (C >= u'a' && C <= u'z') C = static_cast<WideChar>(C - u'a' + u'A');
  return S;
}

// The controls a form's elements collection holds.
bool IsControl(const WideString& Tag) {
  return Tag == u"input" || Tag == u"select" || Tag == u"textarea" || Tag == u"button";
}

bool IsSpace(WideChar C) { return C == u' ' || C == u'\t' || C == u'\n' || C == u'\r' || C == u'\f'; }

WideString TrimSpaces(const WideString& S) {
  size_t B = 0, E = S.size();
  while (B < E && S[B] <= 32) ++B;
  while (E > B && S[E - 1] <= 32) --E;
  return S.substr(B, E - B);
}

std::vector<std::shared_ptr<THtmlElement>> Descendants(const THtmlNode& Start) {
  std::vector<std::shared_ptr<THtmlElement>> Result;
  ForEachDescendant(Start, [&](THtmlElement& E) { Result.push_back(E.SharedElement()); });
  return Result;
}

// ---- Serialising for innerHTML.

void EscapeInto(std::u16string& Out, const WideString& Text, bool InAttribute) {
  for (WideChar C : Text) {
    switch (C) {
      case u'&': Out += u"&amp;"; break;
      case u'<': Out += InAttribute ? u"<" : u"&lt;"; break;
      case u'>': Out += InAttribute ? u">" : u"&gt;"; break;
      case u'"': Out += InAttribute ? u"&quot;" : u"\""; break;
      case 0xA0: Out += u"&nbsp;"; break;
      default: Out += C;
    }
  }
}

std::shared_ptr<THtmlElement> MakeElement(const TTagInfo& Tag, TNodeArena* Arena) {
  using C = TTagInfo::TClass;
  switch (Tag.Class) {
    case C::Form: return MakeNode<THtmlForm>(Arena, Tag);
    case C::Input: return MakeNode<THtmlInput>(Arena, Tag);
    case C::Select: return MakeNode<THtmlSelect>(Arena, Tag);
    case C::Option: return MakeNode<THtmlOption>(Arena, Tag);
    case C::TextArea: return MakeNode<THtmlTextArea>(Arena, Tag);
    case C::Button: return MakeNode<THtmlButton>(Arena, Tag);
    case C::Anchor: return MakeNode<THtmlAnchor>(Arena, Tag);
    case C::Area: return MakeNode<THtmlArea>(Arena, Tag);
    case C::Meta: return MakeNode<THtmlMeta>(Arena, Tag);
    case C::Body: return MakeNode<THtmlBody>(Arena, Tag);
    case C::Plain: break;
  }
  return MakeNode<THtmlElement>(Arena, Tag);
}

bool IsVoid(const WideString& Tag) {
  static const WideString Void[] = {u"area", u"base", u"br",    u"col",    u"embed", u"hr",  u"img",  u"input",
                                    u"link", u"meta", u"param", u"source", u"track", u"wbr", u"frame"};
  return std::find(std::begin(Void), std::end(Void), Tag) != std::end(Void);
}

// ---- Nodes

THtmlNode::~THtmlNode() {
  // Deep pages must not unwind through one destructor call per level: children are taken over
  // here and released one by one; a child that someone else still holds keeps its own subtree.
  std::vector<std::shared_ptr<THtmlNode>> Stack(std::make_move_iterator(FChildren.begin()),
                                                std::make_move_iterator(FChildren.end()));
  FChildren.clear();
  while (!Stack.empty()) {
    std::shared_ptr<THtmlNode> N = std::move(Stack.back());
    Stack.pop_back();
    N->FParent = nullptr;
    if (N.use_count() == 1) {
      for (auto& C : N->FChildren) Stack.push_back(std::move(C));
      N->FChildren.clear();
    }
  }
}

void THtmlNode::AppendChild(std::shared_ptr<THtmlNode> Child) {
  if (!Child) return;
  if (Child->FParent) Child->FParent->RemoveChild(*Child);
  if (FKind != TKind::Element) throw Exception("Only elements have children");
  Child->FParent = static_cast<THtmlElement*>(this);
  // A control a script moves belongs to its new ancestor form, whatever the parser decided.
  std::vector<THtmlNode*> Stack{Child.get()};
  while (!Stack.empty()) {
    THtmlNode* N = Stack.back();
    Stack.pop_back();
    N->FDocument = FDocument;
    if (N->FKind == TKind::Element) static_cast<THtmlElement*>(N)->ResetParserForm();
    for (auto& C : N->FChildren) Stack.push_back(C.get());
  }
  FChildren.push_back(std::move(Child));
  if (auto Doc = FDocument.lock()) Doc->Changed();
}

void THtmlNode::RemoveChild(THtmlNode& Child) {
  auto It = std::find_if(FChildren.begin(), FChildren.end(), [&](const auto& C) { return C.get() == &Child; });
  if (It == FChildren.end()) throw Exception("Not a child of this element");
  Child.FParent = nullptr;
  std::vector<THtmlNode*> Stack{&Child};
  while (!Stack.empty()) {
    THtmlNode* N = Stack.back();
    Stack.pop_back();
    if (N->FKind == TKind::Element) static_cast<THtmlElement*>(N)->ResetParserForm();
    for (auto& C : N->FChildren) Stack.push_back(C.get());
  }
  FChildren.erase(It);
  if (auto Doc = FDocument.lock()) Doc->Changed();
}

// ---- Elements

std::shared_ptr<THtmlElement> THtmlElement::SharedElement() {
  return std::static_pointer_cast<THtmlElement>(shared_from_this());
}

bool EqualsIgnoringAsciiCase(std::u16string_view A, std::u16string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I) {
    WideChar X = A[I], Y = B[I];
    if (X >= u'A' && X <= u'Z') X = static_cast<WideChar>(X - u'A' + u'a');
    if (Y >= u'A' && Y <= u'Z') Y = static_cast<WideChar>(Y - u'A' + u'a');
    if (X != Y) return false;
  }
  return true;
}

namespace {
auto FindAttribute(TAttributeList& Attributes, std::u16string_view Name, int32_t Flags) {
  if (Flags & AttributeMatchCase)
    return std::find_if(Attributes.begin(), Attributes.end(), [&](const auto& A) { return A.first == Name; });
  return std::find_if(Attributes.begin(), Attributes.end(),
                      [&](const auto& A) { return EqualsIgnoringAsciiCase(A.first, Name); });
}
}  // namespace

WideString THtmlElement::AttributeText(std::u16string_view Name) const {
  auto& Attributes = const_cast<THtmlElement*>(this)->FAttributes;
  auto It = FindAttribute(Attributes, Name, AttributeIgnoreCase);
  return It == Attributes.end() ? WideString() : It->second.AsWideString();
}

bool THtmlElement::HasAttribute(std::u16string_view Name) const {
  auto& Attributes = const_cast<THtmlElement*>(this)->FAttributes;
  return FindAttribute(Attributes, Name, AttributeIgnoreCase) != Attributes.end();
}

WideString THtmlElement::TagName() { return FTag->UpperName; }

TElementRef THtmlElement::ParentElement() { return FParent ? FParent->SharedElement() : nullptr; }

TElementsRef THtmlElement::Children() {
  // Collections are snapshots that nobody can change, so one per version of the tree serves every
  // caller. An element outside any document has no version to key it by and is not cached.
  auto Doc = OwnerDocument();
  if (Doc && FExtras && FExtras->ChildElements && FExtras->ChildVersion == Doc->Version())
    return FExtras->ChildElements;
  std::vector<std::shared_ptr<THtmlElement>> Result;
  for (const auto& C : FChildren)
    if (C->Kind() == TKind::Element) Result.push_back(std::static_pointer_cast<THtmlElement>(C));
  auto Snapshot = std::make_shared<TElementCollection>(std::move(Result));
  if (Doc) {
    Extras().ChildElements = Snapshot;
    Extras().ChildVersion = Doc->Version();
  }
  return Snapshot;
}

TElementsRef THtmlElement::All() { return std::make_shared<TElementCollection>(Descendants(*this)); }

int32_t THtmlElement::SourceIndex() {
  auto Doc = OwnerDocument();
  return Doc ? Doc->SourceIndexOf(*this) : -1;
}

std::shared_ptr<IHTMLDocument2> THtmlElement::Document() { return OwnerDocument(); }

WideString THtmlElement::InnerText() {
  // A line break separates the text around it but holds none itself: a caption search that
  // stopped at it would never reach the label before it.
  if (Is(TagLineBreak)) return {};
  if (Is(TTagInfo::TClass::TextArea)) return static_cast<THtmlTextArea&>(*this).Value();
  // A caption search asks the same few ancestors of every control for their text.
  if (auto Doc = OwnerDocument()) return Doc->InnerTextOf(*this);
  TRenderedText R;
  TRenderer(R, false).Render(*this);
  return R.Text;
}

WideString THtmlElement::InnerHTML() {
  WideString Out;
  struct TFrame {
    const THtmlNode* Node;
    bool Leaving;
  };
  std::vector<TFrame> Stack;
  for (auto It = FChildren.rbegin(); It != FChildren.rend(); ++It) Stack.push_back({It->get(), false});
  while (!Stack.empty()) {
    const TFrame F = Stack.back();
    Stack.pop_back();
    if (F.Node->Kind() == TKind::Text) {
      const auto* Parent = F.Node->Parent();
      const bool Raw =
          Parent && (Parent->Tag() == u"script" || Parent->Tag() == u"style" || Parent->Tag() == u"noscript");
      if (Raw)
        Out += static_cast<const THtmlText&>(*F.Node).Text;
      else
        EscapeInto(Out, static_cast<const THtmlText&>(*F.Node).Text, false);
      continue;
    }
    const auto& E = static_cast<const THtmlElement&>(*F.Node);
    if (F.Leaving) {
      Out += u"</" + E.Tag() + u">";
      continue;
    }
    Out += u"<" + E.Tag();
    for (const auto& [Name, Value] : E.FAttributes) {
      Out += u" " + Name + u"=\"";
      EscapeInto(Out, Value.AsWideString(), true);
      Out += u"\"";
    }
    Out += u">";
    if (IsVoid(E.Tag())) continue;
    Stack.push_back({&E, true});
    for (auto It = E.FChildren.rbegin(); It != E.FChildren.rend(); ++It) Stack.push_back({It->get(), false});
  }
  return Out;
}

void THtmlElement::SetTitle(const WideString& Value) {
  SetAttribute(u"title", Value, AttributeIgnoreCase);
  PropertyChanged();
}

void THtmlElement::SetStyleBackgroundColor(const WideString& Value) {
  Extras().BackgroundColor = Value;
  PropertyChanged();
}

void THtmlElement::PropertyChanged() {
  if (Is(TTagInfo::TClass::Input))
    Events().Fire(DIID_HTMLInputTextElementEvents, DispIdOnPropertyChange);
  else if (Is(TTagInfo::TClass::TextArea))
    Events().Fire(DIID_HTMLTextContainerEvents, DispIdOnPropertyChange);
}

TVariant THtmlElement::GetAttribute(const WideString& Name, int32_t Flags) {
  auto It = FindAttribute(FAttributes, Name, Flags);
  return It == FAttributes.end() ? TVariant::Null() : It->second;
}

void THtmlElement::SetAttribute(const WideString& Name, const TVariant& Value, int32_t Flags) {
  auto It = FindAttribute(FAttributes, Name, Flags);
  if (It == FAttributes.end())
    FAttributes.emplace_back(Name, Value);
  else
    It->second = Value;
  AttributeChanged(Name);
}

bool THtmlElement::RemoveAttribute(const WideString& Name, int32_t Flags) {
  auto It = FindAttribute(FAttributes, Name, Flags);
  if (It == FAttributes.end()) return false;
  FAttributes.erase(It);
  AttributeChanged(Name);
  return true;
}

void THtmlElement::AttributeChanged(const WideString& Name) {
  // The document keeps radio groups by name and type; marks and other attributes the add-on
  // writes change nothing it keeps.
  const WideString Lower = AsciiLower(Name);
  if (Lower == u"style") SetStyleHiding(InlineStyleHiding(AttributeText(u"style")));
  if (Lower == u"name" || Lower == u"type" || Lower == u"style")
    if (auto Doc = OwnerDocument()) Doc->Changed();
}

TVariant THtmlElement::GetEventHandler(const WideString& Event) {
  if (!FExtras) return TVariant::Null();
  auto It = FExtras->Handlers.find(AsciiLower(Event));
  return It == FExtras->Handlers.end() ? TVariant::Null() : It->second;
}

void THtmlElement::SetEventHandler(const WideString& Event, const TVariant& Handler) {
  if (Handler.IsEmptyOrNull()) {
    if (FExtras) FExtras->Handlers.erase(AsciiLower(Event));
  } else {
    Extras().Handlers[AsciiLower(Event)] = Handler;
  }
}

void THtmlElement::RunHandler(const WideString& Event) {
  const TVariant Handler = GetEventHandler(Event);
  if (Handler.VarType() != TVarType::Object) return;
  if (auto Script = Supports<THeadlessScript>(Handler.AsObject())) Script->Run(*this);
}

void THtmlElement::Click() {
  auto Self = SharedElement();  // a script may remove the element while it is being clicked
  auto Doc = OwnerDocument();
  std::shared_ptr<THtmlWindow> Window = Doc ? Doc->Window() : nullptr;
  std::shared_ptr<IHTMLEventObj> Previous = Window ? Window->Event() : nullptr;
  if (Window) Window->SetEvent(std::make_shared<THtmlEventObj>(Self, u"click"));
  PreClickAction();
  // The click bubbles: the element's own script first, then its ancestors'.
  for (THtmlElement* E = this; E; E = E->Parent()) E->RunHandler(u"onclick");
  if (Doc) Doc->Events().Fire(DIID_HTMLDocumentEvents, DispIdOnClick);
  if (Window) Window->SetEvent(Previous);
  DefaultClickAction();
}

std::shared_ptr<IConnectionPoint> THtmlElement::FindConnectionPoint(const TGUID& EventIID) {
  return Events().FindConnectionPoint(EventIID);
}

TEventSource& THtmlElement::Events() {
  auto& Events = Extras().Events;
  if (!Events) {
    Events = std::make_unique<TEventSource>();
    for (const TGUID& IID : ElementEventInterfaces(Tag())) Events->AddConnectionPoint(IID);
  }
  return *Events;
}

THtmlElement* THtmlElement::OwnerForm() const {
  if (THtmlElement* Form = ParserForm()) return Form;
  if (auto Doc = OwnerDocument()) return Doc->EnclosingForm(*this);
  for (THtmlElement* E = FParent; E; E = E->Parent())
    if (E->Is(TTagInfo::TClass::Form)) return E;
  return nullptr;
}

THtmlElement* THtmlElement::ParserForm() const {
  if (!FExtras) return nullptr;
  // The form's page may be gone while a script still holds this control.
  auto Form = FExtras->ParserForm.lock();
  return Form.get();
}

}  // namespace pel::headless
