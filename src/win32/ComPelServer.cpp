#include "ComPelServer.h"

#include "ComVariant.h"

namespace pel::win32 {

namespace {

VARIANT_BOOL Bool(bool Value) { return Value ? VARIANT_TRUE : VARIANT_FALSE; }

// An out boolean of the server: anything but 0 is true, as callers written in any language send.
class TOleBool {
public:
  VARIANT_BOOL* Out() { return &FValue; }
  bool Value() const { return FValue != VARIANT_FALSE; }

private:
  VARIANT_BOOL FValue = VARIANT_FALSE;
};

}  // namespace

TComPelServer::TComPelServer(IUnknown* Object, ::IConnectionPointContainer* Container, ::IPelServer* Server)
    : TComConnectionPointContainer(Object, Container), FServer(Server) {}

TComPelServer::~TComPelServer() { FServer->Release(); }

void TComPelServer::Check(HRESULT Result) const { OleCheck(Result, FServer, __uuidof(::IPelServer)); }

void TComPelServer::FindFieldValue(const WideString& Profile, const WideString& TagName, const WideString& InputType,
                                   const WideString& Name, const WideString& URL, WideString& ProfileField,
                                   int32_t& ValueKind, WideString& Value, WideString& Values, bool& Found,
                                   bool& LoginRequired) {
  const TOleString InProfile(Profile), InTag(TagName), InType(InputType), InName(Name), InURL(URL);
  TOleString Field(ProfileField), OutValue, OutValues;
  LONG Kind = ValueKind;
  TOleBool OutFound, OutLogin;
  Check(FServer->FindFieldValue(InProfile, InTag, InType, InName, InURL, Field.InOut(), &Kind, OutValue.Out(),
                                OutValues.Out(), OutFound.Out(), OutLogin.Out()));
  ProfileField = Field.Text();
  ValueKind = Kind;
  Value = OutValue.Text();
  Values = OutValues.Text();
  Found = OutFound.Value();
  LoginRequired = OutLogin.Value();
}

void TComPelServer::GetProfiles(TVariant& Profiles, WideString& Current) {
  TOleVariant List;
  TOleString Name;
  Check(FServer->GetProfiles(List.Out(), Name.Out()));
  Profiles = List.Portable();
  Current = Name.Text();
}

void TComPelServer::GetProfileFields(TVariant& Fields, bool& LoginRequired) {
  TOleVariant List;
  TOleBool Login;
  Check(FServer->GetProfileFields(List.Out(), Login.Out()));
  Fields = List.Portable();
  LoginRequired = Login.Value();
}

void TComPelServer::SetActiveProfile(const WideString& Profile) {
  Check(FServer->SetActiveProfile(TOleString(Profile)));
}

void TComPelServer::ShowManager(const WideString& A, const WideString& Key, const WideString& Name) {
  Check(FServer->ShowManager(TOleString(A), TOleString(Key), TOleString(Name)));
}

void TComPelServer::GetNameChoices(const WideString& Key, WideString& Existing, WideString& DefaultName) {
  TOleString OutExisting, OutDefault;
  Check(FServer->GetNameChoices(TOleString(Key), OutExisting.Out(), OutDefault.Out()));
  Existing = OutExisting.Text();
  DefaultName = OutDefault.Text();
}

void TComPelServer::DeleteRecord(const WideString& SetName, const WideString& Name, bool& LoginRequired) {
  TOleBool Login;
  Check(FServer->DeleteRecord(TOleString(SetName), TOleString(Name), Login.Out()));
  LoginRequired = Login.Value();
}

void TComPelServer::Login(const WideString& Password) { Check(FServer->Login(TOleString(Password))); }

void TComPelServer::Logout() { Check(FServer->Logout()); }

bool TComPelServer::GetLoggedIn() {
  TOleBool Result;
  Check(FServer->GetLoggedIn(Result.Out()));
  return Result.Value();
}

void TComPelServer::SetDefaultFormCard(const WideString& SetName, const WideString& Name, const WideString& Profile,
                                       bool AllProfiles) {
  Check(FServer->SetDefaultFormCard(TOleString(SetName), TOleString(Name), TOleString(Profile), Bool(AllProfiles)));
}

void TComPelServer::AddSynonym(const WideString& ProfileField, const WideString& Synonym, int32_t Kind) {
  Check(FServer->AddSynonym(TOleString(ProfileField), TOleString(Synonym), Kind));
}

void TComPelServer::GetFormCaption(int32_t Index, WideString& Caption, WideString& Hint) {
  TOleString OutCaption, OutHint;
  Check(FServer->GetFormCaption(Index, OutCaption.Out(), OutHint.Out()));
  Caption = OutCaption.Text();
  Hint = OutHint.Text();
}

void TComPelServer::GetPageInfo(const WideString& URLKey, WideString& Title, WideString& Text) {
  TOleString OutTitle, OutText;
  Check(FServer->GetPageInfo(TOleString(URLKey), OutTitle.Out(), OutText.Out()));
  Title = OutTitle.Text();
  Text = OutText.Text();
}

void TComPelServer::FindFormCards(const WideString& URLKey, const TVariant& Forms, TVariant& Cards, WideString& SetName,
                                  WideString& Name, bool& Matched) {
  const TOleVariant InForms(Forms);
  TOleVariant OutCards;
  TOleString OutSet, OutName;
  TOleBool OutMatched;
  Check(FServer->FindFormCards(TOleString(URLKey), InForms.Value(), OutCards.Out(), OutSet.Out(), OutName.Out(),
                               OutMatched.Out()));
  Cards = OutCards.Portable();
  SetName = OutSet.Text();
  Name = OutName.Text();
  Matched = OutMatched.Value();
}

void TComPelServer::AddFieldValue(const WideString& Profile, const WideString& ProfileField, const WideString& Values,
                                  bool& LoginRequired) {
  TOleBool Login;
  Check(FServer->AddFieldValue(TOleString(Profile), TOleString(ProfileField), TOleString(Values), Login.Out()));
  LoginRequired = Login.Value();
}

void TComPelServer::NotifyDocumentComplete() { Check(FServer->NotifyDocumentComplete()); }

int32_t TComPelServer::GetDisplayMode() {
  LONG Mode = 0;
  Check(FServer->GetDisplayMode(&Mode));
  return Mode;
}

TVariant TComPelServer::GetBanner(const TVariant& Request) {
  const TOleVariant In(Request);
  TOleVariant Out;
  Check(FServer->GetBanner(In.Value(), Out.Out()));
  return Out.Portable();
}

void TComPelServer::GetFormCard(const WideString& SetName, const WideString& Name, const WideString& URL,
                                TVariant& FormSet, bool& LoginRequired) {
  TOleVariant OutSet;
  TOleBool Login;
  Check(FServer->GetFormCard(TOleString(SetName), TOleString(Name), TOleString(URL), OutSet.Out(), Login.Out()));
  FormSet = OutSet.Portable();
  LoginRequired = Login.Value();
}

void TComPelServer::SaveFormCard(const WideString& URLKey, const WideString& Name, const WideString& URL,
                                 const TVariant& FormSet, bool& Saved, bool& LoginRequired) {
  const TOleVariant InSet(FormSet);
  TOleBool OutSaved, Login;
  Check(FServer->SaveFormCard(TOleString(URLKey), TOleString(Name), TOleString(URL), InSet.Value(), OutSaved.Out(),
                              Login.Out()));
  Saved = OutSaved.Value();
  LoginRequired = Login.Value();
}

void TComPelServer::FindSavedFormCard(const WideString& URLKey, const TVariant& FormSet, WideString& Name) {
  const TOleVariant InSet(FormSet);
  TOleString OutName;
  Check(FServer->FindSavedFormCard(TOleString(URLKey), InSet.Value(), OutName.Out()));
  Name = OutName.Text();
}

void TComPelServer::FindRecord(int32_t Kind, const WideString& Key, const TVariant& Data, WideString& Name) {
  const TOleVariant InData(Data);
  TOleString OutName;
  Check(FServer->FindRecord(Kind, TOleString(Key), InData.Value(), OutName.Out()));
  Name = OutName.Text();
}

void TComPelServer::SaveRecord(int32_t Kind, const WideString& Key, const WideString& Name, const WideString& URL,
                               const TVariant& Data, bool& Saved, bool& LoginRequired) {
  const TOleVariant InData(Data);
  TOleBool OutSaved, Login;
  Check(FServer->SaveRecord(Kind, TOleString(Key), TOleString(Name), TOleString(URL), InData.Value(), OutSaved.Out(),
                            Login.Out()));
  Saved = OutSaved.Value();
  LoginRequired = Login.Value();
}

void TComPelServer::GetRecordList(int32_t Kind, const WideString& URLKey, TVariant& List, WideString& Current) {
  TOleVariant OutList;
  TOleString OutCurrent;
  Check(FServer->GetRecordList(Kind, TOleString(URLKey), OutList.Out(), OutCurrent.Out()));
  List = OutList.Portable();
  Current = OutCurrent.Text();
}

void TComPelServer::GetRecord(int32_t Kind, const WideString& SetName, const WideString& Name, const WideString& URL,
                              TVariant& Data, bool& LoginRequired) {
  TOleVariant OutData;
  TOleBool Login;
  Check(FServer->GetRecord(Kind, TOleString(SetName), TOleString(Name), TOleString(URL), OutData.Out(), Login.Out()));
  Data = OutData.Portable();
  LoginRequired = Login.Value();
}

TVariant TComPelServer::GetLexicon() {
  TOleVariant Out;
  Check(FServer->GetLexicon(Out.Out()));
  return Out.Portable();
}

TVariant TComPelServer::TranslateStrings(const TVariant& Captions) {
  const TOleVariant In(Captions);
  TOleVariant Out;
  Check(FServer->TranslateStrings(In.Value(), Out.Out()));
  return Out.Portable();
}

void TComPelServer::AddAllValues(const WideString& Text) { Check(FServer->AddAllValues(TOleString(Text))); }

void TComPelServer::ReportPage(uint32_t Wnd, const WideString& URL, const WideString& Title, const TVariant& Image) {
  const TOleVariant InImage(Image);
  Check(FServer->ReportPage(Wnd, TOleString(URL), TOleString(Title), InImage.Value()));
}

void TComPelServer::GetSettings(const WideString& SiteKey, int32_t& Flags, bool& Found) {
  LONG OutFlags = 0;
  TOleBool OutFound;
  Check(FServer->GetSettings(TOleString(SiteKey), &OutFlags, OutFound.Out()));
  Flags = OutFlags;
  Found = OutFound.Value();
}

void TComPelServer::SetSettings(const WideString& SiteKey, int32_t Flags, bool SetDefault, bool ApplyToAll,
                                bool& Handled) {
  TOleBool OutHandled;
  Check(FServer->SetSettings(TOleString(SiteKey), Flags, Bool(SetDefault), Bool(ApplyToAll), OutHandled.Out()));
  Handled = OutHandled.Value();
}

}  // namespace pel::win32
