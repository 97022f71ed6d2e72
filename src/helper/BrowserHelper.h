#pragma once
// The add-on of one browser window: it attaches to the window's browser, owns the window's agent,
// follows the browser's events in the browser's order, keeps the page's forms up to date, fills
// them automatically when a page has loaded, submits the one form a fill marked, saves what the
// user submits, and carries out the commands of the agent, its dialogs and the store.
//
// Every command that can make the page navigate tests, after each such step, whether a navigation
// began (FNavigated, set by BeforeNavigate2) and then unwinds with EBeforeNavigate, since the page
// objects it holds are about to go. Entry points (what the agent, its dialogs or the browser call)
// catch it and clear the flag; inner steps let it pass.
//
// One class, since its fields are the state every concern shares; its methods are spread over
// the files of this folder by concern (BrowserHelper.cpp: lifetime and the browser's events).

#include <atomic>
#include <memory>

#include "BHO/AutoSubmitTracer.h"
#include "BHO/DocListener.h"
#include "BHO/MSHTMLEvents.h"
#include "BHO/PageForms.h"
#include "BHO/SHDocVwEvents.h"
#include "agent/BrivaneAgent.h"
#include "platform/Browser.h"

namespace pel {

// {697FE3DB-403D-4ED6-93DF-18C06FD4B046} and {6C0AA1DB-3D13-4D7F-ACAD-D3064520CA19}: one method
// table answers both.
inline constexpr TGUID IID_IHelperBatchControl = {
    0x697FE3DB, 0x403D, 0x4ED6, {0x93, 0xDF, 0x18, 0xC0, 0x6F, 0xD4, 0xB0, 0x46}};
inline constexpr TGUID IID_IHelperBatchControl2 = {
    0x6C0AA1DB, 0x3D13, 0x4D7F, {0xAC, 0xAD, 0xD3, 0x06, 0x45, 0x20, 0xCA, 0x19}};
// {653BBF16-90A2-4D89-A914-F861467E17E2}
inline constexpr TGUID IID_IBVBatchServer = {
    0x653BBF16, 0x90A2, 0x4D89, {0xA9, 0x14, 0xF8, 0x61, 0x46, 0x7E, 0x17, 0xE2}};

// Implemented by a program that drives a browser window unattended: told when the automatic
// processing of a page ended.
class IBVBatchServer : public virtual IInterface {
public:
  virtual void PageDone() = 0;      // the page had forms
  virtual void LoopDetected() = 0;  // an automatic action would have repeated itself
  virtual void NoForms() = 0;       // the page had none
};

// How such a program steers the window's helper.
class IHelperBatchControl : public virtual IInterface {
public:
  virtual WideString Get_ProfileName() = 0;
  virtual void Set_ProfileName(const WideString& Value) = 0;
  virtual std::shared_ptr<IBVBatchServer> Get_BatchServer() = 0;
  virtual void Set_BatchServer(const std::shared_ptr<IBVBatchServer>& Value) = 0;
  // 16-bit booleans: -1 true, 0 false.
  virtual int16_t Get_Unattended() = 0;
  virtual void Set_Unattended(int16_t Value) = 0;
};

// Set while any window of the process processes a page automatically.
bool AutoProcessBusy();

class TKXBrowserHelperObject : public IObjectWithSite, public IHelperBatchControl {
public:
  TKXBrowserHelperObject();
  ~TKXBrowserHelperObject() override;
  TKXBrowserHelperObject(const TKXBrowserHelperObject&) = delete;
  TKXBrowserHelperObject& operator=(const TKXBrowserHelperObject&) = delete;

  // IObjectWithSite
  int32_t SetSite(const std::shared_ptr<IInterface>& Site) override;
  int32_t GetSite(const TGUID& IID, std::shared_ptr<IInterface>* Site) override;
  // IHelperBatchControl
  WideString Get_ProfileName() override { return FBatchProfile; }
  void Set_ProfileName(const WideString& Value) override { FBatchProfile = Value; }
  std::shared_ptr<IBVBatchServer> Get_BatchServer() override { return FBatchServer; }
  void Set_BatchServer(const std::shared_ptr<IBVBatchServer>& Value) override { FBatchServer = Value; }
  int16_t Get_Unattended() override;
  void Set_Unattended(int16_t Value) override;

  // ---- the agent's commands
  void FillFormCard(TBrivaneAgent* Sender, const WideString& SetName, const WideString& CardName, bool Submit,
                    bool OnlyEmpty);
  void FillFromProfile(TBrivaneAgent* Sender, const WideString& ProfileName, bool OnlyEmpty);
  void SetDefaultFormCard(TBrivaneAgent* Sender, const WideString& SetName, const WideString& CardName);
  void SetActiveProfile(TBrivaneAgent* Sender, const WideString& ProfileName);
  void SaveForms(TBrivaneAgent* Sender, TFormItem* Form);
  void ClearForms(TBrivaneAgent* Sender);
  void ShowManager(TBrivaneAgent* Sender, const WideString& A, const WideString& B, const WideString& C);
  void DeleteFormCard(TBrivaneAgent* Sender, const WideString& SetName, const WideString& CardName);
  void ServerConnected(TBrivaneAgent* Sender);
  void ServerQuit(TBrivaneAgent* Sender);
  void UrlChanged(TBrivaneAgent* Sender);
  void NavigateTo(const WideString& URL);
  void MessageAnswered(TBrivaneAgent* Sender, int32_t Answer);
  void FillFormCommand(TBrivaneAgent* Sender);
  void WindowCommand(uint32_t Window, int32_t Command);
  void PlayNavigation(TBrivaneAgent* Sender, const WideString& SetName, const WideString& Name);
  void SendMailCard(TBrivaneAgent* Sender, const WideString& SetName, const WideString& Name);
  void SaveNavigations(TBrivaneAgent* Sender, const WideString& Key, const TVariant& Steps);
  void BindField(TBrivaneAgent* Sender);
  void UnbindField(TBrivaneAgent* Sender);
  void AddFieldSynonym(TBrivaneAgent* Sender);
  void AddFieldValue(TBrivaneAgent* Sender);
  void AddAllFieldValues(TBrivaneAgent* Sender);

  // ---- the focused field and the bind-field dialog
  // The field with the keyboard focus and the page form of its document; Element null when there
  // is none (or it is a file input, which cannot be bound and says so).
  void FindActiveField(TFormItem*& Item, TElementRef& Element);
  bool ShowBindFieldDialog(const WideString& Caption, WideString& Synonym, WideString& Field, WideString& FieldInfo);

  // ---- what happens inside documents
  void HandleDocumentMouseDown(const std::shared_ptr<IHTMLEventObj>& EventObj);
  void HandleDocumentMouseUp(const std::shared_ptr<IHTMLEventObj>& EventObj);
  void HandleDocumentClick(const std::shared_ptr<IHTMLEventObj>& EventObj);

  // ---- mail cards and recorded navigations
  void SaveMailCard(const WideString& Href);
  static void ParseMailtoAddress(const WideString& Href, WideString& Address, WideString& Second, WideString& Third);
  bool SendMailCardToLink(const std::shared_ptr<IWebBrowser2>& Browser, const WideString& SetName,
                          const WideString& Name, bool& LoginRequired);
  bool SendPendingMailCard(const std::shared_ptr<IWebBrowser2>& Browser);
  uint8_t FindMailtoLink(const std::shared_ptr<IWebBrowser2>& Browser, const WideString& Address, TElementRef& Anchor);
  bool ContinuePlayback(const std::shared_ptr<IWebBrowser2>& Browser, bool& NavigationsAvailable);
  bool PlayRecordedStep(const std::shared_ptr<IWebBrowser2>& Browser, bool Ask);
  // 0 not found, 1 ambiguous (no element), 2 the value matches but the name differs, 3 found.
  uint8_t FindStepElement(const std::shared_ptr<IWebBrowser2>& Browser, const WideString& Tag, const WideString& Type,
                          const WideString& Name, const WideString& Value, TElementRef& Element);

  // ---- the browser's events
  void HandleBeforeNavigate2(const std::shared_ptr<IInterface>& pDisp, const TVariant& URL, const TVariant& PostData,
                             bool& Cancel);
  void HandleNewWindow2();
  void HandleNavigateComplete2(const std::shared_ptr<IInterface>& pDisp, const TVariant& URL);
  void HandleDocumentComplete(const std::shared_ptr<IInterface>& pDisp, const TVariant& URL);
  void HandleDownloadComplete();
  void HandleWindowLoad();
  void HandleWindowUnload();
  void FormSubmitted(TFormItem& Item);

  // ---- steps other commands use
  void ProcessDocument(const std::shared_ptr<IWebBrowser2>& Browser, bool FromEvent);
  void RefreshPage();
  void UpdateProfileList();
  void UpdateFormSetLists();
  void AutoProcessPage(const std::shared_ptr<IWebBrowser2>& Browser, bool AutoFill, bool AutoSubmit, bool AutoShow,
                       bool FromEvent);
  bool FillFormsFromServer(const WideString& SetName, const WideString& CardName, bool FillNew, bool FillProfile,
                           bool OnlyEmpty, bool& LoginRequired);
  bool FillFormItem(const TTransitFormSet& Cards, TFormItem& Item);
  void FillFromProfileAndMark(const WideString& ProfileName, bool OnlyEmpty);
  // The profile fill of the page's controls outside any form (frames included), one group per
  // document; nothing of it is captured, numbered or submitted.
  void FillFormlessFromProfile(const WideString& ProfileName, bool OnlyEmpty);
  bool SubmitFilledForm();
  void UpdateInfoText(bool WithPage);
  void BuildInfoText(bool WithPage, WideString& Text);
  void AskSaveSubmittedForm();
  void ShowMessageKind(uint8_t Kind, const WideString& Text);
  void ClearMessage();
  void SendPageInfo(bool WithImage);
  // The page's thumbnail (a GIF's bytes), the integer 0 for a page that draws nothing, empty when
  // none can be taken.
  TVariant CapturePageImage();
  uint32_t GetBrowserWindow() const { return FBrowserWindow; }

  // ---- what tests and tools look at
  TBrivaneAgent& Agent() { return *FAgent; }
  TPageFormSet& PageForms() { return *FPageForms; }
  TAutoSubmitTracer& Tracer() { return *FTracer; }
  bool PendingFill() const { return FPendingFill; }
  const WideString& LastBindGroup() const { return FLastBindGroup; }
  const WideString& LastBindField() const { return FLastBindField; }
  uint8_t MessageKind() const { return FMessageKind; }
  bool TopLoading() const { return FTopLoading; }
  void SetCredentialDialogActive(bool Value) { FCredentialDialogActive = Value; }
  bool CredentialDialogActive() const { return FCredentialDialogActive; }
  bool AuthRegistered() const { return FAuthRegistered; }

private:
  template <class TBody>
  void EntryPoint(int Code, TBody&& Body);
  std::shared_ptr<IPelServer> Server();
  bool IsTopBrowser(const std::shared_ptr<IWebBrowser2>& Browser) const;
  void ClearPendingFill();
  // The focused field as the lexicon commands read it.
  struct TFocusedField {
    TFormItem* Item = nullptr;
    TElementRef Element;
    WideString Name, Tag, Type, Value;
  };
  bool ReadActiveField(TFocusedField& Field);
  // An automatic action would repeat itself (message kind 2 submit, 3 mail card, 4 navigation).
  void ReportLoop(uint8_t Kind);
  // The focused form field of the page's forms' documents, without rescanning.
  TElementRef FocusedField(TFormItem** Item);
  // The store dialog loop of a record save: the dialog again after a refused login, Cancel ends.
  void SaveRecordThroughDialog(int32_t Kind, const AnsiString& Caption, const WideString& Key, const WideString& URL,
                               WideString Name, const TVariant& Data);

  std::shared_ptr<IWebBrowser2> FWebBrowser;
  std::unique_ptr<TSHDocVwDWebBrowserEvents2> FBrowserEvents;
  std::unique_ptr<TMSHTMLHTMLWindowEvents> FWindowEvents;
  std::unique_ptr<THTMLWinDocListener> FDocListener;
  uint32_t FBrowserWindow = 0;
  std::unique_ptr<TPageFormSet> FPageForms;
  // Watches the marks of controls outside any form, for the page it was made for.
  std::unique_ptr<TElementChangingTracker> FFormlessTracker;
  std::shared_ptr<IHTMLDocument2> FFormlessPage;
  TBrivaneAgent* FAgent = nullptr;
  std::shared_ptr<IBrivaneAgent> FAgentIntf;
  bool FNavigated = false;
  bool FTopLoading = false;
  bool FSelfSubmit = false;
  WideString FLastBindGroup, FLastBindField;
  std::unique_ptr<TAutoSubmitTracer> FTracer;
  WideString FPendingSetName, FPendingCardName;
  bool FPendingFill = false;
  bool FPendingSubmit = false;
  WideString FNotesKey, FNotesTitle, FNotesText;
  bool FIsFilling = false;
  bool FProcessing = false;
  int32_t FPressedIndex = -1;
  bool FNavigatedSincePress = false;
  uint8_t FMessageKind = 0;
  WideString FBatchProfile;
  std::shared_ptr<IBVBatchServer> FBatchServer;
  WideString FPageURL, FPageTitle;
  bool FCredentialDialogActive = false;
  bool FAuthRegistered = false;
};

}  // namespace pel
