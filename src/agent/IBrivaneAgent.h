#pragma once
// The agent's interface, as the toolbar's automation object and any other holder reach a browser
// window's agent. Methods in their interface slot order; they answer their results directly.

#include "platform/SysTypes.h"
#include "platform/Variant.h"

namespace pel {

// {B438C012-C4BA-407B-84A8-B3F649A901A6}
inline constexpr TGUID IID_IBrivaneAgent = {0xB438C012, 0xC4BA, 0x407B, {0x84, 0xA8, 0xB3, 0xF6, 0x49, 0xA9, 0x01, 0xA6}};

// The browser property under which the helper object publishes the window's agent, and where
// whoever else lives in the window looks it up: the text form of the agent interface's identifier.
inline constexpr const char16_t* AgentPropertyName = u"{B438C012-C4BA-407B-84A8-B3F649A901A6}";

class IBrivaneAgent : public virtual IInterface {
public:
  virtual void SetFormCardList(const TVariant& Cards, const WideString& SetName, const WideString& Current) = 0;  // 1
  virtual void SetProfileList(const TVariant& Profiles, const WideString& Current) = 0;                         // 2
  virtual void ClearFormCardList() = 0;                                                                          // 3
  virtual void SaveForms() = 0;                                                                                  // 4
  virtual void BindField() = 0;                                                                                  // 5
  virtual void UnbindField() = 0;                                                                                // 6
  virtual void ShowManager(const WideString& A, const WideString& B, const WideString& C) = 0;                   // 7
  virtual void ShowOptions() = 0;                                                                                // 8
  virtual bool GetActive() = 0;                                                                                  // 9
  virtual void SetActive(bool Value) = 0;                                                                        // 10
  virtual bool GetAutoFill() = 0;                                                                                // 11
  virtual void SetAutoFill(bool Value) = 0;                                                                      // 12
  virtual bool GetAutoSubmit() = 0;                                                                              // 13
  virtual void SetAutoSubmit(bool Value) = 0;                                                                    // 14
  virtual bool GetLoggedIn() = 0;                                                                                // 15
  virtual void SetLoggedIn(bool Value) = 0;                                                                      // 16
  virtual bool GetConnected() = 0;                                                                               // 17
  virtual void ClearForms() = 0;                                                                                 // 18
  virtual WideString GetCurrentProfile() = 0;                                                                    // 19
  virtual bool GetRecording() = 0;                                                                               // 20
  virtual void SetRecording(bool Value) = 0;                                                                     // 21
  virtual bool GetGUIActive() = 0;                                                                               // 22
  virtual void SetGUIActive(bool Value) = 0;                                                                     // 23
  virtual void AddSynonym() = 0;                                                                                 // 24
  virtual void AddValue() = 0;                                                                                   // 25
  virtual void AddAllValues() = 0;                                                                               // 26
  virtual WideString TranslateCaption(const WideString& Caption) = 0;                                           // 27
  virtual void FillForm() = 0;                                                                                   // 28
};

}  // namespace pel
