#pragma once
// A browser window with its helper object, on the headless browser, against the reference store on
// a temporary file: what the scenario tests of the helper object share.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "BHO/ElementAccess.h"
#include "agent/AgentTestSupport.h"
#include "dialogs/BindFieldDialog.h"
#include "dialogs/FillDialog.h"
#include "dialogs/MessageDialog.h"
#include "headless/HeadlessBrowser.h"
#include "helper/BrowserHelper.h"
#include "store/StoreTestSupport.h"

namespace pel::test {

// A batch program's callbacks, written down.
class TBatchRecorder : public IBVBatchServer {
public:
  void PageDone() override { Calls.push_back("PageDone"); }
  void LoopDetected() override { Calls.push_back("LoopDetected"); }
  void NoForms() override { Calls.push_back("NoForms"); }
  std::vector<std::string> Calls;
};

// The reference store, counting the page matches it was asked for: one per automatic processing
// of a page.
class TCountingStore : public store::TPelStore {
public:
  using TPelStore::TPelStore;
  void FindFormCards(const WideString& URLKey, const TVariant& Forms, TVariant& Cards, WideString& SetName,
                     WideString& Name, bool& Matched) override {
    ++Matches;
    TPelStore::FindFormCards(URLKey, Forms, Cards, SetName, Name, Matched);
  }
  void AddFieldValue(const WideString& Profile, const WideString& ProfileField, const WideString& Values,
                     bool& LoginRequired) override {
    Added.push_back(ProfileField + u"=" + Values);
    TPelStore::AddFieldValue(Profile, ProfileField, Values, LoginRequired);
  }
  void AddAllValues(const WideString& Text) override {
    Added.push_back(u"all=" + Text);
    TPelStore::AddAllValues(Text);
  }
  void ReportPage(uint32_t Wnd, const WideString& URL, const WideString& Title, const TVariant& Image) override {
    Reports.push_back(Image);
    TPelStore::ReportPage(Wnd, URL, Title, Image);
  }
  int Matches = 0;
  std::vector<WideString> Added;
  std::vector<TVariant> Reports;
};

class THelperScenario : public testing::Test {
protected:
  void SetUp() override { Views().Clear(); }
  void TearDown() override {
    ExpectEveryAnswerUsed();
    if (Helper) Helper->SetSite(nullptr);
    Helper.reset();
    if (Store) Store->Shutdown();
  }

  // The store, with default options changed as Change says, registered as the running store.
  void StartStore(const std::function<void(TBVOptions&)>& Change = {}) {
    Store = std::make_shared<TCountingStore>(Folder.File());
    if (Change) {
      TBVOptions Options;
      Change(Options);
      bool Handled = false;
      Store->SetSettings(u"", PackOptions(Options), true, true, Handled);
    }
    store::TPelStore::Register(Store);
  }
  // The window: its helper attached to the browser as the browser does it.
  void OpenWindow() {
    Helper = std::make_shared<TKXBrowserHelperObject>();
    ASSERT_EQ(Helper->SetSite(Browser), HR_S_OK);
  }
  void Serve(const char16_t* URL, const std::string& Html) { Pages->AddPage(URL, Html); }
  void Open(const char16_t* URL) {
    Browser->Navigate(URL, TVariant(), TVariant(), TVariant(), TVariant());
    Browser->RunPending();
  }
  std::shared_ptr<headless::THtmlElement> Element(const char16_t* Id, headless::THeadlessBrowser* In = nullptr) {
    auto E = (In ? In : Browser.get())->HtmlDocument()->FindById(Id);
    if (!E) throw Exception("no element " + WideToAnsi(Id));
    return E;
  }
  WideString Value(const char16_t* Id, headless::THeadlessBrowser* In = nullptr) {
    WideString Name, Tag, Type, V;
    ReadElement(Element(Id, In), Name, Tag, Type, V);
    return V;
  }
  void Type(const char16_t* Id, const WideString& Text) { Browser->UserType(*Element(Id), Text); }
  void Click(const char16_t* Id) { Browser->UserClick(*Element(Id)); }
  // The user saves the page's forms through the "Save forms" action and names the card.
  void SaveAs(const WideString& Name) {
    Views().Answer("BVStoreDialog", [Name](TForm& Form) {
      Form.Control("FormSetNameEdit").Text = Name;
      Form.Control("Button1").Click();
    });
    Helper->Agent().SaveForms();
  }
  // The stored card names of a page, as the store lists them for the store dialog.
  std::vector<WideString> CardsOf(const WideString& URLKey) {
    WideString Existing, DefaultName;
    Store->GetNameChoices(URLKey, Existing, DefaultName);
    std::vector<WideString> Names;
    size_t Start = 0;
    while (Start < Existing.size()) {
      size_t End = Existing.find_first_of(u"\r\n", Start);
      if (End == WideString::npos) End = Existing.size();
      WideString Line = Existing.substr(Start, End - Start);
      if (!Line.empty()) Names.push_back(Line.substr(Line.find(u'=') + 1));
      Start = End + 1;
    }
    return Names;
  }
  int Posts() const {
    int N = 0;
    for (const auto& R : Browser->Requests)
      if (!R.PostData.empty()) ++N;
    return N;
  }

  TStoreFolder Folder;
  std::shared_ptr<TCountingStore> Store;
  std::shared_ptr<headless::TPageSource> Pages = std::make_shared<headless::TPageSource>();
  std::shared_ptr<headless::THeadlessBrowser> Browser = headless::THeadlessBrowser::CreateTop(Pages);
  std::shared_ptr<TKXBrowserHelperObject> Helper;
};

}  // namespace pel::test
