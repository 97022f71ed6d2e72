#pragma once
// The window's agent across COM. The helper object publishes its agent on the browser as a COM
// object (TComBrivaneAgent, the agent's COM face); whoever reads it back from the browser (the
// automation agent, the toolbar) calls it through TComBrivaneAgentClient, the agent port over
// that COM object.

#include <windows.h>

#include "BrivaneHelper.h"
#include "ComObject.h"
#include "ComServer.h"
#include "agent/IBrivaneAgent.h"

namespace pel::win32 {

class TComBrivaneAgent final : public ::IBrivaneAgent, public TComRefCounted<TComBrivaneAgent> {
public:
  explicit TComBrivaneAgent(std::shared_ptr<pel::IBrivaneAgent> Agent) : FAgent(std::move(Agent)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Riid, void** Object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }

  void STDMETHODCALLTYPE SetFormCardList(VARIANT Cards, BSTR SetName, BSTR Current) override;
  void STDMETHODCALLTYPE SetProfileList(VARIANT Profiles, BSTR Current) override;
  void STDMETHODCALLTYPE ClearFormCardList() override;
  void STDMETHODCALLTYPE SaveForms() override;
  void STDMETHODCALLTYPE BindField() override;
  void STDMETHODCALLTYPE UnbindField() override;
  void STDMETHODCALLTYPE ShowManager(BSTR A, BSTR B, BSTR C) override;
  void STDMETHODCALLTYPE ShowOptions() override;
  VARIANT_BOOL STDMETHODCALLTYPE GetActive() override;
  void STDMETHODCALLTYPE SetActive(VARIANT_BOOL Value) override;
  VARIANT_BOOL STDMETHODCALLTYPE GetAutoFill() override;
  void STDMETHODCALLTYPE SetAutoFill(VARIANT_BOOL Value) override;
  VARIANT_BOOL STDMETHODCALLTYPE GetAutoSubmit() override;
  void STDMETHODCALLTYPE SetAutoSubmit(VARIANT_BOOL Value) override;
  VARIANT_BOOL STDMETHODCALLTYPE GetLoggedIn() override;
  void STDMETHODCALLTYPE SetLoggedIn(VARIANT_BOOL Value) override;
  VARIANT_BOOL STDMETHODCALLTYPE GetConnected() override;
  void STDMETHODCALLTYPE ClearForms() override;
  BSTR STDMETHODCALLTYPE GetCurrentProfile() override;
  VARIANT_BOOL STDMETHODCALLTYPE GetRecording() override;
  void STDMETHODCALLTYPE SetRecording(VARIANT_BOOL Value) override;
  VARIANT_BOOL STDMETHODCALLTYPE GetGUIActive() override;
  void STDMETHODCALLTYPE SetGUIActive(VARIANT_BOOL Value) override;
  void STDMETHODCALLTYPE AddSynonym() override;
  void STDMETHODCALLTYPE AddValue() override;
  void STDMETHODCALLTYPE AddAllValues() override;
  BSTR STDMETHODCALLTYPE TranslateCaption(BSTR Caption) override;
  void STDMETHODCALLTYPE FillForm() override;

private:
  friend class TComRefCounted<TComBrivaneAgent>;
  ~TComBrivaneAgent() = default;
  std::shared_ptr<pel::IBrivaneAgent> FAgent;
};

class TComBrivaneAgentClient final : public TComObject, public pel::IBrivaneAgent {
public:
  // Takes over the caller's reference to Agent, which Object answered.
  TComBrivaneAgentClient(IUnknown* Object, ::IBrivaneAgent* Agent) : TComObject(Object), FAgent(Agent) {}
  ~TComBrivaneAgentClient() override { FAgent->Release(); }

  void SetFormCardList(const TVariant& Cards, const WideString& SetName, const WideString& Current) override;
  void SetProfileList(const TVariant& Profiles, const WideString& Current) override;
  void ClearFormCardList() override { FAgent->ClearFormCardList(); }
  void SaveForms() override { FAgent->SaveForms(); }
  void BindField() override { FAgent->BindField(); }
  void UnbindField() override { FAgent->UnbindField(); }
  void ShowManager(const WideString& A, const WideString& B, const WideString& C) override;
  void ShowOptions() override { FAgent->ShowOptions(); }
  bool GetActive() override { return FAgent->GetActive() != VARIANT_FALSE; }
  void SetActive(bool Value) override { FAgent->SetActive(Value ? VARIANT_TRUE : VARIANT_FALSE); }
  bool GetAutoFill() override { return FAgent->GetAutoFill() != VARIANT_FALSE; }
  void SetAutoFill(bool Value) override { FAgent->SetAutoFill(Value ? VARIANT_TRUE : VARIANT_FALSE); }
  bool GetAutoSubmit() override { return FAgent->GetAutoSubmit() != VARIANT_FALSE; }
  void SetAutoSubmit(bool Value) override { FAgent->SetAutoSubmit(Value ? VARIANT_TRUE : VARIANT_FALSE); }
  bool GetLoggedIn() override { return FAgent->GetLoggedIn() != VARIANT_FALSE; }
  void SetLoggedIn(bool Value) override { FAgent->SetLoggedIn(Value ? VARIANT_TRUE : VARIANT_FALSE); }
  bool GetConnected() override { return FAgent->GetConnected() != VARIANT_FALSE; }
  void ClearForms() override { FAgent->ClearForms(); }
  WideString GetCurrentProfile() override;
  bool GetRecording() override { return FAgent->GetRecording() != VARIANT_FALSE; }
  void SetRecording(bool Value) override { FAgent->SetRecording(Value ? VARIANT_TRUE : VARIANT_FALSE); }
  bool GetGUIActive() override { return FAgent->GetGUIActive() != VARIANT_FALSE; }
  void SetGUIActive(bool Value) override { FAgent->SetGUIActive(Value ? VARIANT_TRUE : VARIANT_FALSE); }
  void AddSynonym() override { FAgent->AddSynonym(); }
  void AddValue() override { FAgent->AddValue(); }
  void AddAllValues() override { FAgent->AddAllValues(); }
  WideString TranslateCaption(const WideString& Caption) override;
  void FillForm() override { FAgent->FillForm(); }

private:
  ::IBrivaneAgent* FAgent;
};

}  // namespace pel::win32
