#include "DocListener.h"

#include "platform/Exceptions.h"

namespace pel {

THTMLWinDocSink::THTMLWinDocSink(TCollectionBase* Collection, int ID)
    : TCollectionItem(Collection, ID),
      FDocumentEvents(std::make_unique<TMSHTMLHTMLDocumentEvents>()),
      FWindowEvents(std::make_unique<TMSHTMLHTMLWindowEvents>()) {
  FDocumentEvents->Onclick = [this](TEventSink*) { DocumentEvent(FOnClick); };
  FDocumentEvents->Onmousedown = [this](TEventSink*) { DocumentEvent(FOnMouseDown); };
  FDocumentEvents->Onmouseup = [this](TEventSink*) { DocumentEvent(FOnMouseUp); };
  FWindowEvents->Onunload = [this](TEventSink*) { WindowUnload(); };
}

THTMLWinDocSink::~THTMLWinDocSink() {
  FDocumentEvents->Disconnect();
  FWindowEvents->Disconnect();
}

void THTMLWinDocSink::Attach(const std::shared_ptr<IHTMLDocument2>& Doc) {
  FDocumentEvents->Connect(Doc);
  FWindowEvents->Connect(Doc ? Doc->ParentWindow() : nullptr);
  FConnected = true;
}

void THTMLWinDocSink::DocumentEvent(const TDocumentEventHandler& Handler) {
  if (!Handler) return;
  try {
    auto Doc = Supports<IHTMLDocument2>(FDocumentEvents->Source());
    if (!Doc) return;
    auto Window = Doc->ParentWindow();
    if (!Window) return;
    Handler(Window->Event());
  } catch (const Exception&) {
    // A page event the add-on cannot read is one it does not follow.
  }
}

void THTMLWinDocSink::WindowUnload() {
  FDocumentEvents->Disconnect();
  FWindowEvents->Disconnect();
  FConnected = false;
}

void THTMLWinDocListener::AttachBrowser(const std::shared_ptr<IWebBrowser2>& Browser) {
  RemoveDisconnected();
  std::shared_ptr<IHTMLDocument2> Doc;
  try {
    if (Browser) Doc = Supports<IHTMLDocument2>(Browser->Document());
  } catch (const Exception&) {
    return;
  }
  if (!Doc) return;
  THTMLWinDocSink& Item = FSinks.Add();
  Item.SetOnClick([this](const std::shared_ptr<IHTMLEventObj>& E) {
    if (FOnDocumentClick) FOnDocumentClick(E);
  });
  Item.SetOnMouseDown([this](const std::shared_ptr<IHTMLEventObj>& E) {
    if (FOnDocumentMouseDown) FOnDocumentMouseDown(E);
  });
  Item.SetOnMouseUp([this](const std::shared_ptr<IHTMLEventObj>& E) {
    if (FOnDocumentMouseUp) FOnDocumentMouseUp(E);
  });
  Item.Attach(Doc);
}

void THTMLWinDocListener::RemoveDisconnected() {
  for (int I = FSinks.Count() - 1; I >= 0; --I)
    if (!FSinks[I].Connected()) FSinks.Delete(I);
}

}  // namespace pel
