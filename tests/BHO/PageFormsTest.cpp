// The page form set on pages loaded by the headless browser: identity across rescans, frames,
// action addresses and methods, the submit mark and the remembered submit control.

#include <gtest/gtest.h>

#include "BHO/PageForms.h"
#include "BHO/SHDocVwEvents.h"
#include "headless/HeadlessBrowser.h"
#include "platform/Services.h"

using namespace pel;
using namespace pel::headless;

namespace {
const std::string Dir = std::string(PEL_FIXTURES_DIR) + "/forms/";
const WideString DirURL = AsciiToWide("file://" + Dir);

class PageForms : public testing::Test {
protected:
  PageForms() { Forms.FKeyAttribute = u"FormID"; }
  void Load(const std::string& Name) {
    Browser->LoadFile(Dir + Name);
    RefreshPageForms(Browser, Forms);
  }
  std::vector<std::string> Ids() {
    std::vector<std::string> R;
    for (TFormItem& Item : Forms)
      R.push_back(WideToAscii(Item.FHtmlForm->GetAttribute(u"id", 0).AsWideString()) + "#" +
                  std::to_string(Item.FKeyNumber));
    return R;
  }
  TFormItem& ItemOf(const char16_t* Id) {
    for (TFormItem& Item : Forms)
      if (Item.FHtmlForm->GetAttribute(u"id", 0).AsWideString() == Id) return Item;
    throw Exception("no item for that form");
  }
  THtmlElement& Node(const char16_t* Id) { return *Browser->HtmlDocument()->FindById(Id); }

  std::shared_ptr<THeadlessBrowser> Browser = THeadlessBrowser::CreateTop(nullptr);
  TPageFormSet Forms;
};
}  // namespace

TEST_F(PageForms, FramesShareOneSetTopDocumentFirstThenDepthFirst) {
  Load("frameset.html");
  EXPECT_EQ(Ids(), (std::vector<std::string>{"top1#1", "top2#2", "f1#3", "f2#4"}));
  EXPECT_EQ(ItemOf(u"f2").FActionURL, DirURL + u"two.cgi");
  EXPECT_EQ(ItemOf(u"top2").FActionURL, u"file:///login");
  EXPECT_EQ(ItemOf(u"top2").FMethod, u"post");
  EXPECT_EQ(ItemOf(u"top1").FMethod, u"get");
  // The number is written into the form as a 32-bit integer.
  EXPECT_EQ(ItemOf(u"f1").FHtmlForm->GetAttribute(u"formid", 0).VarType(), TVarType::Integer);
}

TEST_F(PageForms, RescanKeepsItemsAndNumbersNothingNew) {
  Load("frameset.html");
  TFormItem* First = &Forms[0];
  First->FMatchScore = 42;
  RefreshPageForms(Browser, Forms);
  RefreshPageForms(Browser, Forms);
  EXPECT_EQ(Ids(), (std::vector<std::string>{"top1#1", "top2#2", "f1#3", "f2#4"}));
  EXPECT_EQ(&Forms[0], First);
  EXPECT_EQ(Forms[0].FMatchScore, 42);
  EXPECT_EQ(Forms.FNextFormNumber, 5);
}

TEST_F(PageForms, ANewPageNumbersOnAndTheOldItemsGo) {
  Load("frameset.html");
  Load("submit.html");
  EXPECT_EQ(Ids(), (std::vector<std::string>{"f#5", "g#6"}));
  // A form a script adds later gets the next number at the next rescan.
  auto Form = CreateElement(u"form");
  Form->SetAttribute(u"id", TVariant(u"added"), 0);
  std::static_pointer_cast<THtmlElement>(Browser->HtmlDocument()->Body())->AppendChild(Form);
  RefreshPageForms(Browser, Forms);
  EXPECT_EQ(Ids(), (std::vector<std::string>{"f#5", "g#6", "added#7"}));
}

TEST_F(PageForms, AuthoredNumbersAddressesAndIdentity) {
  Load("frameset.html");  // items 1..4, the first numbered 1..4
  Forms.Delete(0);        // so that number 7 is free, then make one item 7 from "an earlier document"
  Forms[0].FKeyNumber = 7;
  TFormItem* Earlier = &Forms[0];
  const WideString EarlierAction = Earlier->FActionURL;
  Load("identity.html");
  // FormID="7" is taken as written, and the earlier item numbered 7 is reused as it was.
  EXPECT_EQ(&ItemOf(u"top2"), Earlier);
  EXPECT_EQ(Earlier->FActionURL, EarlierAction);
  EXPECT_EQ(Browser->HtmlDocument()->FindById(u"authored")->GetAttribute(u"FormID", 0).VarType(), TVarType::String);
  // FormID="abc" does not convert: that form is not in the set.
  for (TFormItem& Item : Forms) EXPECT_NE(Item.FHtmlForm->GetAttribute(u"id", 0).AsWideString(), u"bad");

  TFormItem& Plain = ItemOf(u"plain");
  EXPECT_EQ(GUIDToString(Plain.GetFormSysID()), "{F817E1CA-C508-4629-9D06-B622A2392CA1}");
  EXPECT_TRUE(ItemOf(u"noaction").GetFormSysID().IsNull());
  EXPECT_EQ(ItemOf(u"noaction").FMethod, u"post");
  // An empty action gives the document's own address.
  EXPECT_EQ(ItemOf(u"noaction").FActionURL, DirURL + u"identity.html");
}

TEST_F(PageForms, ActionsResolveAgainstTheNormalisedDocumentAddress) {
  Browser->Pages().AddPage(u"http://a.com/dir/", R"(<form id=a action="post.cgi"></form>)");
  Browser->Pages().AddPage(u"http://a.com/d/a.asp?x=1", R"(<form id=b></form><form id=c action="?q=1"></form>)");
  Browser->Navigate(u"http://a.com/dir/", {}, {}, {}, {});
  RefreshPageForms(Browser, Forms);
  EXPECT_EQ(ItemOf(u"a").FActionURL, u"http://a.com/post.cgi");  // the slash went before resolution
  Browser->Navigate(u"http://a.com/d/a.asp?x=1", {}, {}, {}, {});
  RefreshPageForms(Browser, Forms);
  EXPECT_EQ(ItemOf(u"b").FActionURL, u"http://a.com/d/a.asp");
  EXPECT_EQ(ItemOf(u"c").FActionURL, u"http://a.com/d/a.asp");
}

TEST_F(PageForms, TheSubmitMarkIsExclusive) {
  Load("frameset.html");
  Forms[1].FSubmitElement = Forms[1].FHtmlForm;
  Forms[1].SetSubmitTarget(true);
  Forms[2].SetSubmitTarget(true);
  EXPECT_FALSE(Forms[1].FSubmitTarget);
  EXPECT_EQ(Forms[1].FSubmitElement, nullptr);
  EXPECT_TRUE(Forms[2].FSubmitTarget);
  int Marked = 0;
  for (TFormItem& Item : Forms) Marked += Item.FSubmitTarget;
  EXPECT_EQ(Marked, 1);
}

TEST_F(PageForms, PressesRememberTheSubmitControl) {
  Load("submit.html");
  TFormItem& F = ItemOf(u"f");
  Browser->UserClick(Node(u"text"));
  EXPECT_EQ(F.FSubmitElement, nullptr);
  Browser->UserClick(Node(u"btn"));  // a button element of type button does not submit
  EXPECT_EQ(F.FSubmitElement, nullptr);
  Browser->UserClick(Node(u"plainbutton"));  // an input of type button does (pages submit from script)
  EXPECT_TRUE(IsSameObject(F.FSubmitElement, Browser->HtmlDocument()->FindById(u"plainbutton")));

  // A press on an image input makes it the submit control; a later press on a text field does not forget it.
  struct TCancelAll {
    TSHDocVwDWebBrowserEvents2 Sink;
  } Cancel;
  Cancel.Sink.OnBeforeNavigate2 = [](TEventSink*, const std::shared_ptr<IInterface>&, TVariant&, TVariant&, TVariant&,
                                     TVariant&, TVariant&, bool& C) { C = true; };
  Cancel.Sink.Connect(Browser);
  int Submitted = 0;
  F.SetOnSubmit([&](TFormItem& Item) {
    EXPECT_EQ(&Item, &F);
    ++Submitted;
  });
  Browser->UserClick(Node(u"img"));
  EXPECT_TRUE(IsSameObject(F.FSubmitElement, Browser->HtmlDocument()->FindById(u"img")));
  EXPECT_EQ(Submitted, 1);  // the image input submitted the form: onsubmit reached the item
  EXPECT_TRUE(F.FSubmitTarget);
  Browser->UserClick(Node(u"text"));
  EXPECT_TRUE(IsSameObject(F.FSubmitElement, Browser->HtmlDocument()->FindById(u"img")));
}

TEST_F(PageForms, SubmitClicksTheRememberedControlElseSubmitsQuietly) {
  Load("submit.html");
  int Submitted = 0;
  ItemOf(u"f").SetOnSubmit([&](TFormItem&) { ++Submitted; });
  ItemOf(u"f").Submit();  // no control known: the form submits without onsubmit
  Browser->RunPending();
  EXPECT_EQ(Submitted, 0);
  EXPECT_EQ(Browser->Requests.back().URL, DirURL + u"done.cgi");
  EXPECT_EQ(Browser->Requests.back().PostData, "text=");

  Load("submit.html");
  TFormItem& F = ItemOf(u"f");
  F.SetOnSubmit([&](TFormItem&) { ++Submitted; });
  F.FSubmitElement = Browser->HtmlDocument()->FindById(u"go");
  F.Submit();  // clicks "go": the form's onsubmit reaches the item inside Submit
  EXPECT_EQ(Submitted, 1);
  EXPECT_TRUE(F.FSubmitTarget);
  Browser->RunPending();
  EXPECT_EQ(Browser->Requests.back().PostData, "text=&go=Go");
}
