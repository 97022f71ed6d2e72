// The toolbar's automation object on a headless browser window with its helper object: the window
// object leads it to the browser, every call finds the window's agent there afresh, and the actions
// reach the agent's commands only while the agent is connected to the reference store.

#include "agent/BVAgent.h"
#include "scenario/HelperTestSupport.h"

using namespace pel;
using namespace pel::test;

namespace {

// Neither toolbar nor browser: an object the client might hand over by mistake.
class TPlainObject : public IInterface {};

// A service provider that answers as Answer says.
class TProvider : public IServiceProvider {
public:
  explicit TProvider(std::function<std::shared_ptr<IInterface>()> Answer) : FAnswer(std::move(Answer)) {}
  std::shared_ptr<IInterface> QueryService(const TGUID&, const TGUID&) override { return FAnswer(); }

private:
  std::function<std::shared_ptr<IInterface>()> FAnswer;
};

constexpr int32_t MenuAction = 6;
using TIndexPairs = std::initializer_list<std::pair<int32_t, int32_t>>;

class BVAgentTest : public THelperScenario {
protected:
  static std::shared_ptr<IInterface> WindowOf(headless::THeadlessBrowser& Shown) {
    return std::static_pointer_cast<IInterface>(Shown.HtmlDocument()->ParentWindow());
  }
  // The window with its helper and a page, the toolbar given the page's window.
  void Attach() {
    OpenWindow();
    Serve(u"http://site.example/", "<html><body><p>Nothing to fill.</p></body></html>");
    Open(u"http://site.example/");
    Toolbar.SetWindow(WindowOf(*Browser));
  }
  // The agent's events write down which command arrived, in place of the helper's handlers.
  void RecordCommands() {
    TBrivaneAgent& A = Helper->Agent();
    auto Note = [this](const char* What) { return [this, What](TBrivaneAgent*) { Commands.push_back(What); }; };
    A.OnSaveForms = [this](TBrivaneAgent*, TFormItem* Form) {
      Commands.push_back(Form ? "SaveForms(form)" : "SaveForms");
    };
    A.OnShowManager = [this](TBrivaneAgent*, const WideString& X, const WideString& Y, const WideString& Z) {
      Commands.push_back(X.empty() && Y.empty() && Z.empty() ? "ShowManager" : "ShowManager(args)");
    };
    A.OnFillForm = Note("FillForm");
    A.OnBindField = Note("BindField");
    A.OnUnbindField = Note("UnbindField");
    A.OnClearForms = Note("ClearForms");
    A.OnAddSynonym = Note("AddSynonym");
    A.OnAddValue = Note("AddValue");
    A.OnAddAllValues = Note("AddAllValues");
    A.OnRecordingDone = [this](TBrivaneAgent*, const WideString&, const TVariant&) {
      Commands.push_back("RecordingDone");
    };
  }
  struct TState {
    WideString Caption, Hint;
    bool Enabled = true, Checked = true;  // the opposite of what an idle toolbar answers
  };
  TState State(int32_t Index) {
    TState S{u"stale", u"stale"};
    Toolbar.GetActionState(Index, S.Caption, S.Hint, S.Enabled, S.Checked);
    return S;
  }
  std::pair<WideString, WideString> SubState(int32_t Index, int32_t SubIndex) {
    std::pair<WideString, WideString> S{u"stale", u"stale"};
    Toolbar.GetSubActionState(Index, SubIndex, S.first, S.second);
    return S;
  }
  // Runs every action and every sub-action index there is and a few there are not, expecting
  // none of them to reach the agent or change it.
  void ExpectEveryActionIdle(const char* When) {
    for (int32_t Index = -1; Index <= 10; ++Index) {
      EXPECT_NO_THROW(Toolbar.ExecuteAction(Index)) << When << ", action " << Index;
      for (int32_t Sub = -1; Sub <= 3; ++Sub) EXPECT_NO_THROW(Toolbar.ExecuteSubAction(Index, Sub));
    }
    EXPECT_TRUE(Commands.empty()) << When << ": " << (Commands.empty() ? "" : Commands.front());
    EXPECT_TRUE(Views().Shown().empty()) << When;
    if (Helper) {
      EXPECT_TRUE(Helper->Agent().GetActive()) << When;
      EXPECT_FALSE(Helper->Agent().GetRecording()) << When;
    }
  }

  TBVAgent Toolbar;
  std::vector<std::string> Commands;
};

// The resource captions, untranslated, by action.
const char16_t* const Captions[10] = {u"Activate",   u"Pelmora Manager", u"Save forms",           u"Fill form",
                                      u"Bind field", u"Unbind field",    u"Add to profile field", u"Clear forms",
                                      u"Record",     u"Options"};
const char16_t* const SubCaptions[3] = {u"Add synonim", u"Add value", u"Add all values"};

TEST(BVAgentNames, TheAgentIsPublishedUnderItsInterfacesIdentifier) {
  EXPECT_EQ(WideString(AgentPropertyName), GUIDToWideString(IID_IBrivaneAgent));
}

TEST_F(BVAgentTest, ThePagesWindowAndAFramesWindowLeadToTheTopLevelBrowser) {
  OpenWindow();
  Serve(u"http://site.example/", R"(<html><frameset><frame name="f" src="http://site.example/in"></frameset></html>)");
  Serve(u"http://site.example/in", "<html><body><p>Inside.</p></body></html>");
  Open(u"http://site.example/");
  ASSERT_EQ(Browser->Frames().size(), 1u);
  EXPECT_EQ(Toolbar.GetWindow(), nullptr);
  EXPECT_EQ(Toolbar.GetBrowser(), nullptr);

  for (headless::THeadlessBrowser* Shown : {Browser.get(), Browser->Frames()[0].get()}) {
    const auto Window = WindowOf(*Shown);
    Toolbar.SetWindow(Window);
    EXPECT_EQ(Toolbar.GetWindow(), Window);
    ASSERT_NE(Toolbar.GetBrowser(), nullptr);
    EXPECT_TRUE(IsSameObject(Toolbar.GetBrowser(), Browser)) << WideToAscii(Shown->LocationURL());
    // Found through the browser: the agent the helper published answers.
    EXPECT_TRUE(Toolbar.GetGUIActive());
  }
}

// Whatever the window fails in, the call raises and the browser of an earlier window is let go,
// so the toolbar does not go on serving a window it was taken from.
TEST_F(BVAgentTest, AWindowThatLeadsToNoBrowserRaisesAndLeavesNone) {
  struct TCase {
    const char* What;
    std::shared_ptr<IInterface> Window;
  };
  const TCase Cases[] = {
      {"no service provider", std::make_shared<TPlainObject>()},
      {"no object at all", nullptr},
      {"the service fails", std::make_shared<TProvider>([]() -> std::shared_ptr<IInterface> {
         throw EOleSysError("No such service", HR_E_NOINTERFACE);
       })},
      {"the service answers no browser", std::make_shared<TProvider>([] { return std::make_shared<TPlainObject>(); })},
  };
  Attach();
  for (const TCase& C : Cases) {
    Toolbar.SetWindow(WindowOf(*Browser));
    ASSERT_NE(Toolbar.GetBrowser(), nullptr);
    try {
      Toolbar.SetWindow(C.Window);
      ADD_FAILURE() << C.What << ": no failure";
    } catch (const EOleSysError& E) {
      EXPECT_EQ(E.ErrorCode, HR_E_NOINTERFACE) << C.What;
      EXPECT_FALSE(E.Message().empty()) << C.What;
    }
    EXPECT_EQ(Toolbar.GetBrowser(), nullptr) << C.What;
    EXPECT_EQ(Toolbar.GetWindow(), C.Window) << C.What;
    EXPECT_FALSE(Toolbar.GetGUIActive()) << C.What;
    EXPECT_FALSE(State(0).Enabled) << C.What;
  }
}

TEST_F(BVAgentTest, TheActionsKindsAndIconsAreFixed) {
  struct TCase {
    int32_t Index;
    BVActionType Type;
    const char16_t* Icon;
    const char16_t* Gray;
    int32_t SubActions;
  };
  const TCase Cases[] = {
      {0, atCheck, u"Z100", u"Z101", 0},  {1, atButton, u"Z104", u"Z105", 0}, {2, atButton, u"Z106", u"Z107", 0},
      {3, atButton, u"Z108", u"Z109", 0}, {4, atButton, u"Z110", u"Z111", 0}, {5, atButton, u"Z112", u"Z113", 0},
      {6, atMenu, u"Z114", u"Z115", 3},   {7, atButton, u"Z116", u"Z117", 0}, {8, atCheck, u"Z118", u"Z119", 0},
      {9, atButton, u"Z124", u"Z125", 0}, {10, atButton, u"", u"", 0},        {-1, atButton, u"", u"", 0},
  };
  EXPECT_EQ(Toolbar.ActionCount(), 10);
  for (const TCase& C : Cases) {
    BVActionType Type = atMenu;
    WideString Icon = u"stale", Gray = u"stale";
    Toolbar.GetActionData(C.Index, Type, Icon, Gray);
    EXPECT_EQ(Type, C.Type) << C.Index;
    EXPECT_EQ(Icon, C.Icon) << C.Index;
    EXPECT_EQ(Gray, C.Gray) << C.Index;
    EXPECT_EQ(Toolbar.SubActionCount(C.Index), C.SubActions) << C.Index;
  }
}

// No window yet, then a window whose agent cannot reach a store, then a store that quits: the
// captions are the resource texts, nothing is enabled or checked, and no action does anything.
TEST_F(BVAgentTest, WithoutAConnectedAgentTheActionsShowDisabledAndDoNothing) {
  auto ExpectIdleStates = [&](const char* When) {
    EXPECT_EQ(Toolbar.ActionCount(), 10) << When;
    for (int32_t Index = 0; Index < 10; ++Index) {
      const TState S = State(Index);
      EXPECT_EQ(S.Caption, Captions[Index]) << When << ", action " << Index;
      EXPECT_EQ(S.Hint, Captions[Index]) << When << ", action " << Index;
      EXPECT_FALSE(S.Enabled) << When << ", action " << Index;
      EXPECT_FALSE(S.Checked) << When << ", action " << Index;
    }
    for (int32_t Sub = 0; Sub < 3; ++Sub)
      EXPECT_EQ(SubState(MenuAction, Sub), std::make_pair(WideString(SubCaptions[Sub]), WideString(SubCaptions[Sub])))
          << When;
    ExpectEveryActionIdle(When);
  };

  ExpectIdleStates("before the window");
  EXPECT_FALSE(Toolbar.GetGUIActive());
  EXPECT_NO_THROW(Toolbar.SetGUIActive(true));

  Attach();
  RecordCommands();
  ExpectIdleStates("no store");
  // The agent is found all the same: its own flag needs no store.
  EXPECT_TRUE(Toolbar.GetGUIActive());

  StartStore();
  EXPECT_TRUE(State(0).Enabled);
  Store->Shutdown();
  Store.reset();
  ExpectIdleStates("the store quit");
}

TEST_F(BVAgentTest, StatesOutsideTheTableAreEmpty) {
  StartStore();
  Attach();
  for (int32_t Index : {-1, 10, 1000}) {
    const TState S = State(Index);
    EXPECT_EQ(S.Caption, u"") << Index;
    EXPECT_EQ(S.Hint, u"") << Index;
    EXPECT_FALSE(S.Enabled) << Index;
    EXPECT_FALSE(S.Checked) << Index;
  }
  for (auto [Index, Sub] : TIndexPairs{{MenuAction, 3}, {MenuAction, -1}, {5, 0}, {0, 0}, {-1, 0}, {10, 1}})
    EXPECT_EQ(SubState(Index, Sub), std::make_pair(WideString(), WideString())) << Index << "/" << Sub;
  // The actions inside the table are enabled: the empty answers above are not for want of a store.
  EXPECT_TRUE(State(1).Enabled);
}

TEST_F(BVAgentTest, TheCheckActionsToggleTheAgentAndShowItsState) {
  StartStore();
  Attach();
  RecordCommands();
  TBrivaneAgent& Agent = Helper->Agent();
  ASSERT_TRUE(Agent.GetActive());
  EXPECT_TRUE(State(0).Enabled);
  EXPECT_TRUE(State(0).Checked);
  Toolbar.ExecuteAction(0);
  EXPECT_FALSE(Agent.GetActive());
  EXPECT_FALSE(State(0).Checked);
  EXPECT_TRUE(State(0).Enabled);
  Toolbar.ExecuteAction(0);
  EXPECT_TRUE(Agent.GetActive());
  EXPECT_TRUE(State(0).Checked);

  EXPECT_FALSE(State(8).Checked);
  Toolbar.ExecuteAction(8);
  EXPECT_TRUE(Agent.GetRecording());
  EXPECT_TRUE(State(8).Checked);
  EXPECT_TRUE(State(0).Checked);  // the other check action is not disturbed
  Toolbar.ExecuteAction(8);
  EXPECT_FALSE(Agent.GetRecording());
  EXPECT_FALSE(State(8).Checked);
  EXPECT_EQ(Commands, (std::vector<std::string>{"RecordingDone"}));
  // The button actions are never checked.
  for (int32_t Index : {1, 2, 3, 4, 5, 6, 7, 9}) EXPECT_FALSE(State(Index).Checked) << Index;
}

TEST_F(BVAgentTest, EachButtonActionReachesItsAgentCommand) {
  struct TCase {
    int32_t Index;
    const char* Command;
  };
  const TCase Cases[] = {{1, "ShowManager"}, {2, "SaveForms"},  {3, "FillForm"},   {4, "BindField"},
                         {5, "UnbindField"}, {7, "ClearForms"}, {9, "ShowOptions"}};
  StartStore();
  Attach();
  RecordCommands();
  Views().Clear();
  for (const TCase& C : Cases) {
    Commands.clear();
    if (C.Index == 9)
      Views().Answer("BVSettingsDialog", [this](TForm& Form) {
        Commands.push_back("ShowOptions");
        Form.Control("Button2").Click();
      });
    Toolbar.ExecuteAction(C.Index);
    EXPECT_EQ(Commands, std::vector<std::string>{C.Command}) << "action " << C.Index;
  }
  EXPECT_EQ(Views().Shown(), std::vector<AnsiString>{"BVSettingsDialog"});
  EXPECT_TRUE(Helper->Agent().GetActive());
  EXPECT_FALSE(Helper->Agent().GetRecording());
}

TEST_F(BVAgentTest, TheMenuRunsNothingItselfAndEachSubActionItsCommand) {
  StartStore();
  Attach();
  RecordCommands();
  Toolbar.ExecuteAction(MenuAction);
  EXPECT_TRUE(Commands.empty());
  const char* const Expected[3] = {"AddSynonym", "AddValue", "AddAllValues"};
  for (int32_t Sub = 0; Sub < 3; ++Sub) {
    Commands.clear();
    Toolbar.ExecuteSubAction(MenuAction, Sub);
    EXPECT_EQ(Commands, std::vector<std::string>{Expected[Sub]}) << Sub;
  }
  Commands.clear();
  for (auto [Index, Sub] : TIndexPairs{{MenuAction, 3}, {MenuAction, -1}, {5, 1}, {0, 0}, {10, 1}})
    Toolbar.ExecuteSubAction(Index, Sub);
  EXPECT_TRUE(Commands.empty());
}

// With the helper's own handlers: "Add value" sends the focused field's value to the store, and
// the menu action itself sends nothing (the bind-field dialog's scripted answer would otherwise be
// taken by the wrong command).
TEST_F(BVAgentTest, TheAddValueSubActionSendsTheFocusedFieldsValueToTheStore) {
  StartStore([](TBVOptions& O) { O.AutoFillNew = 0; });
  OpenWindow();
  Serve(u"http://a.example/", R"(<html><body><form><input id=t name=t value="Main Street, 4"></form></body></html>)");
  Open(u"http://a.example/");
  Toolbar.SetWindow(WindowOf(*Browser));
  auto Field = Element(u"t");
  Field->OwnerDocument()->SetActiveElement(Field);
  Views().Clear();  // the fill dialog the page load showed
  Toolbar.ExecuteAction(MenuAction);
  EXPECT_TRUE(Views().Shown().empty());
  Views().Answer("ProfileBindFieldForm", [](TForm& Form) {
    auto& D = static_cast<TProfileBindFieldForm&>(Form);
    D.GroupsComboBox.Select(0);
    const int Index = D.TextListBox.Items.IndexOf("Address line 1");
    ASSERT_GE(Index, 0);
    D.TextListBox.Select(Index);
    D.OKButton.Click();
  });
  Toolbar.ExecuteSubAction(MenuAction, 1);
  EXPECT_EQ(Store->Added, std::vector<WideString>{u"Address line 1=\"Main Street, 4\""});
}

TEST_F(BVAgentTest, GUIActiveIsTheAgentsFlag) {
  Attach();
  TBrivaneAgent& Agent = Helper->Agent();
  EXPECT_TRUE(Toolbar.GetGUIActive());
  Toolbar.SetGUIActive(false);
  EXPECT_FALSE(Agent.GetGUIActive());
  EXPECT_FALSE(Toolbar.GetGUIActive());
  Toolbar.SetGUIActive(true);
  EXPECT_TRUE(Agent.GetGUIActive());
  EXPECT_TRUE(Toolbar.GetGUIActive());
}

// Nothing of the agent is kept: what the browser's property holds at the time of the call counts.
TEST_F(BVAgentTest, TheAgentIsLookedUpOnTheBrowserAtEveryCall) {
  StartStore();
  Attach();
  ASSERT_TRUE(State(0).Enabled);
  const TVariant Published = Browser->GetProperty(AgentPropertyName);

  struct TCase {
    const char* What;
    TVariant Value;
  };
  const TCase NoAgent[] = {
      {"empty", TVariant()},
      {"null", TVariant::Null()},
      {"a text", TVariant(u"agent")},
      {"an object that is no agent", TVariant(std::static_pointer_cast<IInterface>(std::make_shared<TPlainObject>()))}};
  RecordCommands();
  for (const TCase& C : NoAgent) {
    Browser->PutProperty(AgentPropertyName, C.Value);
    EXPECT_FALSE(Toolbar.GetGUIActive()) << C.What;
    const TState S = State(3);
    EXPECT_FALSE(S.Enabled) << C.What;
    EXPECT_EQ(S.Caption, u"Fill form") << C.What;
    EXPECT_NO_THROW(Toolbar.ExecuteAction(3)) << C.What;
    EXPECT_NO_THROW(Toolbar.SetGUIActive(false)) << C.What;
  }
  EXPECT_TRUE(Commands.empty());
  EXPECT_TRUE(Helper->Agent().GetGUIActive());

  // Another agent published in its place is the one that answers.
  auto Other = std::make_shared<TBrivaneAgent>();
  Other->SetGUIActive(false);
  Browser->PutProperty(AgentPropertyName,
                       TVariant(std::static_pointer_cast<IInterface>(std::static_pointer_cast<IBrivaneAgent>(Other))));
  EXPECT_FALSE(Toolbar.GetGUIActive());
  Toolbar.ExecuteAction(0);
  EXPECT_FALSE(Other->GetActive());
  EXPECT_TRUE(Helper->Agent().GetActive());

  Browser->PutProperty(AgentPropertyName, Published);
  EXPECT_TRUE(Toolbar.GetGUIActive());
  EXPECT_TRUE(State(3).Enabled);
}

// The store translates the captions of its language; the agent has them once connected, and both
// caption and hint come back translated. A caption the store has no translation for stays.
TEST_F(BVAgentTest, CaptionsComeBackInTheStoresLanguage) {
  StartStore();
  Store->SetLanguage(u"de");
  Store->AddTranslation(u"de", u"Fill form", u"Formular ausf\u00FCllen");
  Store->AddTranslation(u"de", u"Add value", u"Wert hinzuf\u00FCgen");
  Attach();
  const TState Fill = State(3);
  EXPECT_TRUE(Fill.Enabled);
  EXPECT_EQ(Fill.Caption, u"Formular ausf\u00FCllen");
  EXPECT_EQ(Fill.Hint, u"Formular ausf\u00FCllen");
  EXPECT_EQ(State(2).Caption, u"Save forms");
  EXPECT_EQ(SubState(MenuAction, 1),
            std::make_pair(WideString(u"Wert hinzuf\u00FCgen"), WideString(u"Wert hinzuf\u00FCgen")));
  EXPECT_EQ(SubState(MenuAction, 0).first, u"Add synonim");

  // Without a window there is no agent to translate.
  TBVAgent Fresh;
  WideString Caption, Hint;
  bool Enabled = true, Checked = true;
  Fresh.GetActionState(3, Caption, Hint, Enabled, Checked);
  EXPECT_EQ(Caption, u"Fill form");
}

}  // namespace
