#pragma once
// The document object model port: what the add-on asks of the browser's HTML documents. The
// names follow the platform's interfaces; an element answers the interface of its kind (a form
// answers IHTMLFormElement, an input IHTMLInputElement, ...), asked with Supports<T>.
//
// Conventions: a missing object is a null reference; a failure raises; tag names are reported as
// the platform reports them (upper case for HTML elements), so callers lower-case them.

#include <cstdint>
#include <memory>
#include <vector>

#include "ConnectionPoints.h"
#include "Exceptions.h"
#include "SysTypes.h"
#include "Variant.h"

namespace pel {

class IHTMLElement;
class IHTMLDocument2;
class IHTMLWindow2;
class IHTMLTxtRange;

using TElementRef = std::shared_ptr<IHTMLElement>;

// Document-order collections: a document's `all`, `forms`, an element's `children`, `tags(...)`.
class IHTMLElementCollection : public virtual IInterface {
public:
  virtual int32_t Length() = 0;
  // Null when Index is out of range.
  virtual TElementRef Item(int32_t Index) = 0;
  // The members whose tag name equals TagName, ignoring case, in the same order.
  virtual std::shared_ptr<IHTMLElementCollection> Tags(const WideString& TagName) = 0;
};
using TElementsRef = std::shared_ptr<IHTMLElementCollection>;

// Attribute flags: 0 matches names ignoring case.
constexpr int32_t AttributeIgnoreCase = 0;
constexpr int32_t AttributeMatchCase = 1;

class IHTMLElement : public virtual IInterface {
public:
  virtual WideString TagName() = 0;
  virtual TElementRef ParentElement() = 0;
  virtual TElementsRef Children() = 0;
  // Every descendant element, in document order.
  virtual TElementsRef All() = 0;
  // Position in the document's `all`.
  virtual int32_t SourceIndex() = 0;
  virtual std::shared_ptr<IHTMLDocument2> Document() = 0;

  virtual WideString InnerText() = 0;
  virtual WideString InnerHTML() = 0;
  virtual WideString Title() = 0;
  virtual void SetTitle(const WideString& Value) = 0;
  virtual WideString StyleBackgroundColor() = 0;
  virtual void SetStyleBackgroundColor(const WideString& Value) = 0;

  // Null when the attribute is absent. A value set as a 32-bit integer reads back as one.
  virtual TVariant GetAttribute(const WideString& Name, int32_t Flags) = 0;
  virtual void SetAttribute(const WideString& Name, const TVariant& Value, int32_t Flags) = 0;
  virtual bool RemoveAttribute(const WideString& Name, int32_t Flags) = 0;

  // The page's handler of an event ("onclick", "onchange", ...): an object reference, or null.
  virtual TVariant GetEventHandler(const WideString& Event) = 0;
  virtual void SetEventHandler(const WideString& Event, const TVariant& Handler) = 0;

  // As a user's click: runs the page's handlers and the element's default action.
  virtual void Click() = 0;
};

class IHTMLFormElement : public virtual IInterface {
public:
  virtual WideString Action() = 0;
  virtual WideString Method() = 0;
  virtual WideString Name() = 0;
  // The form's controls in document order.
  virtual TElementsRef Elements() = 0;
  virtual TElementsRef Tags(const WideString& TagName) = 0;
  // Submits without firing the form's onsubmit.
  virtual void Submit() = 0;
};

class IHTMLInputElement : public virtual IInterface {
public:
  virtual WideString Type() = 0;
  virtual WideString Name() = 0;
  virtual WideString Value() = 0;
  virtual void SetValue(const WideString& Value) = 0;
  virtual bool Checked() = 0;
  virtual void SetChecked(bool Value) = 0;
  virtual int32_t MaxLength() = 0;
  virtual TElementRef Form() = 0;
};

class IHTMLOptionElement : public virtual IInterface {
public:
  virtual bool Selected() = 0;
  virtual void SetSelected(bool Value) = 0;
  virtual bool DefaultSelected() = 0;
  virtual WideString Text() = 0;
  virtual WideString Value() = 0;
  virtual int32_t Index() = 0;
};

class IHTMLSelectElement : public virtual IInterface {
public:
  virtual WideString Name() = 0;
  // "select-one" or "select-multiple".
  virtual WideString Type() = 0;
  virtual bool Multiple() = 0;
  // -1 when no option is selected.
  virtual int32_t SelectedIndex() = 0;
  virtual void SetSelectedIndex(int32_t Index) = 0;
  // The value of the first selected option; empty when none.
  virtual WideString Value() = 0;
  // Selects the first option with this value and deselects the rest (none when no option has it).
  virtual void SetValue(const WideString& Value) = 0;
  virtual int32_t Length() = 0;
  // The option at Index (answers IHTMLOptionElement), or null.
  virtual TElementRef Item(int32_t Index) = 0;
  virtual TElementRef Form() = 0;
};

class IHTMLTextAreaElement : public virtual IInterface {
public:
  virtual WideString Name() = 0;
  virtual WideString Value() = 0;
  virtual void SetValue(const WideString& Value) = 0;
  virtual TElementRef Form() = 0;
};

class IHTMLButtonElement : public virtual IInterface {
public:
  virtual WideString Type() = 0;
  virtual WideString Name() = 0;
  virtual WideString Value() = 0;
};

class IHTMLAnchorElement : public virtual IInterface {
public:
  // Absolute, as the browser reports it.
  virtual WideString Href() = 0;
};

class IHTMLAreaElement : public virtual IInterface {
public:
  virtual WideString Href() = 0;
  virtual WideString Alt() = 0;
};

class IHTMLMetaElement : public virtual IInterface {
public:
  virtual WideString HttpEquiv() = 0;
  virtual WideString Content() = 0;
};

class IHTMLBodyElement : public virtual IInterface {
public:
  // A range over the whole rendered text of the body.
  virtual std::shared_ptr<IHTMLTxtRange> CreateTextRange() = 0;
};

// A range over a document's rendered text, counted in characters.
class IHTMLTxtRange : public virtual IInterface {
public:
  virtual std::shared_ptr<IHTMLTxtRange> Duplicate() = 0;
  virtual WideString Text() = 0;
  virtual void MoveToElementText(const TElementRef& Element) = 0;
  // How: "StartToStart", "StartToEnd", "EndToStart" or "EndToEnd" (any case): this range's
  // start or end (first word) moves to Source's start or end (second word).
  virtual void SetEndPoint(const WideString& How, const std::shared_ptr<IHTMLTxtRange>& Source) = 0;
  // Unit "character"; answers how far the end point actually moved.
  virtual int32_t MoveStart(const WideString& Unit, int32_t Count) = 0;
  virtual int32_t MoveEnd(const WideString& Unit, int32_t Count) = 0;
};

// The event being handled in a window.
class IHTMLEventObj : public virtual IInterface {
public:
  virtual TElementRef SrcElement() = 0;
  virtual WideString Type() = 0;
};

class IHTMLWindow2 : public virtual IInterface {
public:
  // Null outside event handling.
  virtual std::shared_ptr<IHTMLEventObj> Event() = 0;
  virtual std::shared_ptr<IHTMLDocument2> Document() = 0;
};

class IHTMLDocument2 : public virtual IInterface {
public:
  virtual WideString URL() = 0;
  virtual WideString Title() = 0;
  virtual WideString Charset() = 0;
  virtual TElementsRef All() = 0;
  virtual TElementsRef Forms() = 0;
  virtual TElementRef Body() = 0;
  virtual TElementRef ActiveElement() = 0;
  virtual std::shared_ptr<IHTMLWindow2> ParentWindow() = 0;
};

// The embedded objects of a document (its frames' browsers), as the container enumerates them.
constexpr uint32_t OLECONTF_EMBEDDINGS = 1;
class IOleContainer : public virtual IInterface {
public:
  virtual std::vector<std::shared_ptr<IInterface>> EnumObjects(uint32_t Flags) = 0;
};

// Objects that know their platform identity answer it here; IsSameObject compares these.
class IObjectIdentity {
public:
  virtual ~IObjectIdentity() = default;
  virtual const void* Identity() const = 0;
};

// Interface identifiers of the element kinds, for callers that ask by identifier.
namespace detail {
constexpr TGUID MshtmlIID(uint32_t Data1) {
  return {Data1, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
}
}  // namespace detail
inline constexpr TGUID IID_IHTMLElement = detail::MshtmlIID(0x3050F1FF);
inline constexpr TGUID IID_IHTMLFormElement = detail::MshtmlIID(0x3050F1F7);
inline constexpr TGUID IID_IHTMLBodyElement = detail::MshtmlIID(0x3050F1D8);
inline constexpr TGUID IID_IHTMLAnchorElement = detail::MshtmlIID(0x3050F1DA);
inline constexpr TGUID IID_IHTMLSelectElement = detail::MshtmlIID(0x3050F244);
inline constexpr TGUID IID_IHTMLOptionElement = detail::MshtmlIID(0x3050F211);
inline constexpr TGUID IID_IHTMLInputElement = detail::MshtmlIID(0x3050F5D2);
inline constexpr TGUID IID_IHTMLTextAreaElement = detail::MshtmlIID(0x3050F2AA);
inline constexpr TGUID IID_IHTMLButtonElement = detail::MshtmlIID(0x3050F2BB);
inline constexpr TGUID IID_IHTMLMetaElement = detail::MshtmlIID(0x3050F203);
inline constexpr TGUID IID_IHTMLAreaElement = detail::MshtmlIID(0x3050F265);
inline constexpr TGUID IID_IHTMLDocument2 = {0x332C4425, 0x26CB, 0x11D0, {0xB4, 0x83, 0x00, 0xC0, 0x4F, 0xD9, 0x01, 0x19}};

// The object as an interface it must answer: an element whose tag promises an interface it does
// not answer is as broken as a failing QueryInterface, and raises like one.
template <class TInterface, class TFrom>
std::shared_ptr<TInterface> Require(const std::shared_ptr<TFrom>& Object) {
  auto Result = Supports<TInterface>(Object);
  if (!Result) throw EOleSysError("Interface not supported", HR_E_NOINTERFACE);
  return Result;
}

// The object as the interface IID names, or null when it does not answer it (or the identifier
// is not one of the DOM port's).
std::shared_ptr<IInterface> QueryInterface(const std::shared_ptr<IInterface>& Object, const TGUID& IID);

// Event interfaces of documents, windows and controls, and the DISPIDs of their events that the
// add-on handles (the platform's published numbers).
inline constexpr TGUID DIID_HTMLDocumentEvents = {
    0x3050F260, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
inline constexpr TGUID DIID_HTMLWindowEvents = {
    0x96A0A4E0, 0xD062, 0x11CF, {0x94, 0xB6, 0x00, 0xAA, 0x00, 0x60, 0x27, 0x5C}};
inline constexpr TGUID DIID_HTMLFormElementEvents = {
    0x3050F364, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
inline constexpr TGUID DIID_HTMLInputTextElementEvents = {
    0x3050F2A7, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
inline constexpr TGUID DIID_HTMLTextContainerEvents = {
    0x1FF6AA72, 0x5842, 0x11CF, {0xA7, 0x07, 0x00, 0xAA, 0x00, 0xC0, 0x09, 0x8D}};
inline constexpr TGUID DIID_HTMLSelectElementEvents = {
    0x3050F302, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};

constexpr int32_t DispIdOnClick = -600;
constexpr int32_t DispIdOnMouseDown = -605;
constexpr int32_t DispIdOnMouseUp = -607;
constexpr int32_t DispIdOnChange = 1001;
constexpr int32_t DispIdOnLoad = 1003;
constexpr int32_t DispIdOnSubmit = 1007;
constexpr int32_t DispIdOnUnload = 1008;
constexpr int32_t DispIdOnPropertyChange = -2147418093;

// "Is the same browser / element": the platform's identity, never the address of a wrapper.
bool IsSameObject(const std::shared_ptr<IInterface>& A, const std::shared_ptr<IInterface>& B);

}  // namespace pel
