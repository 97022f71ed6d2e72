// The whole processing of a page with forms after it loaded, against reading the page: the forms
// rescanned, captured, matched with the stored cards, every form filled from its card, and the
// caption of every control; and the document load itself. Each figure is set against a plain
// gumbo parse of the same bytes in the same run, so the table at the end reads the same on a fast
// or a slow machine: "1.0x" costs as much as parsing the page once.
//
// The generated pages hold the controls real registration pages are made of: labelled inputs in
// table cells, selects of 20 options, check boxes, radio groups, text areas, hidden inputs, in one
// long form after a small search form.
//
// Memory: this executable replaces the global operator new and delete with ones that keep the
// bytes held (as malloc_usable_size reports them, so the allocator's rounding counts). The gumbo
// parse is given an allocator of its own that keeps its bytes and peak the same way. Before the
// benchmarks run, a page of about 1 MB is parsed once by gumbo (its peak) and loaded once into a
// fresh browser (the bytes the browser holds after the load beyond what it held before it: the
// live document with everything it keeps; gumbo's own tree, built with malloc during the load, is
// freed by then and not counted). The counting stops once that is measured.

#include <benchmark/benchmark.h>
#include <gumbo.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <atomic>
#include <chrono>
#include <map>
#include <malloc.h>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "BHO/CaptionFinder.h"
#include "RatioTable.h"
#include "BHO/PageForms.h"
#include "headless/HeadlessBrowser.h"
#include "platform/Services.h"

using namespace pel;
using namespace pel::headless;

// ---- Heap accounting of the whole executable's C++ allocations

namespace {
std::atomic<long long> GHeldBytes{0};
// The most held at once since the last reset (the deep and flat pages' report resets it).
std::atomic<long long> GPeakBytes{0};

// Counting is on until the memory has been measured: the timed benchmarks after it must not pay
// for the bookkeeping on every allocation, which the gumbo parse they are set against does not.
bool GCounting = true;

void* CountedAlloc(size_t Size) {
  void* P = std::malloc(Size == 0 ? 1 : Size);
  if (P && GCounting) {
    const long long Held =
        GHeldBytes.fetch_add(static_cast<long long>(malloc_usable_size(P)), std::memory_order_relaxed) +
        static_cast<long long>(malloc_usable_size(P));
    long long Peak = GPeakBytes.load(std::memory_order_relaxed);
    while (Held > Peak && !GPeakBytes.compare_exchange_weak(Peak, Held, std::memory_order_relaxed)) {
    }
  }
  return P;
}

void CountedFree(void* P) noexcept {
  if (!P) return;
  if (GCounting) GHeldBytes.fetch_sub(static_cast<long long>(malloc_usable_size(P)), std::memory_order_relaxed);
  std::free(P);
}
}  // namespace

void* operator new(size_t Size) {
  if (void* P = CountedAlloc(Size)) return P;
  throw std::bad_alloc();
}
void* operator new[](size_t Size) {
  if (void* P = CountedAlloc(Size)) return P;
  throw std::bad_alloc();
}
void* operator new(size_t Size, const std::nothrow_t&) noexcept { return CountedAlloc(Size); }
void* operator new[](size_t Size, const std::nothrow_t&) noexcept { return CountedAlloc(Size); }
void operator delete(void* P) noexcept { CountedFree(P); }
void operator delete[](void* P) noexcept { CountedFree(P); }
void operator delete(void* P, size_t) noexcept { CountedFree(P); }
void operator delete[](void* P, size_t) noexcept { CountedFree(P); }
void operator delete(void* P, const std::nothrow_t&) noexcept { CountedFree(P); }
void operator delete[](void* P, const std::nothrow_t&) noexcept { CountedFree(P); }

namespace {

const std::vector<int> Sizes = {50, 500, 1000, 2000, 5000};

std::string GeneratedPage(int Controls) {
  std::string Html =
      "<html><head><title>Registration</title></head><body>\n"
      "<form action=\"/search\">Search the site: <input name=q size=20> <input type=submit value=Search></form>\n"
      "<h1>Registration</h1>\n<form id=main action=\"register.asp\" method=post>\n"
      "<input type=hidden name=session value=\"a81f\">\n";
  int Made = 0;
  int Row = 0;
  while (Made < Controls) {
    if (Row % 24 == 0) {
      if (Row > 0) Html += "</table>\n";
      Html += "<h3>Section " + std::to_string(Row / 24 + 1) + "</h3>\n<table class=form>\n";
    }
    const std::string N = std::to_string(Row);
    switch (Row % 10) {
      case 5: {
        Html += "<tr><td>Choice " + N + ":</td><td><select name=s" + N + ">";
        for (int O = 0; O < 20; ++O) Html += "<option value=v" + std::to_string(O) + ">Option " + std::to_string(O);
        Html += "</select></td></tr>\n";
        Made += 1;
        break;
      }
      case 6:
        Html += "<tr><td>Newsletter " + N + "</td><td><input type=checkbox name=c" + N + " value=yes></td></tr>\n";
        Made += 1;
        break;
      case 7:
        Html += "<tr><td>Contact by " + N + "</td><td>";
        for (const char* Way : {"mail", "phone", "post"})
          Html += "<input type=radio name=r" + N + " value=" + Way + "> " + Way + " ";
        Html += "</td></tr>\n";
        Made += 3;
        break;
      case 8:
        Html += "<tr><td>Remarks " + N + "</td><td><textarea name=x" + N + " rows=3 cols=40></textarea></td></tr>\n";
        Made += 1;
        break;
      case 9:
        Html += "<tr><td>Code " + N + "</td><td><input name=k" + N + " maxlength=12><input type=hidden name=h" + N +
                " value=" + N + "></td></tr>\n";
        Made += 1;
        break;
      default:
        Html += "<tr><td>Field " + N + ":</td><td><input name=t" + N + " size=30></td></tr>\n";
        Made += 1;
        break;
    }
    ++Row;
  }
  return Html + "</table>\n<p><input type=submit name=send value=\"Send\"></p></form>\n</body></html>\n";
}

const WideString PageURL = u"http://forms.example/register.asp";

// One browser per benchmark, with the page registered once; a load navigates to it again.
std::shared_ptr<THeadlessBrowser> BrowserFor(const std::string& Html) {
  auto Browser = THeadlessBrowser::CreateTop(nullptr);
  Browser->Pages().AddPage(PageURL, Html);
  return Browser;
}

void Load(THeadlessBrowser& Browser) { Browser.Navigate(PageURL, TVariant(), TVariant(), TVariant(), TVariant()); }

// ---- The stages of the processing

struct TProcessing {
  TPageFormSet Forms;
  TTransitFormSet Captured;
  std::vector<int> Scores;
  TLexicon Lexicon;
  TProcessing() { Forms.FKeyAttribute = u"FormID"; }
};

void Rescan(const std::shared_ptr<THeadlessBrowser>& Browser, TProcessing& P) { RefreshPageForms(Browser, P.Forms); }

// As the helper captures the page's forms to look for their stored cards: address and method.
void Capture(TProcessing& P) { P.Forms.SaveToTransitSet(P.Captured, 3); }

void Match(const TTransitFormSet& Stored, TProcessing& P) {
  P.Scores.clear();
  for (TTransitFormCard& Card : P.Captured) P.Scores.push_back(Stored.FindBestMatch(Card));
}

// True when every form found its card and was filled completely.
bool Fill(TProcessing& P) {
  bool All = true;
  int I = 0;
  for (TFormItem& Item : P.Forms) {
    if (P.Scores[static_cast<size_t>(I)] > 0)
      All = Item.FillFromCard(P.Lexicon, P.Captured[I]) && All;
    else
      All = false;
    ++I;
  }
  return All;
}

// Returns how many controls got a caption.
int Captions(THeadlessBrowser& Browser) {
  int Found = 0;
  for (const auto& E : Browser.HtmlDocument()->AllElements()) {
    if (!IsFieldElement(E)) continue;
    WideString Caption;
    GetElementCaption(E, true, true, Caption);
    if (!Caption.empty()) ++Found;
  }
  return Found;
}

// ---- The page of each size, with the cards a user's earlier visit stored

struct TPage {
  std::string Html;
  int Controls = 0;
  TTransitFormSet Stored;
};

// The stored cards: the page's forms as a user left them, every control changed from what the page
// shows, so that a fill writes each one.
void StoreCards(TPage& Page) {
  auto Browser = BrowserFor(Page.Html);
  Load(*Browser);
  TProcessing P;
  Rescan(Browser, P);
  P.Forms.SaveToTransitSet(Page.Stored, 3);
  for (TTransitFormCard& Card : Page.Stored) {
    std::map<WideString, int> RadioSeen;
    for (TTransitField& F : Card.Fields) {
      const WideString N = F.Name;
      if (F.TagName == u"select") {
        F.Value = u"v7";
      } else if (F.TagName == u"textarea") {
        F.Value = u"Remarks for " + N;
      } else if (F.InputType == u"checkbox") {
        F.Value = u"true";
      } else if (F.InputType == u"radio") {
        F.Value = RadioSeen[N]++ == 1 ? u"true" : u"false";
      } else if (F.InputType == u"text") {
        F.Value = u"V " + N;  // within the 12 characters of the code fields
      }
    }
  }
  for (const auto& E : Browser->HtmlDocument()->AllElements())
    if (IsFieldElement(E)) ++Page.Controls;
}

// The processing must do what it is measured for: every form filled from its card, with the
// values stored, and a caption for every control.
void CheckProcessing(TPage& Page) {
  auto Browser = BrowserFor(Page.Html);
  Load(*Browser);
  TProcessing P;
  Rescan(Browser, P);
  Capture(P);
  Match(Page.Stored, P);
  const bool Filled = Fill(P);
  TTransitFormSet After;
  P.Forms.SaveToTransitSet(After, 3);
  bool Same = After.Count() == Page.Stored.Count();
  for (int I = 0; Same && I < After.Count(); ++I) Same = After[I].FieldsText() == Page.Stored[I].FieldsText();
  const int Labelled = Captions(*Browser);
  if (!Filled || !Same || Labelled != Page.Controls) {
    std::cerr << "page of " << Page.Controls << " controls: filled " << Filled << ", values as stored " << Same
              << ", captions " << Labelled << "\n";
    std::abort();
  }
}

TPage& PageOf(int Controls) {
  static std::map<int, std::unique_ptr<TPage>> Pages;
  auto& Page = Pages[Controls];
  if (!Page) {
    Page = std::make_unique<TPage>();
    Page->Html = GeneratedPage(Controls);
    StoreCards(*Page);
    CheckProcessing(*Page);
  }
  return *Page;
}

void Describe(benchmark::State& State, const TPage& Page) {
  State.counters["controls"] = Page.Controls;
  State.counters["html_bytes"] = static_cast<double>(Page.Html.size());
  State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(Page.Html.size()));
}

// ---- Memory of a page of about 1 MB

struct TGumboHeap {
  long long Held = 0;
  long long Peak = 0;
};

void* GumboCountedAlloc(void* User, size_t Size) {
  auto& Heap = *static_cast<TGumboHeap*>(User);
  void* P = std::malloc(Size == 0 ? 1 : Size);
  if (P) {
    Heap.Held += static_cast<long long>(malloc_usable_size(P));
    Heap.Peak = std::max(Heap.Peak, Heap.Held);
  }
  return P;
}

void GumboCountedFree(void* User, void* P) {
  if (!P) return;
  static_cast<TGumboHeap*>(User)->Held -= static_cast<long long>(malloc_usable_size(P));
  std::free(P);
}

void ReportMemory() {
  int Controls = 5000;
  std::string Html = GeneratedPage(Controls);
  while (Html.size() < 1000000) Html = GeneratedPage(Controls += 500);

  TGumboHeap GumboHeap;
  GumboOptions Options = kGumboDefaultOptions;
  Options.allocator = GumboCountedAlloc;
  Options.deallocator = GumboCountedFree;
  Options.userdata = &GumboHeap;
  GumboOutput* Output = gumbo_parse_with_options(&Options, Html.data(), Html.size());
  gumbo_destroy_output(&Options, Output);

  auto Browser = BrowserFor(Html);
  const long long Before = GHeldBytes.load();
  Load(*Browser);
  const long long Live = GHeldBytes.load() - Before;

  const double Size = static_cast<double>(Html.size());
  std::printf(
      "Memory of a page of %zu bytes of HTML (%d controls asked for):\n"
      "  gumbo parse peak          %12lld bytes  %6.2fx the HTML\n"
      "  live document after load  %12lld bytes  %6.2fx the HTML\n"
      "  beyond the parse's peak   %12lld bytes  %6.2fx the HTML\n\n",
      Html.size(), Controls, GumboHeap.Peak, GumboHeap.Peak / Size, Live, Live / Size, Live - GumboHeap.Peak,
      (Live - GumboHeap.Peak) / Size);
  std::fflush(stdout);
  GCounting = false;
}

// ---- Deep and flat pages: what the page model costs beyond the parse as a page nests deeper or
// grows longer. Run with --deep_pages (it takes a minute: the parser's own time grows with the
// square of the depth of nested blocks); --deep_pages=NAME runs only the pages whose name holds
// NAME ("div", "span depth 1000", "flat").

// Controls every tenth level, each after its label, all inside one form at the top: every control's
// caption search, owner form and visibility start at the bottom of a deep tree.
std::string DeepPage(const char* Tag, int Depth) {
  std::string Html = "<html><body><form action=\"/x\" method=post>\n";
  const std::string Open = std::string("<") + Tag + ">", Close = std::string("</") + Tag + ">";
  for (int I = 0; I < Depth; ++I) {
    Html += Open;
    if (I % 10 == 0) Html += "Field " + std::to_string(I) + " <input name=f" + std::to_string(I) + ">";
  }
  for (int I = 0; I < Depth; ++I) Html += Close;
  return Html + "</form></body></html>\n";
}

// Paragraphs of text with a labelled control in every tenth, in one form.
std::string FlatPage(size_t Bytes) {
  std::string Html = "<html><body><form action=\"/x\" method=post>\n";
  for (int I = 0; Html.size() < Bytes; ++I) {
    Html += "<p>A paragraph of the page, <b>with</b> a few words of text in it.";
    if (I % 10 == 0) Html += " <label>Field " + std::to_string(I) + " <input name=f" + std::to_string(I) + "></label>";
    Html += "</p>\n";
  }
  return Html + "</form></body></html>\n";
}

// Only the pages whose name holds Only (all when empty).
void ReportDeepPages(const std::string& Only) {
  using TClock = std::chrono::steady_clock;
  auto Ms = [](TClock::duration D) { return std::chrono::duration<double, std::milli>(D).count(); };
  struct TCase {
    std::string Name;
    std::string Html;
  };
  std::vector<TCase> Cases;
  for (int Depth : {1000, 10000, 100000}) Cases.push_back({"div depth " + std::to_string(Depth), DeepPage("div", Depth)});
  for (int Depth : {1000, 10000, 100000}) Cases.push_back({"span depth " + std::to_string(Depth), DeepPage("span", Depth)});
  for (int Mb : {1, 10, 20}) Cases.push_back({"flat " + std::to_string(Mb) + " MB", FlatPage(size_t(Mb) * 1000000)});

  std::printf("%-18s %9s %8s %9s %9s %9s %9s %7s %8s %10s %8s %8s %8s %8s\n", "page", "bytes", "captions",
              "parse ms", "load ms", "proc. ms", "model ms", "x parse", "per unit", "parse peak", "loaded", "beyond",
              "peak", "beyond");
  for (const TCase& Case : Cases) {
    if (Case.Name.find(Only) == std::string::npos) continue;
    // Each page in a process of its own: the blocks a page's nodes leave behind serve the next
    // page, whose memory would then not count them.
    std::fflush(stdout);
    const pid_t Child = fork();
    if (Child < 0) {
      std::perror("fork");
      return;
    }
    if (Child > 0) {
      int Status = 0;
      waitpid(Child, &Status, 0);
      continue;
    }
    const double Size = static_cast<double>(Case.Html.size());
    TGumboHeap GumboHeap;
    GumboOptions Options = kGumboDefaultOptions;
    Options.allocator = GumboCountedAlloc;
    Options.deallocator = GumboCountedFree;
    Options.userdata = &GumboHeap;
    const auto P0 = TClock::now();
    GumboOutput* Output = gumbo_parse_with_options(&Options, Case.Html.data(), Case.Html.size());
    const double ParseMs = Ms(TClock::now() - P0);
    gumbo_destroy_output(&Options, Output);

    // The model: the load (which parses again; its own parse is taken off) and the processing
    // after it: the forms rescanned and captured, and the caption of every control. Its memory
    // is its own allocations at their highest, beyond what the parse alone needs at its peak.
    long long ModelPeak = 0, Loaded = 0;
    int Controls = 0;
    double LoadMs = 0, ProcessingMs = 0;
    {
      auto Browser = BrowserFor(Case.Html);
      const long long Before = GHeldBytes.load();
      GPeakBytes.store(Before);
      const auto M0 = TClock::now();
      Load(*Browser);
      const auto M1 = TClock::now();
      Loaded = GHeldBytes.load() - Before;
      TProcessing P;
      Rescan(Browser, P);
      Capture(P);
      Controls = Captions(*Browser);
      LoadMs = Ms(M1 - M0);
      ProcessingMs = Ms(TClock::now() - M1);
      ModelPeak = GPeakBytes.load() - Before;
    }
    // The model's own time: the load beyond its parse, and the processing.
    const double ModelMs = std::max(0.0, LoadMs - ParseMs) + ProcessingMs;
    const double Units =
        Case.Name.rfind("flat", 0) == 0 ? Size / 1e6 : std::stod(Case.Name.substr(Case.Name.rfind(' ') + 1)) / 1000;
    std::printf("%-18s %9zu %8d %9.1f %9.1f %9.1f %9.1f %7.2f %8.2f %9.2fx %7.2fx %7.2fx %7.2fx %7.2fx\n",
                Case.Name.c_str(), Case.Html.size(), Controls, ParseMs, LoadMs, ProcessingMs, ModelMs, ModelMs / ParseMs,
                ModelMs / Units, GumboHeap.Peak / Size, Loaded / Size, (Loaded - GumboHeap.Peak) / Size,
                ModelPeak / Size, (ModelPeak - GumboHeap.Peak) / Size);
    std::fflush(stdout);
    _exit(0);
  }
  std::printf(
      "(model: the load beyond its parse, and the processing; per unit: model ms per 1,000 levels or per MB;\n"
      " parse peak: the parser's allocations at their highest; loaded: what the page model holds after the\n"
      " load; peak: its own allocations at their highest during load and processing, the captured card of\n"
      " every control, the body's text and the caption search's snapshots included; beyond: less the parse\n"
      " peak; memory as multiples of the page's size)\n");
}

// ---- Benchmarks

void BM_GumboParse(benchmark::State& State) {
  const TPage& Page = PageOf(static_cast<int>(State.range(0)));
  for (auto _ : State) {
    GumboOutput* Output = gumbo_parse_with_options(&kGumboDefaultOptions, Page.Html.data(), Page.Html.size());
    benchmark::DoNotOptimize(Output);
    gumbo_destroy_output(&kGumboDefaultOptions, Output);
  }
  Describe(State, Page);
}

// The browser's load of the page: parse, the document's tree, the load events; the page before
// it goes as the new one comes.
void BM_Load(benchmark::State& State) {
  const TPage& Page = PageOf(static_cast<int>(State.range(0)));
  auto Browser = BrowserFor(Page.Html);
  for (auto _ : State) Load(*Browser);
  Describe(State, Page);
}

enum class TStage { Rescan, Capture, Match, Fill, Captions, All };

// Each iteration works on a freshly loaded page; the load, the stages before the measured one and
// the clean-up afterwards are not timed.
void MeasureStage(benchmark::State& State, TStage Stage, int Controls) {
  TPage& Page = PageOf(Controls);
  auto Browser = BrowserFor(Page.Html);
  std::optional<TProcessing> P;
  auto Timed = [&](TStage This, auto&& Step) {
    const bool Measured = Stage == This || Stage == TStage::All;
    if (Measured) State.ResumeTiming();
    Step();
    if (Measured) State.PauseTiming();
  };
  for (auto _ : State) {
    State.PauseTiming();
    P.reset();
    Load(*Browser);
    P.emplace();
    Timed(TStage::Rescan, [&] { Rescan(Browser, *P); });
    if (Stage != TStage::Rescan) Timed(TStage::Capture, [&] { Capture(*P); });
    if (Stage >= TStage::Match) Timed(TStage::Match, [&] { Match(Page.Stored, *P); });
    if (Stage >= TStage::Fill) Timed(TStage::Fill, [&] { benchmark::DoNotOptimize(Fill(*P)); });
    if (Stage >= TStage::Captions) Timed(TStage::Captions, [&] { benchmark::DoNotOptimize(Captions(*Browser)); });
    State.ResumeTiming();
  }
  Describe(State, Page);
}

void PageSizes(benchmark::internal::Benchmark* B) {
  for (int N : Sizes) B->Arg(N);
  B->Unit(benchmark::kMillisecond);
}

// A stage is measured on a page loaded for it, and the untimed load would make the library run a
// quick stage thousands of times: the number of pages is set, fewer for larger pages.
void RegisterStages() {
  const std::pair<const char*, TStage> Stages[] = {{"Rescan", TStage::Rescan},     {"Capture", TStage::Capture},
                                                   {"Match", TStage::Match},       {"Fill", TStage::Fill},
                                                   {"Captions", TStage::Captions}, {"Processing", TStage::All}};
  for (const auto& [Name, Stage] : Stages)
    for (int N : Sizes)
      benchmark::RegisterBenchmark(("BM_" + std::string(Name) + "/" + std::to_string(N)).c_str(),
                                   [Stage = Stage, N](benchmark::State& State) { MeasureStage(State, Stage, N); })
          ->Iterations(std::max(4, 20000 / N))
          ->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_GumboParse)->Apply(PageSizes);
BENCHMARK(BM_Load)->Apply(PageSizes);

int main(int argc, char** argv) {
  pel::InstallPlatformBinding();
  for (int I = 1; I < argc; ++I)
    if (std::string(argv[I]).rfind("--deep_pages", 0) == 0) {
      const std::string Arg = argv[I];
      ReportDeepPages(Arg.size() > 13 && Arg[12] == '=' ? Arg.substr(13) : std::string());
      return 0;
    }
  RegisterStages();
  return pel::bench::RunWithRatioTable(argc, argv, ReportMemory);
}
