// Text ranges over the body's rendered text, as a caption search measures the page with them.

#include "HtmlDom.h"

#include <algorithm>
#include <typeinfo>

#include "HtmlDomInternal.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace pel::headless {

// ---- Text ranges

namespace {
class THtmlTxtRange : public IHTMLTxtRange {
public:
  THtmlTxtRange(std::weak_ptr<THtmlDocument> Document, int32_t Start, int32_t End)
      : FDocument(std::move(Document)), FStart(Start), FEnd(End) {}

  std::shared_ptr<IHTMLTxtRange> Duplicate() override {
    return std::make_shared<THtmlTxtRange>(FDocument, FStart, FEnd);
  }
  WideString Text() override {
    const WideString& All = Doc().BodyText().Text;
    const int32_t S = Clamp(FStart, All), E = Clamp(FEnd, All);
    return E > S ? All.substr(static_cast<size_t>(S), static_cast<size_t>(E - S)) : WideString();
  }
  void MoveToElementText(const TElementRef& Element) override {
    if (!Element) throw EOleSysError("Invalid argument", HR_E_INVALIDARG);
    const TRenderedText& R = Doc().BodyText();
    // A downcast, not a cast across to a sibling interface: cheap enough for a caption search's
    // thousands of moves.
    const auto* E = dynamic_cast<const THtmlElement*>(Element.get());
    const auto* Span = E ? R.SpanAt(Doc().SourceIndexOf(*E)) : nullptr;
    if (!Span) throw EOleSysError("The element is not in the text of this document", HR_E_INVALIDARG);
    FStart = Span->first;
    FEnd = Span->second;
  }
  void SetEndPoint(const WideString& How, const std::shared_ptr<IHTMLTxtRange>& Source) override {
    // A caption search sets end points by the thousand: the exact type is checked rather than
    // cast through the interface's virtual base.
    if (!Source || typeid(*Source) != typeid(THtmlTxtRange)) throw EOleSysError("Invalid argument", HR_E_INVALIDARG);
    auto* Src = static_cast<THtmlTxtRange*>(Source.get());
    const bool FromStart = EqualsIgnoringAsciiCase(How, u"StartToStart") || EqualsIgnoringAsciiCase(How, u"EndToStart");
    if (!FromStart && !EqualsIgnoringAsciiCase(How, u"StartToEnd") && !EqualsIgnoringAsciiCase(How, u"EndToEnd"))
      throw EOleSysError("Invalid argument", HR_E_INVALIDARG);
    const int32_t Point = FromStart ? Src->FStart : Src->FEnd;
    // Which end of this range moves: the first word of one of the four names.
    if (How[0] == u's' || How[0] == u'S') {
      FStart = Point;
      if (FEnd < FStart) FEnd = FStart;
    } else {
      FEnd = Point;
      if (FStart > FEnd) FStart = FEnd;
    }
  }
  int32_t MoveStart(const WideString& Unit, int32_t Count) override {
    CheckUnit(Unit);
    const int32_t Length = static_cast<int32_t>(Doc().BodyText().Text.size());
    const int32_t Target = std::clamp<int64_t>(int64_t{FStart} + Count, 0, Length);
    const int32_t Moved = Target - FStart;
    FStart = Target;
    if (FEnd < FStart) FEnd = FStart;
    return Moved;
  }
  int32_t MoveEnd(const WideString& Unit, int32_t Count) override {
    CheckUnit(Unit);
    const int32_t Length = static_cast<int32_t>(Doc().BodyText().Text.size());
    const int32_t Target = std::clamp<int64_t>(int64_t{FEnd} + Count, 0, Length);
    const int32_t Moved = Target - FEnd;
    FEnd = Target;
    if (FStart > FEnd) FStart = FEnd;
    return Moved;
  }

private:
  THtmlDocument& Doc() {
    auto D = FDocument.lock();
    if (!D) throw Exception("The document of this text range is gone");
    FKeep = D;
    return *D;
  }
  static int32_t Clamp(int32_t P, const WideString& All) {
    return std::clamp<int32_t>(P, 0, static_cast<int32_t>(All.size()));
  }
  static void CheckUnit(const WideString& Unit) {
    if (AsciiLower(Unit) != u"character") throw EOleSysError("Only character moves are supported", HR_E_NOTIMPL);
  }
  std::weak_ptr<THtmlDocument> FDocument;
  std::shared_ptr<THtmlDocument> FKeep;
  int32_t FStart, FEnd;
};
}  // namespace

std::shared_ptr<IHTMLTxtRange> THtmlBody::CreateTextRange() {
  auto Doc = OwnerDocument();
  if (!Doc) throw Exception("The document of this body is gone");
  return std::make_shared<THtmlTxtRange>(Doc, 0, static_cast<int32_t>(Doc->BodyText().Text.size()));
}

}  // namespace pel::headless
