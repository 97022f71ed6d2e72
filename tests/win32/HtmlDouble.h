#pragma once
// A page of the browser's HTML document model as real COM objects, for the tests of the add-on's
// adapters: a document, its window, element collections, elements of each kind the add-on reads
// and writes, the event object and connection points that call their sinks' Invoke with the
// browser's DISPIDs. The page is read from markup (the subset the test pages use: tags,
// attributes, text, void elements, implied ends of options and paragraphs). Each element keeps one
// COM identity for its life. Every object counts its references and every call into the page is
// counted, so a test sees what the add-on holds and how much it asks.
//
// Slots the add-on does not use are empty: a call to one crashes and so shows itself.

#include <windows.h>

#include <objbase.h>

#include <functional>
#include <memory>
#include <string>

namespace pel::test {

class THtmlDoublePage {
public:
  // Url is what the document reports as its address.
  THtmlDoublePage(const std::wstring& Url, const std::string& Markup);
  ~THtmlDoublePage();
  THtmlDoublePage(const THtmlDoublePage&) = delete;
  THtmlDoublePage& operator=(const THtmlDoublePage&) = delete;

  // The document (IHTMLDocument2), no reference added.
  IDispatch* Document();
  // The element with this id attribute, else the first with this name (IHTMLElement), no reference
  // added; nullptr when none. The test-side reads below find elements the same way.
  IDispatch* ElementById(const std::wstring& Id);
  // The page's browser, answered by the window's web browser service; nullptr: none.
  void SetBrowser(IUnknown* Browser);
  // The window the document draws in (its IOleWindow); nullptr: none. The document paints a black
  // band over the upper left quarter of whatever it is asked to draw.
  void SetWindow(HWND Window);
  // The frames' browsers, as the document's container enumerates them.
  void AddFrame(IUnknown* Browser);

  // References the page's objects hold from outside the page (0 when nobody holds any).
  long OutsideReferences() const;
  // Calls into the page's objects since the last reset.
  long Calls() const;
  void ResetCalls();
  // Sinks advised on any of the page's connection points.
  long AdvisedSinks() const;

  // Fires an event of the document, the window or an element at its advised sinks (the event
  // object's source element is Source, or none): S_OK when a sink took it, else the last sink's
  // answer, S_FALSE when none is advised.
  HRESULT FireDocumentEvent(long DispID, IDispatch* Source);
  HRESULT FireWindowEvent(long DispID);
  HRESULT FireElementEvent(IDispatch* Element, const GUID& EventInterface, long DispID);

  // Test-side reads and writes of a control's state, not counted as calls.
  std::wstring ValueOf(const std::wstring& Id) const;
  bool CheckedOf(const std::wstring& Id) const;
  std::wstring AttributeOf(const std::wstring& Id, const std::wstring& Name) const;
  // Called when a form is submitted, with the form's action, while the submitting call runs: the
  // browser starts the navigation (BeforeNavigate2) before submit() or click() returns.
  void SetOnSubmit(std::function<void(const std::wstring& Action)> Handler);
  // How often click() ran on the element with this id (or name).
  long ClicksOf(const std::wstring& Id) const;
  // How often a form was submitted: by its submit() or a click on one of its submit controls.
  long SubmitCount() const;

  // The next calls of the named method fail with Result (a browser object that turns against its
  // caller); an empty Method stops failing. "shrinking" makes every collection report one element
  // more than it answers, as one that shrinks while it is walked.
  void FailCalls(const std::string& Method, HRESULT Result);

  struct TImpl;

private:
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace pel::test
