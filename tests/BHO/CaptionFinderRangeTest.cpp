// Captions next to lists whose text range the browser places beside the option texts it shows
// instead of over them. The headless document puts a list's range exactly over its text, so
// these tests run on a small page double whose ranges can be placed anywhere.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "BHO/CaptionFinder.h"
#include "platform/Exceptions.h"

using namespace pel;

namespace {

class TFakeDocument;

class TFakeElements : public IHTMLElementCollection {
 public:
  explicit TFakeElements(std::vector<TElementRef> Items) : FItems(std::move(Items)) {}
  int32_t Length() override { return static_cast<int32_t>(FItems.size()); }
  TElementRef Item(int32_t Index) override {
    return Index >= 0 && Index < Length() ? FItems[static_cast<size_t>(Index)] : nullptr;
  }
  TElementsRef Tags(const WideString&) override { throw Exception("not used"); }

 private:
  std::vector<TElementRef> FItems;
};

// An element with a given place in the page's text: Start and End are where the browser puts
// its text range, InnerTextValue what its innerText answers.
class TFakeElement : public IHTMLElement, public IHTMLBodyElement {
 public:
  TFakeElement(WideString Tag, int32_t Start, int32_t End, WideString InnerTextValue = {})
      : Tag(std::move(Tag)), Start(Start), End(End), InnerTextValue(std::move(InnerTextValue)) {}
  WideString Tag;
  int32_t Start, End;
  WideString InnerTextValue;
  int32_t Index = 0;
  TFakeElement* Parent = nullptr;
  std::vector<std::shared_ptr<TFakeElement>> Kids;
  std::weak_ptr<TFakeDocument> Doc;

  WideString TagName() override { return Tag; }
  TElementRef ParentElement() override;
  TElementsRef Children() override {
    return std::make_shared<TFakeElements>(std::vector<TElementRef>(Kids.begin(), Kids.end()));
  }
  TElementsRef All() override { throw Exception("not used"); }
  int32_t SourceIndex() override { return Index; }
  std::shared_ptr<IHTMLDocument2> Document() override;
  WideString InnerText() override { return InnerTextValue; }
  WideString InnerHTML() override { throw Exception("not used"); }
  WideString Title() override { return {}; }
  void SetTitle(const WideString&) override {}
  WideString StyleBackgroundColor() override { return {}; }
  void SetStyleBackgroundColor(const WideString&) override {}
  TVariant GetAttribute(const WideString&, int32_t) override { return TVariant::Null(); }
  void SetAttribute(const WideString&, const TVariant&, int32_t) override {}
  bool RemoveAttribute(const WideString&, int32_t) override { return false; }
  TVariant GetEventHandler(const WideString&) override { return TVariant::Null(); }
  void SetEventHandler(const WideString&, const TVariant&) override {}
  void Click() override {}
  std::shared_ptr<IHTMLTxtRange> CreateTextRange() override;
};

// A range over the page's text that counts the steps it is moved.
class TFakeRange : public IHTMLTxtRange {
 public:
  TFakeRange(const WideString& Page, int32_t Start, int32_t End, int& Moves)
      : FPage(Page), FStart(Start), FEnd(End), FMoves(Moves) {}
  std::shared_ptr<IHTMLTxtRange> Duplicate() override {
    return std::make_shared<TFakeRange>(FPage, FStart, FEnd, FMoves);
  }
  WideString Text() override { return FPage.substr(FStart, FEnd - FStart); }
  void MoveToElementText(const TElementRef& Element) override {
    auto* E = dynamic_cast<TFakeElement*>(Element.get());
    FStart = E->Start;
    FEnd = E->End;
  }
  void SetEndPoint(const WideString& How, const std::shared_ptr<IHTMLTxtRange>& Source) override {
    auto* S = dynamic_cast<TFakeRange*>(Source.get());
    const int32_t Point = (How == u"StartToStart" || How == u"EndToStart") ? S->FStart : S->FEnd;
    if (How.rfind(u"Start", 0) == 0) {
      FStart = Point;
      FEnd = std::max(FEnd, FStart);
    } else {
      FEnd = Point;
      FStart = std::min(FStart, FEnd);
    }
  }
  int32_t MoveStart(const WideString&, int32_t Count) override {
    ++FMoves;
    const int32_t Target = std::clamp(FStart + Count, 0, static_cast<int32_t>(FPage.size()));
    const int32_t Moved = Target - FStart;
    FStart = Target;
    FEnd = std::max(FEnd, FStart);
    return Moved;
  }
  int32_t MoveEnd(const WideString&, int32_t Count) override {
    ++FMoves;
    const int32_t Target = std::clamp(FEnd + Count, 0, static_cast<int32_t>(FPage.size()));
    const int32_t Moved = Target - FEnd;
    FEnd = Target;
    FStart = std::min(FStart, FEnd);
    return Moved;
  }

 private:
  const WideString& FPage;
  int32_t FStart, FEnd;
  int& FMoves;
};

class TFakeDocument : public IHTMLDocument2, public std::enable_shared_from_this<TFakeDocument> {
 public:
  WideString Text;
  std::shared_ptr<TFakeElement> BodyElement;
  int Moves = 0;
  std::vector<std::shared_ptr<TFakeElement>> Elements;

  // Elements are added in document order; the first is the body.
  std::shared_ptr<TFakeElement> Add(TFakeElement* Parent, WideString Tag, int32_t Start, int32_t End,
                                    WideString InnerText = {}) {
    auto E = std::make_shared<TFakeElement>(std::move(Tag), Start, End, std::move(InnerText));
    E->Index = static_cast<int32_t>(Elements.size());
    E->Doc = shared_from_this();
    E->Parent = Parent;
    if (Parent) Parent->Kids.push_back(E);
    if (!BodyElement) BodyElement = E;
    Elements.push_back(E);
    return E;
  }

  WideString URL() override { return u"http://a.com/"; }
  WideString Title() override { return {}; }
  WideString Charset() override { return u"utf-8"; }
  TElementsRef All() override { throw Exception("not used"); }
  TElementsRef Forms() override { throw Exception("not used"); }
  TElementRef Body() override { return BodyElement; }
  TElementRef ActiveElement() override { return BodyElement; }
  std::shared_ptr<IHTMLWindow2> ParentWindow() override { return nullptr; }
};

TElementRef TFakeElement::ParentElement() {
  if (!Parent) return nullptr;
  for (const auto& E : Doc.lock()->Elements)
    if (E.get() == Parent) return E;
  return nullptr;
}

std::shared_ptr<IHTMLDocument2> TFakeElement::Document() { return Doc.lock(); }

std::shared_ptr<IHTMLTxtRange> TFakeElement::CreateTextRange() {
  auto D = Doc.lock();
  return std::make_shared<TFakeRange>(D->Text, 0, static_cast<int32_t>(D->Text.size()), D->Moves);
}

std::string Between(const std::shared_ptr<TFakeElement>& A, bool AfterA, const std::shared_ptr<TFakeElement>& B,
                    bool ThroughB) {
  WideString Text = u"stale";
  TextBetween(A, AfterA, B, ThroughB, Text);
  return WideToAscii(Text);
}

}  // namespace

TEST(CaptionFinderRanges, AListsRangeIsSlidBackOverItsOptionTexts) {
  // "Country:" and a list showing "Norway Sweden", whose range the browser puts six characters
  // too far on, over "Sweden" and the next line.
  auto Doc = std::make_shared<TFakeDocument>();
  Doc->Text = u"Country:\tNorway Sweden\r\nNext";
  auto Body = Doc->Add(nullptr, u"BODY", 0, 28);
  auto Cell = Doc->Add(Body.get(), u"TD", 0, 22);
  auto List = Doc->Add(Cell.get(), u"SELECT", 15, 28, u"Norway Sweden");

  EXPECT_EQ(Between(Cell, false, List, false), "Country:");  // not "Country:\tNorway"
  EXPECT_EQ(Between(List, true, Body, true), "Next");        // not ""
  EXPECT_EQ(Between(List, false, List, true), "Norway Sweden");
  WideString Caption;
  GetElementCaption(List, true, true, Caption);
  EXPECT_EQ(Caption, u"Country:");
}

TEST(CaptionFinderRanges, TheSlideIsBounded) {
  // The list's text is nowhere on the page: the slide ends at the start of the page, and the
  // range stays where the browser put it.
  auto Doc = std::make_shared<TFakeDocument>();
  Doc->Text = u"Size S M L kg";
  auto Body = Doc->Add(nullptr, u"BODY", 0, 13);
  auto List = Doc->Add(Body.get(), u"select", 5, 10, u"Small Medium Large");
  EXPECT_EQ(Between(Body, false, List, false), "Size");
  EXPECT_EQ(Between(List, true, Body, true), "kg");
  EXPECT_LT(Doc->Moves, 2 * 32);

  // Far from the start of the page, it ends after a fixed number of steps.
  Doc->Text = WideString(100000, u'x') + u" Size S M L kg";
  Body->End = static_cast<int32_t>(Doc->Text.size());
  List->Start = Body->End - 8;
  List->End = Body->End - 3;
  Doc->Moves = 0;
  EXPECT_EQ(Between(List, true, Body, true), "kg");
  EXPECT_GT(Doc->Moves, 1000);
  EXPECT_LT(Doc->Moves, 2 * 4096 + 10);

  // A list without text has nothing to be found: no slide at all.
  List->InnerTextValue.clear();
  Doc->Moves = 0;
  EXPECT_EQ(Between(Body, false, List, false), WideToAscii(WideString(100000, u'x')) + " Size");
  EXPECT_EQ(Doc->Moves, 1);  // the start moved back by one, nothing more
}
