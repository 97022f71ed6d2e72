#pragma once
// The credential dialog agent of one browser user-interface thread. It examines every window made
// on its thread (a hidden window of its own receives one posted message per window), recognises the
// system's HTTP credential dialog by its exact control layout, fills it from the site's stored
// authentication record or from the active profile, may press OK itself, offers the fill dialog
// beside it and stores what the user confirmed. It talks to the store through a private agent of
// its own, configured for authentication data.

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "BHO/AutoSubmitTracer.h"
#include "platform/SysTypes.h"
#include "platform/Variant.h"

namespace pel {

class TBrivaneAgent;
class IBrivaneAgent;
class TKXBrowserHelperObject;

// The private message: lParam 0 resets, any other value is a window to examine.
constexpr uint32_t wmAuthDialogEvent = 0x0401;

// What recognition found in a credential dialog.
struct TDlgData {
  AnsiString Site;
  uint32_t UserControl = 0;
  uint32_t PasswordControl = 0;
  uint32_t OkButton = 0;
};

// The layout is chosen by the system's version: the classic one before 5.1, the credential-control
// one from 5.1 on. False leaves Data as it was.
bool Recognise(uint32_t Wnd, TDlgData& Data);

// Text of a credential dialog's control. The 8-bit calls carry it where the system code page can;
// a character it cannot hold would come back as "?", so such text goes through the wide calls.
WideString ReadControlText(uint32_t Wnd);
void WriteControlText(uint32_t Wnd, const WideString& Text);

// The value stored for an authentication record: user name, its profile field key, password, its key.
TVariant AuthRecordData(const WideString& UserName, const WideString& UserNameKey, const WideString& Password,
                        const WideString& PasswordKey);

class TAuthAgent {
public:
  explicit TAuthAgent(uint32_t ThreadId);
  ~TAuthAgent();
  TAuthAgent(const TAuthAgent&) = delete;
  TAuthAgent& operator=(const TAuthAgent&) = delete;

  uint32_t Handle() const { return FHandle; }
  uint32_t ThreadId() const { return FThreadId; }
  std::vector<TKXBrowserHelperObject*>& Helpers() { return FHelpers; }

  // Posted message 0x401.
  void DialogEvent(uint32_t Wnd);
  // The dialog is about to hide after the user confirmed it.
  void DialogConfirmed();
  void SaveCredentials(uint8_t Mode, bool Force);

  // Read by the hook notifications of any thread.
  uint32_t Dialog() const { return FDialog; }
  uint32_t UserControl() const { return FUserControl; }
  uint32_t PasswordControl() const { return FPasswordControl; }
  uint32_t OkButton() const { return FOkButton; }
  bool Confirmed() const { return FConfirmed; }
  void SetConfirmed() { FConfirmed = true; }

  // ---- what tests look at
  bool SubmittedByAgent() const { return FSubmittedByAgent; }
  const WideString& Site() const { return FSite; }
  uint32_t AnchorWindow() const { return FAnchorWindow; }
  const WideString& UserName() const { return FUserName; }
  const WideString& UserNameKey() const { return FUserNameKey; }
  const WideString& Password() const { return FPassword; }
  const WideString& PasswordKey() const { return FPasswordKey; }
  TBrivaneAgent& Agent() { return *FAgent; }
  TAutoSubmitTracer& Tracer() { return *FTracer; }

private:
  void Reset();
  void OnDialog(bool AutoFill, bool AutoSubmit, bool AutoShow);
  bool FillFromRecord(const WideString& Name, bool Submit, bool& LoginRequired);
  bool FillFromProfile(const WideString& Profile, bool OnlyEmpty, bool Submit, bool& LoginRequired);
  bool AutoSubmit();
  void ReloadProfiles();
  void Refresh();
  void ExecCmd(uint32_t Wnd, int32_t Cmd);
  void MarkHelpers(bool Active);

  uint32_t FHandle = 0;
  uint32_t FThreadId;
  std::vector<TKXBrowserHelperObject*> FHelpers;
  std::atomic<uint32_t> FDialog{0}, FUserControl{0}, FPasswordControl{0}, FOkButton{0};
  std::atomic<bool> FConfirmed{false};
  bool FSubmittedByAgent = false;
  WideString FSite;
  uint32_t FAnchorWindow = 0;
  WideString FUserName, FUserNameKey, FPassword, FPasswordKey;
  TBrivaneAgent* FAgent = nullptr;
  std::shared_ptr<IBrivaneAgent> FAgentIntf;
  std::unique_ptr<TAutoSubmitTracer> FTracer;
};

}  // namespace pel
