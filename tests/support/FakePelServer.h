#pragma once
// A test double of the form store: it records every call with its input arguments and answers
// from a table that the test fills, method by method. An answer lists the method's output
// values in parameter order; a missing value gives the type's empty value for an output, and a
// missing or empty value leaves an in-out argument as the caller passed it. An answer may
// instead fail the call.

#include <map>
#include <optional>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Store.h"

namespace pel::test {

class TFakePelServer : public IPelServer {
public:
  struct TCall {
    AnsiString Method;
    std::vector<TVariant> Args;
  };
  struct TAnswer {
    std::vector<TVariant> Outputs;
    std::optional<AnsiString> Failure;  // raised as an automation failure
  };

  std::vector<TCall> Calls;
  std::map<AnsiString, TAnswer> Answers;

  void Answer(const AnsiString& Method, std::vector<TVariant> Outputs) { Answers[Method] = {std::move(Outputs), {}}; }
  void Fail(const AnsiString& Method, const AnsiString& Message) { Answers[Method] = {{}, Message}; }
  // The calls of one method, in order.
  std::vector<TCall> CallsOf(const AnsiString& Method) const {
    std::vector<TCall> Result;
    for (const TCall& C : Calls)
      if (C.Method == Method) Result.push_back(C);
    return Result;
  }

  void FindFieldValue(const WideString& Profile, const WideString& TagName, const WideString& InputType,
                      const WideString& Name, const WideString& URL, WideString& ProfileField, int32_t& ValueKind,
                      WideString& Value, WideString& Values, bool& Found, bool& LoginRequired) override {
    const TAnswer& A = Take("FindFieldValue", {Profile, TagName, InputType, Name, URL, ProfileField, ValueKind});
    InOut(A, 0, ProfileField);
    InOut(A, 1, ValueKind);
    Out(A, 2, Value);
    Out(A, 3, Values);
    Out(A, 4, Found);
    Out(A, 5, LoginRequired);
  }
  void GetProfiles(TVariant& Profiles, WideString& Current) override {
    const TAnswer& A = Take("GetProfiles", {});
    Out(A, 0, Profiles);
    Out(A, 1, Current);
  }
  void GetProfileFields(TVariant& Fields, bool& LoginRequired) override {
    const TAnswer& A = Take("GetProfileFields", {});
    Out(A, 0, Fields);
    Out(A, 1, LoginRequired);
  }
  void SetActiveProfile(const WideString& Profile) override { Take("SetActiveProfile", {Profile}); }
  void ShowManager(const WideString& A, const WideString& Key, const WideString& Name) override {
    Take("ShowManager", {A, Key, Name});
  }
  void GetNameChoices(const WideString& Key, WideString& Existing, WideString& DefaultName) override {
    const TAnswer& A = Take("GetNameChoices", {Key});
    Out(A, 0, Existing);
    Out(A, 1, DefaultName);
  }
  void DeleteRecord(const WideString& SetName, const WideString& Name, bool& LoginRequired) override {
    Out(Take("DeleteRecord", {SetName, Name}), 0, LoginRequired);
  }
  void Login(const WideString& Password) override { Take("Login", {Password}); }
  void Logout() override { Take("Logout", {}); }
  bool GetLoggedIn() override {
    bool Result = false;
    Out(Take("GetLoggedIn", {}), 0, Result);
    return Result;
  }
  void SetDefaultFormCard(const WideString& SetName, const WideString& Name, const WideString& Profile,
                          bool AllProfiles) override {
    Take("SetDefaultFormCard", {SetName, Name, Profile, AllProfiles});
  }
  void AddSynonym(const WideString& ProfileField, const WideString& Synonym, int32_t Kind) override {
    Take("AddSynonym", {ProfileField, Synonym, Kind});
  }
  void GetFormCaption(int32_t Index, WideString& Caption, WideString& Hint) override {
    const TAnswer& A = Take("GetFormCaption", {Index});
    Out(A, 0, Caption);
    Out(A, 1, Hint);
  }
  void GetPageInfo(const WideString& URLKey, WideString& Title, WideString& Text) override {
    const TAnswer& A = Take("GetPageInfo", {URLKey});
    Out(A, 0, Title);
    Out(A, 1, Text);
  }
  void FindFormCards(const WideString& URLKey, const TVariant& Forms, TVariant& Cards, WideString& SetName,
                     WideString& Name, bool& Matched) override {
    const TAnswer& A = Take("FindFormCards", {URLKey, Forms});
    Out(A, 0, Cards);
    Out(A, 1, SetName);
    Out(A, 2, Name);
    Out(A, 3, Matched);
  }
  void AddFieldValue(const WideString& Profile, const WideString& ProfileField, const WideString& Values,
                     bool& LoginRequired) override {
    Out(Take("AddFieldValue", {Profile, ProfileField, Values}), 0, LoginRequired);
  }
  void NotifyDocumentComplete() override { Take("NotifyDocumentComplete", {}); }
  int32_t GetDisplayMode() override {
    int32_t Result = 0;
    Out(Take("GetDisplayMode", {}), 0, Result);
    return Result;
  }
  TVariant GetBanner(const TVariant& Request) override {
    TVariant Result;
    Out(Take("GetBanner", {Request}), 0, Result);
    return Result;
  }
  void GetFormCard(const WideString& SetName, const WideString& Name, const WideString& URL, TVariant& FormSet,
                   bool& LoginRequired) override {
    const TAnswer& A = Take("GetFormCard", {SetName, Name, URL});
    Out(A, 0, FormSet);
    Out(A, 1, LoginRequired);
  }
  void SaveFormCard(const WideString& URLKey, const WideString& Name, const WideString& URL, const TVariant& FormSet,
                    bool& Saved, bool& LoginRequired) override {
    const TAnswer& A = Take("SaveFormCard", {URLKey, Name, URL, FormSet});
    Out(A, 0, Saved);
    Out(A, 1, LoginRequired);
  }
  void FindSavedFormCard(const WideString& URLKey, const TVariant& FormSet, WideString& Name) override {
    Out(Take("FindSavedFormCard", {URLKey, FormSet}), 0, Name);
  }
  void FindRecord(int32_t Kind, const WideString& Key, const TVariant& Data, WideString& Name) override {
    Out(Take("FindRecord", {Kind, Key, Data}), 0, Name);
  }
  void SaveRecord(int32_t Kind, const WideString& Key, const WideString& Name, const WideString& URL,
                  const TVariant& Data, bool& Saved, bool& LoginRequired) override {
    const TAnswer& A = Take("SaveRecord", {Kind, Key, Name, URL, Data});
    Out(A, 0, Saved);
    Out(A, 1, LoginRequired);
  }
  void GetRecordList(int32_t Kind, const WideString& URLKey, TVariant& List, WideString& Current) override {
    const TAnswer& A = Take("GetRecordList", {Kind, URLKey});
    Out(A, 0, List);
    Out(A, 1, Current);
  }
  void GetRecord(int32_t Kind, const WideString& SetName, const WideString& Name, const WideString& URL,
                 TVariant& Data, bool& LoginRequired) override {
    const TAnswer& A = Take("GetRecord", {Kind, SetName, Name, URL});
    Out(A, 0, Data);
    Out(A, 1, LoginRequired);
  }
  TVariant GetLexicon() override {
    TVariant Result;
    Out(Take("GetLexicon", {}), 0, Result);
    return Result;
  }
  TVariant TranslateStrings(const TVariant& Captions) override {
    TVariant Result;
    Out(Take("TranslateStrings", {Captions}), 0, Result);
    return Result;
  }
  void AddAllValues(const WideString& Text) override { Take("AddAllValues", {Text}); }
  void ReportPage(uint32_t Wnd, const WideString& URL, const WideString& Title, const TVariant& Image) override {
    Take("ReportPage", {Wnd, URL, Title, Image});
  }
  void GetSettings(const WideString& SiteKey, int32_t& Flags, bool& Found) override {
    const TAnswer& A = Take("GetSettings", {SiteKey});
    Out(A, 0, Flags);
    Out(A, 1, Found);
  }
  void SetSettings(const WideString& SiteKey, int32_t Flags, bool SetDefault, bool ApplyToAll,
                   bool& Handled) override {
    Out(Take("SetSettings", {SiteKey, Flags, SetDefault, ApplyToAll}), 0, Handled);
  }

private:
  const TAnswer& Take(const AnsiString& Method, std::vector<TVariant> Args) {
    Calls.push_back({Method, std::move(Args)});
    static const TAnswer None;
    auto It = Answers.find(Method);
    if (It == Answers.end()) return None;
    if (It->second.Failure)
      throw EOleException(*It->second.Failure, static_cast<int32_t>(0x80004005u), "TFakePelServer", "", 0);
    return It->second;
  }
  static const TVariant* At(const TAnswer& A, size_t I) { return I < A.Outputs.size() ? &A.Outputs[I] : nullptr; }
  static void Out(const TAnswer& A, size_t I, WideString& V) { V = At(A, I) ? At(A, I)->AsWideString() : u""; }
  static void Out(const TAnswer& A, size_t I, bool& V) { V = At(A, I) && At(A, I)->AsBoolean(); }
  static void Out(const TAnswer& A, size_t I, int32_t& V) { V = At(A, I) ? At(A, I)->AsInteger() : 0; }
  static void Out(const TAnswer& A, size_t I, TVariant& V) { V = At(A, I) ? *At(A, I) : TVariant(); }
  template <class T>
  static void InOut(const TAnswer& A, size_t I, T& V) {
    if (At(A, I) && !At(A, I)->IsEmpty()) Out(A, I, V);
  }
};

}  // namespace pel::test
