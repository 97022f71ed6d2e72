#include "ComBrivaneAgent.h"

#include "ComVariant.h"

namespace pel::win32 {

namespace {
// The agent's slots answer their values directly: a failure inside becomes the slot's neutral
// answer, never an exception in the caller's frame.
template <class TBody>
void Guarded(TBody&& Body) noexcept {
  try {
    Body();
  } catch (...) {
  }
}

template <class TResult, class TBody>
TResult Guarded(TResult Default, TBody&& Body) noexcept {
  try {
    return Body();
  } catch (...) {
    return Default;
  }
}

VARIANT_BOOL ToVariantBool(bool Value) { return Value ? VARIANT_TRUE : VARIANT_FALSE; }
}  // namespace

// ---------------------------------------------------------------- the agent's COM face

HRESULT STDMETHODCALLTYPE TComBrivaneAgent::QueryInterface(REFIID Riid, void** Object) {
  if (!Object) return E_POINTER;
  if (IsEqualIID(Riid, IID_IUnknown) || IsEqualIID(Riid, ::IID_IBrivaneAgent)) {
    *Object = static_cast<::IBrivaneAgent*>(this);
    AddRef();
    return S_OK;
  }
  *Object = nullptr;
  return E_NOINTERFACE;
}

void STDMETHODCALLTYPE TComBrivaneAgent::SetFormCardList(VARIANT Cards, BSTR SetName, BSTR Current) {
  Guarded([&] { FAgent->SetFormCardList(FromOleVariant(Cards), FromBSTR(SetName), FromBSTR(Current)); });
}
void STDMETHODCALLTYPE TComBrivaneAgent::SetProfileList(VARIANT Profiles, BSTR Current) {
  Guarded([&] { FAgent->SetProfileList(FromOleVariant(Profiles), FromBSTR(Current)); });
}
void STDMETHODCALLTYPE TComBrivaneAgent::ClearFormCardList() {
  Guarded([&] { FAgent->ClearFormCardList(); });
}
void STDMETHODCALLTYPE TComBrivaneAgent::SaveForms() {
  Guarded([&] { FAgent->SaveForms(); });
}
void STDMETHODCALLTYPE TComBrivaneAgent::BindField() {
  Guarded([&] { FAgent->BindField(); });
}
void STDMETHODCALLTYPE TComBrivaneAgent::UnbindField() {
  Guarded([&] { FAgent->UnbindField(); });
}
void STDMETHODCALLTYPE TComBrivaneAgent::ShowManager(BSTR A, BSTR B, BSTR C) {
  Guarded([&] { FAgent->ShowManager(FromBSTR(A), FromBSTR(B), FromBSTR(C)); });
}
void STDMETHODCALLTYPE TComBrivaneAgent::ShowOptions() {
  Guarded([&] { FAgent->ShowOptions(); });
}
VARIANT_BOOL STDMETHODCALLTYPE TComBrivaneAgent::GetActive() {
  return Guarded(VARIANT_FALSE, [&] { return ToVariantBool(FAgent->GetActive()); });
}
void STDMETHODCALLTYPE TComBrivaneAgent::SetActive(VARIANT_BOOL Value) {
  Guarded([&] { FAgent->SetActive(Value != VARIANT_FALSE); });
}
VARIANT_BOOL STDMETHODCALLTYPE TComBrivaneAgent::GetAutoFill() {
  return Guarded(VARIANT_FALSE, [&] { return ToVariantBool(FAgent->GetAutoFill()); });
}
void STDMETHODCALLTYPE TComBrivaneAgent::SetAutoFill(VARIANT_BOOL Value) {
  Guarded([&] { FAgent->SetAutoFill(Value != VARIANT_FALSE); });
}
VARIANT_BOOL STDMETHODCALLTYPE TComBrivaneAgent::GetAutoSubmit() {
  return Guarded(VARIANT_FALSE, [&] { return ToVariantBool(FAgent->GetAutoSubmit()); });
}
void STDMETHODCALLTYPE TComBrivaneAgent::SetAutoSubmit(VARIANT_BOOL Value) {
  Guarded([&] { FAgent->SetAutoSubmit(Value != VARIANT_FALSE); });
}
VARIANT_BOOL STDMETHODCALLTYPE TComBrivaneAgent::GetLoggedIn() {
  return Guarded(VARIANT_FALSE, [&] { return ToVariantBool(FAgent->GetLoggedIn()); });
}
void STDMETHODCALLTYPE TComBrivaneAgent::SetLoggedIn(VARIANT_BOOL Value) {
  Guarded([&] { FAgent->SetLoggedIn(Value != VARIANT_FALSE); });
}
VARIANT_BOOL STDMETHODCALLTYPE TComBrivaneAgent::GetConnected() {
  return Guarded(VARIANT_FALSE, [&] { return ToVariantBool(FAgent->GetConnected()); });
}
void STDMETHODCALLTYPE TComBrivaneAgent::ClearForms() {
  Guarded([&] { FAgent->ClearForms(); });
}
BSTR STDMETHODCALLTYPE TComBrivaneAgent::GetCurrentProfile() {
  return Guarded(BSTR(nullptr), [&] { return ToBSTR(FAgent->GetCurrentProfile()); });
}
VARIANT_BOOL STDMETHODCALLTYPE TComBrivaneAgent::GetRecording() {
  return Guarded(VARIANT_FALSE, [&] { return ToVariantBool(FAgent->GetRecording()); });
}
void STDMETHODCALLTYPE TComBrivaneAgent::SetRecording(VARIANT_BOOL Value) {
  Guarded([&] { FAgent->SetRecording(Value != VARIANT_FALSE); });
}
VARIANT_BOOL STDMETHODCALLTYPE TComBrivaneAgent::GetGUIActive() {
  return Guarded(VARIANT_FALSE, [&] { return ToVariantBool(FAgent->GetGUIActive()); });
}
void STDMETHODCALLTYPE TComBrivaneAgent::SetGUIActive(VARIANT_BOOL Value) {
  Guarded([&] { FAgent->SetGUIActive(Value != VARIANT_FALSE); });
}
void STDMETHODCALLTYPE TComBrivaneAgent::AddSynonym() {
  Guarded([&] { FAgent->AddSynonym(); });
}
void STDMETHODCALLTYPE TComBrivaneAgent::AddValue() {
  Guarded([&] { FAgent->AddValue(); });
}
void STDMETHODCALLTYPE TComBrivaneAgent::AddAllValues() {
  Guarded([&] { FAgent->AddAllValues(); });
}
BSTR STDMETHODCALLTYPE TComBrivaneAgent::TranslateCaption(BSTR Caption) {
  try {
    return ToBSTR(FAgent->TranslateCaption(FromBSTR(Caption)));
  } catch (...) {
    // Untranslated is the caption itself: the caller shows what it asked for rather than nothing.
    return SysAllocStringLen(Caption, SysStringLen(Caption));
  }
}
void STDMETHODCALLTYPE TComBrivaneAgent::FillForm() {
  Guarded([&] { FAgent->FillForm(); });
}

// ---------------------------------------------------------------- the agent port over COM

void TComBrivaneAgentClient::SetFormCardList(const TVariant& Cards, const WideString& SetName,
                                             const WideString& Current) {
  TOleVariant List(Cards);
  TOleString Set(SetName), Card(Current);
  FAgent->SetFormCardList(List.Value(), Set, Card);
}

void TComBrivaneAgentClient::SetProfileList(const TVariant& Profiles, const WideString& Current) {
  TOleVariant List(Profiles);
  TOleString Profile(Current);
  FAgent->SetProfileList(List.Value(), Profile);
}

void TComBrivaneAgentClient::ShowManager(const WideString& A, const WideString& B, const WideString& C) {
  TOleString X(A), Y(B), Z(C);
  FAgent->ShowManager(X, Y, Z);
}

WideString TComBrivaneAgentClient::GetCurrentProfile() {
  BSTR Profile = FAgent->GetCurrentProfile();
  WideString Result = FromBSTR(Profile);
  SysFreeString(Profile);
  return Result;
}

WideString TComBrivaneAgentClient::TranslateCaption(const WideString& Caption) {
  TOleString Text(Caption);
  BSTR Translated = FAgent->TranslateCaption(Text);
  WideString Result = FromBSTR(Translated);
  SysFreeString(Translated);
  return Result;
}

}  // namespace pel::win32
