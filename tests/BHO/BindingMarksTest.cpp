// Binding marks and the watchers that remove them when the user changes a marked control.

#include <gtest/gtest.h>

#include "BHO/BindingMarks.h"
#include "headless/HeadlessBrowser.h"
#include "platform/Services.h"

using namespace pel;
using namespace pel::headless;

namespace {
class BindingMarks : public testing::Test {
protected:
  void SetUp() override {
    Browser->LoadFile(std::string(PEL_FIXTURES_DIR) + "/forms/marks.html");
    Doc = Browser->HtmlDocument();
  }
  THtmlElement& Node(const char16_t* Id) { return *Doc->FindById(Id); }
  TElementRef E(const char16_t* Id) { return Doc->FindById(Id); }
  WideString Bound(const char16_t* Id) { return E(Id)->GetAttribute(ProfileFieldAttribute, 0).AsWideString(); }
  bool Marked(const char16_t* Id) { return E(Id)->StyleBackgroundColor() == u"lightblue" && !Bound(Id).empty(); }
  int Connected() {
    int N = 0;
    for (TElementChangingSink& W : Tracker) N += W.Connected();
    return N;
  }

  std::shared_ptr<THeadlessBrowser> Browser = THeadlessBrowser::CreateTop(nullptr);
  std::shared_ptr<THtmlDocument> Doc;
  TElementChangingTracker Tracker;
};
}  // namespace

TEST_F(BindingMarks, MarkingShowsTheFieldAndWatchesTheControl) {
  MarkBoundElement(E(u"city"), u"City", Tracker);
  EXPECT_EQ(E(u"city")->StyleBackgroundColor(), u"lightblue");
  EXPECT_EQ(E(u"city")->Title(), u"bind with <City>");
  EXPECT_EQ(Bound(u"city"), u"City");
  EXPECT_EQ(E(u"city")->GetAttribute(u"SinkID", 0).AsInteger(), 1);  // the tracker's first watcher
  EXPECT_EQ(Connected(), 1);

  MarkBoundElement(E(u"city"), u"", Tracker);
  EXPECT_EQ(E(u"city")->StyleBackgroundColor(), u"");
  EXPECT_EQ(E(u"city")->Title(), u"");
  EXPECT_TRUE(E(u"city")->GetAttribute(ProfileFieldAttribute, 0).VarType() == TVarType::String);  // kept, empty
  EXPECT_EQ(Bound(u"city"), u"");
  EXPECT_EQ(Connected(), 0);
  MarkBoundElement(nullptr, u"City", Tracker);  // nothing to mark, nothing raised
}

TEST_F(BindingMarks, TheFirstRealChangeRemovesTheMarkForGood) {
  MarkBoundElement(E(u"city"), u"City", Tracker);
  E(u"city")->SetTitle(u"set by a script");  // a property change that is no change of value
  E(u"city")->SetStyleBackgroundColor(u"lightblue");
  EXPECT_EQ(Bound(u"city"), u"City");
  EXPECT_EQ(Connected(), 1);

  Browser->UserType(Node(u"city"), u"Lyon");
  EXPECT_FALSE(Marked(u"city"));
  EXPECT_EQ(E(u"city")->Title(), u"");
  Browser->UserType(Node(u"city"), u"Paris");  // the former value back: no mark returns
  EXPECT_FALSE(Marked(u"city"));
  EXPECT_EQ(Tracker.Count(), 1);  // the watcher stays, disconnected
  EXPECT_EQ(Connected(), 0);
}

TEST_F(BindingMarks, SelectsTextareasAndCheckBoxes) {
  MarkBoundElement(E(u"country"), u"Country", Tracker);
  MarkBoundElement(E(u"note"), u"Notes", Tracker);
  MarkBoundElement(E(u"news"), u"Newsletter", Tracker);
  EXPECT_EQ(Connected(), 3);

  Browser->UserClick(Node(u"news"));  // checking changes no value
  EXPECT_TRUE(Marked(u"news"));
  Browser->UserSelect(Node(u"country"), 1);
  EXPECT_FALSE(Marked(u"country"));
  Browser->UserType(Node(u"note"), u"hello again");
  EXPECT_FALSE(Marked(u"note"));
  EXPECT_EQ(Connected(), 1);
}

TEST_F(BindingMarks, MarkingTwiceLeavesOneWatcherAndTheSecondMark) {
  MarkBoundElement(E(u"city"), u"City", Tracker);
  MarkBoundElement(E(u"city"), u"Town", Tracker);
  EXPECT_EQ(Bound(u"city"), u"Town");
  EXPECT_EQ(E(u"city")->Title(), u"bind with <Town>");
  EXPECT_EQ(Tracker.Count(), 2);
  EXPECT_EQ(Connected(), 1);
  EXPECT_EQ(E(u"city")->GetAttribute(u"SinkID", 0).AsInteger(), 2);
  Browser->UserType(Node(u"city"), u"Lyon");
  EXPECT_EQ(Connected(), 0);
}

TEST_F(BindingMarks, UnmarkingClearsThePagesOwnInlineStyleAndOtherElementsGetNoWatcher) {
  EXPECT_EQ(E(u"styled")->StyleBackgroundColor(), u"red");
  MarkBoundElement(E(u"styled"), u"", Tracker);
  EXPECT_EQ(E(u"styled")->StyleBackgroundColor(), u"");
  EXPECT_EQ(E(u"styled")->Title(), u"");

  MarkBoundElement(E(u"box"), u"City", Tracker);
  EXPECT_TRUE(Marked(u"box"));
  EXPECT_EQ(E(u"box")->Title(), u"bind with <City>");
  EXPECT_EQ(Tracker.Count(), 0);
  EXPECT_TRUE(E(u"box")->GetAttribute(u"SinkID", 0).IsNull());
}
