// What lands in the boxes of real-world pages: every page of a corpus of saved pages with labelled
// controls (the layout of the formasaurus corpus: pages/, fields.tsv) is filled by the command-line
// tool's own fill (its browser window and helper object, unattended, no submission) from the sample
// profile of a new store, and every labelled control the tool reports as filled is judged by the
// profile field whose value it got.
//
//   FillBench CORPUS_DIR [--list other|none|empty|outside]
//
// --list prints the labelled controls of that verdict (outside: every control outside any form
// that the fill changed, labelled or not).
//
// A row whose form is -1 (or empty) stands for a control outside any form element: its field is
// its position among the page's counted controls that have no form.
//
// Prints per class: right, another field's value, a value where none belongs, left empty (only
// for the classes the sample profile has a value for); then the totals, what was filled outside
// forms, and the slowest page fill by processor time.

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "BHO/BindingMarks.h"
#include "BHO/ElementAccess.h"
#include "BatchFill.h"
#include "CorpusLabels.h"
#include "PelStore.h"
#include "headless/HeadlessBrowser.h"
#include "platform/Services.h"

using namespace pel;
using namespace pel::bench;

namespace {

struct TRow {
  int Form, Field;
  std::string Name, Common;
};

// The page's counted controls that belong to no form, in document order.
std::vector<TElementRef> FormlessControls(const std::shared_ptr<IHTMLDocument2>& Doc) {
  std::vector<TElementRef> Result;
  TElementsRef All = Doc->All();
  for (int32_t I = 0; I < All->Length(); ++I) {
    TElementRef E = All->Item(I);
    if (!E || !Counted(E)) continue;
    const WideString Tag = AsciiLowerCase(E->TagName());
    TElementRef Owner;
    if (auto Input = Supports<IHTMLInputElement>(E))
      Owner = Input->Form();
    else if (auto Select = Supports<IHTMLSelectElement>(E))
      Owner = Select->Form();
    else if (auto Area = Supports<IHTMLTextAreaElement>(E))
      Owner = Area->Form();
    else if (Tag == u"button")
      continue;  // never filled; its form is not asked
    if (!Owner) Result.push_back(E);
  }
  return Result;
}

std::string FileUrl(const std::filesystem::path& Path) {
  std::string Url = "file://";
  for (unsigned char C : std::filesystem::absolute(Path).lexically_normal().string()) {
    if (C == ' ' || C == '%' || C == '#' || C == '?' || C >= 0x80) {
      static const char Hex[] = "0123456789ABCDEF";
      Url += '%';
      Url += Hex[C >> 4];
      Url += Hex[C & 15];
    } else {
      Url += static_cast<char>(C);
    }
  }
  return Url;
}

}  // namespace

int main(int argc, char** argv) {
  InstallPlatformBinding();
  if (argc < 2) {
    std::cerr << "usage: FillBench CORPUS_DIR [--list other|none|empty|outside]\n";
    return 2;
  }
  const std::filesystem::path Corpus = argv[1];
  std::string List;
  for (int I = 2; I < argc; ++I) {
    const std::string Option = argv[I];
    if (Option == "--list" && I + 1 < argc) {
      List = argv[++I];
    } else {
      std::cerr << "unknown option " << Option << "\n";
      return 2;
    }
  }
  char Pattern[] = "/tmp/pelfillbenchXXXXXX";
  const std::filesystem::path Temp = mkdtemp(Pattern);
  auto Store = std::make_shared<store::TPelStore>((Temp / "store.db").string());
  store::TPelStore::Register(Store);

  // The sample profile's values, by field, and which classes it can answer.
  std::map<WideString, std::string> FieldOfValue;
  std::set<std::string> Answerable;
  for (const auto& [Field, For] : RightFor) {
    WideString Name = AsciiToWide(Field), Value, Values;
    int32_t Kind = -1;
    bool Found = false, LoginRequired = false;
    Store->FindFieldValue(u"", u"", u"", u"", u"", Name, Kind, Value, Values, Found, LoginRequired);
    if (!Found || Value.empty()) continue;
    FieldOfValue.emplace(Value, Field);
    Answerable.insert(For.begin(), For.end());
  }
  std::set<std::string> Holdable;
  for (const auto& [Field, For] : RightFor) Holdable.insert(For.begin(), For.end());

  std::ifstream In(Corpus / "fields.tsv");
  if (!In) {
    std::cerr << "no fields.tsv in " << Corpus << "\n";
    return 2;
  }
  std::map<std::string, std::vector<TRow>> Pages;
  std::string Line;
  std::getline(In, Line);
  std::set<std::tuple<std::string, std::string, std::string>> Seen;  // a control in two forms counts once
  while (std::getline(In, Line)) {
    const auto C = SplitTabs(Line);
    if (C.size() < 11) continue;
    const std::string& Common = C[10];
    if (Common == "-" || Common == "not_annotated" || Common == "button" || Common.empty()) continue;
    if (!Seen.insert({C[0], C[6], C[7] + "#" + C[3]}).second && !C[6].empty()) continue;
    const int Form = C[1].empty() ? -1 : std::stoi(C[1]);
    Pages[C[0]].push_back({Form, std::stoi(C[3]), C[6], Common});
  }

  struct TCount {
    int Total = 0, Right = 0, Other = 0, None = 0, Empty = 0;
  };
  std::map<std::string, TCount> Counts, Outside;
  int NotFound = 0, PagesFilled = 0, FormlessFilled = 0, FormlessLabelled = 0;
  double Slowest = 0;
  std::string SlowestWhat;
  for (const auto& [Page, Rows] : Pages) {
    std::ifstream File(Corpus / "pages" / Page, std::ios::binary);
    std::string Html((std::istreambuf_iterator<char>(File)), std::istreambuf_iterator<char>());
    const WideString Address = Utf8ToWide(FileUrl(Corpus / "pages" / Page));
    auto Source = std::make_shared<headless::TPageSource>();
    Source->AddPage(Address, std::move(Html));
    tool::TBatchFiller Filler(Source, tool::TFillOptions{});
    const double Start = ThreadCpuMs();
    const std::vector<tool::TPageReport> Reports = Filler.Fill(Address);
    const double Cpu = ThreadCpuMs() - Start;
    auto Doc = Filler.Browser().HtmlDocument();
    if (!Doc || Reports.empty()) continue;
    ++PagesFilled;
    // What the tool reported as filled on the page, by control.
    std::map<IHTMLElement*, const tool::TFilledControl*> Filled;
    for (const tool::TFilledControl& C : Reports.front().Filled)
      if (C.Element) Filled[C.Element.get()] = &C;
    TElementsRef Forms = Doc->Forms();
    const std::vector<TElementRef> Formless = FormlessControls(Doc);
    for (const TElementRef& E : Formless) {
      const auto It = Filled.find(E.get());
      if (It == Filled.end()) continue;
      ++FormlessFilled;
      if (List == "outside")
        std::cout << "outside\t" << Utf8(It->second->ProfileField) << "\t" << Page << "\t" << Utf8(It->second->Name)
                  << "\t" << Utf8(It->second->Value).substr(0, 30) << "\t" << Utf8(It->second->Caption).substr(0, 60)
                  << "\n";
    }
    if (Cpu > Slowest) {
      Slowest = Cpu;
      SlowestWhat = Page + ", " + std::to_string(Doc->All()->Length()) + " elements";
    }
    for (const TRow& R : Rows) {
      TElementRef Control;
      if (R.Form < 0) {
        if (R.Field < static_cast<int>(Formless.size())) Control = Formless[static_cast<size_t>(R.Field)];
      } else if (R.Form < Forms->Length()) {
        const auto Controls = CountedControls(Forms->Item(R.Form));
        if (R.Field < static_cast<int>(Controls.size())) Control = Controls[static_cast<size_t>(R.Field)];
      }
      if (!Control || Utf8(Control->GetAttribute(u"name", 0).AsWideString()) != R.Name) {
        ++NotFound;
        continue;
      }
      if (R.Form < 0) ++FormlessLabelled;
      // The field whose value the box got: its binding, else the profile value it holds.
      std::string Got;
      WideString Value;
      // A box the fill bound to a field holds that field's value even where it held it before (a
      // radio button the page had checked already): the report lists only what changed.
      WideString Bound;
      if (GetAttributeText(Control, ProfileFieldAttribute, Bound) && !Bound.empty()) Got = Utf8(Bound);
      auto It = Filled.find(Control.get());
      // A radio button stands for its group: the one the fill checked carries the group's value.
      if (It == Filled.end() && AsciiLowerCase(Control->GetAttribute(u"type", 0).AsWideString()) == u"radio") {
        auto Input = Supports<IHTMLInputElement>(Control);
        for (auto Other = Filled.begin(); Other != Filled.end(); ++Other) {
          auto OtherInput = Supports<IHTMLInputElement>(Other->second->Element);
          if (OtherInput && Utf8(OtherInput->Name()) == R.Name && IsSameObject(OtherInput->Form(), Input->Form())) {
            It = Other;
            break;
          }
        }
      }
      if (Got.empty() && It != Filled.end()) {
        Got = Utf8(It->second->ProfileField);
        Value = It->second->Value;
        if (Got.empty()) {
          const auto V = FieldOfValue.find(Value);
          Got = V != FieldOfValue.end() ? V->second : "?";
        }
      }
      const auto Right = RightFor.find(Got);
      std::string Verdict;
      if (Got.empty())
        Verdict = Answerable.count(R.Common) ? "empty" : "";
      else if (Right != RightFor.end() && Right->second.count(R.Common))
        Verdict = "right";
      else if (Holdable.count(R.Common))
        Verdict = "other";
      else
        Verdict = "none";
      for (auto* Table : {&Counts, R.Form < 0 ? &Outside : nullptr}) {
        if (!Table) continue;
        TCount& Count = (*Table)[R.Common];
        ++Count.Total;
        if (Verdict == "right") ++Count.Right;
        if (Verdict == "other") ++Count.Other;
        if (Verdict == "none") ++Count.None;
        if (Verdict == "empty") ++Count.Empty;
      }
      if (!List.empty() && Verdict == List) {
        WideString Caption;
        if (It != Filled.end()) Caption = It->second->Caption;
        std::cout << List << "\t" << R.Common << "\t" << Got << "\t" << Page << "\t" << R.Name << "\t"
                  << Utf8(Value).substr(0, 30) << "\t" << Utf8(Caption).substr(0, 60) << "\n";
      }
    }
  }

  auto Percent = [](int Part, int Whole) { return Whole ? 100.0 * Part / Whole : 0.0; };
  auto Print = [&](const std::map<std::string, TCount>& Table, const char* Title) {
    std::printf("%s\n%-22s %7s %7s %7s %7s %7s\n", Title, "class", "total", "right", "other", "none", "empty");
    TCount Sum, Can;
    for (const auto& [Class, C] : Table) {
      const bool Answers = Answerable.count(Class) > 0;
      std::printf("%-22s %7d %7d %7d %7d %7s\n", Class.c_str(), C.Total, C.Right, C.Other, C.None,
                  Answers ? std::to_string(C.Empty).c_str() : "-");
      Sum.Total += C.Total;
      Sum.Right += C.Right;
      Sum.Other += C.Other;
      Sum.None += C.None;
      if (Answers) {
        Can.Total += C.Total;
        Can.Right += C.Right;
        Can.Other += C.Other;
        Can.None += C.None;
        Can.Empty += C.Empty;
      }
    }
    const int FilledBoxes = Sum.Right + Sum.Other + Sum.None;
    std::printf("filled boxes with a label: %d, %.1f%% right, %.1f%% another field's value, %.1f%% a value where "
                "none belongs\n",
                FilledBoxes, Percent(Sum.Right, FilledBoxes), Percent(Sum.Other, FilledBoxes),
                Percent(Sum.None, FilledBoxes));
    std::printf("labelled boxes the profile has a value for: %d, %.1f%% right, %.1f%% another field's value, "
                "%.1f%% left empty\n",
                Can.Total, Percent(Can.Right, Can.Total), Percent(Can.Other, Can.Total),
                Percent(Can.Empty, Can.Total));
  };
  Print(Counts, "all labelled controls (right / another field's value / a value where none belongs / left empty)");
  if (!Outside.empty()) Print(Outside, "\nlabelled controls outside any form");
  std::printf("pages filled: %d; controls not found on their page: %d\n", PagesFilled, NotFound);
  std::printf("controls outside any form: %d labelled, %d filled in all\n", FormlessLabelled, FormlessFilled);
  std::printf("slowest page fill: %.2f ms processor time (%s)\n", Slowest, SlowestWhat.c_str());
  Store->Shutdown();
  std::filesystem::remove_all(Temp);
  return 0;
}
