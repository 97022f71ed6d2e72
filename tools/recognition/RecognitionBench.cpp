// How well the store names the profile field of real-world form controls: every labelled control
// of a corpus of saved pages (the layout of the formasaurus corpus: pages/, fields.tsv) is looked
// up as the add-on's profile fill looks it up (ProfileQueries: its name, then its caption on the
// page, then its id, placeholder, ARIA label and title, each lookup carrying the control's type,
// autocomplete tokens and other texts as evidence), and the first field recognised is compared
// with the label. The fill itself goes on while the profile has no value for the field it found;
// what is measured here is which field the store names.
//
//   RecognitionBench CORPUS_DIR [--store FILE] [--list wrong|missed|false [--queries]]
//
// --list prints the controls of that verdict; --queries adds each lookup made for them, with the
// evidence it carried.
//
// Prints per class: right / wrong / missed for the classes a profile can hold, "no field" / a
// field for the classes it cannot; then the totals and the slowest lookup.

#include <algorithm>
#include <chrono>
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

#include "BHO/CaptionFinder.h"
#include "BHO/ElementAccess.h"
#include "BHO/FormFill.h"
#include "CorpusLabels.h"
#include "PelStore.h"
#include "headless/HeadlessBrowser.h"
#include "platform/Services.h"

using namespace pel;
using namespace pel::bench;

namespace {

std::set<std::string> Holdable() {
  std::set<std::string> Classes;
  for (const auto& [Field, For] : RightFor) Classes.insert(For.begin(), For.end());
  return Classes;
}

struct TRow {
  std::string Page;
  int Form, Field;
  std::string Tag, Type, Name, Common;
};

}  // namespace

int main(int argc, char** argv) {
  InstallPlatformBinding();
  if (argc < 2) {
    std::cerr << "usage: RecognitionBench CORPUS_DIR [--store FILE] [--list wrong|missed|false [--queries]]\n";
    return 2;
  }
  const std::filesystem::path Corpus = argv[1];
  std::string StoreFile, List;
  bool ShowQueries = false;
  for (int I = 2; I < argc; ++I) {
    const std::string Option = argv[I];
    if (Option == "--queries") {
      ShowQueries = true;
    } else if ((Option == "--store" || Option == "--list") && I + 1 < argc) {
      (Option == "--store" ? StoreFile : List) = argv[++I];
    } else {
      std::cerr << "unknown option " << Option << "\n";
      return 2;
    }
  }
  std::filesystem::path Temp;
  if (StoreFile.empty()) {
    char Pattern[] = "/tmp/pelrecognitionXXXXXX";
    Temp = mkdtemp(Pattern);
    StoreFile = (Temp / "store.db").string();
  }
  store::TPelStore Store(StoreFile);

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
    Pages[C[0]].push_back({C[0], std::stoi(C[1]), std::stoi(C[3]), C[4], C[5], C[6], Common});
  }

  const std::set<std::string> CanHold = Holdable();
  struct TCount {
    int Total = 0, Right = 0, Wrong = 0, Missed = 0;
  };
  std::map<std::string, TCount> Counts;
  int NotFound = 0;
  // The slowest lookup by the processor time it took (a busy machine stretches the wall time of
  // any one call), and the slowest wall time seen.
  double Slowest = 0, SlowestWall = 0;
  std::string SlowestWhat;
  auto Source = std::make_shared<headless::TPageSource>();
  for (const auto& [Page, Rows] : Pages) {
    auto Browser = headless::THeadlessBrowser::CreateTop(Source);
    Browser->LoadFile((Corpus / "pages" / Page).string());
    auto Doc = Browser->HtmlDocument();
    if (!Doc) continue;
    TElementsRef Forms = Doc->Forms();
    std::map<int, TFormContext> FormContexts;
    for (const TRow& R : Rows) {
      TElementRef Control;
      if (R.Form < Forms->Length()) {
        const auto Controls = CountedControls(Forms->Item(R.Form));
        if (R.Field < static_cast<int>(Controls.size())) Control = Controls[static_cast<size_t>(R.Field)];
      }
      if (!Control || Utf8(Control->GetAttribute(u"name", 0).AsWideString()) != R.Name) {
        ++NotFound;
        continue;
      }
      // The fill's lookups, in its order, with the evidence it passes; the first that names a
      // field answers.
      WideString Caption;
      try {
        GetElementCaption(Control, true, true, Caption);
      } catch (const Exception&) {
      }
      std::vector<TProfileQuery> Queries;
      try {
        auto Input = Supports<IHTMLInputElement>(Control);
        if (!FormContexts.count(R.Form)) FormContexts[R.Form] = FormContextOf(Forms->Item(R.Form));
        Queries = ProfileQueries(Control, Input ? AsciiLowerCase(Input->Type()) : WideString(),
                                 Control->GetAttribute(u"name", 0).AsWideString(), FormContexts[R.Form]);
      } catch (const Exception&) {
      }
      WideString Answer;
      for (const TProfileQuery& Q : Queries) {
        WideString Field, Value, Values;
        int32_t Kind = -1;
        bool Found = false, Login = false;
        const auto Start = std::chrono::steady_clock::now();
        const double CpuStart = ThreadCpuMs();
        Store.FindFieldValue(u"", AsciiToWide(R.Tag), Q.TypeArgument, Q.Text, u"", Field, Kind, Value, Values,
                             Found, Login);
        const double Cpu = ThreadCpuMs() - CpuStart;
        const double Ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Start).count();
        SlowestWall = std::max(SlowestWall, Ms);
        if (Cpu > Slowest) {
          Slowest = Cpu;
          SlowestWhat = Page + " " + R.Name + " (" + std::to_string(Q.Text.size() + Q.TypeArgument.size()) +
                        " characters)";
        }
        if (!Field.empty()) {
          Answer = Field;
          break;
        }
      }
      TCount& Count = Counts[R.Common];
      ++Count.Total;
      const std::string Got = Utf8(Answer);
      const bool Holds = CanHold.count(R.Common) > 0;
      auto It = RightFor.find(Got);
      const bool Right = It != RightFor.end() && It->second.count(R.Common);
      std::string Verdict;
      if (Holds) {
        Verdict = Got.empty() ? "missed" : Right ? "right" : "wrong";
        (Got.empty() ? Count.Missed : Right ? Count.Right : Count.Wrong)++;
      } else {
        Verdict = Got.empty() ? "right" : "false";
        (Got.empty() ? Count.Right : Count.Wrong)++;
      }
      if (!List.empty() && Verdict == List)
        std::cout << List << "\t" << R.Common << "\t" << Got << "\t" << Page << "\t" << R.Name << "\t"
                  << Utf8(Caption).substr(0, 60) << "\n";
      // Each lookup the fill made for a listed control, its evidence lines joined by "|".
      if (!List.empty() && Verdict == List && ShowQueries)
        for (const TProfileQuery& Q : Queries) {
          std::string Evidence = Utf8(Q.TypeArgument);
          std::replace(Evidence.begin(), Evidence.end(), '\n', '|');
          std::cout << "    [" << Utf8(Q.Text).substr(0, 80) << "] " << Evidence.substr(0, 300) << "\n";
        }
    }
  }

  TCount Held, Other;
  std::printf("%-22s %7s %7s %7s %7s\n", "class", "total", "right", "wrong", "missed");
  for (const auto& [Class, C] : Counts) {
    const bool Holds = CanHold.count(Class) > 0;
    if (Holds)
      std::printf("%-22s %7d %7d %7d %7d\n", Class.c_str(), C.Total, C.Right, C.Wrong, C.Missed);
    else
      std::printf("%-22s %7d %7d %7d %7s   (cannot hold: right = no field, wrong = a field)\n", Class.c_str(),
                  C.Total, C.Right, C.Wrong, "-");
    TCount& Sum = Holds ? Held : Other;
    Sum.Total += C.Total;
    Sum.Right += C.Right;
    Sum.Wrong += C.Wrong;
    Sum.Missed += C.Missed;
  }
  auto Percent = [](int Part, int Whole) { return Whole ? 100.0 * Part / Whole : 0.0; };
  std::printf("\nclasses a profile holds: %d controls, %.1f%% right, %.1f%% wrong, %.1f%% missed\n", Held.Total,
              Percent(Held.Right, Held.Total), Percent(Held.Wrong, Held.Total), Percent(Held.Missed, Held.Total));
  std::printf("classes it cannot hold: %d controls, %.1f%% no field, %.1f%% a field\n", Other.Total,
              Percent(Other.Right, Other.Total), Percent(Other.Wrong, Other.Total));
  std::printf("controls not found on their page: %d\n", NotFound);
  std::printf("slowest lookup: %.2f ms processor time (%s); slowest wall time %.2f ms\n", Slowest,
              SlowestWhat.c_str(), SlowestWall);
  if (!Temp.empty()) std::filesystem::remove_all(Temp);
  return 0;
}
