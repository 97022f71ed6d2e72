// What a user does on a page besides filling and saving forms, on whole page loads with the
// reference store: clicks recorded across pages and played back, a changed or ambiguous element,
// a navigation that loops, and mail cards taken from mailto links and sent.

#include "HelperTestSupport.h"
#include "headless/HeadlessWindows.h"

using namespace pel;
using namespace pel::test;

namespace {

class DocumentCommands : public THelperScenario {
protected:
  void SetUp() override {
    THelperScenario::SetUp();
    headless::HeadlessMail().Clear();
  }
  // Three pages: a link, a button whose script navigates, an input button whose script navigates.
  void ServeRoute(const char* LinkText = "Next") {
    Browser->DefineScript(u"ToThree", [this](headless::THtmlElement&) {
      Browser->Navigate(u"http://site.example/p3", TVariant(), TVariant(), TVariant(), TVariant());
    });
    Browser->DefineScript(u"ToFour", [this](headless::THtmlElement&) {
      Browser->Navigate(u"http://site.example/p4", TVariant(), TVariant(), TVariant(), TVariant());
    });
    Serve(u"http://site.example/p1", std::string("<html><body><a id=next href=\"http://site.example/p2\">") +
                                         LinkText + "</a></body></html>");
    Serve(u"http://site.example/p2",
          R"(<html><body><button id=b name=go value=on onclick="ToThree">Go</button></body></html>)");
    Serve(u"http://site.example/p3",
          R"(<html><body><input id=ib type=button name=fin value="Finish" onclick="ToFour"></body></html>)");
    Serve(u"http://site.example/p4", "<html><body>Done</body></html>");
  }
  void Record(const WideString& Name) {
    Helper->Agent().SetRecording(true);
    Open(u"http://site.example/p1");
    Click(u"next");
    Click(u"b");
    Click(u"ib");
    Views().Answer("BVStoreDialog", [Name](TForm& Form) {
      EXPECT_EQ(Form.Caption, u"Save navigations");
      Form.Control("FormSetNameEdit").Text = Name;
      Form.Control("Button1").Click();
    });
    Helper->Agent().SetRecording(false);
  }
  // The user plays the navigation from the fill dialog of its first page.
  void Play() {
    Open(u"http://site.example/p1");
    Helper->Agent().FillForm();
    TBVDialog& D = *Helper->Agent().FillDialog();
    int Entry = -1;
    for (int I = 0; I < D.FormSetListBox.Items.Count(); ++I)
      if (D.FormSetListBox.Items.Objects(I) == ekNavigation) Entry = I;
    ASSERT_GE(Entry, 0) << "the navigation is not offered";
    D.FormSetListBox.Select(Entry);
    D.BitBtn3.Click();
    Browser->RunPending();
  }
};

TEST_F(DocumentCommands, ClicksRecordedAcrossPagesArePlayedBackToTheEnd) {
  StartStore();
  OpenWindow();
  ServeRoute();
  Record(u"Checkout");
  ASSERT_EQ(Browser->LocationURL(), u"http://site.example/p4");
  TNavigationRecorder Stored;
  {
    TVariant Data;
    bool LoginRequired = false;
    Store->GetRecord(rkNavigation, u"http://site.example/p1", u"Checkout", u"", Data, LoginRequired);
    Stored.LoadFromVariant(Data);
  }
  ASSERT_EQ(Stored.Steps().Count(), 3);
  EXPECT_EQ(Stored.Steps()[0].ElementTag, u"a");
  EXPECT_EQ(Stored.Steps()[0].ElementName, u"Next");
  EXPECT_EQ(Stored.Steps()[1].ElementTag, u"button");
  EXPECT_EQ(Stored.Steps()[1].ElementValue, u"on");
  EXPECT_EQ(Stored.Steps()[2].ElementType, u"button");
  EXPECT_EQ(Stored.Steps()[2].ElementName, u"fin");

  const size_t Before = Browser->Requests.size();
  Play();
  EXPECT_EQ(Browser->LocationURL(), u"http://site.example/p4");
  EXPECT_EQ(Browser->Requests.size(), Before + 4);  // p1 again, then the three steps
  EXPECT_EQ(Helper->Agent().Recorder().Mode(), rmStopped);
}

TEST_F(DocumentCommands, AChangedLinkTextAsksAndNoEndsThePlayback) {
  StartStore([](TBVOptions& O) { O.AskConfirm = 1; });
  OpenWindow();
  ServeRoute();
  Record(u"Checkout");
  Serve(u"http://site.example/p1", R"(<html><body><a id=next href="http://site.example/p2">Continue</a></body></html>)");
  Play();
  EXPECT_EQ(Browser->LocationURL(), u"http://site.example/p1");
  ASSERT_EQ(Helper->MessageKind(), 5);
  EXPECT_EQ(Helper->Agent().MessageDialog()->Memo1.Text,
            u"Element: Next[http://site.example/p2] has another Name.\r\nClick it?");
  Helper->Agent().MessageDialog()->NoButton.Click();
  EXPECT_EQ(Helper->Agent().Recorder().Mode(), rmStopped);
  Open(u"http://site.example/p1");
  EXPECT_EQ(Browser->LocationURL(), u"http://site.example/p1");
}

TEST_F(DocumentCommands, TwoLinksWithTheRecordedTextAndNoneWithItsAddressStopThePlayback) {
  StartStore();
  OpenWindow();
  ServeRoute();
  Record(u"Checkout");
  Serve(u"http://site.example/p1", R"(<html><body><a href="http://site.example/x">Next</a>
    <a href="http://site.example/y">Next</a></body></html>)");
  Play();
  EXPECT_EQ(Browser->LocationURL(), u"http://site.example/p1");
  EXPECT_EQ(Helper->MessageKind(), 1);
  EXPECT_EQ(Helper->Agent().MessageDialog()->Memo1.Text,
            u"Element: Next[http://site.example/p2] is not found on the page!");
  EXPECT_EQ(Helper->Agent().Recorder().Mode(), rmStopped);
}

// A navigation set as the page's default plays on load when filling and submitting are automatic;
// one that leads back to its own page is stopped by the loop guard.
TEST_F(DocumentCommands, ANavigationThatLeadsBackToItsPageIsStoppedByTheLoopGuard) {
  StartStore();
  OpenWindow();
  Serve(u"http://site.example/loop", R"(<html><body><a id=again href="http://site.example/loop">Again</a></body></html>)");
  Helper->Agent().SetRecording(true);
  Open(u"http://site.example/loop");
  Click(u"again");
  Views().Answer("BVStoreDialog", [](TForm& Form) {
    Form.Control("FormSetNameEdit").Text = u"Round";
    Form.Control("AllRadioButton").Click();
    Form.Control("Button1").Click();
  });
  Helper->Agent().SetRecording(false);
  TBVOptions Auto;
  Auto.AutoSubmit = 1;
  bool Handled = false;
  Store->SetSettings(u"", PackOptions(Auto), true, true, Handled);
  auto Batch = std::make_shared<TBatchRecorder>();
  Helper->Set_Unattended(-1);
  Helper->Set_BatchServer(Batch);
  // The user comes to the page from elsewhere.
  Serve(u"http://site.example/start", "<html><body>start</body></html>");
  Open(u"http://site.example/start");
  Batch->Calls.clear();
  const size_t Before = Browser->Requests.size();
  Open(u"http://site.example/loop");
  // Played once, then the repeat is refused; the page is reported done like any page without forms.
  EXPECT_EQ(Batch->Calls, (std::vector<std::string>{"LoopDetected", "NoForms"}));
  EXPECT_EQ(Browser->Requests.size(), Before + 2);  // the load, the one played click
  EXPECT_EQ(Helper->Agent().Recorder().Mode(), rmStopped);
}

TEST_F(DocumentCommands, AMailtoLinkOffersAMailCardAndSendingItWritesOneMessage) {
  StartStore();
  OpenWindow();
  Serve(u"http://site.example/contact", R"(<html><body>
    <a id=mail href="mailto:sales@site.example?subject=Hello"><img id=icon src="m.gif"></a></body></html>)");
  Open(u"http://site.example/contact");
  Views().Answer("BVStoreDialog", [](TForm& Form) {
    EXPECT_EQ(Form.Caption, u"Save mail card");
    Form.Control("FormSetNameEdit").Text = u"Sales";
    Form.Control("Button1").Click();
  });
  // A click on the picture inside the link is a click on the link.
  Click(u"icon");
  ASSERT_EQ(CardsOf(u"http://site.example/contact").size(), 1u);
  // The same address again is stored already: no dialog.
  Views().Clear();
  Open(u"http://site.example/contact");
  Click(u"mail");
  for (const AnsiString& Shown : Views().Shown()) EXPECT_NE(Shown, "BVStoreDialog");

  Open(u"http://site.example/contact");
  Helper->Agent().FillForm();
  TBVDialog& D = *Helper->Agent().FillDialog();
  int Entry = -1;
  for (int I = 0; I < D.FormSetListBox.Items.Count(); ++I)
    if (D.FormSetListBox.Items.Objects(I) == ekMailCard) Entry = I;
  ASSERT_GE(Entry, 0);
  D.FormSetListBox.Select(Entry);
  D.BitBtn3.Click();
  using TMessage = headless::THeadlessMail::TMessage;
  EXPECT_EQ(headless::HeadlessMail().Outbox(), (std::vector<TMessage>{{"sales@site.example", "", ""}}));

  // Without a mail program the user is told.
  struct TNoMail : IMailServices {
    bool SendMail(const AnsiString&, const AnsiString&, const AnsiString&) const override { return false; }
  } NoMail;
  const TPlatformServices Saved = CurrentPlatformServices();
  TPlatformServices Without = Saved;
  Without.Mail = &NoMail;
  SetPlatformServices(Without);
  Open(u"http://site.example/contact");
  Helper->Tracer().Clear();  // a new chain: the first send is not repeated here
  Helper->Agent().FillForm();
  D.FormSetListBox.Select(Entry);
  D.BitBtn3.Click();
  SetPlatformServices(Saved);
  EXPECT_EQ(Helper->MessageKind(), 1);
  EXPECT_EQ(Helper->Agent().MessageDialog()->Memo1.Text,
            u"No mail program took the mail card.\r\nIs a mail program installed?");
}

TEST_F(DocumentCommands, ClicksDoNothingWhenNeitherSavingNorRecording) {
  StartStore([](TBVOptions& O) { O.SubmitAction = 0; });
  OpenWindow();
  ServeRoute();
  Serve(u"http://site.example/contact", R"(<html><body><a id=mail href="MAILTO:a@b.example">m</a></body></html>)");
  Open(u"http://site.example/contact");
  Click(u"mail");
  Open(u"http://site.example/p2");
  Click(u"b");
  for (const AnsiString& Shown : Views().Shown()) EXPECT_EQ(Shown, "BVDialog");
  EXPECT_EQ(Helper->Agent().Recorder().Steps().Count(), 0);
}

}  // namespace
