// Captions of every control of a long generated form, as the profile fill asks for them after a
// page load. The page mixes the layouts forms use: label and control cells in table rows, labels
// before controls in paragraphs, lists, two controls sharing a label, check boxes labelled after.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "BHO/CaptionFinder.h"
#include "headless/HtmlDom.h"
#include "platform/Services.h"

using namespace pel;
using namespace pel::headless;

namespace {

std::string GeneratedPage(int Controls) {
  std::string Html = "<html><head><title>Long form</title></head><body><h1>Application</h1>\n";
  int Made = 0;
  int Section = 0;
  while (Made < Controls) {
    const std::string S = std::to_string(++Section);
    Html += "<form action=\"step" + S + ".asp\" method=post><h2>Section " + S + "</h2>\n<table>\n";
    for (int Row = 0; Row < 8 && Made < Controls; ++Row, ++Made) {
      const std::string N = std::to_string(Made);
      if (Row % 4 == 3)
        Html += "<tr><td>Choice " + N + "</td><td><select name=s" + N +
                "><option>First<option>Second<option>Third</select></td></tr>\n";
      else
        Html += "<tr><td><b>Field " + N + "</b>:</td><td><input name=t" + N + "></td></tr>\n";
    }
    Html += "</table>\n";
    for (int Para = 0; Para < 6 && Made < Controls; ++Para, ++Made) {
      const std::string N = std::to_string(Made);
      if (Para == 2 && Made + 1 < Controls) {
        const std::string M = std::to_string(++Made);
        Html += "<p>Phone " + N + " <input name=a" + N + "> <input name=b" + M + "> (area, number)</p>\n";
      } else if (Para == 4) {
        Html += "<p><input type=checkbox name=c" + N + "> I agree to term " + N + "</p>\n";
      } else {
        Html += "<p>Label " + N + ": <input name=p" + N + "><input type=hidden name=h" + N + "></p>\n";
      }
    }
    Html += "<div><textarea name=x" + S + "></textarea> Remarks " + S + "</div></form>\n";
    ++Made;
  }
  return Html + "</body></html>";
}

// The older layout: one form, each label and control straight in it, a line break after each.
std::string FlatPage(int Controls) {
  std::string Html = "<html><body><form action=send.asp>\n";
  for (int I = 0; I < Controls; ++I) {
    const std::string N = std::to_string(I);
    Html += "Entry " + N + ": <input name=e" + N + "><br>\n";
  }
  return Html + "</form></body></html>";
}

struct TPage {
  std::shared_ptr<THtmlDocument> Doc;
  std::vector<TElementRef> Controls;
};

TPage LoadPage(int Controls, bool Flat = false) {
  TPage Page;
  Page.Doc = THtmlDocument::Parse(Flat ? FlatPage(Controls) : GeneratedPage(Controls), u"http://a.com/form.asp");
  for (const auto& E : Page.Doc->AllElements())
    if (IsFieldElement(E)) Page.Controls.push_back(E);
  return Page;
}

// Every control of the page has a label; a benchmark that found none would measure nothing.
void CheckAllLabelled(const TPage& Page) {
  for (const auto& E : Page.Controls) {
    WideString Caption;
    GetElementCaption(E, true, true, Caption);
    if (Caption.empty()) {
      std::cerr << "control without a caption: " << WideToAscii(E->InnerHTML()) << "\n";
      std::abort();
    }
  }
}

// FreshPage: as after a page load, where the first search renders the page's text and numbers
// its elements; otherwise the searches run on a page whose text and numbering are known.
void MeasureCaptions(benchmark::State& State, bool Flat, bool FreshPage) {
  TPage Page = LoadPage(static_cast<int>(State.range(0)), Flat);
  CheckAllLabelled(Page);
  for (auto _ : State) {
    if (FreshPage) Page.Doc->Changed();
    for (const auto& E : Page.Controls) {
      WideString Caption;
      GetElementCaption(E, true, true, Caption);
      benchmark::DoNotOptimize(Caption);
    }
  }
  State.SetItemsProcessed(State.iterations() * static_cast<int64_t>(Page.Controls.size()));
  State.counters["controls"] = static_cast<double>(Page.Controls.size());
  State.SetComplexityN(static_cast<int64_t>(Page.Controls.size()));
}

void BM_CaptionsAfterPageLoad(benchmark::State& State) { MeasureCaptions(State, false, true); }
void BM_CaptionsOnAKnownPage(benchmark::State& State) { MeasureCaptions(State, false, false); }
void BM_CaptionsOfAFlatForm(benchmark::State& State) { MeasureCaptions(State, true, true); }

}  // namespace

BENCHMARK(BM_CaptionsAfterPageLoad)
    ->Arg(500)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK(BM_CaptionsOfAFlatForm)
    ->Arg(500)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK(BM_CaptionsOnAKnownPage)
    ->Arg(500)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

int main(int argc, char** argv) {
  pel::InstallPlatformBinding();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
