// The automation agent as toolbars and scripts reach it: created through COM from the registered
// library, bound late through its type library and early through its vtable, forwarding to the
// agent published on a browser (a double of the browser and a double of the agent).

#include <gtest/gtest.h>

#include <exdisp.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Brivane.h"
#include "BrivaneHelper.h"
#include "BrowserDouble.h"
#include "HelperTestDoubles.h"
#include "ComServerTestSupport.h"

namespace pel::test {
namespace {

const CLSID CLSID_Agent = {0xED28645E, 0xF9BC, 0x451F, {0xAB, 0x11, 0x81, 0xDA, 0x5F, 0xE2, 0x9A, 0x0F}};

// A window's agent that writes down what reaches it; its store is connected unless told not.
class TAgentDouble final : public ::IBrivaneAgent {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Riid, void** Object) override {
    if (IsEqualIID(Riid, IID_IUnknown) || IsEqualIID(Riid, ::IID_IBrivaneAgent)) {
      *Object = this;
      AddRef();
      return S_OK;
    }
    *Object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++References; }
  ULONG STDMETHODCALLTYPE Release() override { return --References; }
  void STDMETHODCALLTYPE SetFormCardList(VARIANT, BSTR, BSTR) override { Calls.push_back("SetFormCardList"); }
  void STDMETHODCALLTYPE SetProfileList(VARIANT, BSTR) override { Calls.push_back("SetProfileList"); }
  void STDMETHODCALLTYPE ClearFormCardList() override { Calls.push_back("ClearFormCardList"); }
  void STDMETHODCALLTYPE SaveForms() override { Calls.push_back("SaveForms"); }
  void STDMETHODCALLTYPE BindField() override { Calls.push_back("BindField"); }
  void STDMETHODCALLTYPE UnbindField() override { Calls.push_back("UnbindField"); }
  void STDMETHODCALLTYPE ShowManager(BSTR A, BSTR B, BSTR C) override {
    Calls.push_back("ShowManager(" + std::to_string(SysStringLen(A) + SysStringLen(B) + SysStringLen(C)) + ")");
  }
  void STDMETHODCALLTYPE ShowOptions() override { Calls.push_back("ShowOptions"); }
  VARIANT_BOOL STDMETHODCALLTYPE GetActive() override { return Active; }
  void STDMETHODCALLTYPE SetActive(VARIANT_BOOL Value) override {
    Calls.push_back(Value ? "SetActive(true)" : "SetActive(false)");
    Active = Value;
  }
  VARIANT_BOOL STDMETHODCALLTYPE GetAutoFill() override { return VARIANT_FALSE; }
  void STDMETHODCALLTYPE SetAutoFill(VARIANT_BOOL) override { Calls.push_back("SetAutoFill"); }
  VARIANT_BOOL STDMETHODCALLTYPE GetAutoSubmit() override { return VARIANT_FALSE; }
  void STDMETHODCALLTYPE SetAutoSubmit(VARIANT_BOOL) override { Calls.push_back("SetAutoSubmit"); }
  VARIANT_BOOL STDMETHODCALLTYPE GetLoggedIn() override { return VARIANT_FALSE; }
  void STDMETHODCALLTYPE SetLoggedIn(VARIANT_BOOL) override { Calls.push_back("SetLoggedIn"); }
  VARIANT_BOOL STDMETHODCALLTYPE GetConnected() override { return Connected; }
  void STDMETHODCALLTYPE ClearForms() override { Calls.push_back("ClearForms"); }
  BSTR STDMETHODCALLTYPE GetCurrentProfile() override { return nullptr; }
  VARIANT_BOOL STDMETHODCALLTYPE GetRecording() override { return Recording; }
  void STDMETHODCALLTYPE SetRecording(VARIANT_BOOL Value) override {
    Calls.push_back(Value ? "SetRecording(true)" : "SetRecording(false)");
    Recording = Value;
  }
  VARIANT_BOOL STDMETHODCALLTYPE GetGUIActive() override { return GUIActive; }
  void STDMETHODCALLTYPE SetGUIActive(VARIANT_BOOL Value) override { GUIActive = Value; }
  void STDMETHODCALLTYPE AddSynonym() override { Calls.push_back("AddSynonym"); }
  void STDMETHODCALLTYPE AddValue() override { Calls.push_back("AddValue"); }
  void STDMETHODCALLTYPE AddAllValues() override { Calls.push_back("AddAllValues"); }
  // The user's language puts captions in brackets.
  BSTR STDMETHODCALLTYPE TranslateCaption(BSTR Caption) override {
    return SysAllocString((L"[" + std::wstring(Caption ? Caption : L"") + L"]").c_str());
  }
  void STDMETHODCALLTYPE FillForm() override { Calls.push_back("FillForm"); }

  ULONG References = 1;
  VARIANT_BOOL Active = VARIANT_TRUE, Recording = VARIANT_FALSE, GUIActive = VARIANT_TRUE, Connected = VARIANT_TRUE;
  std::vector<std::string> Calls;
};

// One argument of an IDispatch call; by-reference outputs point into the caller's storage.
VARIANT Long(LONG Value) {
  VARIANT V;
  VariantInit(&V);
  V_VT(&V) = VT_I4;
  V_I4(&V) = Value;
  return V;
}

class AutomationAgent : public TRegisteredLibrary {
protected:
  void SetUp() override {
    TRegisteredLibrary::SetUp();
    ASSERT_EQ(CoCreateInstance(CLSID_Agent, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(&FDispatch)),
              S_OK);
    FBrowser = BrowserDoubleCreate(reinterpret_cast<HWND>(0x1234), nullptr);
  }
  void TearDown() override {
    if (FDispatch) FDispatch->Release();
    BrowserDoubleClearProperties(FBrowser);
    BrowserDoubleUnknown(FBrowser)->Release();
    TRegisteredLibrary::TearDown();
  }
  // Publishes Agent on the browser double as the helper object does.
  void Publish(::IBrivaneAgent* Agent) {
    IWebBrowser2* Web = nullptr;
    ASSERT_EQ(BrowserDoubleUnknown(FBrowser)->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&Web)), S_OK);
    VARIANT Value;
    V_VT(&Value) = VT_UNKNOWN;
    V_UNKNOWN(&Value) = Agent;
    BSTR Name = SysAllocString(AgentProperty);
    EXPECT_EQ(Web->PutProperty(Name, Value), S_OK);
    SysFreeString(Name);
    Web->Release();
  }
  DISPID IdOf(const wchar_t* Name) {
    DISPID Id = DISPID_UNKNOWN;
    LPOLESTR Names[] = {const_cast<LPOLESTR>(Name)};
    EXPECT_EQ(FDispatch->GetIDsOfNames(IID_NULL, Names, 1, LOCALE_USER_DEFAULT, &Id), S_OK) << Narrow(Name);
    return Id;
  }
  // A call by name with the arguments in order (IDispatch takes them last first).
  HRESULT Call(const wchar_t* Name, WORD Flags, std::vector<VARIANT> Arguments, VARIANT* Result = nullptr,
               EXCEPINFO* Exception = nullptr) {
    std::vector<VARIANT> Reversed(Arguments.rbegin(), Arguments.rend());
    DISPID PropertyPut = DISPID_PROPERTYPUT;
    DISPPARAMS Params = {Reversed.data(), nullptr, static_cast<UINT>(Reversed.size()), 0};
    if (Flags == DISPATCH_PROPERTYPUT) {
      Params.rgdispidNamedArgs = &PropertyPut;
      Params.cNamedArgs = 1;
    }
    EXCEPINFO Ignored = {};
    UINT ArgErr = 0;
    const HRESULT Hr = FDispatch->Invoke(IdOf(Name), IID_NULL, LOCALE_USER_DEFAULT, Flags, &Params, Result,
                                         Exception ? Exception : &Ignored, &ArgErr);
    if (!Exception) {
      SysFreeString(Ignored.bstrSource);
      SysFreeString(Ignored.bstrDescription);
      SysFreeString(Ignored.bstrHelpFile);
    }
    return Hr;
  }
  HRESULT SetWindow(IDispatch* Window, EXCEPINFO* Exception = nullptr) {
    VARIANT Value;
    V_VT(&Value) = VT_DISPATCH;
    V_DISPATCH(&Value) = Window;
    return Call(L"Window", DISPATCH_PROPERTYPUT, {Value}, nullptr, Exception);
  }
  struct TState {
    std::wstring Caption, Hint;
    VARIANT_BOOL Enabled = 0, Checked = 0;
  };
  TState ActionState(LONG Index) {
    BSTR Caption = nullptr, Hint = nullptr;
    TState State;
    VARIANT Out[4];
    V_VT(&Out[0]) = VT_BSTR | VT_BYREF;
    V_BSTRREF(&Out[0]) = &Caption;
    V_VT(&Out[1]) = VT_BSTR | VT_BYREF;
    V_BSTRREF(&Out[1]) = &Hint;
    V_VT(&Out[2]) = VT_BOOL | VT_BYREF;
    V_BOOLREF(&Out[2]) = &State.Enabled;
    V_VT(&Out[3]) = VT_BOOL | VT_BYREF;
    V_BOOLREF(&Out[3]) = &State.Checked;
    EXPECT_EQ(Call(L"GetActionState", DISPATCH_METHOD, {Long(Index), Out[0], Out[1], Out[2], Out[3]}), S_OK);
    State.Caption = Caption ? Caption : L"";
    State.Hint = Hint ? Hint : L"";
    SysFreeString(Caption);
    SysFreeString(Hint);
    return State;
  }
  LONG GetLong(const wchar_t* Name, std::vector<VARIANT> Arguments = {}) {
    VARIANT Result;
    VariantInit(&Result);
    EXPECT_EQ(Call(Name, DISPATCH_PROPERTYGET, std::move(Arguments), &Result), S_OK) << Narrow(Name);
    EXPECT_EQ(V_VT(&Result), VT_I4) << Narrow(Name);
    return V_I4(&Result);
  }

  IDispatch* FDispatch = nullptr;
  TBrowserDouble* FBrowser = nullptr;
};

// The registered type library, as a script host or a toolbar reads it.
TEST_F(AutomationAgent, TheRegisteredTypeLibraryDescribesItsItemsInTheirOwnWords) {
  const GUID Library = {0x0B4290CB, 0xA0C8, 0x479F, {0xB4, 0xD6, 0xC8, 0xC3, 0x6D, 0xE8, 0x4B, 0x69}};
  ITypeLib* Lib = nullptr;
  ASSERT_EQ(LoadRegTypeLib(Library, 1, 0, 0x409, &Lib), S_OK);
  TLIBATTR* Attributes = nullptr;
  ASSERT_EQ(Lib->GetLibAttr(&Attributes), S_OK);
  EXPECT_EQ(Attributes->wMajorVerNum, 1);
  EXPECT_EQ(Attributes->wMinorVerNum, 0);
  EXPECT_EQ(Attributes->lcid, 0x409u);
  Lib->ReleaseTLibAttr(Attributes);
  auto Documentation = [&](int Index) {
    BSTR Name = nullptr, Doc = nullptr;
    Lib->GetDocumentation(Index, &Name, &Doc, nullptr, nullptr);
    const std::wstring Both = std::wstring(Name ? Name : L"") + L": " + (Doc ? Doc : L"");
    SysFreeString(Name);
    SysFreeString(Doc);
    return Both;
  };
  EXPECT_EQ(Documentation(-1), L"Brivane: KXBVHelper Library");
  std::vector<std::wstring> Items;
  for (UINT I = 0; I < Lib->GetTypeInfoCount(); ++I) Items.push_back(Documentation(static_cast<int>(I)));
  for (const wchar_t* Expected : {L"IBVAgent: Dispatch interface for BVAgent Object", L"BVAgent: BVAgent Object",
                                  L"IIEToolbar: Interface for IEToolbar Object", L"IEToolbar: IEToolbar"})
    EXPECT_NE(std::find(Items.begin(), Items.end(), Expected), Items.end()) << Narrow(Expected);

  ITypeInfo* Enum = nullptr;
  const GUID ActionType = {0x7207EBBD, 0x269C, 0x4B24, {0xA0, 0x0A, 0xAD, 0xAB, 0xCF, 0x85, 0xED, 0x3F}};
  ASSERT_EQ(Lib->GetTypeInfoOfGuid(ActionType, &Enum), S_OK);
  TYPEATTR* Type = nullptr;
  ASSERT_EQ(Enum->GetTypeAttr(&Type), S_OK);
  EXPECT_EQ(Type->typekind, TKIND_ENUM);
  ASSERT_EQ(Type->cVars, 3);
  Enum->ReleaseTypeAttr(Type);
  const wchar_t* Names[] = {L"atButton", L"atCheck", L"atMenu"};
  for (UINT I = 0; I < 3; ++I) {
    VARDESC* Var = nullptr;
    ASSERT_EQ(Enum->GetVarDesc(I, &Var), S_OK);
    BSTR Name = nullptr;
    Enum->GetDocumentation(Var->memid, &Name, nullptr, nullptr, nullptr);
    EXPECT_STREQ(Name, Names[I]);
    EXPECT_EQ(V_I4(Var->lpvarValue), static_cast<LONG>(I));
    SysFreeString(Name);
    Enum->ReleaseVarDesc(Var);
  }
  Enum->Release();
  Lib->Release();
}

TEST_F(AutomationAgent, NamesAnswerTheirDispatchIdentifiers) {
  const std::pair<const wchar_t*, DISPID> Members[] = {
      {L"Window", 201},         {L"ActionCount", 202},      {L"GetActionData", 203},
      {L"ExecuteAction", 204},  {L"SubActionCount", 205},   {L"ExecuteSubAction", 207},
      {L"GUIActive", 208},      {L"GetActionState", 209},   {L"GetSubActionState", 210}};
  for (const auto& [Name, Id] : Members) EXPECT_EQ(IdOf(Name), Id) << Narrow(Name);
  DISPID Unknown = 0;
  LPOLESTR Names[] = {const_cast<LPOLESTR>(L"NoSuchMember")};
  EXPECT_EQ(FDispatch->GetIDsOfNames(IID_NULL, Names, 1, LOCALE_USER_DEFAULT, &Unknown), DISP_E_UNKNOWNNAME);
  UINT Count = 0;
  EXPECT_EQ(FDispatch->GetTypeInfoCount(&Count), S_OK);
  EXPECT_EQ(Count, 1u);
}

TEST_F(AutomationAgent, WithoutAWindowItOffersTheActionsDisabledAndUntranslated) {
  EXPECT_EQ(GetLong(L"ActionCount"), 10);
  VARIANT Short;
  V_VT(&Short) = VT_I2;
  V_I2(&Short) = 6;
  EXPECT_EQ(GetLong(L"SubActionCount", {Short}), 3) << "a 16-bit index is converted";
  EXPECT_EQ(GetLong(L"SubActionCount", {Long(0)}), 0);
  const TState First = ActionState(0);
  EXPECT_EQ(First.Caption, L"Activate");
  EXPECT_EQ(First.Hint, L"Activate");
  EXPECT_EQ(First.Enabled, VARIANT_FALSE);
  EXPECT_EQ(Call(L"ExecuteAction", DISPATCH_METHOD, {Long(2)}), S_OK);
  EXPECT_EQ(Call(L"ExecuteAction", DISPATCH_METHOD, {}), DISP_E_BADPARAMCOUNT);

  LONG Type = -1;
  BSTR Icon = nullptr, Gray = nullptr;
  VARIANT Out[3];
  V_VT(&Out[0]) = VT_I4 | VT_BYREF;
  V_I4REF(&Out[0]) = &Type;
  V_VT(&Out[1]) = VT_BSTR | VT_BYREF;
  V_BSTRREF(&Out[1]) = &Icon;
  V_VT(&Out[2]) = VT_BSTR | VT_BYREF;
  V_BSTRREF(&Out[2]) = &Gray;
  EXPECT_EQ(Call(L"GetActionData", DISPATCH_METHOD, {Long(6), Out[0], Out[1], Out[2]}), S_OK);
  EXPECT_EQ(Type, 2) << "atMenu";
  EXPECT_STREQ(Icon, L"Z114");
  EXPECT_STREQ(Gray, L"Z115");
  SysFreeString(Icon);
  SysFreeString(Gray);
}

TEST_F(AutomationAgent, ActionsReachTheAgentPublishedOnTheWindowsBrowser) {
  TAgentDouble Agent;
  Publish(&Agent);
  ASSERT_EQ(SetWindow(BrowserDoubleWindow(FBrowser)), S_OK);

  const TState Fill = ActionState(3);
  EXPECT_EQ(Fill.Caption, L"[Fill form]");
  EXPECT_EQ(Fill.Hint, L"[Fill form]");
  EXPECT_EQ(Fill.Enabled, VARIANT_TRUE);
  EXPECT_EQ(Fill.Checked, VARIANT_FALSE);
  EXPECT_EQ(ActionState(0).Checked, VARIANT_TRUE);
  EXPECT_EQ(ActionState(8).Checked, VARIANT_FALSE);

  for (LONG Index = 0; Index < 10; ++Index)
    EXPECT_EQ(Call(L"ExecuteAction", DISPATCH_METHOD, {Long(Index)}), S_OK) << Index;
  EXPECT_EQ(Call(L"ExecuteSubAction", DISPATCH_METHOD, {Long(6), Long(1)}), S_OK);
  const std::vector<std::string> Expected = {"SetActive(false)", "ShowManager(0)", "SaveForms",  "FillForm",
                                             "BindField",        "UnbindField",    "ClearForms", "SetRecording(true)",
                                             "ShowOptions",      "AddValue"};
  EXPECT_EQ(Agent.Calls, Expected);
  EXPECT_EQ(ActionState(0).Checked, VARIANT_FALSE);
  EXPECT_EQ(ActionState(8).Checked, VARIANT_TRUE);

  // While the store is not connected the same calls reach nothing and show disabled.
  Agent.Connected = VARIANT_FALSE;
  Agent.Calls.clear();
  EXPECT_EQ(Call(L"ExecuteAction", DISPATCH_METHOD, {Long(2)}), S_OK);
  EXPECT_TRUE(Agent.Calls.empty());
  EXPECT_EQ(ActionState(2).Enabled, VARIANT_FALSE);

  VARIANT Gui;
  VariantInit(&Gui);
  EXPECT_EQ(Call(L"GUIActive", DISPATCH_PROPERTYGET, {}, &Gui), S_OK);
  EXPECT_EQ(V_VT(&Gui), VT_BOOL);
  EXPECT_EQ(V_BOOL(&Gui), VARIANT_TRUE);
  Publish(nullptr);
  EXPECT_EQ(ActionState(3).Caption, L"Fill form") << "without an agent the caption is the module's own";
  EXPECT_GE(Agent.References, 1u);
}

TEST_F(AutomationAgent, TheVtableGivesTheActionDataAndKeepsTheWindow) {
  ::IBVAgent* Typed = nullptr;
  ASSERT_EQ(FDispatch->QueryInterface(IID_IBVAgent, reinterpret_cast<void**>(&Typed)), S_OK);
  struct TRow {
    LONG Index;
    ::BVActionType Type;
    const wchar_t *Icon, *Gray;
  };
  const TRow Rows[] = {{0, atCheck, L"Z100", L"Z101"}, {1, atButton, L"Z104", L"Z105"}, {6, atMenu, L"Z114", L"Z115"},
                       {8, atCheck, L"Z118", L"Z119"}, {9, atButton, L"Z124", L"Z125"}, {10, atButton, L"", L""},
                       {-1, atButton, L"", L""}};
  for (const TRow& Row : Rows) {
    ::BVActionType Type = atMenu;
    BSTR Icon = SysAllocString(L"stale"), Gray = nullptr;
    SysFreeString(Icon);
    EXPECT_EQ(Typed->GetActionData(Row.Index, &Type, &Icon, &Gray), S_OK);
    EXPECT_EQ(Type, Row.Type) << Row.Index;
    EXPECT_STREQ(Icon ? Icon : L"", Row.Icon) << Row.Index;
    EXPECT_STREQ(Gray ? Gray : L"", Row.Gray) << Row.Index;
    SysFreeString(Icon);
    SysFreeString(Gray);
  }

  IDispatch* Window = BrowserDoubleWindow(FBrowser);
  ASSERT_EQ(Typed->put_Window(Window), S_OK);
  IDispatch* Kept = nullptr;
  ASSERT_EQ(Typed->get_Window(&Kept), S_OK);
  EXPECT_EQ(Kept, Window);
  if (Kept) Kept->Release();
  Typed->Release();
}

TEST_F(AutomationAgent, AWindowWithoutServicesFailsWithItsMessageAsErrorInformation) {
  IDispatch* NotAWindow = nullptr;
  ASSERT_EQ(BrowserDoubleUnknown(FBrowser)->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&NotAWindow)), S_OK);

  EXCEPINFO Exception = {};
  EXPECT_EQ(SetWindow(NotAWindow, &Exception), DISP_E_EXCEPTION);
  EXPECT_EQ(Exception.scode, E_NOINTERFACE);
  EXPECT_GT(SysStringLen(Exception.bstrDescription), 0u);
  SysFreeString(Exception.bstrSource);
  SysFreeString(Exception.bstrDescription);
  SysFreeString(Exception.bstrHelpFile);

  ::IBVAgent* Typed = nullptr;
  ASSERT_EQ(FDispatch->QueryInterface(IID_IBVAgent, reinterpret_cast<void**>(&Typed)), S_OK);
  EXPECT_EQ(Typed->put_Window(NotAWindow), E_NOINTERFACE);
  ISupportErrorInfo* Support = nullptr;
  ASSERT_EQ(Typed->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&Support)), S_OK);
  EXPECT_EQ(Support->InterfaceSupportsErrorInfo(IID_IBVAgent), S_OK);
  Support->Release();
  IErrorInfo* Info = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &Info), S_OK);
  BSTR Description = nullptr;
  Info->GetDescription(&Description);
  EXPECT_GT(SysStringLen(Description), 0u);
  SysFreeString(Description);
  Info->Release();
  Typed->Release();
  NotAWindow->Release();
}

// The script host binds late through the registered type library. A script error there ends the
// script silently with exit code 0, so the script prints what it saw and a last line.
TEST_F(AutomationAgent, AScriptCreatesItByNameAndCallsItsMembers) {
  wchar_t Temp[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, Temp), 0u);
  const std::wstring Script = std::wstring(Temp) + L"pel-agent-test.js";
  const std::wstring Output = std::wstring(Temp) + L"pel-agent-test.txt";
  const char* Source =
      "var a = new ActiveXObject('Brivane.BVAgent');\r\n"
      "WScript.Echo('count=' + a.ActionCount);\r\n"
      "WScript.Echo('sub6=' + a.SubActionCount(6) + ' sub1=' + a.SubActionCount(1));\r\n"
      "WScript.Echo('gui=' + a.GUIActive);\r\n"
      "a.ExecuteAction(2); a.ExecuteSubAction(6, 1); a.GUIActive = true;\r\n"
      "try { a.Window = a; WScript.Echo('window=accepted'); }\r\n"
      "catch (e) { WScript.Echo('window=refused ' + (e.number >>> 0).toString(16)); }\r\n"
      "WScript.Echo('end');\r\n";
  HANDLE File = CreateFileW(Script.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(File, INVALID_HANDLE_VALUE);
  DWORD Written = 0;
  WriteFile(File, Source, static_cast<DWORD>(strlen(Source)), &Written, nullptr);
  CloseHandle(File);

  SECURITY_ATTRIBUTES Inherit = {sizeof Inherit, nullptr, TRUE};
  HANDLE Out = CreateFileW(Output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &Inherit, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(Out, INVALID_HANDLE_VALUE);
  STARTUPINFOW Startup = {};
  Startup.cb = sizeof Startup;
  Startup.dwFlags = STARTF_USESTDHANDLES;
  Startup.hStdOutput = Out;
  Startup.hStdError = Out;
  Startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION Process = {};
  std::wstring Command = L"cscript.exe //nologo \"" + Script + L"\"";
  ASSERT_TRUE(CreateProcessW(nullptr, Command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &Startup, &Process));
  WaitForSingleObject(Process.hProcess, 60000);
  CloseHandle(Process.hThread);
  CloseHandle(Process.hProcess);
  CloseHandle(Out);

  std::string Text;
  File = CreateFileW(Output.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(File, INVALID_HANDLE_VALUE);
  char Buffer[4096];
  DWORD Read = 0;
  while (ReadFile(File, Buffer, sizeof Buffer, &Read, nullptr) && Read > 0) Text.append(Buffer, Read);
  CloseHandle(File);
  DeleteFileW(Script.c_str());
  DeleteFileW(Output.c_str());
  std::string Lines;
  for (char C : Text)
    if (C != '\r') Lines += C;

  EXPECT_EQ(Lines, "count=10\nsub6=3 sub1=0\ngui=false\nwindow=refused 80004002\nend\n");
}

}  // namespace
}  // namespace pel::test
