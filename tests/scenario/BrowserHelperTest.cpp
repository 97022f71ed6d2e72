// Whole page loads in the headless browser with the helper object and the reference store: the
// automatic fill on load, automatic submits and their loop guard, frames, a fill a page script
// interrupts, saving what the user submits, and a store that is not there.

#include "HelperTestSupport.h"

using namespace pel;
using namespace pel::test;

namespace {

const std::string LoginPage = R"(<!DOCTYPE html><html><head><title>Sign in</title></head><body>
<form id="f" action="http://shop.example/login" method="post">
  <input id="acct" name="acct"> <input id="pin" name="pin" type="password">
  <input id="go" type="submit" value="Sign in">
</form></body></html>)";

class Scenario : public THelperScenario {};

TEST_F(Scenario, ASavedCardIsFilledWhenThePageHasLoaded) {
  StartStore([](TBVOptions& O) { O.AutoFillNew = 0; });
  OpenWindow();
  Serve(u"http://shop.example/login", LoginPage);
  Open(u"http://shop.example/login");
  EXPECT_EQ(Value(u"acct"), u"");
  Type(u"acct", u"alice");
  Type(u"pin", u"s3cret");
  SaveAs(u"Work");

  Open(u"http://shop.example/login");
  EXPECT_EQ(Value(u"acct"), u"alice");
  EXPECT_EQ(Value(u"pin"), u"s3cret");
  // The fill dialog lists the card of the page.
  ASSERT_NE(Helper->Agent().FillDialog(), nullptr);
  EXPECT_TRUE(Helper->Agent().FillDialogShown());
  EXPECT_EQ(Helper->Agent().FillDialog()->EntryText(0), u"[C] Work [http://shop.example/login]");
  EXPECT_EQ(Posts(), 0);
}

// The page posts back to itself: the automatic submit goes once, and the guard stops the second.
TEST_F(Scenario, AnAutomaticSubmitRunsOnceAndTheLoopGuardStopsTheRepeat) {
  for (bool Unattended : {false, true}) {
    SCOPED_TRACE(Unattended ? "unattended" : "attended");
    TearDown();
    Browser = headless::THeadlessBrowser::CreateTop(Pages);
    Folder.~TStoreFolder();
    new (&Folder) TStoreFolder;
    StartStore([](TBVOptions& O) { O.AutoFillNew = 0; });
    OpenWindow();
    Serve(u"http://shop.example/login", LoginPage);
    Open(u"http://shop.example/login");
    Type(u"acct", u"alice");
    Type(u"pin", u"s3cret");
    SaveAs(u"Work");
    TBVOptions On;
    On.AutoFillNew = 0;
    On.AutoSubmit = 1;
    bool Handled = false;
    Store->SetSettings(u"", PackOptions(On), true, true, Handled);
    ASSERT_TRUE(Helper->Agent().AutoSubmitEnabled());
    auto Batch = std::make_shared<TBatchRecorder>();
    if (Unattended) {
      Helper->Set_Unattended(-1);
      Helper->Set_BatchServer(Batch);
    }

    Open(u"http://shop.example/login");
    // Filled, submitted once (the post reached the page again), and stopped there.
    EXPECT_EQ(Posts(), 1);
    EXPECT_EQ(Value(u"acct"), u"alice");
    if (Unattended) {
      EXPECT_EQ(Batch->Calls, std::vector<std::string>{"LoopDetected"});
      EXPECT_EQ(Helper->MessageKind(), 0);
    } else {
      EXPECT_EQ(Helper->MessageKind(), 2);
      ASSERT_NE(Helper->Agent().MessageDialog(), nullptr);
      EXPECT_TRUE(Helper->Agent().MessageDialog()->Showing());
      EXPECT_EQ(Helper->Agent().MessageDialog()->Memo1.Text,
                u"It may well be to get caught in an endless loop.\r\nAre you want to continue?");
      // Yes: the chain starts afresh and the form is submitted once more.
      Helper->Agent().MessageDialog()->YesButton.Click();
      Browser->RunPending();
      EXPECT_EQ(Posts(), 2);
    }
  }
}

TEST_F(Scenario, AFramesetIsProcessedOnceOnLoadAndAFrameThatNavigatesLaterOnItsOwn) {
  StartStore();
  OpenWindow();
  Serve(u"http://site.example/", R"(<html><frameset cols="50%,50%">
    <frame name="left" src="http://site.example/a.html"><frame name="right" src="http://site.example/b.html">
    </frameset></html>)");
  Serve(u"http://site.example/a.html", R"(<html><body><form><input id="e" name="email"></form></body></html>)");
  Serve(u"http://site.example/b.html", R"(<html><body><form><input id="c" name="city"></form></body></html>)");
  Serve(u"http://site.example/a2.html",
        R"(<html><body><form action="/x"><input id="p" name="phone"></form></body></html>)");
  Open(u"http://site.example/");
  EXPECT_EQ(Store->Matches, 1);
  ASSERT_EQ(Browser->Frames().size(), 2u);
  // New forms are filled from the profile on load, frames included.
  EXPECT_EQ(Value(u"e", Browser->Frames()[0].get()), u"john.public@example.com");
  EXPECT_EQ(Value(u"c", Browser->Frames()[1].get()), u"Springfield");
  EXPECT_EQ(Helper->PageForms().Count(), 2);

  Browser->Frames()[0]->Navigate(u"http://site.example/a2.html", TVariant(), TVariant(), TVariant(), TVariant());
  Browser->RunPending();
  EXPECT_EQ(Store->Matches, 2);
  EXPECT_EQ(Value(u"p", Browser->Frames()[0].get()), u"+1 555 0100");
}

// A page script that navigates in the middle of a fill abandons it; the next page, with automatic
// filling off, gets the same card into its empty fields.
TEST_F(Scenario, AFillAPageScriptInterruptsIsRepeatedOnTheNextPageIntoEmptyFields) {
  StartStore([](TBVOptions& O) {
    O.AutoFill = 0;
    O.AutoFillNew = 0;
  });
  OpenWindow();
  bool Armed = false;
  Browser->DefineScript(u"Go", [&](headless::THtmlElement&) {
    if (Armed) Browser->Navigate(u"http://site.example/two", TVariant(), TVariant(), TVariant(), TVariant());
  });
  Serve(u"http://site.example/one", R"(<html><body><form action="/done" method="post">
    <input id="code" name="code"><input id="city" name="city">
    <input id="remember" name="remember" type="checkbox" onclick="Go"></form></body></html>)");
  Serve(u"http://site.example/two", R"(<html><body><form action="/done" method="post">
    <input id="code" name="code" value="kept"><input id="city" name="city"><input id="note" name="note">
    <input id="remember" name="remember" type="checkbox"></form></body></html>)");
  Open(u"http://site.example/one");
  Type(u"code", u"X-1");
  Type(u"city", u"Paris");
  Click(u"remember");
  SaveAs(u"Trip");
  Open(u"http://site.example/one");
  EXPECT_EQ(Value(u"code"), u"");

  // The user picks the card in the fill dialog.
  Armed = true;
  Helper->Agent().FillForm();
  TBVDialog& Dialog = *Helper->Agent().FillDialog();
  Dialog.FormSetListBox.Select(0);
  Dialog.BitBtn2.Click();
  EXPECT_TRUE(Helper->PendingFill());
  Browser->RunPending();
  EXPECT_EQ(Browser->LocationURL(), u"http://site.example/two");
  EXPECT_EQ(Value(u"code"), u"kept");
  EXPECT_EQ(Value(u"city"), u"Paris");
  EXPECT_FALSE(Helper->PendingFill());
}

TEST_F(Scenario, WhatTheUserSubmitsIsSavedOnceSilentlyOrThroughTheStoreDialog) {
  StartStore([](TBVOptions& O) {
    O.AutoFillNew = 0;
    O.SubmitAction = 2;
  });
  OpenWindow();
  Serve(u"http://shop.example/login", LoginPage);
  auto SubmitAs = [&](const WideString& Acct) {
    Open(u"http://shop.example/login");
    Type(u"acct", Acct);
    Type(u"pin", u"pw");
    Click(u"go");
  };
  SubmitAs(u"alice");
  EXPECT_EQ(Posts(), 1);
  EXPECT_EQ(CardsOf(u"http://shop.example/login").size(), 1u);
  // The same data again: already stored.
  SubmitAs(u"alice");
  EXPECT_EQ(CardsOf(u"http://shop.example/login").size(), 1u);
  SubmitAs(u"bob");
  EXPECT_EQ(CardsOf(u"http://shop.example/login").size(), 2u);
  // Nothing asked along the way: neither the store dialog nor the posted-form question.
  for (const AnsiString& Shown : Views().Shown()) EXPECT_NE(Shown, "QuestionBox");
  for (const AnsiString& Shown : Views().Shown()) EXPECT_NE(Shown, "BVStoreDialog");

  // Through the dialog.
  TBVOptions Ask;
  Ask.AutoFillNew = 0;
  Ask.SubmitAction = 1;
  bool Handled = false;
  Store->SetSettings(u"", PackOptions(Ask), true, true, Handled);
  Views().Answer("BVStoreDialog", [](TForm& Form) {
    EXPECT_EQ(Form.Caption, u"Save form-card");
    Form.Control("FormSetNameEdit").Text = u"Carol's";
    Form.Control("Button1").Click();
  });
  SubmitAs(u"carol");
  auto Names = CardsOf(u"http://shop.example/login");
  EXPECT_NE(std::find(Names.begin(), Names.end(), u"Carol's"), Names.end());
}

TEST_F(Scenario, UnattendedProcessingReportsPagesWithAndWithoutForms) {
  StartStore([](TBVOptions& O) { O.AutoSubmit = 1; });
  OpenWindow();
  auto Batch = std::make_shared<TBatchRecorder>();
  Helper->Set_Unattended(-1);
  Helper->Set_BatchServer(Batch);
  Helper->Set_ProfileName(u"");
  Serve(u"http://site.example/plain", "<html><body><p>Nothing to fill here.</p></body></html>");
  Serve(u"http://site.example/odd", R"(<html><body><form action="/x">
    <input name="zzqq_unknown_thing"></form></body></html>)");
  Open(u"http://site.example/plain");
  Open(u"http://site.example/odd");
  EXPECT_EQ(Batch->Calls, (std::vector<std::string>{"NoForms", "PageDone"}));
  // Unattended: no dialog was shown.
  EXPECT_FALSE(Helper->Agent().FillDialogShown());
  EXPECT_EQ(Posts(), 0);
}

TEST_F(Scenario, WindowCommandsOfTheStoreReachOnlyTheirWindow) {
  StartStore();
  OpenWindow();
  Serve(u"http://shop.example/login", LoginPage);
  Open(u"http://shop.example/login");
  Views().Clear();
  Helper->WindowCommand(Browser->GetHWND() + 2, 1);
  EXPECT_TRUE(Views().Shown().empty());
  Helper->SetCredentialDialogActive(true);
  Helper->WindowCommand(Browser->GetHWND(), 1);
  EXPECT_TRUE(Views().Shown().empty());
  Helper->SetCredentialDialogActive(false);
  // Through the store itself, as its window command.
  Store->ExecCommand(Browser->GetHWND(), 1);
  EXPECT_EQ(Views().Shown(), std::vector<AnsiString>{"BVStoreDialog"});
}

TEST_F(Scenario, ProcessingThatIsEnteredAgainReturnsAtOnce) {
  StartStore();
  OpenWindow();
  Serve(u"http://shop.example/login", LoginPage);
  int Inner = -1;
  // While the first processing shows the fill dialog, a second one is asked for.
  Views().Answer("BVDialog", [&](TForm&) {
    const int Before = Store->Matches;
    Helper->ProcessDocument(Browser, true);
    Inner = Store->Matches - Before;
  });
  Open(u"http://shop.example/login");
  EXPECT_EQ(Inner, 0);
  EXPECT_EQ(Store->Matches, 1);
}

TEST_F(Scenario, APageThatChangesItsFormsOnItsWayOutIsNotLeft) {
  StartStore();
  OpenWindow();
  int Added = 0;
  Browser->DefineScript(u"AddForm", [&](headless::THtmlElement&) {
    if (Added++) return;
    auto Doc = Browser->HtmlDocument();
    auto Body = std::dynamic_pointer_cast<headless::THtmlElement>(Doc->Body());
    auto Form = headless::CreateElement(u"form");
    Form->AppendChild(headless::CreateElement(u"input"));
    Body->AppendChild(Form);
  });
  Serve(u"http://shop.example/page", R"(<html><body><form><input name="q"></form>
    <a id="away" href="http://shop.example/other" onclick="AddForm">away</a></body></html>)");
  Serve(u"http://shop.example/other", "<html><body>other</body></html>");
  Open(u"http://shop.example/page");
  Click(u"away");
  EXPECT_EQ(Browser->LocationURL(), u"http://shop.example/page");
  EXPECT_EQ(Helper->PageForms().Count(), 2);
  // Asked again with the forms as they now are, it goes.
  Click(u"away");
  EXPECT_EQ(Browser->LocationURL(), u"http://shop.example/other");
}

// The store quits while a page shows and is started again: the forms the quit let go of were
// never seen to change, so the user's next click or submission goes where it was meant to, and the
// page it leads to is filled again.
TEST_F(Scenario, AStoreThatQuitsAndComesBackLosesNoNavigationOfTheUser) {
  const std::string Page = R"(<html><body>
    <form action="http://shop.example/next" method="post"><input id="acct" name="acct">
      <input id="go" type="submit" value="Sign in"></form>
    <form action="http://shop.example/find"><input name="q"></form>
    <a id="link" href="http://shop.example/next">next</a></body></html>)";
  for (const char16_t* By : {u"link", u"go"}) {
    SCOPED_TRACE(WideToAnsi(By));
    TearDown();
    Browser = headless::THeadlessBrowser::CreateTop(Pages);
    StartStore();
    OpenWindow();
    Serve(u"http://shop.example/page", Page);
    Serve(u"http://shop.example/next", R"(<html><body><form><input id="e" name="email"></form></body></html>)");
    Open(u"http://shop.example/page");
    ASSERT_EQ(Helper->PageForms().Count(), 2);

    Store->Shutdown();
    EXPECT_FALSE(Helper->Agent().GetConnected());
    EXPECT_EQ(Helper->PageForms().Count(), 0);
    StartStore();

    Click(By);
    ASSERT_EQ(Browser->LocationURL(), u"http://shop.example/next");
    EXPECT_EQ(Value(u"e"), u"john.public@example.com");
  }
}

TEST_F(Scenario, WithoutAStoreEveryPageLoadsAndNothingIsShown) {
  OpenWindow();
  Serve(u"http://shop.example/login", LoginPage);
  Serve(u"http://site.example/", R"(<html><frameset><frame src="http://shop.example/login"></frameset></html>)");
  EXPECT_NO_THROW(Open(u"http://shop.example/login"));
  Type(u"acct", u"alice");
  EXPECT_NO_THROW(Click(u"go"));
  EXPECT_NO_THROW(Open(u"http://site.example/"));
  EXPECT_NO_THROW(Helper->Agent().SaveForms());
  EXPECT_NO_THROW(Helper->WindowCommand(Browser->GetHWND(), 1));
  EXPECT_TRUE(Views().Shown().empty());
  EXPECT_EQ(Posts(), 1);
  EXPECT_FALSE(Helper->Agent().GetConnected());
}

// A frame's form posted by a script (no submit event) asks whether to save it, except while the
// top document is still loading.
TEST_F(Scenario, APostedFrameNavigationAsksOnlyOnceTheTopDocumentIsComplete) {
  StartStore([](TBVOptions& O) { O.AutoFillNew = 0; });
  OpenWindow();
  int Posted = 0;
  Browser->DefineScript(u"PostNow", [&](headless::THtmlElement& Body) {
    if (Posted++) return;
    auto Doc = Body.OwnerDocument();
    Supports<IHTMLFormElement>(Doc->Forms()->Item(0))->Submit();
  });
  Serve(u"http://site.example/", R"(<html><frameset><frame name="f" src="http://site.example/inner"></frameset></html>)");
  Serve(u"http://site.example/inner", R"(<html><body onload="PostNow"><form action="http://site.example/inner"
    method="post"><input name="q" value="x"></form></body></html>)");
  Open(u"http://site.example/");
  EXPECT_EQ(Posts(), 1);
  for (const AnsiString& Shown : Views().Shown()) EXPECT_NE(Shown, "QuestionBox");

  Views().Clear();
  Views().Answer("QuestionBox", [](TForm& Form) { Form.Control("NoButton").Click(); });
  auto Frame = Browser->Frames()[0];
  Supports<IHTMLFormElement>(Frame->HtmlDocument()->Forms()->Item(0))->Submit();
  Browser->RunPending();
  EXPECT_EQ(Posts(), 2);
  ASSERT_FALSE(Views().Shown().empty());
  EXPECT_EQ(Views().Shown()[0], "QuestionBox");
}

TEST_F(Scenario, TheHelperPublishesItsAgentAndTakesBatchSettings) {
  OpenWindow();
  auto Published = Supports<IBrivaneAgent>(Browser->GetProperty(AgentPropertyName).AsObject());
  ASSERT_NE(Published, nullptr);
  EXPECT_EQ(Published.get(), static_cast<IBrivaneAgent*>(&Helper->Agent()));
  std::shared_ptr<IInterface> Site = Browser;
  EXPECT_EQ(Helper->GetSite(IID_IHelperBatchControl, &Site), HR_S_OK);
  EXPECT_EQ(Site, nullptr);
  EXPECT_EQ(Helper->GetSite(IID_IHelperBatchControl, nullptr), HR_S_OK);
  EXPECT_EQ(Helper->GetBrowserWindow(), Browser->GetHWND());
  EXPECT_EQ(Helper->Agent().OnGetParentWindow(), Browser->GetHWND());

  EXPECT_EQ(Helper->Get_Unattended(), 0);
  Helper->Set_Unattended(1);
  EXPECT_EQ(Helper->Get_Unattended(), -1);
  EXPECT_TRUE(Helper->Agent().Unattended());
  Helper->Set_ProfileName(u"Work");
  EXPECT_EQ(Helper->Get_ProfileName(), u"Work");
  auto Batch = std::make_shared<TBatchRecorder>();
  Helper->Set_BatchServer(Batch);
  EXPECT_EQ(Helper->Get_BatchServer(), Batch);
  Helper->Set_BatchServer(nullptr);
  EXPECT_EQ(Helper->Get_BatchServer(), nullptr);

  // A site that is no browser is refused with a result code.
  EXPECT_EQ(Helper->SetSite(std::make_shared<TBatchRecorder>()), HR_E_NOINTERFACE);
  // Detached, the agent outlives the helper without calling back into it.
  std::shared_ptr<IBrivaneAgent> Kept = Published;
  EXPECT_EQ(Helper->SetSite(nullptr), HR_S_OK);
  Helper.reset();
  EXPECT_NO_THROW(Kept->SaveForms());
  EXPECT_NO_THROW(Kept->FillForm());
}

// The store's page list gets the page when it starts loading (no picture) and when it is complete
// (its thumbnail, a GIF; the integer 0 for a page that draws nothing); unattended runs report
// nothing.
TEST_F(Scenario, PagesAreReportedToTheStoreWithTheirThumbnail) {
  StartStore();
  OpenWindow();
  Serve(u"http://site.example/text", "<html><body><h1>Welcome</h1><p>Some text to see from afar.</p></body></html>");
  Serve(u"http://site.example/blank", "<html><body></body></html>");
  Open(u"http://site.example/text");
  ASSERT_GE(Store->Reports.size(), 2u);
  const TVariant& First = Store->Reports[Store->Reports.size() - 2];
  const TVariant& Last = Store->Reports.back();
  EXPECT_EQ(First.VarType(), TVarType::Integer);
  ASSERT_EQ(Last.VarType(), TVarType::ByteArray);
  const auto& Gif = Last.AsBytes();
  ASSERT_GT(Gif.size(), 13u);
  EXPECT_EQ(std::string(Gif.begin(), Gif.begin() + 6), "GIF89a");
  EXPECT_EQ(Gif[6] | (Gif[7] << 8), 82);  // 8 percent of 1024
  EXPECT_EQ(Gif[8] | (Gif[9] << 8), 61);  // 8 percent of 768

  Open(u"http://site.example/blank");
  EXPECT_EQ(Store->Reports.back().VarType(), TVarType::Integer);
  EXPECT_EQ(Store->Reports.back().AsInteger(), 0);

  const size_t Before = Store->Reports.size();
  Helper->Set_Unattended(-1);
  Open(u"http://site.example/text");
  EXPECT_EQ(Store->Reports.size(), Before);
}

// No page or no window gives no thumbnail at all; once there is one to draw, a failure of the
// drawing, the scaling or the encoding leaves the integer 0, as a page that draws nothing.
TEST_F(Scenario, AThumbnailThatFailsIsTheIntegerZeroAndOneWithoutAWindowIsEmpty) {
  OpenWindow();
  Serve(u"http://site.example/text", "<html><body><p>Some text.</p></body></html>");
  Open(u"http://site.example/text");
  struct TPainter : IPageImages {
    std::function<bool(TPageBitmap&)> Answer;
    bool Draw(const std::shared_ptr<IWebBrowser2>&, TPageBitmap& Bitmap) const override { return Answer(Bitmap); }
  } Painter;
  struct TCase {
    const char* What;
    std::function<bool(TPageBitmap&)> Answer;
    TVarType Kind;
  };
  const TCase Cases[] = {
      {"no window", [](TPageBitmap&) { return false; }, TVarType::Empty},
      {"nothing drawn", [](TPageBitmap&) { return true; }, TVarType::Integer},
      {"the drawing fails", [](TPageBitmap&) -> bool { throw Exception("no view"); }, TVarType::Integer},
      {"a bitmap short of greys",
       [](TPageBitmap& B) {
         B.Width = 100;
         B.Height = 100;
         B.Greys.assign(10, 0);
         return true;
       },
       TVarType::Integer},
      {"a bitmap too wide for a GIF",
       [](TPageBitmap& B) {
         B.Width = 900000;
         B.Height = 100;
         B.CellWidth = 900000;
         B.CellHeight = 100;
         B.Greys.assign(1, 0);
         return true;
       },
       TVarType::Integer},
      {"a picture",
       [](TPageBitmap& B) {
         B.Width = 200;
         B.Height = 100;
         B.Greys.assign(20000, 95);
         return true;
       },
       TVarType::ByteArray},
  };
  const TPlatformServices Saved = CurrentPlatformServices();
  TPlatformServices With = Saved;
  With.PageImages = &Painter;
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    Painter.Answer = C.Answer;
    SetPlatformServices(With);
    const TVariant Image = Helper->CapturePageImage();
    SetPlatformServices(Saved);
    ASSERT_EQ(Image.VarType(), C.Kind);
    if (C.Kind == TVarType::Integer) {
      EXPECT_EQ(Image.AsInteger(), 0);
    }
    if (C.Kind == TVarType::ByteArray) {
      EXPECT_EQ(Image.AsBytes()[6], 16);  // 8 percent of 200
    }
  }
  // Without a page: no thumbnail.
  Helper->SetSite(nullptr);
  EXPECT_EQ(Helper->CapturePageImage().VarType(), TVarType::Empty);
}

}  // namespace
