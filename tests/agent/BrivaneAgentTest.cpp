// The agent on its own and against a store double: its lists, page keys, options and predicates,
// the connection and its guarded calls, translated captions, and the show / hide logic of its two
// non-modal dialogs.

#include <gtest/gtest.h>

#include "AgentTestSupport.h"
#include "Common/TransitForms.h"
#include "dialogs/FillDialog.h"
#include "dialogs/MessageDialog.h"
#include "headless/HeadlessWindows.h"

using namespace pel;
using namespace pel::test;

namespace {

class Agent : public testing::Test {
protected:
  void SetUp() override { Views().Clear(); }
  void TearDown() override { test::ExpectEveryAnswerUsed(); }
};

TVariant Pairs(std::initializer_list<TNamePair> List) { return PairsToVariant(TNamePairs(List)); }

std::vector<std::pair<WideString, intptr_t>> Entries(const TWideStringList& List) {
  std::vector<std::pair<WideString, intptr_t>> Result;
  for (int I = 0; I < List.Count(); ++I) Result.emplace_back(List[I], List.Objects(I));
  return Result;
}

const char16_t* const EnglishCaptions[16] = {
    u"Activate",     u"Login",      u"Pelmora Manager", u"Save forms",     u"Fill form",        u"Bind field",
    u"Unbind field", u"Add to profile field",           u"Clear forms",    u"Record",           u"Auto fill form",
    u"Auto submit form", u"Options", u"Add synonim",    u"Add value",      u"Add all values"};

TEST_F(Agent, StartsDisconnectedWithDefaultsAndTheSixteenCaptionsFromTheResources) {
  TBrivaneAgent A;
  ASSERT_EQ(A.ActionCaptions().Count(), 16);
  for (int I = 0; I < 16; ++I) EXPECT_EQ(A.ActionCaptions()[I], EnglishCaptions[I]) << I;
  EXPECT_EQ(A.Options(), TBVOptions());
  EXPECT_EQ(A.StoredOptions(), TBVOptions());
  EXPECT_TRUE(A.GetActive());
  EXPECT_TRUE(A.GetGUIActive());
  EXPECT_EQ(A.Caption(), "Pelmora");
  EXPECT_FALSE(A.GetRecording());
  // No store runs: every query answers as disconnected.
  EXPECT_FALSE(A.GetConnected());
  EXPECT_FALSE(A.GetLoggedIn());
  EXPECT_FALSE(A.Login());
  EXPECT_EQ(A.TranslateCaption(u"Options"), u"Options");
  std::shared_ptr<IPelServer> Server;
  A.GetServer(Server);
  EXPECT_EQ(Server, nullptr);
}

TEST_F(Agent, PredicatesFollowOptionsUnattendedRunsAndRecording) {
  struct TCase {
    bool Unattended, Recording;
    TBVOptions Options;
    bool AutoFill, AutoSubmit, AutoFillNew, AutoBind, AutoShow, AskConfirm;
    uint8_t SubmitAction;
  };
  const TBVOptions AllOff{0, 0, 0, 0, 0, 0, 0};
  const TBVOptions AllOn{1, 1, 1, 1, 1, 1, 1};
  const TCase Cases[] = {
      {false, false, AllOff, false, false, false, false, false, false, 0},
      {false, false, AllOn, true, true, true, true, true, true, 1},
      {true, false, AllOff, true, false, true, true, false, false, 2},
      {true, false, AllOn, true, true, true, true, false, false, 2},
      {false, true, AllOn, false, false, false, true, true, true, 1},
      {false, true, AllOff, false, false, false, false, false, true, 0},
      // Recording wins over an unattended run for filling and asking.
      {true, true, AllOn, false, false, false, true, false, true, 2},
  };
  for (const TCase& C : Cases) {
    TEventingFakeServer* Fake = new TEventingFakeServer;
    std::shared_ptr<TEventingFakeServer> Server(Fake);
    Fake->Answer("GetSettings", {TVariant(PackOptions(C.Options)), TVariant(false)});
    TRunningServer Running(Server);
    TBrivaneAgent A;
    ASSERT_TRUE(A.GetConnected());
    ASSERT_EQ(A.Options(), C.Options);
    A.SetUnattended(C.Unattended);
    A.SetRecording(C.Recording);
    SCOPED_TRACE(testing::Message() << "unattended " << C.Unattended << " recording " << C.Recording << " options "
                                    << PackOptions(C.Options));
    EXPECT_EQ(A.AutoFillEnabled(), C.AutoFill);
    EXPECT_EQ(A.AutoSubmitEnabled(), C.AutoSubmit);
    EXPECT_EQ(A.AutoFillNewEnabled(), C.AutoFillNew);
    EXPECT_EQ(A.AutoBindEnabled(), C.AutoBind);
    EXPECT_EQ(A.AutoShowEnabled(), C.AutoShow);
    EXPECT_EQ(A.AskConfirmEnabled(), C.AskConfirm);
    EXPECT_EQ(A.SubmitAction(), C.SubmitAction);
  }
}

TEST_F(Agent, FormCardListsMergeWithoutDuplicatesAndMarkOnlyTheNamedSet) {
  TBrivaneAgent A;
  A.SetFormCardList(Pairs({{u"login", u"Work"}, {u"login", u"Home"}, {u"search", u"Default"}}), u"login", u"Home");
  A.SetFormCardList(Pairs({{u"login", u"work"}, {u"login", u"Spare"}, {u"search", u"Default"}}), u"search",
                    u"Missing");
  ASSERT_EQ(A.CardSets().Count(), 2);
  EXPECT_EQ(A.CardSets()[0].Name, u"login");
  // Card names are looked up ignoring case, as the store's names are.
  using TEntries = std::vector<std::pair<WideString, intptr_t>>;
  EXPECT_EQ(Entries(A.CardSets()[0].Cards), (TEntries{{u"Work", 0}, {u"Home", 1}, {u"Spare", 0}}));
  EXPECT_EQ(Entries(A.CardSets()[1].Cards), (TEntries{{u"Default", 0}}));
  // Set names are exact.
  A.SetFormCardList(Pairs({{u"Login", u"Other"}}), u"Login", u"Other");
  ASSERT_EQ(A.CardSets().Count(), 3);
  EXPECT_EQ(Entries(A.CardSets()[2].Cards), (TEntries{{u"Other", 1}}));
  A.ClearFormCardList();
  EXPECT_EQ(A.CardSets().Count(), 0);
}

TEST_F(Agent, PairListsReplaceTheirEntriesKeepDuplicatesAndMarkTheCurrentOne) {
  TBrivaneAgent A;
  using TEntries = std::vector<std::pair<WideString, intptr_t>>;
  A.SetNavigationList(Pairs({{u"a", u"To basket"}, {u"b", u"To basket"}, {u"a", u"Checkout"}}), u"checkout");
  EXPECT_EQ(Entries(A.Navigations()), (TEntries{{u"To basket", 0}, {u"To basket", 0}, {u"Checkout", 1}}));
  EXPECT_EQ(A.GetCurrentNavigation(), u"Checkout");
  EXPECT_TRUE(A.HasNavigations());
  A.SetNavigationList(Pairs({{u"a", u"Only"}}), u"");
  EXPECT_EQ(Entries(A.Navigations()), (TEntries{{u"Only", 0}}));
  EXPECT_EQ(A.GetCurrentNavigation(), u"");

  A.SetMailCardList(Pairs({{u"k", u"Friends"}}), u"Friends");
  EXPECT_EQ(A.GetCurrentMailCard(), u"Friends");
  A.SetAuthList(Pairs({{u"k", u"me"}, {u"k", u"admin"}}), u"admin");
  EXPECT_EQ(Entries(A.AuthRecords()), (TEntries{{u"me", 0}, {u"admin", 1}}));
  A.SetAuthList(TVariant::Null(), u"admin");
  EXPECT_EQ(A.AuthRecords().Count(), 0);

  // A stream that ends before its count yields the pairs that are wholly there.
  TMemoryStream S;
  S.WriteInt32(3);
  WriteWideString(S, u"set");
  WriteWideString(S, u"First");
  WriteWideString(S, u"set");
  TVariant Short;
  StreamToVariant(S, Short);
  A.SetMailCardList(Short, u"");
  EXPECT_EQ(Entries(A.MailCards()), (TEntries{{u"First", 0}}));
}

TEST_F(Agent, CurrentProfileIsTheFirstMarkedEntry) {
  TBrivaneAgent A;
  EXPECT_EQ(A.GetCurrentProfile(), u"");
  A.SetProfileList(TVariant(std::vector<WideString>{u"Home", u"Work"}), u"nobody");
  EXPECT_EQ(A.GetCurrentProfile(), u"");
  A.SetProfileList(TVariant(std::vector<WideString>{u"Home", u"Work"}), u"WORK");
  EXPECT_EQ(A.GetCurrentProfile(), u"Work");
}

TEST_F(Agent, SetURLKeysListsAndEvent) {
  struct TCase {
    const char16_t* URL;
    const char16_t* URLKey;
    const char16_t* SiteKey;
  };
  const TCase Cases[] = {
      {u"http://www.ExAmple.COM/Shop/Cart.aspx?id=1", u"http://ExAmple.COM/Shop/Cart.aspx?id=1", u"example.com"},
      {u"HTTPS://WWW.Bank.Example/login", u"https://Bank.Example/login", u"bank.example"},
      {u"  http://shop.example:8080/a ", u"  http://shop.example:8080/a ", u"shop.example:8080"},
      {u"http://wwwx.example/", u"http://wwwx.example/", u"wwwx.example"},
  };
  for (const TCase& C : Cases) {
    TBrivaneAgent A;
    int Changes = 0;
    A.OnURLChange = [&](TBrivaneAgent* Sender) {
      EXPECT_EQ(Sender, &A);
      ++Changes;
    };
    A.SetURL(C.URL);
    EXPECT_EQ(A.URL(), C.URL);
    EXPECT_EQ(A.URLKey(), C.URLKey) << WideToAnsi(A.URL());
    EXPECT_EQ(A.SiteKey(), C.SiteKey) << WideToAnsi(A.URL());
    EXPECT_EQ(Changes, 1);
  }

  TBrivaneAgent A;
  int Changes = 0;
  A.OnURLChange = [&](TBrivaneAgent*) { ++Changes; };
  A.SetURL(u"http://a.example/1");
  A.SetFormCardList(Pairs({{u"s", u"c"}}), u"s", u"c");
  A.SetProfileList(TVariant(std::vector<WideString>{u"Home"}), u"Home");
  A.SetNavigationList(Pairs({{u"s", u"n"}}), u"");
  A.SetMailCardList(Pairs({{u"s", u"m"}}), u"");
  A.SetAuthList(Pairs({{u"s", u"r"}}), u"");
  A.SetURL(u"http://a.example/1");
  EXPECT_EQ(Changes, 1);
  EXPECT_EQ(A.Navigations().Count(), 1);
  A.SetURL(u"http://a.example/2");
  EXPECT_EQ(Changes, 2);
  EXPECT_EQ(A.Navigations().Count(), 0);
  EXPECT_EQ(A.MailCards().Count(), 0);
  EXPECT_EQ(A.AuthRecords().Count(), 0);
  // Cards and profiles stay until the helper object replaces them.
  EXPECT_EQ(A.CardSets().Count(), 1);
  EXPECT_EQ(A.ProfileList().Count(), 1);
}

TEST_F(Agent, RecordingHandsItsStepsOverWhenItEnds) {
  TBrivaneAgent A;
  int Done = 0;
  WideString FirstURL;
  TVariant Data;
  A.OnRecordingDone = [&](TBrivaneAgent*, const WideString& URL, const TVariant& V) {
    ++Done;
    FirstURL = URL;
    Data = V;
  };
  A.SetRecording(false);
  EXPECT_EQ(Done, 0);
  A.SetRecording(true);
  EXPECT_TRUE(A.GetRecording());
  A.Recorder().AddStep(u"http://shop.example/", u"a", u"", u"Basket", u"http://shop.example/basket");
  A.Recorder().AddStep(u"http://shop.example/basket", u"input", u"submit", u"go", u"Pay");
  A.SetRecording(true);  // already recording: the steps stay
  EXPECT_EQ(A.Recorder().Steps().Count(), 2);
  A.SetRecording(false);
  EXPECT_FALSE(A.GetRecording());
  ASSERT_EQ(Done, 1);
  EXPECT_EQ(FirstURL, u"http://shop.example/");
  TNavigationRecorder Copy;
  Copy.LoadFromVariant(Data);
  ASSERT_EQ(Copy.Steps().Count(), 2);
  EXPECT_EQ(Copy.Steps()[1].ElementValue, u"Pay");
  // A new recording starts empty.
  A.SetRecording(true);
  EXPECT_EQ(A.Recorder().Steps().Count(), 0);
}

TEST_F(Agent, CommandsRaiseTheirEventsWithTheAgentAsSender) {
  TBrivaneAgent A;
  std::vector<std::string> Raised;
  auto Note = [&](const char* Name) {
    return [&Raised, Name, &A](TBrivaneAgent* Sender) {
      EXPECT_EQ(Sender, &A);
      Raised.push_back(Name);
    };
  };
  A.OnBindField = Note("bind");
  A.OnUnbindField = Note("unbind");
  A.OnClearForms = Note("clear");
  A.OnFillForm = Note("fill");
  A.OnAddSynonym = Note("synonym");
  A.OnAddValue = Note("value");
  A.OnAddAllValues = Note("all values");
  A.OnSaveForms = [&](TBrivaneAgent*, TFormItem* Form) {
    EXPECT_EQ(Form, nullptr);
    Raised.push_back("save");
  };
  A.OnShowManager = [&](TBrivaneAgent*, const WideString& X, const WideString& Y, const WideString& Z) {
    EXPECT_EQ(X + Y + Z, u"abc");
    Raised.push_back("manager");
  };
  IBrivaneAgent& I = A;
  I.SaveForms();
  I.BindField();
  I.UnbindField();
  I.ShowManager(u"a", u"b", u"c");
  I.ClearForms();
  I.AddSynonym();
  I.AddValue();
  I.AddAllValues();
  I.FillForm();
  EXPECT_EQ(Raised, (std::vector<std::string>{"save", "bind", "unbind", "manager", "clear", "synonym", "value",
                                              "all values", "fill"}));
  // Unassigned events are skipped.
  TBrivaneAgent B;
  EXPECT_NO_THROW(B.SaveForms());
  EXPECT_NO_THROW(B.FillForm());
}

TEST_F(Agent, ConnectSubscribesThenLoadsOptionsDisplayModeLexiconAndTranslations) {
  auto Server = std::make_shared<TEventingFakeServer>();
  TRunningServer Running(Server);
  Server->Answer("GetDisplayMode", {TVariant(1)});
  TBrivaneAgent A;
  A.SetURL(u"http://www.Shop.example/cart");  // connects already, for the site's options
  std::vector<AnsiString> Methods;
  for (const auto& Call : Server->Calls) Methods.push_back(Call.Method);
  EXPECT_EQ(Methods, (std::vector<AnsiString>{"GetSettings", "GetSettings", "GetDisplayMode", "GetLexicon",
                                               "TranslateStrings", "GetSettings"}));
  EXPECT_EQ(Server->Calls[0].Args[0].AsWideString(), u"");
  EXPECT_EQ(Server->Calls[5].Args[0].AsWideString(), u"shop.example");
  EXPECT_EQ(A.DisplayMode(), 1);
  EXPECT_EQ(Server->AdvisedSinks(), 1);
  // The request carries the sixteen captions in order.
  TMemoryStream S;
  VariantToStream(Server->Calls[4].Args[0], S);
  S.SetPosition(0);
  TWideStringList Sent;
  ASSERT_TRUE(ReadCaptionStream(S, Sent));
  EXPECT_EQ(Sent.CommaText(), A.ActionCaptions().CommaText());
  // Connected: nothing is asked again.
  size_t Calls = Server->Calls.size();
  EXPECT_TRUE(A.GetConnected());
  EXPECT_EQ(Server->Calls.size(), Calls);
}

TEST_F(Agent, TranslationsApplyOnlyWhenTheAnswerHasEveryCaption) {
  auto Server = std::make_shared<TEventingFakeServer>();
  TRunningServer Running(Server);
  std::vector<TVariant> Full;
  TWideStringList German;
  for (int I = 0; I < 16; ++I) German.Add(u"de " + WideString(EnglishCaptions[I]));
  Server->Answer("TranslateStrings", {CaptionsToVariant(German)});
  TBrivaneAgent A;
  ASSERT_TRUE(A.GetConnected());
  EXPECT_EQ(A.TranslateCaption(u"Options"), u"de Options");
  EXPECT_EQ(A.TranslateCaption(u"OPTIONS"), u"de Options");
  EXPECT_EQ(A.TranslateCaption(u"Not an action"), u"Not an action");

  // The language changes to one the store has one string short of.
  German.Delete(15);
  Server->Answer("TranslateStrings", {CaptionsToVariant(German)});
  Server->Fire(DISPID_OnLanguageChange);
  EXPECT_EQ(A.TranslatedCaptions().Count(), 0);
  EXPECT_EQ(A.TranslateCaption(u"Options"), u"Options");

  // An answer that is not a caption stream at all.
  Server->Answer("TranslateStrings", {TVariant(std::vector<uint8_t>{1, 0})});
  Server->Fire(DISPID_OnLanguageChange);
  EXPECT_EQ(A.TranslateCaption(u"Options"), u"Options");
  EXPECT_TRUE(A.GetConnected());
}

TEST_F(Agent, SiteOptionsOverrideTheStoredOnesAndLocalChangesKeepThem) {
  auto Server = std::make_shared<TEventingFakeServer>();
  TRunningServer Running(Server);
  TBVOptions Defaults;  // AutoFill on
  TBVOptions Site = Defaults;
  Site.AutoSubmit = 1;
  // Answers by key: the defaults for "", the site's set for its host.
  Server->Answer("GetSettings", {TVariant(PackOptions(Defaults)), TVariant(true)});
  TBrivaneAgent A;
  ASSERT_TRUE(A.GetConnected());
  Server->Answer("GetSettings", {TVariant(PackOptions(Site)), TVariant(true)});
  A.SetURL(u"http://site.example/");
  EXPECT_TRUE(A.GetAutoSubmit());
  EXPECT_TRUE(A.GetAutoFill());
  // Turning AutoFill off changes the stored options; the site's own set still says on.
  A.SetAutoFill(false);
  EXPECT_EQ(A.StoredOptions().AutoFill, 0);
  EXPECT_TRUE(A.GetAutoFill());
  // A site without its own set takes the stored options.
  Server->Answer("GetSettings", {TVariant(0), TVariant(false)});
  A.SetURL(u"http://other.example/");
  EXPECT_FALSE(A.GetAutoFill());
  A.SetAutoSubmit(true);
  EXPECT_TRUE(A.GetAutoSubmit());
}

TEST_F(Agent, ServerEventsReachTheirHandlers) {
  auto Server = std::make_shared<TEventingFakeServer>();
  TRunningServer Running(Server);
  TBrivaneAgent A;
  std::vector<std::string> Raised;
  A.OnLoggedIn = [&](TBrivaneAgent*) { Raised.push_back("in"); };
  A.OnLoggedOut = [&](TBrivaneAgent*) { Raised.push_back("out"); };
  A.OnExecCmd = [&](uint32_t Wnd, int32_t Cmd) { Raised.push_back(std::to_string(Wnd) + ":" + std::to_string(Cmd)); };
  A.OnServerQuit = [&](TBrivaneAgent*) { Raised.push_back("quit"); };
  ASSERT_TRUE(A.GetConnected());
  Server->Fire(DISPID_OnLogin, {TVariant(true)});
  Server->Fire(DISPID_OnLogin, {TVariant(false)});
  Server->Fire(DISPID_OnExecCmd, {TVariant(uint32_t(0xFEDCBA98)), TVariant(1)});
  Server->Fire(DISPID_OnDatabaseChange);
  size_t Lexicons = Server->CallsOf("GetLexicon").size();
  Server->Fire(DISPID_OnLexiconChange);
  EXPECT_EQ(Server->CallsOf("GetLexicon").size(), Lexicons + 1);
  Server->Fire(DISPID_OnQuit);
  EXPECT_EQ(Raised, (std::vector<std::string>{"in", "out", "4275878552:1", "quit"}));
  // The quit dropped the connection and the subscription.
  EXPECT_EQ(Server->AdvisedSinks(), 0);
}

// Every call of this store fails, as a store whose process died mid-session does.
std::shared_ptr<TEventingFakeServer> BrokenServer() {
  auto Server = std::make_shared<TEventingFakeServer>();
  for (const char* Method :
       {"FindFieldValue", "GetProfiles", "GetProfileFields", "SetActiveProfile", "ShowManager", "GetNameChoices",
        "DeleteRecord", "Login", "Logout", "GetLoggedIn", "SetDefaultFormCard", "AddSynonym", "GetFormCaption",
        "GetPageInfo", "FindFormCards", "AddFieldValue", "NotifyDocumentComplete", "GetDisplayMode", "GetBanner",
        "GetFormCard", "SaveFormCard", "FindSavedFormCard", "FindRecord", "SaveRecord", "GetRecordList",
        "GetRecord", "GetLexicon", "TranslateStrings", "AddAllValues", "ReportPage", "GetSettings", "SetSettings"})
    Server->Fail(Method, "The remote procedure call failed");
  return Server;
}

// Runs every operation of the agent a caller can reach.
void RunEveryOperation(TBrivaneAgent& A) {
  IBrivaneAgent& I = A;
  I.SetFormCardList(Pairs({{u"s", u"c"}}), u"s", u"c");
  I.SetProfileList(TVariant(std::vector<WideString>{u"p"}), u"p");
  I.ClearFormCardList();
  I.SaveForms();
  I.BindField();
  I.UnbindField();
  I.ShowManager(u"", u"", u"");
  Views().Answer("BVSettingsDialog", [](TForm& Form) { Form.Control("Button1").Click(); });
  I.ShowOptions();
  I.SetActive(I.GetActive());
  I.SetAutoFill(!I.GetAutoFill());
  I.SetAutoSubmit(!I.GetAutoSubmit());
  I.SetLoggedIn(true);
  I.SetLoggedIn(false);
  (void)I.GetLoggedIn();
  (void)I.GetConnected();
  I.ClearForms();
  (void)I.GetCurrentProfile();
  I.SetRecording(true);
  I.SetRecording(false);
  I.SetGUIActive(false);
  I.SetGUIActive(true);
  I.AddSynonym();
  I.AddValue();
  I.AddAllValues();
  (void)I.TranslateCaption(u"Login");
  I.FillForm();
  A.SetURL(u"http://www.example.com/");
  A.SetAlwaysReloadDefaults(true);
  A.LoadDefaultOptions();
  A.LoadSiteOptions();
  A.LoadLexicon();
  A.LoadTranslations();
  A.Logout();
  A.ShowFillDialog();
  A.HideFillDialog();
  A.ShowMessage("Saved", 1);
  A.HideMessage(true);
  std::shared_ptr<IPelServer> Server;
  A.GetServer(Server);
}

TEST_F(Agent, AFailingStoreNeverMakesAnOperationFail) {
  for (bool RefuseEvents : {false, true}) {
    auto Server = BrokenServer();
    Server->RefuseEvents = RefuseEvents;
    TRunningServer Running(Server);
    TBrivaneAgent A;
    int Connects = 0;
    A.OnConnect = [&](TBrivaneAgent*) { ++Connects; };
    EXPECT_NO_THROW(RunEveryOperation(A)) << "refusing events " << RefuseEvents;
    // Each failure dropped the connection: the store is looked for again, and never kept.
    EXPECT_FALSE(A.GetConnected());
    EXPECT_EQ(Server->AdvisedSinks(), 0);
    // A store that fails while being connected is dropped at once: there is nobody to log in to,
    // so no password is asked.
    for (const AnsiString& Shown : Views().Shown()) EXPECT_NE(Shown, "EnterPasswordForm");
    if (!RefuseEvents) {
      EXPECT_GT(Connects, 5);
    }
  }
}

TEST_F(Agent, AFailedCallDropsTheConnectionAndTheNextUseFindsTheStoreAgain) {
  auto Server = std::make_shared<TEventingFakeServer>();
  TRunningServer Running(Server);
  TBrivaneAgent A;
  ASSERT_TRUE(A.GetConnected());
  Server->Fail("GetLoggedIn", "The RPC server is unavailable");
  EXPECT_FALSE(A.GetLoggedIn());
  EXPECT_EQ(Server->AdvisedSinks(), 0);
  Server->Answers.erase("GetLoggedIn");
  Server->Answer("GetLoggedIn", {TVariant(true)});
  size_t Lexicons = Server->CallsOf("GetLexicon").size();
  EXPECT_TRUE(A.GetLoggedIn());
  EXPECT_EQ(Server->CallsOf("GetLexicon").size(), Lexicons + 1);
  EXPECT_EQ(Server->AdvisedSinks(), 1);
}

TEST_F(Agent, SettingsDialogChangesThePageAtOnceAndStoresWhatTheStoreDidNotHandle) {
  auto ConfirmWithAutoSubmit = [](bool SetDefault) {
    Views().Answer("BVSettingsDialog", [SetDefault](TForm& Form) {
      Form.Control("AutoSubmitCheckBox").SetChecked(true);
      Form.Control("SetDefaultCheckBox").SetChecked(SetDefault);
      if (SetDefault) Form.Control("ApplyToAllCheckBox").SetChecked(true);
      Form.Control("Button1").Click();
    });
  };
  {
    // No store: the page's options change, the stored ones do not.
    TBrivaneAgent A;
    ConfirmWithAutoSubmit(false);
    A.ShowOptions();
    EXPECT_TRUE(A.GetAutoSubmit());
    EXPECT_EQ(A.StoredOptions().AutoSubmit, 0);
  }
  for (bool Handled : {false, true}) {
    auto Server = std::make_shared<TEventingFakeServer>();
    TRunningServer Running(Server);
    Server->Answer("SetSettings", {TVariant(Handled)});
    TBrivaneAgent A;
    A.SetURL(u"http://www.site.example/x");
    ConfirmWithAutoSubmit(true);
    A.ShowOptions();
    ASSERT_EQ(Server->CallsOf("SetSettings").size(), 1u);
    const std::vector<TVariant> Args = Server->CallsOf("SetSettings")[0].Args;
    EXPECT_EQ(Args[0].AsWideString(), u"site.example");
    EXPECT_EQ(UnpackOptions(Args[1].AsInteger()).AutoSubmit, 1);
    EXPECT_TRUE(Args[2].AsBoolean());
    EXPECT_TRUE(Args[3].AsBoolean());
    EXPECT_TRUE(A.GetAutoSubmit());
    EXPECT_EQ(A.StoredOptions().AutoSubmit, Handled ? 0 : 1) << "handled " << Handled;
  }
  {
    // Cancel changes nothing and asks the store nothing.
    auto Server = std::make_shared<TEventingFakeServer>();
    TRunningServer Running(Server);
    TBrivaneAgent A;
    Views().Answer("BVSettingsDialog", [](TForm& Form) {
      Form.Control("AutoSubmitCheckBox").SetChecked(true);
      Form.PressEscape();
    });
    A.ShowOptions();
    EXPECT_FALSE(A.GetAutoSubmit());
    EXPECT_TRUE(Server->CallsOf("SetSettings").empty());
  }
}

// A settings dialog that cannot be shown is a failure of the routine itself, not of the store.
TEST_F(Agent, ASettingsDialogThatCannotBeShownFailsThroughItsTraceNumber) {
  TBrivaneAgent A;
  const TPlatformServices Saved = CurrentPlatformServices();
  TPlatformServices Without = Saved;
  Without.DialogViews = nullptr;
  SetPlatformServices(Without);
  AnsiString Message;
  try {
    A.ShowOptions();
  } catch (const Exception& E) {
    Message = E.Message();
  }
  SetPlatformServices(Saved);
  EXPECT_EQ(Message, "The platform binding provides no dialog views\r\n>>1575");
  EXPECT_EQ(A.Options(), TBVOptions());
}

TEST_F(Agent, LoginAsksForThePasswordAndTrimsIt) {
  auto Server = std::make_shared<TEventingFakeServer>();
  TRunningServer Running(Server);
  TBrivaneAgent A;
  A.OnGetParentWindow = [] { return 0x1234u; };
  // Cancelled, then empty after trimming: the store is not asked.
  Views().Answer("EnterPasswordForm", [](TForm& Form) {
    Form.Control("PasswordEdit").Text = u"typed";
    Form.Control("CancelButton").Click();
  });
  EXPECT_FALSE(A.Login());
  Views().Answer("EnterPasswordForm", [](TForm& Form) {
    Form.Control("PasswordEdit").Text = u"  \t ";
    Form.PressEnter();
  });
  EXPECT_FALSE(A.Login());
  EXPECT_TRUE(Server->CallsOf("Login").empty());
  // A password outside the system code page reaches the store as typed.
  Views().Answer("EnterPasswordForm", [](TForm& Form) {
    EXPECT_EQ(Form.Control("PasswordEdit").Text, u"");
    Form.Control("PasswordEdit").Text = u" пароль ";
    Form.PressEnter();
  });
  EXPECT_TRUE(A.Login());
  ASSERT_EQ(Server->CallsOf("Login").size(), 1u);
  EXPECT_EQ(Server->CallsOf("Login")[0].Args[0].AsWideString(), u"пароль");
}

// ---------------------------------------------------------------- the two non-modal dialogs

TEST_F(Agent, FillDialogWaitsForAnActiveWindowAndStaysClosedOnceTheUserClosedIt) {
  TBrivaneAgent A;
  A.SetFormCardList(Pairs({{u"login", u"Work"}}), u"login", u"Work");
  A.SetGUIActive(false);
  A.ShowFillDialog();
  EXPECT_EQ(A.FillDialog(), nullptr);
  A.SetGUIActive(true);
  ASSERT_NE(A.FillDialog(), nullptr);
  EXPECT_TRUE(A.FillDialogShown());
  EXPECT_EQ(A.FillDialog()->FormSetListBox.Items.Count(), 1);
  EXPECT_EQ(A.FillDialog()->Caption, u"Pelmora");
  // Shown once only.
  A.SetGUIActive(false);
  EXPECT_FALSE(A.FillDialogShown());
  A.SetGUIActive(true);
  EXPECT_TRUE(A.FillDialogShown());
  // The user closes it: no automatic show brings it back until a new page.
  A.FillDialog()->BitBtn1.Click();
  EXPECT_FALSE(A.FillDialogShown());
  A.ShowFillDialog();
  EXPECT_FALSE(A.FillDialogShown());
  A.HideFillDialog();
  EXPECT_EQ(A.CardSets().Count(), 0);
  EXPECT_EQ(A.FillDialog()->FormSetListBox.Items.Count(), 0);
  A.ShowFillDialog();
  EXPECT_TRUE(A.FillDialogShown());
}

TEST_F(Agent, FillDialogIsPlacedOnItsAnchorAndItsChoicesBecomeAgentEvents) {
  headless::THeadlessWindows& Windows = headless::HeadlessWindows();
  uint32_t Browser = Windows.Create({100, 50, 900, 650});
  uint32_t Pane = Windows.Create({120, 80, 620, 480});
  TBrivaneAgent A;
  A.OnGetParentWindow = [&] { return Browser; };
  A.SetDialogPlacement(1);
  A.SetDialogWidthMode(2);
  A.SetDialogHeightMode(1);
  A.SetURL(u"http://www.shop.example/login");
  A.SetFormCardList(Pairs({{u"http://shop.example/login", u"Work"}}), u"", u"");
  A.SetProfileList(TVariant(std::vector<WideString>{u"Home"}), u"Home");
  A.ShowFillDialog();
  TBVDialog& D = *A.FillDialog();
  // No dialog owner given: anchored on the parent window.
  EXPECT_EQ(D.AnchorWindow(), Browser);
  EXPECT_EQ(D.Left, 900);
  EXPECT_EQ(D.Top, 50);
  EXPECT_EQ(D.Width, 250);
  EXPECT_EQ(D.Height, 600);
  EXPECT_EQ(D.MinWidth, 250);
  // A new page: the helper object hides the dialog and hands over the page's cards again.
  A.HideFillDialog();
  A.SetFormCardList(Pairs({{u"http://shop.example/login", u"Work"}}), u"", u"");
  A.OnGetDialogOwner = [&] { return Pane; };
  A.SetDialogPlacement(2);
  A.SetDialogWidthMode(0);
  A.SetDialogHeightMode(0);
  A.ShowFillDialog();
  EXPECT_EQ(D.AnchorWindow(), Pane);
  EXPECT_EQ(D.Left, 120 + (500 - 250) / 2);
  EXPECT_EQ(D.Top, 80 + (400 - 600) / 2);

  std::vector<std::string> Raised;
  A.OnFillFormCard = [&](TBrivaneAgent* S, const WideString& Set, const WideString& Name, bool Submit, bool Empty) {
    EXPECT_EQ(S, &A);
    EXPECT_EQ(Set, u"http://shop.example/login");
    EXPECT_EQ(Name, u"Work");
    Raised.push_back(std::string("card ") + (Submit ? "submit " : "") + (Empty ? "empty" : ""));
  };
  A.OnFillProfile = [&](TBrivaneAgent*, const WideString& Profile, bool) {
    EXPECT_EQ(Profile, u"Home");
    Raised.push_back("profile");
  };
  A.OnDeleteFormCard = [&](TBrivaneAgent*, const WideString&, const WideString& Name) {
    EXPECT_EQ(Name, u"Work");
    Raised.push_back("delete");
  };
  A.RefreshFillDialog();
  D.OnlyEmptyCheckBox.Click();
  D.FormSetListBox.Select(0);
  D.BitBtn3.Click();
  EXPECT_FALSE(A.FillDialogShown());
  A.SetFillDialogShown(true);
  D.ProfileListBox.DblClick(0);
  A.SetFillDialogShown(true);
  D.FormSetListBox.Select(0);
  EXPECT_EQ(D.FormSetMenu(), (std::vector<AnsiString>{"Set default for active profile",
                                                      "Drop default form card for active profile", "-", "Delete"}));
  D.RunMenuCommand("Delete");
  EXPECT_TRUE(A.FillDialogShown());
  EXPECT_EQ(Raised, (std::vector<std::string>{"card submit empty", "profile", "delete"}));
  Windows.Destroy(Browser);
  Windows.Destroy(Pane);
}

TEST_F(Agent, MessagesWaitForAnActiveWindowAndAnswerOnce) {
  headless::THeadlessWindows& Windows = headless::HeadlessWindows();
  uint32_t Browser = Windows.Create({0, 0, 1000, 800});
  TBrivaneAgent A;
  A.OnGetParentWindow = [&] { return Browser; };
  std::vector<int32_t> Answers;
  A.OnMessageResult = [&](TBrivaneAgent*, int32_t Result) { Answers.push_back(Result); };

  A.ShowMessage("Saved", 1);
  TBVMessageDialog* D = A.MessageDialog();
  ASSERT_NE(D, nullptr);
  EXPECT_TRUE(D->Showing());
  EXPECT_EQ(D->GroupBox1.Caption, u" Information ");
  EXPECT_TRUE(D->OkPanel.Visible);
  EXPECT_FALSE(D->YesNoPanel.Visible);
  EXPECT_EQ(D->Memo1.Text, u"Saved");
  EXPECT_EQ(D->Left, (1000 - 298) / 2);
  EXPECT_EQ(D->Top, (800 - 158) / 2);
  // Losing the window hides the message and keeps it; regaining it shows it again.
  A.SetGUIActive(false);
  EXPECT_FALSE(D->Showing());
  EXPECT_TRUE(Answers.empty());
  A.SetGUIActive(true);
  EXPECT_TRUE(D->Showing());
  D->OkButton.Click();
  EXPECT_EQ(Answers, (std::vector<int32_t>{mrOk}));
  // Answered: not shown again.
  A.SetGUIActive(false);
  A.SetGUIActive(true);
  EXPECT_FALSE(D->Showing());

  // A confirmation shown while the window is inactive waits for it.
  A.SetGUIActive(false);
  A.ShowMessage("Save the changed form?", 2);
  EXPECT_FALSE(D->Showing());
  A.SetGUIActive(true);
  ASSERT_TRUE(D->Showing());
  EXPECT_EQ(D->GroupBox1.Caption, u" Confirmation ");
  EXPECT_FALSE(D->OkPanel.Visible);
  EXPECT_TRUE(D->YesNoPanel.Visible);
  EXPECT_EQ(D->ModalResult, mrNone);
  D->NoButton.Click();
  A.ShowMessage("Again?", 2);
  EXPECT_EQ(D->ModalResult, mrNone);
  D->PressEscape();
  A.ShowMessage("Once more?", 2);
  D->YesButton.Click();
  EXPECT_EQ(Answers, (std::vector<int32_t>{mrOk, mrNo, mrCancel, mrYes}));
  // Replaced or hidden by the agent: no answer.
  A.ShowMessage("First", 1);
  A.ShowMessage("Second", 1);
  A.HideMessage(true);
  EXPECT_EQ(Answers.size(), 4u);
  // Kind 0 shows nothing.
  A.ShowMessage("Nothing", 0);
  EXPECT_FALSE(D->Showing());
  Windows.Destroy(Browser);
}

}  // namespace
