#pragma once
// The document object model port over the browser's own HTML objects (MSHTML): documents, their
// windows and event objects, element collections, elements of each kind, text ranges. Each
// adapter holds one reference to its COM object and answers exactly the port interfaces of its
// kind, chosen from the element's tag name (one call) rather than by asking every interface in
// turn. Failures of the browser's calls raise the core's exceptions (OleCheck).

#include <windows.h>

#include <mshtml.h>

#include "ComConnectionPoints.h"
#include "platform/Browser.h"
#include "platform/Dom.h"

namespace pel::win32 {

// The port object for an MSHTML object (element, document, window, event object, collection,
// text range); null when Object is none of these. The caller keeps its reference.
std::shared_ptr<IInterface> WrapHtmlObject(IUnknown* Object);
// The adapter of the element's kind; null for none. The caller keeps its reference.
TElementRef WrapHtmlElement(::IHTMLElement* Element);

class TComHTMLElement : public TComConnectionPointContainer, public pel::IHTMLElement {
public:
  // Takes over the caller's references to Container (may be null) and Element.
  TComHTMLElement(::IConnectionPointContainer* Container, ::IHTMLElement* Element);
  ~TComHTMLElement() override;

  WideString TagName() override;
  TElementRef ParentElement() override;
  TElementsRef Children() override;
  TElementsRef All() override;
  int32_t SourceIndex() override;
  std::shared_ptr<pel::IHTMLDocument2> Document() override;
  WideString InnerText() override;
  WideString InnerHTML() override;
  WideString Title() override;
  void SetTitle(const WideString& Value) override;
  WideString StyleBackgroundColor() override;
  void SetStyleBackgroundColor(const WideString& Value) override;
  TVariant GetAttribute(const WideString& Name, int32_t Flags) override;
  void SetAttribute(const WideString& Name, const TVariant& Value, int32_t Flags) override;
  bool RemoveAttribute(const WideString& Name, int32_t Flags) override;
  TVariant GetEventHandler(const WideString& Event) override;
  void SetEventHandler(const WideString& Event, const TVariant& Handler) override;
  void Click() override;

  ::IHTMLElement* Element() const { return FElement; }

protected:
  // The element as the interface of its kind (a reference for the caller); raises when it does
  // not answer it.
  template <class TInterface>
  TInterface* Kind() const;

private:
  ::IHTMLElement* FElement;
};

class TComHTMLDocument : public TComConnectionPointContainer, public pel::IHTMLDocument2, public pel::IOleContainer {
public:
  // Takes over the caller's references to Container (may be null) and Document.
  TComHTMLDocument(::IConnectionPointContainer* Container, ::IHTMLDocument2* Document);
  ~TComHTMLDocument() override;

  WideString URL() override;
  WideString Title() override;
  WideString Charset() override;
  TElementsRef All() override;
  TElementsRef Forms() override;
  TElementRef Body() override;
  TElementRef ActiveElement() override;
  std::shared_ptr<pel::IHTMLWindow2> ParentWindow() override;
  // The browsers of the document's frames, through the document's own OLE container.
  std::vector<std::shared_ptr<IInterface>> EnumObjects(uint32_t Flags) override;

private:
  ::IHTMLDocument2* FDocument;
};

// A page's window: its events (onload, onunload) and, as every object living in a browser
// window, the browser's services.
class TComHTMLWindow : public TComConnectionPointContainer, public pel::IHTMLWindow2, public pel::IServiceProvider {
public:
  // Takes over the caller's references to Container (may be null) and Window.
  TComHTMLWindow(::IConnectionPointContainer* Container, ::IHTMLWindow2* Window);
  ~TComHTMLWindow() override;

  std::shared_ptr<pel::IHTMLEventObj> Event() override;
  std::shared_ptr<pel::IHTMLDocument2> Document() override;
  std::shared_ptr<IInterface> QueryService(const TGUID& Service, const TGUID& IID) override;

private:
  ::IHTMLWindow2* FWindow;
};

}  // namespace pel::win32
