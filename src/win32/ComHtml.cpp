#include "ComHtml.h"

#include <oleidl.h>
#include <servprov.h>

#include "ComObject.h"
#include "ComVariant.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace pel::win32 {

namespace {

// ---------------------------------------------------------------- reading and writing properties

template <class I>
WideString ReadString(I* Object, HRESULT (STDMETHODCALLTYPE I::*Get)(BSTR*)) {
  TOleString Value;
  OleCheck((Object->*Get)(Value.Out()), Object, __uuidof(I));
  return Value.Text();
}

template <class I>
void WriteString(I* Object, HRESULT (STDMETHODCALLTYPE I::*Put)(BSTR), const WideString& Text) {
  TOleString Value(Text);
  OleCheck((Object->*Put)(Value), Object, __uuidof(I));
}

template <class I>
bool ReadBool(I* Object, HRESULT (STDMETHODCALLTYPE I::*Get)(VARIANT_BOOL*)) {
  VARIANT_BOOL Value = VARIANT_FALSE;
  OleCheck((Object->*Get)(&Value), Object, __uuidof(I));
  return Value != VARIANT_FALSE;
}

template <class I>
void WriteBool(I* Object, HRESULT (STDMETHODCALLTYPE I::*Put)(VARIANT_BOOL), bool Value) {
  OleCheck((Object->*Put)(Value ? VARIANT_TRUE : VARIANT_FALSE), Object, __uuidof(I));
}

template <class I>
int32_t ReadLong(I* Object, HRESULT (STDMETHODCALLTYPE I::*Get)(LONG*)) {
  LONG Value = 0;
  OleCheck((Object->*Get)(&Value), Object, __uuidof(I));
  return Value;
}

template <class I>
TVariant ReadVariant(I* Object, HRESULT (STDMETHODCALLTYPE I::*Get)(VARIANT*)) {
  TOleVariant Value;
  OleCheck((Object->*Get)(Value.Out()), Object, __uuidof(I));
  return Value.Portable();
}

template <class I>
void WriteVariant(I* Object, HRESULT (STDMETHODCALLTYPE I::*Put)(VARIANT), const TVariant& Value) {
  TOleVariant Held(Value);
  OleCheck((Object->*Put)(Held.Value()), Object, __uuidof(I));
}

// An interface pointer a property hands out, with the caller's reference taken over.
template <class T>
class TOwned {
public:
  TOwned() = default;
  ~TOwned() {
    if (FPointer) FPointer->Release();
  }
  TOwned(const TOwned&) = delete;
  TOwned& operator=(const TOwned&) = delete;
  T** Out() { return &FPointer; }
  T* operator->() const { return FPointer; }
  T* Get() const { return FPointer; }
  explicit operator bool() const { return FPointer != nullptr; }
  // Gives up the reference to the caller.
  T* Detach() {
    T* Pointer = FPointer;
    FPointer = nullptr;
    return Pointer;
  }

private:
  T* FPointer = nullptr;
};

::IConnectionPointContainer* ContainerOf(IUnknown* Object) { return QueryAs<::IConnectionPointContainer>(Object); }

// The COM element behind a port element (a reference for the caller); raises for an element of
// another platform, which cannot be handed to the browser.
::IHTMLElement* ComElementOf(const TElementRef& Element) {
  if (!Element) return nullptr;
  ::IHTMLElement* Com = QueryAs<::IHTMLElement>(ComObjectOf(Element));
  if (!Com) throw EOleSysError("The element is not one of the browser's", static_cast<int32_t>(E_INVALIDARG));
  return Com;
}

TElementsRef WrapCollection(IDispatch* Object);

TElementRef WrapElementDispatch(IDispatch* Object) {
  TOwned<::IHTMLElement> Element;
  if (!Object || FAILED(Object->QueryInterface(__uuidof(::IHTMLElement), reinterpret_cast<void**>(Element.Out()))))
    return nullptr;
  return WrapHtmlElement(Element.Get());
}

std::shared_ptr<pel::IHTMLDocument2> WrapDocument(::IHTMLDocument2* Document) {
  if (!Document) return nullptr;
  Document->AddRef();
  return std::make_shared<TComHTMLDocument>(ContainerOf(Document), Document);
}

std::shared_ptr<pel::IHTMLDocument2> WrapDocumentDispatch(IDispatch* Object) {
  TOwned<::IHTMLDocument2> Document;
  if (!Object || FAILED(Object->QueryInterface(__uuidof(::IHTMLDocument2), reinterpret_cast<void**>(Document.Out()))))
    return nullptr;
  return WrapDocument(Document.Get());
}

// ---------------------------------------------------------------- collections, ranges, events

class TComHTMLElementCollection final : public TComObject, public pel::IHTMLElementCollection {
public:
  explicit TComHTMLElementCollection(::IHTMLElementCollection* Collection)
      : TComObject(Collection), FCollection(Collection) {}
  ~TComHTMLElementCollection() override { FCollection->Release(); }

  int32_t Length() override { return ReadLong(FCollection, &::IHTMLElementCollection::get_length); }
  TElementRef Item(int32_t Index) override {
    VARIANT Name, Empty;
    VariantInit(&Name);
    VariantInit(&Empty);
    V_VT(&Name) = VT_I4;
    V_I4(&Name) = Index;
    TOwned<IDispatch> Found;
    OleCheck(FCollection->item(Name, Empty, Found.Out()), FCollection, __uuidof(::IHTMLElementCollection));
    return WrapElementDispatch(Found.Get());
  }
  TElementsRef Tags(const WideString& TagName) override {
    TOleVariant Name{TVariant(TagName)};
    TOwned<IDispatch> Found;
    OleCheck(FCollection->tags(Name.Value(), Found.Out()), FCollection, __uuidof(::IHTMLElementCollection));
    return WrapCollection(Found.Get());
  }

private:
  ::IHTMLElementCollection* FCollection;
};

TElementsRef WrapCollection(IDispatch* Object) {
  ::IHTMLElementCollection* Collection = QueryAs<::IHTMLElementCollection>(Object);
  if (!Collection) return nullptr;
  return std::make_shared<TComHTMLElementCollection>(Collection);
}

class TComHTMLTxtRange final : public TComObject, public pel::IHTMLTxtRange {
public:
  explicit TComHTMLTxtRange(::IHTMLTxtRange* Range) : TComObject(Range), FRange(Range) {}
  ~TComHTMLTxtRange() override { FRange->Release(); }

  ::IHTMLTxtRange* Range() const { return FRange; }

  std::shared_ptr<pel::IHTMLTxtRange> Duplicate() override {
    ::IHTMLTxtRange* Copy = nullptr;
    OleCheck(FRange->duplicate(&Copy), FRange, __uuidof(::IHTMLTxtRange));
    return Copy ? std::make_shared<TComHTMLTxtRange>(Copy) : nullptr;
  }
  WideString Text() override { return ReadString(FRange, &::IHTMLTxtRange::get_text); }
  void MoveToElementText(const TElementRef& Element) override {
    TOwned<::IHTMLElement> Com;
    *Com.Out() = ComElementOf(Element);
    OleCheck(FRange->moveToElementText(Com.Get()), FRange, __uuidof(::IHTMLTxtRange));
  }
  void SetEndPoint(const WideString& How, const std::shared_ptr<pel::IHTMLTxtRange>& Source) override {
    auto* From = dynamic_cast<TComHTMLTxtRange*>(Source.get());
    if (!From) throw EOleSysError("The range is not one of the browser's", static_cast<int32_t>(E_INVALIDARG));
    TOleString Text(How);
    OleCheck(FRange->setEndPoint(Text, From->Range()), FRange, __uuidof(::IHTMLTxtRange));
  }
  int32_t MoveStart(const WideString& Unit, int32_t Count) override {
    TOleString Text(Unit);
    LONG Moved = 0;
    OleCheck(FRange->moveStart(Text, Count, &Moved), FRange, __uuidof(::IHTMLTxtRange));
    return Moved;
  }
  int32_t MoveEnd(const WideString& Unit, int32_t Count) override {
    TOleString Text(Unit);
    LONG Moved = 0;
    OleCheck(FRange->moveEnd(Text, Count, &Moved), FRange, __uuidof(::IHTMLTxtRange));
    return Moved;
  }

private:
  ::IHTMLTxtRange* FRange;
};

class TComHTMLEventObj final : public TComObject, public pel::IHTMLEventObj {
public:
  explicit TComHTMLEventObj(::IHTMLEventObj* Event) : TComObject(Event), FEvent(Event) {}
  ~TComHTMLEventObj() override { FEvent->Release(); }

  TElementRef SrcElement() override {
    TOwned<::IHTMLElement> Source;
    OleCheck(FEvent->get_srcElement(Source.Out()), FEvent, __uuidof(::IHTMLEventObj));
    return Source ? WrapHtmlElement(Source.Get()) : nullptr;
  }
  WideString Type() override { return ReadString(FEvent, &::IHTMLEventObj::get_type); }

private:
  ::IHTMLEventObj* FEvent;
};

// ---------------------------------------------------------------- element kinds

// The adapter of an element of one kind: the element's own, holding the kind's interface too
// (one reference, taken over from the caller).
template <class TPort, class TKind>
class TComKindElement : public TComHTMLElement, public TPort {
public:
  TComKindElement(::IConnectionPointContainer* Container, ::IHTMLElement* Element, TKind* Kind)
      : TComHTMLElement(Container, Element), FKind(Kind) {}
  ~TComKindElement() override { FKind->Release(); }

protected:
  TKind* FKind;
};

class TComFormElement final : public TComKindElement<pel::IHTMLFormElement, ::IHTMLFormElement> {
public:
  using TComKindElement::TComKindElement;
  WideString Action() override { return ReadString(FKind, &::IHTMLFormElement::get_action); }
  WideString Method() override { return ReadString(FKind, &::IHTMLFormElement::get_method); }
  WideString Name() override { return ReadString(FKind, &::IHTMLFormElement::get_name); }
  TElementsRef Elements() override {
    TOwned<IDispatch> Elements;
    OleCheck(FKind->get_elements(Elements.Out()), FKind, __uuidof(::IHTMLFormElement));
    return WrapCollection(Elements.Get());
  }
  TElementsRef Tags(const WideString& TagName) override {
    TOleVariant Name{TVariant(TagName)};
    TOwned<IDispatch> Found;
    OleCheck(FKind->tags(Name.Value(), Found.Out()), FKind, __uuidof(::IHTMLFormElement));
    return WrapCollection(Found.Get());
  }
  void Submit() override { OleCheck(FKind->submit(), FKind, __uuidof(::IHTMLFormElement)); }
};

// The form a control belongs to; null for a control outside any form.
template <class TControl>
TElementRef FormOfControl(TControl* Control) {
  TOwned<::IHTMLFormElement> Form;
  OleCheck(Control->get_form(Form.Out()), Control, __uuidof(TControl));
  if (!Form) return nullptr;
  TOwned<::IHTMLElement> Element;
  if (FAILED(Form->QueryInterface(__uuidof(::IHTMLElement), reinterpret_cast<void**>(Element.Out())))) return nullptr;
  return WrapHtmlElement(Element.Get());
}

class TComInputElement final : public TComKindElement<pel::IHTMLInputElement, ::IHTMLInputElement> {
public:
  using TComKindElement::TComKindElement;
  WideString Type() override { return ReadString(FKind, &::IHTMLInputElement::get_type); }
  WideString Name() override { return ReadString(FKind, &::IHTMLInputElement::get_name); }
  WideString Value() override { return ReadString(FKind, &::IHTMLInputElement::get_value); }
  void SetValue(const WideString& Value) override { WriteString(FKind, &::IHTMLInputElement::put_value, Value); }
  bool Checked() override { return ReadBool(FKind, &::IHTMLInputElement::get_checked); }
  void SetChecked(bool Value) override { WriteBool(FKind, &::IHTMLInputElement::put_checked, Value); }
  int32_t MaxLength() override { return ReadLong(FKind, &::IHTMLInputElement::get_maxLength); }
  TElementRef Form() override { return FormOfControl(FKind); }
};

class TComOptionElement final : public TComKindElement<pel::IHTMLOptionElement, ::IHTMLOptionElement> {
public:
  using TComKindElement::TComKindElement;
  bool Selected() override { return ReadBool(FKind, &::IHTMLOptionElement::get_selected); }
  void SetSelected(bool Value) override { WriteBool(FKind, &::IHTMLOptionElement::put_selected, Value); }
  bool DefaultSelected() override { return ReadBool(FKind, &::IHTMLOptionElement::get_defaultSelected); }
  WideString Text() override { return ReadString(FKind, &::IHTMLOptionElement::get_text); }
  WideString Value() override { return ReadString(FKind, &::IHTMLOptionElement::get_value); }
  int32_t Index() override { return ReadLong(FKind, &::IHTMLOptionElement::get_index); }
};

class TComSelectElement final : public TComKindElement<pel::IHTMLSelectElement, ::IHTMLSelectElement> {
public:
  using TComKindElement::TComKindElement;
  WideString Name() override { return ReadString(FKind, &::IHTMLSelectElement::get_name); }
  WideString Type() override { return ReadString(FKind, &::IHTMLSelectElement::get_type); }
  bool Multiple() override { return ReadBool(FKind, &::IHTMLSelectElement::get_multiple); }
  int32_t SelectedIndex() override { return ReadLong(FKind, &::IHTMLSelectElement::get_selectedIndex); }
  void SetSelectedIndex(int32_t Index) override {
    OleCheck(FKind->put_selectedIndex(Index), FKind, __uuidof(::IHTMLSelectElement));
  }
  WideString Value() override { return ReadString(FKind, &::IHTMLSelectElement::get_value); }
  void SetValue(const WideString& Value) override { WriteString(FKind, &::IHTMLSelectElement::put_value, Value); }
  int32_t Length() override { return ReadLong(FKind, &::IHTMLSelectElement::get_length); }
  TElementRef Item(int32_t Index) override {
    VARIANT Name, Empty;
    VariantInit(&Name);
    VariantInit(&Empty);
    V_VT(&Name) = VT_I4;
    V_I4(&Name) = Index;
    TOwned<IDispatch> Found;
    OleCheck(FKind->item(Name, Empty, Found.Out()), FKind, __uuidof(::IHTMLSelectElement));
    return WrapElementDispatch(Found.Get());
  }
  TElementRef Form() override { return FormOfControl(FKind); }
};

class TComTextAreaElement final : public TComKindElement<pel::IHTMLTextAreaElement, ::IHTMLTextAreaElement> {
public:
  using TComKindElement::TComKindElement;
  WideString Name() override { return ReadString(FKind, &::IHTMLTextAreaElement::get_name); }
  WideString Value() override { return ReadString(FKind, &::IHTMLTextAreaElement::get_value); }
  void SetValue(const WideString& Value) override { WriteString(FKind, &::IHTMLTextAreaElement::put_value, Value); }
  TElementRef Form() override { return FormOfControl(FKind); }
};

class TComButtonElement final : public TComKindElement<pel::IHTMLButtonElement, ::IHTMLButtonElement> {
public:
  using TComKindElement::TComKindElement;
  WideString Type() override { return ReadString(FKind, &::IHTMLButtonElement::get_type); }
  WideString Name() override { return ReadString(FKind, &::IHTMLButtonElement::get_name); }
  WideString Value() override { return ReadString(FKind, &::IHTMLButtonElement::get_value); }
};

class TComAnchorElement final : public TComKindElement<pel::IHTMLAnchorElement, ::IHTMLAnchorElement> {
public:
  using TComKindElement::TComKindElement;
  WideString Href() override { return ReadString(FKind, &::IHTMLAnchorElement::get_href); }
};

class TComAreaElement final : public TComKindElement<pel::IHTMLAreaElement, ::IHTMLAreaElement> {
public:
  using TComKindElement::TComKindElement;
  WideString Href() override { return ReadString(FKind, &::IHTMLAreaElement::get_href); }
  WideString Alt() override { return ReadString(FKind, &::IHTMLAreaElement::get_alt); }
};

class TComMetaElement final : public TComKindElement<pel::IHTMLMetaElement, ::IHTMLMetaElement> {
public:
  using TComKindElement::TComKindElement;
  WideString HttpEquiv() override { return ReadString(FKind, &::IHTMLMetaElement::get_httpEquiv); }
  WideString Content() override { return ReadString(FKind, &::IHTMLMetaElement::get_content); }
};

class TComBodyElement final : public TComKindElement<pel::IHTMLBodyElement, ::IHTMLBodyElement> {
public:
  using TComKindElement::TComKindElement;
  std::shared_ptr<pel::IHTMLTxtRange> CreateTextRange() override {
    ::IHTMLTxtRange* Range = nullptr;
    OleCheck(FKind->createTextRange(&Range), FKind, __uuidof(::IHTMLBodyElement));
    return Range ? std::make_shared<TComHTMLTxtRange>(Range) : nullptr;
  }
};

// The adapter of Kind when Element answers its interface; else the plain element (a caller that
// requires the kind then fails as for a failing QueryInterface).
template <class TAdapter, class I>
TElementRef MakeKind(::IConnectionPointContainer* Container, ::IHTMLElement* Element) {
  if (I* Kind = QueryAs<I>(Element)) return std::make_shared<TAdapter>(Container, Element, Kind);
  return std::make_shared<TComHTMLElement>(Container, Element);
}

bool SameText(const WideString& A, const char16_t* B) { return A == B; }

}  // namespace

// ---------------------------------------------------------------- elements

TComHTMLElement::TComHTMLElement(::IConnectionPointContainer* Container, ::IHTMLElement* Element)
    : TComConnectionPointContainer(Element, Container), FElement(Element) {}

TComHTMLElement::~TComHTMLElement() { FElement->Release(); }

template <class TInterface>
TInterface* TComHTMLElement::Kind() const {
  TInterface* Result = QueryAs<TInterface>(FElement);
  if (!Result) throw EOleSysError("Interface not supported", static_cast<int32_t>(E_NOINTERFACE));
  return Result;
}

TElementRef WrapHtmlElement(::IHTMLElement* Element) {
  if (!Element) return nullptr;
  WideString Tag;
  {
    TOleString Name;
    if (SUCCEEDED(Element->get_tagName(Name.Out()))) Tag = Name.Text();
  }
  Element->AddRef();
  ::IConnectionPointContainer* Container = ContainerOf(Element);
  // Tag names come in upper case from the browser; a page's own mixed case is compared the same.
  for (char16_t& C : Tag)
    if (C >= u'a' && C <= u'z') C = static_cast<char16_t>(C - u'a' + u'A');
  if (SameText(Tag, u"INPUT")) return MakeKind<TComInputElement, ::IHTMLInputElement>(Container, Element);
  if (SameText(Tag, u"FORM")) return MakeKind<TComFormElement, ::IHTMLFormElement>(Container, Element);
  if (SameText(Tag, u"SELECT")) return MakeKind<TComSelectElement, ::IHTMLSelectElement>(Container, Element);
  if (SameText(Tag, u"OPTION")) return MakeKind<TComOptionElement, ::IHTMLOptionElement>(Container, Element);
  if (SameText(Tag, u"TEXTAREA")) return MakeKind<TComTextAreaElement, ::IHTMLTextAreaElement>(Container, Element);
  if (SameText(Tag, u"BUTTON")) return MakeKind<TComButtonElement, ::IHTMLButtonElement>(Container, Element);
  if (SameText(Tag, u"A")) return MakeKind<TComAnchorElement, ::IHTMLAnchorElement>(Container, Element);
  if (SameText(Tag, u"AREA")) return MakeKind<TComAreaElement, ::IHTMLAreaElement>(Container, Element);
  if (SameText(Tag, u"META")) return MakeKind<TComMetaElement, ::IHTMLMetaElement>(Container, Element);
  if (SameText(Tag, u"BODY")) return MakeKind<TComBodyElement, ::IHTMLBodyElement>(Container, Element);
  return std::make_shared<TComHTMLElement>(Container, Element);
}

WideString TComHTMLElement::TagName() { return ReadString(FElement, &::IHTMLElement::get_tagName); }

TElementRef TComHTMLElement::ParentElement() {
  TOwned<::IHTMLElement> Parent;
  OleCheck(FElement->get_parentElement(Parent.Out()), FElement, __uuidof(::IHTMLElement));
  return WrapHtmlElement(Parent.Get());
}

TElementsRef TComHTMLElement::Children() {
  TOwned<IDispatch> Children;
  OleCheck(FElement->get_children(Children.Out()), FElement, __uuidof(::IHTMLElement));
  return WrapCollection(Children.Get());
}

TElementsRef TComHTMLElement::All() {
  TOwned<IDispatch> All;
  OleCheck(FElement->get_all(All.Out()), FElement, __uuidof(::IHTMLElement));
  return WrapCollection(All.Get());
}

int32_t TComHTMLElement::SourceIndex() { return ReadLong(FElement, &::IHTMLElement::get_sourceIndex); }

std::shared_ptr<pel::IHTMLDocument2> TComHTMLElement::Document() {
  TOwned<IDispatch> Document;
  OleCheck(FElement->get_document(Document.Out()), FElement, __uuidof(::IHTMLElement));
  return WrapDocumentDispatch(Document.Get());
}

WideString TComHTMLElement::InnerText() { return ReadString(FElement, &::IHTMLElement::get_innerText); }
WideString TComHTMLElement::InnerHTML() { return ReadString(FElement, &::IHTMLElement::get_innerHTML); }
WideString TComHTMLElement::Title() { return ReadString(FElement, &::IHTMLElement::get_title); }
void TComHTMLElement::SetTitle(const WideString& Value) { WriteString(FElement, &::IHTMLElement::put_title, Value); }

WideString TComHTMLElement::StyleBackgroundColor() {
  TOwned<::IHTMLStyle> Style;
  OleCheck(FElement->get_style(Style.Out()), FElement, __uuidof(::IHTMLElement));
  if (!Style) return WideString();
  const TVariant Color = ReadVariant(Style.Get(), &::IHTMLStyle::get_backgroundColor);
  return Color.VarType() == TVarType::String ? Color.AsWideString() : WideString();
}

void TComHTMLElement::SetStyleBackgroundColor(const WideString& Value) {
  TOwned<::IHTMLStyle> Style;
  OleCheck(FElement->get_style(Style.Out()), FElement, __uuidof(::IHTMLElement));
  if (!Style) throw EOleSysError("The element has no style", static_cast<int32_t>(E_NOINTERFACE));
  WriteVariant(Style.Get(), &::IHTMLStyle::put_backgroundColor, TVariant(Value));
}

TVariant TComHTMLElement::GetAttribute(const WideString& Name, int32_t Flags) {
  TOleString Text(Name);
  TOleVariant Value;
  OleCheck(FElement->getAttribute(Text, Flags, Value.Out()), FElement, __uuidof(::IHTMLElement));
  const VARTYPE Type = V_VT(&Value.Value());
  // The browser answers an absent attribute as null (or empty); either is "absent" here.
  if (Type == VT_NULL || Type == VT_EMPTY) return TVariant::Null();
  return Value.Portable();
}

void TComHTMLElement::SetAttribute(const WideString& Name, const TVariant& Value, int32_t Flags) {
  TOleString Text(Name);
  TOleVariant Held(Value);
  OleCheck(FElement->setAttribute(Text, Held.Value(), Flags), FElement, __uuidof(::IHTMLElement));
}

bool TComHTMLElement::RemoveAttribute(const WideString& Name, int32_t Flags) {
  TOleString Text(Name);
  VARIANT_BOOL Removed = VARIANT_FALSE;
  OleCheck(FElement->removeAttribute(Text, Flags, &Removed), FElement, __uuidof(::IHTMLElement));
  return Removed != VARIANT_FALSE;
}

// The handlers the add-on swaps: the element's click and a control's change (on the interface of
// the control's kind, where the browser keeps it).
TVariant TComHTMLElement::GetEventHandler(const WideString& Event) {
  if (Event == u"onclick") return ReadVariant(FElement, &::IHTMLElement::get_onclick);
  if (Event == u"onchange") {
    TOwned<::IHTMLSelectElement> Select;
    *Select.Out() = QueryAs<::IHTMLSelectElement>(FElement);
    if (Select) return ReadVariant(Select.Get(), &::IHTMLSelectElement::get_onchange);
    TOwned<::IHTMLInputElement> Input;
    *Input.Out() = Kind<::IHTMLInputElement>();
    return ReadVariant(Input.Get(), &::IHTMLInputElement::get_onchange);
  }
  throw EOleSysError("No handler property " + WideToAnsi(Event), static_cast<int32_t>(E_NOTIMPL));
}

void TComHTMLElement::SetEventHandler(const WideString& Event, const TVariant& Handler) {
  if (Event == u"onclick") return WriteVariant(FElement, &::IHTMLElement::put_onclick, Handler);
  if (Event == u"onchange") {
    TOwned<::IHTMLSelectElement> Select;
    *Select.Out() = QueryAs<::IHTMLSelectElement>(FElement);
    if (Select) return WriteVariant(Select.Get(), &::IHTMLSelectElement::put_onchange, Handler);
    TOwned<::IHTMLInputElement> Input;
    *Input.Out() = Kind<::IHTMLInputElement>();
    return WriteVariant(Input.Get(), &::IHTMLInputElement::put_onchange, Handler);
  }
  throw EOleSysError("No handler property " + WideToAnsi(Event), static_cast<int32_t>(E_NOTIMPL));
}

void TComHTMLElement::Click() { OleCheck(FElement->click(), FElement, __uuidof(::IHTMLElement)); }

// ---------------------------------------------------------------- documents

TComHTMLDocument::TComHTMLDocument(::IConnectionPointContainer* Container, ::IHTMLDocument2* Document)
    : TComConnectionPointContainer(Document, Container), FDocument(Document) {}

TComHTMLDocument::~TComHTMLDocument() { FDocument->Release(); }

WideString TComHTMLDocument::URL() { return ReadString(FDocument, &::IHTMLDocument2::get_URL); }
WideString TComHTMLDocument::Title() { return ReadString(FDocument, &::IHTMLDocument2::get_title); }
WideString TComHTMLDocument::Charset() { return ReadString(FDocument, &::IHTMLDocument2::get_charset); }

TElementsRef TComHTMLDocument::All() {
  TOwned<::IHTMLElementCollection> All;
  OleCheck(FDocument->get_all(All.Out()), FDocument, __uuidof(::IHTMLDocument2));
  return All ? std::make_shared<TComHTMLElementCollection>(All.Detach()) : nullptr;
}

TElementsRef TComHTMLDocument::Forms() {
  TOwned<::IHTMLElementCollection> Forms;
  OleCheck(FDocument->get_forms(Forms.Out()), FDocument, __uuidof(::IHTMLDocument2));
  return Forms ? std::make_shared<TComHTMLElementCollection>(Forms.Detach()) : nullptr;
}

TElementRef TComHTMLDocument::Body() {
  TOwned<::IHTMLElement> Body;
  OleCheck(FDocument->get_body(Body.Out()), FDocument, __uuidof(::IHTMLDocument2));
  return WrapHtmlElement(Body.Get());
}

TElementRef TComHTMLDocument::ActiveElement() {
  TOwned<::IHTMLElement> Active;
  OleCheck(FDocument->get_activeElement(Active.Out()), FDocument, __uuidof(::IHTMLDocument2));
  return WrapHtmlElement(Active.Get());
}

std::shared_ptr<pel::IHTMLWindow2> TComHTMLDocument::ParentWindow() {
  ::IHTMLWindow2* Window = nullptr;
  OleCheck(FDocument->get_parentWindow(&Window), FDocument, __uuidof(::IHTMLDocument2));
  if (!Window) return nullptr;
  return std::make_shared<TComHTMLWindow>(ContainerOf(Window), Window);
}

std::vector<std::shared_ptr<IInterface>> TComHTMLDocument::EnumObjects(uint32_t Flags) {
  std::vector<std::shared_ptr<IInterface>> Objects;
  TOwned<::IOleContainer> Container;
  *Container.Out() = QueryAs<::IOleContainer>(FDocument);
  if (!Container) throw EOleSysError("The document is no container", static_cast<int32_t>(E_NOINTERFACE));
  TOwned<IEnumUnknown> Enumerator;
  OleCheck(Container->EnumObjects(Flags, Enumerator.Out()), Container.Get(), IID_IOleContainer);
  if (!Enumerator) return Objects;
  for (;;) {
    IUnknown* Object = nullptr;
    ULONG Fetched = 0;
    if (Enumerator->Next(1, &Object, &Fetched) != S_OK || Fetched != 1 || !Object) break;
    Objects.push_back(WrapComObject(Object));
    Object->Release();
  }
  return Objects;
}

// ---------------------------------------------------------------- windows

TComHTMLWindow::TComHTMLWindow(::IConnectionPointContainer* Container, ::IHTMLWindow2* Window)
    : TComConnectionPointContainer(Window, Container), FWindow(Window) {}

TComHTMLWindow::~TComHTMLWindow() { FWindow->Release(); }

std::shared_ptr<pel::IHTMLEventObj> TComHTMLWindow::Event() {
  ::IHTMLEventObj* Event = nullptr;
  OleCheck(FWindow->get_event(&Event), FWindow, __uuidof(::IHTMLWindow2));
  if (!Event) return nullptr;
  return std::make_shared<TComHTMLEventObj>(Event);
}

std::shared_ptr<pel::IHTMLDocument2> TComHTMLWindow::Document() {
  TOwned<::IHTMLDocument2> Document;
  OleCheck(FWindow->get_document(Document.Out()), FWindow, __uuidof(::IHTMLWindow2));
  return WrapDocument(Document.Get());
}

std::shared_ptr<IInterface> TComHTMLWindow::QueryService(const TGUID& Service, const TGUID& IID) {
  TOwned<::IServiceProvider> Services;
  *Services.Out() = QueryAs<::IServiceProvider>(FWindow);
  if (!Services) throw EOleSysError("The window offers no services", static_cast<int32_t>(E_NOINTERFACE));
  TOwned<IUnknown> Found;
  HRESULT Result = Services->QueryService(ToGUID(Service), ToGUID(IID), reinterpret_cast<void**>(Found.Out()));
  if (SUCCEEDED(Result) && !Found) Result = E_NOINTERFACE;
  OleCheck(Result, Services.Get(), IID_IServiceProvider);
  return WrapComObject(Found.Get());
}

// ---------------------------------------------------------------- any MSHTML object

std::shared_ptr<IInterface> WrapHtmlObject(IUnknown* Object) {
  if (!Object) return nullptr;
  if (::IHTMLElement* Element = QueryAs<::IHTMLElement>(Object)) {
    TElementRef Result = WrapHtmlElement(Element);
    Element->Release();
    return Result;
  }
  if (::IHTMLDocument2* Document = QueryAs<::IHTMLDocument2>(Object))
    return std::make_shared<TComHTMLDocument>(ContainerOf(Document), Document);
  if (::IHTMLWindow2* Window = QueryAs<::IHTMLWindow2>(Object))
    return std::make_shared<TComHTMLWindow>(ContainerOf(Window), Window);
  if (::IHTMLEventObj* Event = QueryAs<::IHTMLEventObj>(Object)) return std::make_shared<TComHTMLEventObj>(Event);
  if (::IHTMLElementCollection* Collection = QueryAs<::IHTMLElementCollection>(Object))
    return std::make_shared<TComHTMLElementCollection>(Collection);
  if (::IHTMLTxtRange* Range = QueryAs<::IHTMLTxtRange>(Object)) return std::make_shared<TComHTMLTxtRange>(Range);
  return nullptr;
}

}  // namespace pel::win32
