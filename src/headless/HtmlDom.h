#pragma once
// The live HTML document of the headless platform: built from HTML by a real HTML5 parser,
// mutable, with the control state, collections, attributes and rendered text the add-on reads and
// writes through the DOM port.

#include <functional>
#include <map>
#include <memory>
#include <new>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Browser.h"
#include "platform/ConnectionPoints.h"
#include "platform/Dom.h"
#include "platform/EventSource.h"

namespace pel::headless {

class THtmlDocument;
class THtmlElement;

// A page script: a handler that a fixture or test attaches to an element, run synchronously where
// the page's own script would run. It may change the page or start a navigation.
class THeadlessScript : public virtual IInterface {
public:
  explicit THeadlessScript(std::function<void(THtmlElement& Target)> Body) : FBody(std::move(Body)) {}
  void Run(THtmlElement& Target) const {
    if (FBody) FBody(Target);
  }

private:
  std::function<void(THtmlElement& Target)> FBody;
};

// What a document needs from the browser that shows it: navigations and form submissions.
class IDocumentHost {
public:
  virtual ~IDocumentHost() = default;
  virtual void NavigateFromDocument(THtmlDocument& Document, const WideString& URL, const WideString& Target) = 0;
  virtual void SubmitForm(THtmlDocument& Document, THtmlElement& Form, THtmlElement* Submitter) = 0;
};

// Where the parser puts a document's nodes and their child and attribute lists (defined with the
// parser). What an allocator of it hands out holds the arena: it lives as long as anything made
// from it, so a node may outlive its page.
class TNodeArena;
void* NodeArenaAllocate(TNodeArena& Arena, size_t Size, size_t Align);
void NodeArenaRelease(TNodeArena& Arena);

// Without an arena (nodes a script makes) the ordinary heap. The arena travels with the storage it
// handed out when a list is moved; a copy goes to the heap.
template <class T>
struct TNodeAllocator {
  using value_type = T;
  using propagate_on_container_move_assignment = std::true_type;
  using propagate_on_container_swap = std::true_type;
  TNodeArena* Arena = nullptr;
  TNodeAllocator() = default;
  explicit TNodeAllocator(TNodeArena* Arena) : Arena(Arena) {}
  template <class U>
  TNodeAllocator(const TNodeAllocator<U>& Other) : Arena(Other.Arena) {}
  TNodeAllocator select_on_container_copy_construction() const { return {}; }
  T* allocate(size_t N) {
    return static_cast<T*>(Arena ? NodeArenaAllocate(*Arena, N * sizeof(T), alignof(T)) : ::operator new(N * sizeof(T)));
  }
  void deallocate(T* P, size_t) {
    if (Arena)
      NodeArenaRelease(*Arena);
    else
      ::operator delete(P);
  }
  template <class U>
  bool operator==(const TNodeAllocator<U>& Other) const {
    return Arena == Other.Arena;
  }
};

class THtmlNode;
using TNodeList = std::vector<std::shared_ptr<THtmlNode>, TNodeAllocator<std::shared_ptr<THtmlNode>>>;
using TAttributeList = std::vector<std::pair<WideString, TVariant>, TNodeAllocator<std::pair<WideString, TVariant>>>;

class THtmlNode : public std::enable_shared_from_this<THtmlNode> {
public:
  enum class TKind { Element, Text };
  explicit THtmlNode(TKind Kind) : FKind(Kind) {}
  virtual ~THtmlNode();
  THtmlNode(const THtmlNode&) = delete;
  THtmlNode& operator=(const THtmlNode&) = delete;

  TKind Kind() const { return FKind; }
  THtmlElement* Parent() const { return FParent; }
  const TNodeList& ChildNodes() const { return FChildren; }
  // Null once the document is gone (a page script or the add-on may hold elements of old pages).
  std::shared_ptr<THtmlDocument> OwnerDocument() const { return FDocument.lock(); }

  void AppendChild(std::shared_ptr<THtmlNode> Child);
  void RemoveChild(THtmlNode& Child);

protected:
  friend class THtmlDocument;
  TKind FKind;
  THtmlElement* FParent = nullptr;
  std::weak_ptr<THtmlDocument> FDocument;
  TNodeList FChildren;
};

class THtmlText : public THtmlNode {
public:
  explicit THtmlText(WideString Text) : THtmlNode(TKind::Text), Text(std::move(Text)) {}
  WideString Text;
};

// What a tag means to the renderer and the collections, looked up once when the element is made.
enum TTagFlag : uint8_t {
  TagBlock = 1,       // breaks the line before and after
  TagTextHidden = 2,  // its content is not rendered text
  TagLineBreak = 4,   // br
  TagCell = 8,        // td, th
  TagSelect = 16,     // renders its option texts
  TagPre = 32,        // keeps its blanks and line breaks
  TagControl = 64,    // listed in form.elements
};
uint8_t TagFlags(const WideString& LowerTag);

// A tag name with what it means, one per distinct name for the whole process: a page of fifty
// thousand elements holds a handful of tags.
struct TTagInfo {
  enum class TClass : uint8_t { Plain, Form, Input, Select, Option, TextArea, Button, Anchor, Area, Meta, Body };
  WideString Name;
  uint8_t Flags = 0;
  // The element object a tag makes.
  TClass Class = TClass::Plain;
  // The name as tagName answers it (upper case): the core asks it of every element it looks at.
  WideString UpperName;
};
const TTagInfo& InternTag(const WideString& LowerTag);

// How an element's own inline style hides its content: not at all, by "display: none" (no boxes
// at all), or by "visibility: hidden" (boxes that show nothing, inherited by what is inside).
enum class TStyleHiding { None, Display, Visibility };

class THtmlElement : public THtmlNode, public IHTMLElement, public IConnectionPointContainer {
public:
  explicit THtmlElement(const TTagInfo& Tag) : THtmlNode(TKind::Element), FTag(&Tag) {}

  // Lower-case tag, as parsed.
  const WideString& Tag() const { return FTag->Name; }
  const TTagInfo& TagInfo() const { return *FTag; }
  bool Is(TTagFlag Flag) const { return (FTag->Flags & Flag) != 0; }
  // The kind of element object the tag makes: a test without comparing names.
  bool Is(TTagInfo::TClass Class) const { return FTag->Class == Class; }
  // The element's own style attribute hides its content (display none, visibility hidden).
  bool StyleHidden() const { return FStyleHidden; }
  // Hidden by visibility in particular: its boxes stand but show nothing.
  bool VisibilityHidden() const { return FVisibilityHidden; }
  // Attribute text, or empty when absent.
  WideString AttributeText(std::u16string_view Name) const;
  bool HasAttribute(std::u16string_view Name) const;
  std::shared_ptr<THtmlElement> SharedElement();

  // IHTMLElement
  WideString TagName() override;
  TElementRef ParentElement() override;
  TElementsRef Children() override;
  TElementsRef All() override;
  int32_t SourceIndex() override;
  std::shared_ptr<IHTMLDocument2> Document() override;
  WideString InnerText() override;
  WideString InnerHTML() override;
  WideString Title() override { return AttributeText(u"title"); }
  void SetTitle(const WideString& Value) override;
  WideString StyleBackgroundColor() override { return FExtras ? FExtras->BackgroundColor : WideString(); }
  void SetStyleBackgroundColor(const WideString& Value) override;
  // A control tells its watchers of every change of one of its properties.
  void PropertyChanged();
  TVariant GetAttribute(const WideString& Name, int32_t Flags) override;
  void SetAttribute(const WideString& Name, const TVariant& Value, int32_t Flags) override;
  bool RemoveAttribute(const WideString& Name, int32_t Flags) override;
  TVariant GetEventHandler(const WideString& Event) override;
  void SetEventHandler(const WideString& Event, const TVariant& Handler) override;
  void Click() override;

  // IConnectionPointContainer: the element's events, created on first use.
  std::shared_ptr<IConnectionPoint> FindConnectionPoint(const TGUID& EventIID) override;
  TEventSource& Events();

  // Runs the page's handler of an event on this element, if any.
  void RunHandler(const WideString& Event);
  // What a click changes before the page's scripts see it (a check box's state), and the default
  // action after them (a submission, a navigation).
  virtual void PreClickAction() {}
  virtual void DefaultClickAction() {}
  // The form this control belongs to, or null: the form the parser had open when it read the
  // control (which may have been closed already, as in a form opened inside a table), else the
  // nearest ancestor form.
  THtmlElement* OwnerForm() const;
  // Links and image-map areas: the resolved address of "href" (empty without one), and following it.
  WideString LinkHref();
  void FollowLink();

protected:
  friend class THtmlDocument;
  friend class THtmlNode;
  friend class TRenderer;
  const TTagInfo* FTag;
  // The element's position in the document's element list, valid while FIndexStamp is the
  // document's current numbering.
  uint64_t FIndexStamp = 0;
  int32_t FIndex = -1;
  bool FStyleHidden = false;
  // Hidden by "visibility: hidden" in particular: what is inside is hidden too.
  bool FVisibilityHidden = false;
  void SetStyleHiding(TStyleHiding Hiding) {
    FStyleHidden = Hiding != TStyleHiding::None;
    FVisibilityHidden = Hiding == TStyleHiding::Visibility;
  }
  TAttributeList FAttributes;
  // What few elements of a page ever have: handlers, an inline background colour, event sinks, a
  // form the parser chose, a children snapshot. Kept apart, made on first use, so that the many
  // cells, rows and options of a page each carry one pointer for all of it.
  struct TExtras {
    std::map<WideString, TVariant> Handlers;
    WideString BackgroundColor;
    std::unique_ptr<TEventSource> Events;
    // The form the parser associated with this control; reset when a script moves it.
    std::weak_ptr<THtmlElement> ParserForm;
    // The children snapshot of the document's current version: a caption search asks a form or
    // body with thousands of children for them once per control.
    TElementsRef ChildElements;
    uint64_t ChildVersion = 0;
  };
  std::unique_ptr<TExtras> FExtras;
  TExtras& Extras() {
    if (!FExtras) FExtras = std::make_unique<TExtras>();
    return *FExtras;
  }
  THtmlElement* ParserForm() const;
  void ResetParserForm() {
    if (FExtras) FExtras->ParserForm.reset();
  }
  // An attribute the document's snapshots depend on changed.
  void AttributeChanged(const WideString& Name);
};

class THtmlForm : public THtmlElement, public IHTMLFormElement {
public:
  using THtmlElement::THtmlElement;
  WideString Action() override { return AttributeText(u"action"); }
  WideString Method() override { return AttributeText(u"method"); }
  WideString Name() override { return AttributeText(u"name"); }
  TElementsRef Elements() override;
  TElementsRef Tags(const WideString& TagName) override;
  void Submit() override;
};

class THtmlInput : public THtmlElement, public IHTMLInputElement {
public:
  using THtmlElement::THtmlElement;
  void InitState();
  WideString Type() override;
  WideString Name() override { return AttributeText(u"name"); }
  WideString Value() override { return FValue; }
  void SetValue(const WideString& Value) override;
  bool Checked() override { return FChecked; }
  void SetChecked(bool Value) override;
  int32_t MaxLength() override;
  TElementRef Form() override;
  void PreClickAction() override;
  void DefaultClickAction() override;

private:
  WideString FValue;
  bool FChecked = false;
};

class THtmlOption : public THtmlElement, public IHTMLOptionElement {
public:
  using THtmlElement::THtmlElement;
  bool Selected() override { return FSelected; }
  void SetSelected(bool Value) override;
  bool DefaultSelected() override { return HasAttribute(u"selected"); }
  WideString Text() override;
  WideString Value() override;
  int32_t Index() override;
  class THtmlSelect* OwnerSelect() const;

private:
  friend class THtmlSelect;
  bool FSelected = false;
};

class THtmlSelect : public THtmlElement, public IHTMLSelectElement {
public:
  using THtmlElement::THtmlElement;
  void InitState();
  // The options in document order; the list is kept per version of the tree, so reading a select
  // option by option walks its subtree once.
  const std::vector<THtmlOption*>& Options() const;
  WideString Name() override { return AttributeText(u"name"); }
  WideString Type() override { return Multiple() ? u"select-multiple" : u"select-one"; }
  // The browser answers a select's "type" attribute with its kind, as the property, whatever the
  // markup says.
  TVariant GetAttribute(const WideString& Name, int32_t Flags) override;
  bool Multiple() override { return HasAttribute(u"multiple"); }
  int32_t SelectedIndex() override;
  void SetSelectedIndex(int32_t Index) override;
  WideString Value() override;
  void SetValue(const WideString& Value) override;
  int32_t Length() override { return static_cast<int32_t>(Options().size()); }
  TElementRef Item(int32_t Index) override;
  TElementRef Form() override;
  // A single select keeps exactly one selection when an option is selected.
  void OptionSelected(THtmlOption& Option);

private:
  mutable std::vector<THtmlOption*> FOptions;
  mutable uint64_t FOptionsVersion = ~uint64_t{0};
};

class THtmlTextArea : public THtmlElement, public IHTMLTextAreaElement {
public:
  using THtmlElement::THtmlElement;
  void InitState();
  WideString Name() override { return AttributeText(u"name"); }
  WideString Value() override { return FValue; }
  void SetValue(const WideString& Value) override;
  TElementRef Form() override;

private:
  WideString FValue;
};

class THtmlButton : public THtmlElement, public IHTMLButtonElement {
public:
  using THtmlElement::THtmlElement;
  WideString Type() override;
  WideString Name() override { return AttributeText(u"name"); }
  WideString Value() override { return AttributeText(u"value"); }
  void DefaultClickAction() override;
};

class THtmlAnchor : public THtmlElement, public IHTMLAnchorElement {
public:
  using THtmlElement::THtmlElement;
  WideString Href() override { return LinkHref(); }
  void DefaultClickAction() override { FollowLink(); }
};

class THtmlArea : public THtmlElement, public IHTMLAreaElement {
public:
  using THtmlElement::THtmlElement;
  WideString Href() override { return LinkHref(); }
  WideString Alt() override { return AttributeText(u"alt"); }
  void DefaultClickAction() override { FollowLink(); }
};

class THtmlMeta : public THtmlElement, public IHTMLMetaElement {
public:
  using THtmlElement::THtmlElement;
  WideString HttpEquiv() override { return AttributeText(u"http-equiv"); }
  WideString Content() override { return AttributeText(u"content"); }
};

class THtmlBody : public THtmlElement, public IHTMLBodyElement {
public:
  using THtmlElement::THtmlElement;
  std::shared_ptr<IHTMLTxtRange> CreateTextRange() override;
};

// Where each element's text lies in a rendered text.
struct TRenderedText {
  WideString Text;
  // By the element's position in its document (sourceIndex): (-1, -1) for an element the text
  // does not show. A table of positions costs a deep page's elements a fifth of what a map from
  // element to span did, and the page model's memory is that of its elements.
  std::vector<std::pair<int32_t, int32_t>> Spans;
  // The elements inside preformatted text, by position: their own rendering would collapse what
  // the body's keeps, so their spans do not stand for their innerText.
  std::vector<bool> InsidePre;
  // The span of an element by its position, null when the text does not show it.
  const std::pair<int32_t, int32_t>* SpanAt(int32_t Position) const {
    if (Position < 0 || static_cast<size_t>(Position) >= Spans.size()) return nullptr;
    const auto& Span = Spans[static_cast<size_t>(Position)];
    return Span.first < 0 ? nullptr : &Span;
  }
};

class THtmlWindow;

class THtmlDocument : public IHTMLDocument2,
                      public IOleContainer,
                      public IConnectionPointContainer,
                      public std::enable_shared_from_this<THtmlDocument> {
public:
  // Parses UTF-8 HTML. URL is the document's address (absolute).
  static std::shared_ptr<THtmlDocument> Parse(const std::string& Utf8Html, const WideString& URL);
  ~THtmlDocument() override;

  THtmlElement* Root() const { return FRoot.get(); }
  std::shared_ptr<THtmlElement> FindById(const WideString& Id);
  // Elements in document order; the index is the sourceIndex.
  const std::vector<std::shared_ptr<THtmlElement>>& AllElements();
  // The element's position in AllElements, -1 when it is not in this document.
  int32_t SourceIndexOf(const THtmlElement& Element);
  // The controls (input, select, textarea, button) a form owns in document order, or those of no
  // form for null; one snapshot per version of the tree.
  TElementsRef FormControls(const THtmlElement* Form);
  // The radio buttons of a group: same name, same form owner.
  std::vector<std::shared_ptr<THtmlElement>> RadioGroup(const THtmlElement* Form, const WideString& Name);
  // An element's innerText, rendered once per version of the tree while the texts kept stay
  // within a budget of the page's own text.
  WideString InnerTextOf(const THtmlElement& Element);
  // Whether an ancestor of Element hides it by visibility (worked out once per version).
  bool InsideHiddenVisibility(const THtmlElement& Element);
  // The nearest form among Element's ancestors, or null (worked out once per version).
  THtmlElement* EnclosingForm(const THtmlElement& Element);
  // The body's rendered text with every element's span, kept until the page changes.
  const TRenderedText& BodyText();
  // Structure changed: collections and rendered text are recomputed on next use.
  void Changed() { ++FVersion; }
  uint64_t Version() const { return FVersion; }

  void SetHost(IDocumentHost* Host) { FHost = Host; }
  IDocumentHost* Host() const { return FHost; }
  // The top-level browser of the window the document is shown in (for a frame's document, that
  // of the page around it), set by the browser that loads it. Held weakly: the browser owns the
  // document, and the document's window may be kept by an outside object after both went.
  void SetTopBrowser(std::weak_ptr<IWebBrowser2> Browser) { FTopBrowser = std::move(Browser); }
  std::shared_ptr<IWebBrowser2> TopBrowser() const { return FTopBrowser.lock(); }
  void SetCharset(const WideString& Charset) { FCharset = Charset; }
  void SetURL(const WideString& URL) { FURL = URL; }
  void SetActiveElement(const std::shared_ptr<THtmlElement>& Element) { FActive = Element; }
  // Frames' browsers, in document order (set by the browser that loads the frames).
  std::vector<std::shared_ptr<IInterface>> FrameObjects;
  // Resolves an address written in the page against the document's address.
  WideString ResolveURL(const WideString& Relative) const;

  std::shared_ptr<THtmlWindow> Window();
  TEventSource& Events() { return FEvents; }

  // IHTMLDocument2
  WideString URL() override { return FURL; }
  WideString Title() override;
  WideString Charset() override { return FCharset; }
  TElementsRef All() override;
  TElementsRef Forms() override;
  TElementRef Body() override;
  TElementRef ActiveElement() override;
  std::shared_ptr<IHTMLWindow2> ParentWindow() override;
  // IOleContainer
  std::vector<std::shared_ptr<IInterface>> EnumObjects(uint32_t Flags) override;
  // IConnectionPointContainer
  std::shared_ptr<IConnectionPoint> FindConnectionPoint(const TGUID& EventIID) override;

private:
  THtmlDocument() = default;
  std::shared_ptr<THtmlElement> FRoot;
  WideString FURL;
  WideString FCharset = u"utf-8";
  IDocumentHost* FHost = nullptr;
  std::weak_ptr<IWebBrowser2> FTopBrowser;
  std::weak_ptr<THtmlElement> FActive;
  uint64_t FVersion = 0;
  uint64_t FAllVersion = ~uint64_t{0};
  std::vector<std::shared_ptr<THtmlElement>> FAll;
  uint64_t FIndexVersion = ~uint64_t{0};
  uint64_t FIndexStamp = 0;
  uint64_t FControlsVersion = ~uint64_t{0};
  std::unordered_map<const THtmlElement*, TElementsRef> FControls;
  uint64_t FRadioVersion = ~uint64_t{0};
  std::map<std::pair<const THtmlElement*, WideString>, std::vector<std::shared_ptr<THtmlElement>>> FRadioGroups;
  uint64_t FAllCollectionVersion = ~uint64_t{0};
  uint64_t FFormsVersion = ~uint64_t{0};
  TElementsRef FAllCollection, FFormsCollection;
  uint64_t FInnerTextsVersion = ~uint64_t{0};
  std::unordered_map<const THtmlElement*, WideString> FInnerTexts;
  // By position: it or an ancestor is hidden by visibility (so everything inside it is); -1 while
  // not yet known.
  uint64_t FInvisibleVersion = ~uint64_t{0};
  std::vector<int8_t> FInvisibleInside;
  // The characters the cached inner texts hold, and how many they may: nested elements each
  // hold the text of everything inside them, so a deep page's texts add up to the square of
  // its size; past the budget a text is rendered for each asking instead.
  size_t FSourceSize = 0;
  size_t FInnerTextsHeld = 0;
  size_t FInnerTextsBudget = 0;
  uint64_t FFormsAboveVersion = ~uint64_t{0};
  // By position: the nearest form at or above it, once known.
  std::vector<THtmlElement*> FFormAtOrAbove;
  std::vector<bool> FFormKnown;
  uint64_t FTextVersion = ~uint64_t{0};
  TRenderedText FBodyText;
  std::shared_ptr<THtmlWindow> FWindow;
  TEventSource FEvents;
};

class THtmlEventObj : public IHTMLEventObj {
public:
  THtmlEventObj(TElementRef Source, WideString Type) : FSource(std::move(Source)), FType(std::move(Type)) {}
  TElementRef SrcElement() override { return FSource; }
  WideString Type() override { return FType; }

private:
  TElementRef FSource;
  WideString FType;
};

class THtmlWindow : public IHTMLWindow2, public IConnectionPointContainer, public IServiceProvider {
public:
  explicit THtmlWindow(const std::shared_ptr<THtmlDocument>& Document) : FDocument(Document) {}
  std::shared_ptr<IHTMLEventObj> Event() override { return FEvent; }
  std::shared_ptr<IHTMLDocument2> Document() override;
  std::shared_ptr<IConnectionPoint> FindConnectionPoint(const TGUID& EventIID) override;
  // IServiceProvider: the web browser application service as IWebBrowser2 gives the top-level
  // browser, while its document and that browser are there; anything else raises.
  std::shared_ptr<IInterface> QueryService(const TGUID& Service, const TGUID& IID) override;
  TEventSource& Events() { return FEvents; }
  // The event object while an event is being handled.
  void SetEvent(std::shared_ptr<IHTMLEventObj> Event) { FEvent = std::move(Event); }

private:
  std::weak_ptr<THtmlDocument> FDocument;
  std::shared_ptr<IHTMLEventObj> FEvent;
  TEventSource FEvents;
};

// The event interfaces an element of this tag is a source of.
std::vector<TGUID> ElementEventInterfaces(const WideString& LowerTag);

// Factory of element objects by tag, shared by the parser and scripts that add elements.
std::shared_ptr<THtmlElement> CreateElement(const WideString& LowerTag);
std::shared_ptr<THtmlElement> CreateElement(const TTagInfo& Tag);

}  // namespace pel::headless
