// One whole automatic page load as a user's browser window goes through it: the load, the forms
// rescanned and captured, the store asked for the page's cards, the form that has a card filled
// from it, and the new form filled from the profile with a caption lookup for every control. Set
// against a plain gumbo parse of the same page in the same run ("1.0x" costs as much as parsing the
// page once).
//
// The store is the reference store on a temporary file, holding a card for the page's first form;
// the second form is new, its controls named meaninglessly and labelled in table cells, so that
// every one of them is looked up by its caption.

#include <benchmark/benchmark.h>
#include <gumbo.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "PelStore.h"
#include "RatioTable.h"
#include "headless/HeadlessBrowser.h"
#include "headless/HeadlessDialogs.h"
#include "helper/BrowserHelper.h"
#include "platform/Services.h"

using namespace pel;
using namespace pel::headless;

namespace {

const char16_t* const URL = u"http://bench.example/register";

const char* const Labels[] = {"First name", "Last name",   "E-mail address", "Phone number", "City",
                              "Post code",  "Company",     "Street",         "Mobile",       "Job title",
                              "Fax",        "Middle name", "Website",        "Country",      "Remarks"};

// Half the controls in the form the store has a card for, half in a new one.
std::string GeneratedPage(int Controls, bool WithNewForm) {
  std::string Html = "<html><head><title>Register</title></head><body>\n<h1>Account</h1>\n"
                     "<form id=known action=\"account.asp\" method=post><table>\n";
  for (int I = 0; I < Controls / 2; ++I)
    Html += "<tr><td>Account field " + std::to_string(I) + "</td><td><input name=a" + std::to_string(I) +
            "></td></tr>\n";
  Html += "</table></form>\n";
  if (WithNewForm) {
    Html += "<h1>Your details</h1>\n<form id=fresh action=\"details.asp\" method=post><table>\n";
    for (int I = 0; I < Controls - Controls / 2; ++I)
      Html += "<tr><td>" + std::string(Labels[I % std::size(Labels)]) + ":</td><td><input name=z" +
              std::to_string(I) + "></td></tr>\n";
    Html += "</table></form>\n";
  }
  return Html + "</body></html>\n";
}

// A window with its helper and a store holding a card for the page's first form.
struct TWindow {
  explicit TWindow(int Controls) {
    char Pattern[] = "/tmp/pelbenchXXXXXX";
    Folder = mkdtemp(Pattern);
    Store = std::make_shared<store::TPelStore>((Folder / "store.db").string());
    store::TPelStore::Register(Store);
    Browser = THeadlessBrowser::CreateTop(std::make_shared<TPageSource>());
    Helper = std::make_shared<TKXBrowserHelperObject>();
    Helper->SetSite(Browser);
    // The card: the first form alone, every field typed, saved as the page's default.
    Browser->LoadHTML(GeneratedPage(Controls, false), URL);
    auto Form = Supports<IHTMLFormElement>(Browser->HtmlDocument()->Forms()->Item(0));
    auto Inputs = Form->Tags(u"input");
    for (int32_t I = 0; I < Inputs->Length(); ++I)
      Supports<IHTMLInputElement>(Inputs->Item(I))->SetValue(u"value " + IntToWideStr(I));
    HeadlessDialogViews().Answer("BVStoreDialog", [](TForm& Dialog) {
      Dialog.Control("FormSetNameEdit").Text = u"Mine";
      Dialog.Control("Button1").Click();
    });
    Helper->Agent().SaveForms();
    Html = GeneratedPage(Controls, true);
  }
  ~TWindow() {
    Helper->SetSite(nullptr);
    Helper.reset();
    Store->Shutdown();
    Store.reset();
    std::filesystem::remove_all(Folder);
  }
  std::filesystem::path Folder;
  std::shared_ptr<store::TPelStore> Store;
  std::shared_ptr<THeadlessBrowser> Browser;
  std::shared_ptr<TKXBrowserHelperObject> Helper;
  std::string Html;
};

void BM_GumboParse(benchmark::State& State) {
  const std::string Html = GeneratedPage(static_cast<int>(State.range(0)), true);
  for (auto _ : State) {
    GumboOutput* Output = gumbo_parse_with_options(&kGumboDefaultOptions, Html.data(), Html.size());
    benchmark::DoNotOptimize(Output);
    gumbo_destroy_output(&kGumboDefaultOptions, Output);
  }
}

void BM_PageLoad(benchmark::State& State) {
  TWindow Window(static_cast<int>(State.range(0)));
  auto Check = [&] {
    auto Fresh = Supports<IHTMLFormElement>(Window.Browser->HtmlDocument()->Forms()->Item(1));
    auto Known = Supports<IHTMLFormElement>(Window.Browser->HtmlDocument()->Forms()->Item(0));
    return Supports<IHTMLInputElement>(Known->Tags(u"input")->Item(0))->Value() == u"value 0" &&
           Supports<IHTMLInputElement>(Fresh->Tags(u"input")->Item(0))->Value() == u"John";
  };
  for (auto _ : State) Window.Browser->LoadHTML(Window.Html, URL);
  // A figure for a page that was not filled would measure nothing worth knowing.
  if (!Check()) State.SkipWithError("the page was not filled from its card and the profile");
}

// The same page loaded by a browser window without the add-on: what the page load costs by itself,
// so that the add-on's share is the difference.
void BM_LoadAlone(benchmark::State& State) {
  const std::string Html = GeneratedPage(static_cast<int>(State.range(0)), true);
  auto Browser = THeadlessBrowser::CreateTop(std::make_shared<TPageSource>());
  for (auto _ : State) Browser->LoadHTML(Html, URL);
}

void Sizes(benchmark::internal::Benchmark* B) {
  for (int N : {50, 500, 2000}) B->Arg(N);
  B->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_GumboParse)->Apply(Sizes);
BENCHMARK(BM_LoadAlone)->Apply(Sizes);
BENCHMARK(BM_PageLoad)->Apply(Sizes);

int main(int argc, char** argv) {
  pel::InstallPlatformBinding();
  return pel::bench::RunWithRatioTable(argc, argv);
}
