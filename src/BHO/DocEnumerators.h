#pragma once
// Visiting a page: a document and, depth first, the documents of all its frames; and within them
// every element that answers a given interface.

#include <functional>
#include <memory>

#include "platform/Dom.h"

namespace pel {

class TDocEnumerator {
public:
  // True means go on.
  using TOnDocument = std::function<bool(TDocEnumerator& Sender, const std::shared_ptr<IHTMLDocument2>& Doc)>;

  void SetOnDocument(TOnDocument Handler) { FOnDocument = std::move(Handler); }
  // False when there is no callback, when it stopped the walk, or when the walk failed outside
  // the handling of one frame; each document comes before its frames.
  bool Enumerate(const std::shared_ptr<IHTMLDocument2>& Doc);

private:
  bool Visit(const std::shared_ptr<IHTMLDocument2>& Doc);
  TOnDocument FOnDocument;
};

class TElemEnumerator {
public:
  // Element is the element as the asked interface; true means go on.
  using TOnElement = std::function<bool(TDocEnumerator& Sender, const std::shared_ptr<IInterface>& Element)>;

  void SetOnElement(TOnElement Handler) { FOnElement = std::move(Handler); }
  bool Enumerate(const std::shared_ptr<IHTMLDocument2>& Doc, const TGUID& IID);

private:
  bool VisitDocument(TDocEnumerator& Sender, const std::shared_ptr<IHTMLDocument2>& Doc);
  TOnElement FOnElement;
  TGUID FIID;
};

}  // namespace pel
