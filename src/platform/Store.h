#pragma once
// The form store server as the add-on sees it: the store's interface with its methods in their
// interface order, the events it raises, and where a running store is found.
//
// At this port a failed call raises (an automation failure arrives as EOleException); booleans
// are plain bool (16-bit at the COM boundary), streams are byte-array variants and lists
// string-array variants.

#include <cstdint>
#include <memory>

#include "SysTypes.h"
#include "Variant.h"

namespace pel {

// {BE72F496-D82B-4E71-BD80-1A3BC5336CC1}: the class under which the store registers itself.
inline constexpr TGUID CLSID_PelServer = {0xBE72F496, 0xD82B, 0x4E71, {0xBD, 0x80, 0x1A, 0x3B, 0xC5, 0x33, 0x6C, 0xC1}};
// {F817E1CA-C508-4629-9D06-B622A2392CA1}
inline constexpr TGUID IID_IPelServer = {0xF817E1CA, 0xC508, 0x4629, {0x9D, 0x06, 0xB6, 0x22, 0xA2, 0x39, 0x2C, 0xA1}};
// {A364477B-4684-4B76-BDDF-2D848AE06A7D}: the store's event interface.
inline constexpr TGUID DIID_IPelServerEvents = {
    0xA364477B, 0x4684, 0x4B76, {0xBD, 0xDF, 0x2D, 0x84, 0x8A, 0xE0, 0x6A, 0x7D}};

// Events of the store, by DISPID, with their arguments in order.
constexpr int32_t DISPID_OnQuit = 201;
constexpr int32_t DISPID_OnLanguageChange = 202;
constexpr int32_t DISPID_OnLogin = 203;           // (AValue: bool)
constexpr int32_t DISPID_OnLexiconChange = 204;
constexpr int32_t DISPID_OnDatabaseChange = 205;
constexpr int32_t DISPID_OnSettingsChange = 206;  // (ApplyToAll: bool)
constexpr int32_t DISPID_OnExecCmd = 207;         // (AWnd: uint32, ACmd: int32)

// Record kinds, the first argument of the record calls.
constexpr int32_t rkNavigation = 1;
constexpr int32_t rkMailCard = 2;
constexpr int32_t rkAuthentication = 3;

class IPelServer : public virtual IInterface {
public:
  // 1. InputType may carry, after its first line (the input type), lines of evidence about the
  // control: "autocomplete=TOKENS", "name=NAME" and "text=TEXT" (see the profile fill's
  // ProfileQueries); a store that knows no such lines sees an input type it has no hint for.
  virtual void FindFieldValue(const WideString& Profile, const WideString& TagName, const WideString& InputType,
                              const WideString& Name, const WideString& URL, WideString& ProfileField,
                              int32_t& ValueKind, WideString& Value, WideString& Values, bool& Found,
                              bool& LoginRequired) = 0;
  // 2
  virtual void GetProfiles(TVariant& Profiles, WideString& Current) = 0;
  // 3: triples (field name, a second string, group), group last
  virtual void GetProfileFields(TVariant& Fields, bool& LoginRequired) = 0;
  // 4
  virtual void SetActiveProfile(const WideString& Profile) = 0;
  // 5
  virtual void ShowManager(const WideString& A, const WideString& Key, const WideString& Name) = 0;
  // 6: Existing holds lines flag=name
  virtual void GetNameChoices(const WideString& Key, WideString& Existing, WideString& DefaultName) = 0;
  // 7
  virtual void DeleteRecord(const WideString& SetName, const WideString& Name, bool& LoginRequired) = 0;
  // 8: raises on a wrong password
  virtual void Login(const WideString& Password) = 0;
  // 9
  virtual void Logout() = 0;
  // 10
  virtual bool GetLoggedIn() = 0;
  // 11: an empty Name drops the default, an empty Profile means the active one
  virtual void SetDefaultFormCard(const WideString& SetName, const WideString& Name, const WideString& Profile,
                                  bool AllProfiles) = 0;
  // 12: Kind is always -1
  virtual void AddSynonym(const WideString& ProfileField, const WideString& Synonym, int32_t Kind) = 0;
  // 13
  virtual void GetFormCaption(int32_t Index, WideString& Caption, WideString& Hint) = 0;
  // 14
  virtual void GetPageInfo(const WideString& URLKey, WideString& Title, WideString& Text) = 0;
  // 15: Cards is a pair stream
  virtual void FindFormCards(const WideString& URLKey, const TVariant& Forms, TVariant& Cards, WideString& SetName,
                             WideString& Name, bool& Matched) = 0;
  // 16
  virtual void AddFieldValue(const WideString& Profile, const WideString& ProfileField, const WideString& Values,
                             bool& LoginRequired) = 0;
  // 17
  virtual void NotifyDocumentComplete() = 0;
  // 18
  virtual int32_t GetDisplayMode() = 0;
  // 19
  virtual TVariant GetBanner(const TVariant& Request) = 0;
  // 20
  virtual void GetFormCard(const WideString& SetName, const WideString& Name, const WideString& URL,
                           TVariant& FormSet, bool& LoginRequired) = 0;
  // 21
  virtual void SaveFormCard(const WideString& URLKey, const WideString& Name, const WideString& URL,
                            const TVariant& FormSet, bool& Saved, bool& LoginRequired) = 0;
  // 22: a non-empty Name means the same data is stored under it
  virtual void FindSavedFormCard(const WideString& URLKey, const TVariant& FormSet, WideString& Name) = 0;
  // 23: a non-empty Name means the same data is stored under it
  virtual void FindRecord(int32_t Kind, const WideString& Key, const TVariant& Data, WideString& Name) = 0;
  // 24
  virtual void SaveRecord(int32_t Kind, const WideString& Key, const WideString& Name, const WideString& URL,
                          const TVariant& Data, bool& Saved, bool& LoginRequired) = 0;
  // 25: List is a pair stream
  virtual void GetRecordList(int32_t Kind, const WideString& URLKey, TVariant& List, WideString& Current) = 0;
  // 26
  virtual void GetRecord(int32_t Kind, const WideString& SetName, const WideString& Name, const WideString& URL,
                         TVariant& Data, bool& LoginRequired) = 0;
  // 27: the lexicon stream, version 13
  virtual TVariant GetLexicon() = 0;
  // 28: caption exchange stream in, the same form out
  virtual TVariant TranslateStrings(const TVariant& Captions) = 0;
  // 29
  virtual void AddAllValues(const WideString& Text) = 0;
  // 30
  virtual void ReportPage(uint32_t Wnd, const WideString& URL, const WideString& Title, const TVariant& Image) = 0;
  // 31: an empty SiteKey asks for the defaults
  virtual void GetSettings(const WideString& SiteKey, int32_t& Flags, bool& Found) = 0;
  // 32
  virtual void SetSettings(const WideString& SiteKey, int32_t Flags, bool SetDefault, bool ApplyToAll,
                           bool& Handled) = 0;
};

// The running-object table: where a running server is found by its class identifier.
class IRunningObjectTable {
public:
  virtual ~IRunningObjectTable() = default;
  // Registers Object as the running instance of ClassID and answers a cookie for Revoke.
  virtual uint32_t Register(const TGUID& ClassID, std::shared_ptr<IInterface> Object) = 0;
  virtual void Revoke(uint32_t Cookie) = 0;
  // The running instance of ClassID, or null when none runs.
  virtual std::shared_ptr<IInterface> GetActiveObject(const TGUID& ClassID) const = 0;
};

}  // namespace pel
