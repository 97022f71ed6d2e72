// The agent against the reference store on a temporary file, found in the running-object table
// and heard through its events: what connecting loads, what the store's events change, a store
// that quits and comes back, and the master password asked for through the password dialog.

#include <gtest/gtest.h>

#include "AgentTestSupport.h"
#include "Common/TransitForms.h"
#include "store/StoreTestSupport.h"

using namespace pel;
using namespace pel::store;
using namespace pel::test;

namespace {

class AgentWithStore : public testing::Test {
protected:
  void SetUp() override { Views().Clear(); }
  void TearDown() override {
    ExpectEveryAnswerUsed();
    if (Store) Store->Shutdown();
  }
  // Opens (or reopens) the store of the test's file and registers it as the running store.
  void Start(const std::function<void(TPelStore&)>& Prepare = {}) {
    Store = std::make_shared<TPelStore>(Folder.File());
    if (Prepare) Prepare(*Store);
    TPelStore::Register(Store);
  }
  void Stop() {
    Store->Shutdown();
    Store.reset();
  }
  static void SetSettings(TPelStore& S, const WideString& Site, const TBVOptions& Options, bool SetDefault,
                          bool ApplyToAll) {
    bool Handled = false;
    S.SetSettings(Site, PackOptions(Options), SetDefault, ApplyToAll, Handled);
  }
  static TBVOptions With(uint8_t AutoSubmit, uint8_t AutoBind, uint8_t SubmitAction) {
    TBVOptions O;
    O.AutoSubmit = AutoSubmit;
    O.AutoBind = AutoBind;
    O.SubmitAction = SubmitAction;
    return O;
  }
  static bool LexiconEmpty(TBrivaneAgent& A) {
    return A.Lexicon().StopWords().Count() == 0 && A.Lexicon().Substitutions().Count() == 0 &&
           A.Lexicon().Goals().Count() == 0;
  }

  TStoreFolder Folder;
  std::shared_ptr<TPelStore> Store;
};

TEST_F(AgentWithStore, ConnectingLoadsOptionsLexiconAndTranslationsAndEventsKeepThemCurrent) {
  const TBVOptions Defaults = With(1, 0, 2), Site = With(0, 1, 0);
  Start([&](TPelStore& S) {
    SetSettings(S, u"", Defaults, true, false);
    SetSettings(S, u"shop.example", Site, false, false);
    S.AddTranslation(u"de", u"Options", u"Optionen");
    S.SetLanguage(u"de");
  });
  TBrivaneAgent A;
  int Connects = 0;
  A.OnConnect = [&](TBrivaneAgent*) { ++Connects; };
  A.SetURL(u"http://www.Shop.Example/basket");
  EXPECT_EQ(Connects, 1);
  EXPECT_EQ(A.StoredOptions(), Defaults);
  EXPECT_EQ(A.Options(), Site);
  EXPECT_GT(A.Lexicon().StopWords().Count(), 0);
  EXPECT_GT(A.Lexicon().Substitutions().Count(), 0);
  EXPECT_EQ(A.TranslateCaption(u"Options"), u"Optionen");
  // The store answers a caption it has no translation for with the caption itself.
  EXPECT_EQ(A.TranslateCaption(u"Login"), u"Login");

  // The store's events arrive through the agent's sink.
  Store->AddTranslation(u"de", u"Login", u"Anmelden");
  EXPECT_EQ(A.TranslateCaption(u"Login"), u"Anmelden");
  A.Lexicon().Clear();
  Store->AddSynonym(u"City", u"Wohnort", -1);
  EXPECT_FALSE(LexiconEmpty(A));
  std::vector<std::pair<uint32_t, int32_t>> Commands;
  A.OnExecCmd = [&](uint32_t Wnd, int32_t Cmd) { Commands.emplace_back(Wnd, Cmd); };
  Store->ExecCommand(0x00A1B2C4, 1);
  EXPECT_EQ(Commands, (std::vector<std::pair<uint32_t, int32_t>>{{0x00A1B2C4, 1}}));
  EXPECT_EQ(Connects, 1);
}

TEST_F(AgentWithStore, AStoreThatQuitsIsDroppedAndARestartedOneIsFoundAndReloaded) {
  Start();
  TBrivaneAgent A;
  int Connects = 0, Quits = 0;
  A.OnConnect = [&](TBrivaneAgent*) { ++Connects; };
  A.OnServerQuit = [&](TBrivaneAgent*) { ++Quits; };
  A.SetURL(u"http://www.shop.example/");
  ASSERT_TRUE(A.GetConnected());
  EXPECT_EQ(A.StoredOptions(), TBVOptions());

  Stop();
  EXPECT_EQ(Quits, 1);
  EXPECT_FALSE(A.GetConnected());
  EXPECT_FALSE(A.GetLoggedIn());
  EXPECT_EQ(A.TranslateCaption(u"Options"), u"Options");

  const TBVOptions Defaults = With(1, 1, 0);
  Start([&](TPelStore& S) {
    SetSettings(S, u"", Defaults, true, false);
    S.AddTranslation(u"fr", u"Options", u"Options du formulaire");
    S.SetLanguage(u"fr");
  });
  EXPECT_TRUE(A.GetConnected());
  EXPECT_EQ(Connects, 2);
  EXPECT_EQ(A.StoredOptions(), Defaults);
  EXPECT_EQ(A.Options(), Defaults);
  EXPECT_FALSE(LexiconEmpty(A));
  EXPECT_EQ(A.TranslateCaption(u"Options"), u"Options du formulaire");
}

TEST_F(AgentWithStore, ALockedStoreIsOpenedWithThePasswordDialogAndAWrongPasswordEndsTheRetries) {
  {
    TPelStore Setup(Folder.File());
    Setup.SetMasterPassword(u"", u"correct horse", TKeyCost::Minimal());
  }
  Start();
  TBrivaneAgent A;
  int Connects = 0;
  std::vector<std::string> Logins;
  A.OnConnect = [&](TBrivaneAgent*) { ++Connects; };
  A.OnLoggedIn = [&](TBrivaneAgent*) { Logins.push_back("in"); };
  A.OnLoggedOut = [&](TBrivaneAgent*) { Logins.push_back("out"); };
  // What the helper object does with a call that needs the store unlocked: log in and repeat.
  int Attempts = 0;
  auto ProfileFields = [&]() {
    TVariant Fields;
    bool LoginRequired = true;
    Attempts = 0;
    do {
      ++Attempts;
      std::shared_ptr<IPelServer> Server;
      A.GetServer(Server);
      if (!Server) break;
      Server->GetProfileFields(Fields, LoginRequired);
    } while (LoginRequired && A.Login());
    return LoginRequired ? TVariant() : Fields;
  };
  auto Type = [](const char16_t* Password) {
    Views().Answer("EnterPasswordForm", [Password](TForm& Form) {
      Form.Control("PasswordEdit").Text = Password;
      Form.Control("OKButton").Click();
    });
  };

  EXPECT_FALSE(A.GetLoggedIn());
  Type(u"correct horse ");
  TVariant Fields = ProfileFields();
  EXPECT_EQ(Attempts, 2);
  EXPECT_FALSE(Fields.IsEmptyOrNull());
  EXPECT_TRUE(A.GetLoggedIn());
  EXPECT_EQ(Logins, (std::vector<std::string>{"in"}));

  A.SetLoggedIn(false);
  EXPECT_FALSE(Store->GetLoggedIn());
  EXPECT_EQ(Logins, (std::vector<std::string>{"in", "out"}));

  Type(u"wrong");
  Type(u"correct horse");  // never asked for: the loop ended after the wrong one
  EXPECT_TRUE(ProfileFields().IsEmptyOrNull());
  EXPECT_EQ(Attempts, 1);
  EXPECT_FALSE(Store->GetLoggedIn());
  EXPECT_EQ(Views().DropUnused(), std::vector<AnsiString>{"EnterPasswordForm"});
  // The failed login dropped the connection; the next use connects again.
  EXPECT_EQ(Connects, 1);
  EXPECT_TRUE(A.GetConnected());
  EXPECT_EQ(Connects, 2);
  EXPECT_EQ(Logins.size(), 2u);
}

TEST_F(AgentWithStore, SettingsChangesReloadTheSiteOptionsAndTheDefaultsOnlyWhenAsked) {
  Start();
  TBrivaneAgent A, B;
  A.SetURL(u"http://a.example/");
  B.SetURL(u"http://b.example/");
  ASSERT_TRUE(A.GetConnected());
  ASSERT_TRUE(B.GetConnected());
  B.SetAlwaysReloadDefaults(true);

  // Another window makes new defaults for itself only.
  const TBVOptions First = With(1, 0, 0);
  SetSettings(*Store, u"c.example", First, true, false);
  EXPECT_EQ(A.StoredOptions(), TBVOptions());
  EXPECT_EQ(A.Options(), TBVOptions());
  EXPECT_EQ(B.StoredOptions(), First);
  EXPECT_EQ(B.Options(), First);
  // A's own site gets a set: the site reload sees it.
  const TBVOptions ForA = With(0, 1, 2);
  SetSettings(*Store, u"a.example", ForA, false, false);
  EXPECT_EQ(A.Options(), ForA);
  // Defaults applied to all reach every window and drop the sites' own sets.
  const TBVOptions Second = With(1, 1, 1);
  SetSettings(*Store, u"c.example", Second, true, true);
  EXPECT_EQ(A.StoredOptions(), Second);
  EXPECT_EQ(A.Options(), Second);
  EXPECT_EQ(B.Options(), Second);
  // Asking to reload the defaults reloads them at once.
  SetSettings(*Store, u"c.example", First, true, false);
  EXPECT_EQ(A.StoredOptions(), Second);
  A.SetAlwaysReloadDefaults(true);
  EXPECT_EQ(A.StoredOptions(), First);
}

TEST_F(AgentWithStore, TheSettingsDialogStoresTheSiteSetAndTheStoreTellsEveryWindow) {
  Start();
  TBrivaneAgent A, B;
  A.SetURL(u"http://www.shop.example/");
  B.SetURL(u"http://shop.example/other");
  ASSERT_TRUE(B.GetConnected());
  Views().Answer("BVSettingsDialog", [](TForm& Form) {
    Form.Control("AutoBindCheckBox").SetChecked(true);
    Form.Control("SetDefaultCheckBox").SetChecked(false);
    Form.Control("Button1").Click();
  });
  A.ShowOptions();
  EXPECT_EQ(A.Options().AutoBind, 1);
  // The store handled it, so the stored options stay; the other window of the site follows.
  EXPECT_EQ(A.StoredOptions().AutoBind, 0);
  EXPECT_EQ(B.Options().AutoBind, 1);
  int32_t Flags = 0;
  bool Found = false;
  Store->GetSettings(u"shop.example", Flags, Found);
  EXPECT_TRUE(Found);
  EXPECT_EQ(UnpackOptions(Flags).AutoBind, 1);
}

TEST_F(AgentWithStore, ALexiconThatFailsToLoadLeavesTheLexiconEmpty) {
  Start();
  TVariant Full = Store->GetLexicon();
  TMemoryStream S;
  VariantToStream(Full, S);
  ASSERT_GT(S.Size(), 16);
  for (int64_t Cut : {S.Size() / 2, S.Size() - 1}) {
    TMemoryStream Part(std::vector<uint8_t>(S.Bytes().begin(), S.Bytes().begin() + Cut));
    TVariant Truncated;
    StreamToVariant(Part, Truncated);
    auto Fake = std::make_shared<TEventingFakeServer>();
    Fake->Answer("GetLexicon", {Full});
    TRunningServer Running(Fake);
    Stop();  // the fake is the only running store now
    TBrivaneAgent A;
    ASSERT_TRUE(A.GetConnected());
    EXPECT_FALSE(LexiconEmpty(A));
    Fake->Answer("GetLexicon", {Truncated});
    Fake->Fire(DISPID_OnLexiconChange);
    EXPECT_TRUE(LexiconEmpty(A)) << "cut at " << Cut;
    EXPECT_TRUE(A.GetConnected());
    Start();
  }
}

}  // namespace
