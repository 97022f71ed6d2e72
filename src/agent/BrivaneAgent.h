#pragma once
// The agent of one browser window: the hub between the browser helper object, the agent's dialogs
// and the form store. It keeps the user's options and the page's keys, the lists the fill dialog
// shows, the lexicon and the navigation recorder, and owns the connection to the store. Commands
// that touch the page are not carried out here: the agent raises an event and its subscriber
// (normally the helper object) does the work.
//
// The store may quit or fail at any moment. Every store call the agent makes is guarded: a failure
// drops the connection and the operation answers as if disconnected; the next operation that
// needs the store finds it again. No failure of the store reaches the agent's caller.

#include <cstdint>
#include <functional>
#include <memory>

#include "Common/BrivaneLibEvents.h"
#include "Common/FormCards.h"
#include "Common/Lexicon.h"
#include "Common/NavigationRecorder.h"
#include "Common/Options.h"
#include "BHO/PageForms.h"
#include "IBrivaneAgent.h"
#include "platform/Store.h"
#include "platform/StringList.h"

namespace pel {

class TBVDialog;
class TBVMessageDialog;

// Resource numbers of the sixteen action captions, in caption order.
inline constexpr int32_t ActionCaptionIDs[16] = {65197, 65198, 65199, 65168, 65169, 65170, 65171, 65172,
                                                 65173, 65174, 65175, 65176, 65177, 65178, 65179, 65180};
// The lexicon format the store sends.
inline constexpr int LexiconVersion = 13;

class TBrivaneAgent : public IBrivaneAgent, public IProfileFillAgent {
public:
  using TNotifyEvent = std::function<void(TBrivaneAgent* Sender)>;
  using TSaveFormsEvent = std::function<void(TBrivaneAgent* Sender, TFormItem* Form)>;
  using TShowManagerEvent =
      std::function<void(TBrivaneAgent* Sender, const WideString& A, const WideString& B, const WideString& C)>;
  using TFillItemEvent = std::function<void(TBrivaneAgent* Sender, const WideString& SetName, const WideString& Name,
                                            bool Submit, bool OnlyEmpty)>;
  using TFillProfileEvent = std::function<void(TBrivaneAgent* Sender, const WideString& Profile, bool OnlyEmpty)>;
  using TItemEvent = std::function<void(TBrivaneAgent* Sender, const WideString& SetName, const WideString& Name)>;
  using TProfileEvent = std::function<void(TBrivaneAgent* Sender, const WideString& Profile)>;
  using TRecordingDoneEvent =
      std::function<void(TBrivaneAgent* Sender, const WideString& FirstURL, const TVariant& Data)>;
  using TMessageResultEvent = std::function<void(TBrivaneAgent* Sender, int32_t Result)>;
  using TExecCmdEvent = std::function<void(uint32_t AWnd, int32_t ACmd)>;
  using TNavigateRequestEvent = std::function<void(const WideString& URL)>;
  using TGetWindowEvent = std::function<uint32_t()>;

  TBrivaneAgent();
  ~TBrivaneAgent() override;
  TBrivaneAgent(const TBrivaneAgent&) = delete;
  TBrivaneAgent& operator=(const TBrivaneAgent&) = delete;

  // ---- IBrivaneAgent
  void SetFormCardList(const TVariant& Cards, const WideString& SetName, const WideString& Current) override;
  void SetProfileList(const TVariant& Profiles, const WideString& Current) override;
  void ClearFormCardList() override;
  void SaveForms() override;
  void BindField() override;
  void UnbindField() override;
  void ShowManager(const WideString& A, const WideString& B, const WideString& C) override;
  void ShowOptions() override;
  bool GetActive() override { return FActive; }
  void SetActive(bool Value) override { FActive = Value; }
  bool GetAutoFill() override { return FOptions.AutoFill != 0; }
  void SetAutoFill(bool Value) override;
  bool GetAutoSubmit() override { return FOptions.AutoSubmit != 0; }
  void SetAutoSubmit(bool Value) override;
  bool GetLoggedIn() override;
  void SetLoggedIn(bool Value) override;
  bool GetConnected() override;
  void ClearForms() override;
  WideString GetCurrentProfile() override;
  bool GetRecording() override;
  void SetRecording(bool Value) override;
  bool GetGUIActive() override { return FGUIActive; }
  void SetGUIActive(bool Value) override;
  void AddSynonym() override;
  void AddValue() override;
  void AddAllValues() override;
  WideString TranslateCaption(const WideString& Caption) override;
  void FillForm() override;

  // ---- lists
  void SetNavigationList(const TVariant& List, const WideString& Current);
  void SetMailCardList(const TVariant& List, const WideString& Current);
  void SetAuthList(const TVariant& List, const WideString& Current);
  WideString GetCurrentNavigation() const;
  WideString GetCurrentMailCard() const;
  bool HasNavigations() const { return FNavigations.Count() > 0; }
  bool HasMailCards() const { return FMailCards.Count() > 0; }
  TWideStringList& ProfileList() { return FProfiles; }
  const TFormCards& CardSets() const { return FCardSets; }
  const TWideStringList& Navigations() const { return FNavigations; }
  const TWideStringList& MailCards() const { return FMailCards; }
  const TWideStringList& AuthRecords() const { return FAuthRecords; }
  const TWideStringList& ActionCaptions() const { return FActionCaptions; }
  const TWideStringList& TranslatedCaptions() const { return FTranslatedCaptions; }

  // ---- page
  void SetURL(const WideString& URL);
  void SetPageHint(const WideString& Text) { FPageHint = Text; }
  const WideString& URL() const override { return FURL; }
  const WideString& URLKey() const { return FURLKey; }
  const WideString& SiteKey() const { return FSiteKey; }
  const WideString& PageHint() const { return FPageHint; }

  // ---- what the options decide, with unattended runs and recording taken into account
  bool AutoFillEnabled() const;
  bool AutoSubmitEnabled() const;
  bool AutoFillNewEnabled() const;
  bool AutoBindEnabled() const override;
  bool AutoShowEnabled() const;
  bool AskConfirmEnabled() const;
  uint8_t SubmitAction() const;
  const TBVOptions& Options() const { return FOptions; }
  const TBVOptions& StoredOptions() const { return FStoredOptions; }

  // ---- settings
  void SetUnattended(bool Value) { FUnattended = Value; }
  bool Unattended() const { return FUnattended; }
  void SetCaption(const AnsiString& Value) { FCaption = Value; }
  const AnsiString& Caption() const { return FCaption; }
  void SetDialogPlacement(uint8_t Value) { FDialogPlacement = Value; }
  void SetDialogWidthMode(uint8_t Value) { FDialogWidthMode = Value; }
  void SetDialogHeightMode(uint8_t Value) { FDialogHeightMode = Value; }
  void SetAlwaysReloadDefaults(bool Value);

  // ---- the store
  // Makes sure the store is connected when it runs; never fails.
  void Connect();
  // Drops the connection; never fails.
  void Disconnect();
  // Connects, then answers the store (null when none runs).
  void GetServer(std::shared_ptr<IPelServer>& Server) override;
  bool Login() override;
  void Logout();
  void LoadDefaultOptions();
  void LoadSiteOptions();
  void LoadLexicon();
  void LoadTranslations();
  int32_t DisplayMode() const { return FDisplayMode; }
  TLexicon& Lexicon() override { return FLexicon; }
  TNavigationRecorder& Recorder() { return FRecorder; }

  // ---- dialogs
  void SetFillDialogShown(bool Show);
  void ShowFillDialog();
  void HideFillDialog();
  void RefreshFillDialog();
  bool FillDialogShown() const;
  void ShowMessage(const AnsiString& Text, uint8_t Kind);
  void HideMessage(bool Reset);
  // Frees the fill and message dialogs (the window they belonged to goes); later shows make them
  // anew.
  void FreeDialogs();
  // Unassigns every event: for an owner that goes while others still hold the agent.
  void ClearEvents();
  // The dialogs once made (null before), for their views and for tests acting as the user.
  TBVDialog* FillDialog() const { return FDialog.get(); }
  TBVMessageDialog* MessageDialog() const { return FMessageDialog.get(); }

  // ---- events; each is raised only when assigned
  TSaveFormsEvent OnSaveForms;
  TNotifyEvent OnBindField, OnUnbindField, OnClearForms, OnFillForm, OnAddSynonym, OnAddValue, OnAddAllValues;
  TShowManagerEvent OnShowManager;
  TFillItemEvent OnFillFormCard, OnFillAuthRecord;
  TFillProfileEvent OnFillProfile;
  TItemEvent OnSetDefaultFormCard, OnDeleteFormCard, OnPlayNavigation, OnSendMailCard;
  TProfileEvent OnSetActiveProfile;
  TNotifyEvent OnURLChange, OnConnect, OnServerQuit, OnLoggedIn, OnLoggedOut;
  TRecordingDoneEvent OnRecordingDone;
  TMessageResultEvent OnMessageResult;
  TExecCmdEvent OnExecCmd;
  TNavigateRequestEvent OnNavigateRequest;
  TGetWindowEvent OnGetParentWindow;
  TGetWindowEvent OnGetDialogOwner;

private:
  std::shared_ptr<IPelServer> FindServer() const;
  // Runs Call on the connected store; a failure drops the connection and answers false.
  template <class TCall>
  bool ServerCall(TCall&& Call);
  void SettingsChanged(bool ApplyToAll);
  void LoadPairList(TWideStringList& List, const TVariant& Data, const WideString& Current);
  uint32_t ParentWindow() const;
  void ShowPendingMessage();
  void DialogHidden();
  void MessageAnswered(int32_t Result);

  TFormCards FCardSets;
  TWideStringList FProfiles, FNavigations, FMailCards, FAuthRecords;
  TWideStringList FActionCaptions, FTranslatedCaptions;
  TLexicon FLexicon;
  TNavigationRecorder FRecorder;

  WideString FURL, FURLKey, FSiteKey, FPageHint;

  TBVOptions FStoredOptions, FOptions;
  bool FReloadDefaults = false;
  bool FUnattended = false;

  bool FActive = true;
  bool FGUIActive = true;
  bool FShowPending = false;
  bool FDialogDismissed = false;
  std::unique_ptr<TBVDialog> FDialog;
  std::unique_ptr<TBVMessageDialog> FMessageDialog;
  AnsiString FMessageText;
  uint8_t FMessageKind = 0;
  AnsiString FCaption = "Pelmora";
  uint8_t FDialogPlacement = 0, FDialogWidthMode = 0, FDialogHeightMode = 0;
  std::shared_ptr<IPelServer> FServer;
  std::unique_ptr<TBrivaneLibIPelServerEvents> FServerEvents;
  int32_t FDisplayMode = 0;
};

}  // namespace pel
