#include "DocEnumerators.h"

#include "platform/Browser.h"
#include "platform/Exceptions.h"

namespace pel {

bool TDocEnumerator::Enumerate(const std::shared_ptr<IHTMLDocument2>& Doc) {
  if (!FOnDocument) return false;
  return Visit(Doc);
}

bool TDocEnumerator::Visit(const std::shared_ptr<IHTMLDocument2>& Doc) {
  try {
    if (!FOnDocument(*this, Doc)) return false;
    auto Container = Supports<IOleContainer>(Doc);
    if (!Container) return true;
    for (const std::shared_ptr<IInterface>& Object : Container->EnumObjects(OLECONTF_EMBEDDINGS)) {
      std::shared_ptr<IHTMLDocument2> FrameDoc;
      try {
        auto Browser = Supports<IWebBrowser2>(Object);
        if (!Browser) continue;
        FrameDoc = Supports<IHTMLDocument2>(Browser->Document());
      } catch (const Exception&) {
        continue;  // a frame that cannot be reached is skipped
      }
      if (FrameDoc && !Visit(FrameDoc)) return false;
    }
    return true;
  } catch (const Exception&) {
    return false;
  }
}

bool TElemEnumerator::Enumerate(const std::shared_ptr<IHTMLDocument2>& Doc, const TGUID& IID) {
  if (!FOnElement) return false;
  FIID = IID;
  TDocEnumerator Documents;
  Documents.SetOnDocument([this](TDocEnumerator& Sender, const std::shared_ptr<IHTMLDocument2>& D) {
    return VisitDocument(Sender, D);
  });
  return Documents.Enumerate(Doc);
}

bool TElemEnumerator::VisitDocument(TDocEnumerator& Sender, const std::shared_ptr<IHTMLDocument2>& Doc) {
  if (!Doc) return false;
  try {
    // One collection for the walk: asking the document for it per element would make a walk over
    // a large page quadratic.
    const TElementsRef All = Doc->All();
    const int32_t N = All->Length();
    for (int32_t I = 0; I < N; ++I) {
      std::shared_ptr<IInterface> Element = QueryInterface(All->Item(I), FIID);
      if (Element && !FOnElement(Sender, Element)) return false;
    }
    return true;
  } catch (const Exception&) {
    return false;
  }
}

}  // namespace pel
