#pragma once
// Following every document of a page: one sink item per loaded document (top and frames)
// forwards the document's clicks and mouse presses, with the window's current event object, to
// one set of callbacks. A document's item drops out once its window unloads.

#include <functional>
#include <memory>

#include "BHO/MSHTMLEvents.h"
#include "platform/Browser.h"
#include "platform/Collection.h"
#include "platform/Dom.h"

namespace pel {

using TDocumentEventHandler = std::function<void(const std::shared_ptr<IHTMLEventObj>& Event)>;

class THTMLWinDocSink : public TCollectionItem {
public:
  explicit THTMLWinDocSink(TCollectionBase* Collection = nullptr, int ID = 0);
  ~THTMLWinDocSink() override;

  // Connects to the document and its window; raises when that fails and stays unconnected.
  void Attach(const std::shared_ptr<IHTMLDocument2>& Doc);
  void SetOnClick(TDocumentEventHandler Handler) { FOnClick = std::move(Handler); }
  void SetOnMouseDown(TDocumentEventHandler Handler) { FOnMouseDown = std::move(Handler); }
  void SetOnMouseUp(TDocumentEventHandler Handler) { FOnMouseUp = std::move(Handler); }
  bool Connected() const { return FConnected; }

private:
  void DocumentEvent(const TDocumentEventHandler& Handler);
  void WindowUnload();

  std::unique_ptr<TMSHTMLHTMLDocumentEvents> FDocumentEvents;
  std::unique_ptr<TMSHTMLHTMLWindowEvents> FWindowEvents;
  TDocumentEventHandler FOnClick;
  TDocumentEventHandler FOnMouseUp;
  TDocumentEventHandler FOnMouseDown;
  bool FConnected = false;
};

class THTMLWinDocListener {
public:
  void SetOnDocumentClick(TDocumentEventHandler Handler) { FOnDocumentClick = std::move(Handler); }
  void SetOnDocumentMouseDown(TDocumentEventHandler Handler) { FOnDocumentMouseDown = std::move(Handler); }
  void SetOnDocumentMouseUp(TDocumentEventHandler Handler) { FOnDocumentMouseUp = std::move(Handler); }

  // Drops the items of unloaded documents, then follows the browser's current HTML document.
  void AttachBrowser(const std::shared_ptr<IWebBrowser2>& Browser);
  // Deletes every item whose window has unloaded.
  void RemoveDisconnected();
  const TCollection<THTMLWinDocSink>& Sinks() const { return FSinks; }

private:
  TCollection<THTMLWinDocSink> FSinks;
  TDocumentEventHandler FOnDocumentClick;
  TDocumentEventHandler FOnDocumentMouseUp;
  TDocumentEventHandler FOnDocumentMouseDown;
};

}  // namespace pel
