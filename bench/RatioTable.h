#pragma once
// The table the page benchmarks end with: CPU time per page of every benchmark family as a multiple
// of the gumbo parse of the same page in the same run ("BM_GumboParse/<size>"), so that it reads
// the same on a fast or a slow machine, and the growth from 500 controls to the largest size.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace pel::bench {

// Collects the CPU time per page of every run while the console shows the runs as usual.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
  TRatioReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& Runs) override {
    ConsoleReporter::ReportRuns(Runs);
    for (const Run& R : Runs) {
      if (R.error_occurred || R.run_type != Run::RT_Iteration || R.iterations == 0) continue;
      const std::string Name = R.benchmark_name();
      const size_t Slash = Name.find('/');
      if (Slash == std::string::npos) continue;
      const std::string Family = Name.substr(0, Slash).substr(3);  // without "BM_"
      const int Size = std::atoi(Name.c_str() + Slash + 1);
      // With repetitions the least time counts: on a shared machine the others only add noise.
      const double PerPage = R.cpu_accumulated_time / static_cast<double>(R.iterations);
      auto [Slot, New] = Seconds[Family].try_emplace(Size, PerPage);
      if (!New) Slot->second = std::min(Slot->second, PerPage);
      if (std::find(Families.begin(), Families.end(), Family) == Families.end()) Families.push_back(Family);
    }
  }

  void PrintTable() const {
    auto Parse = Seconds.find("GumboParse");
    if (Parse == Seconds.end()) return;
    std::printf(
        "\nCPU time per page as a multiple of the gumbo parse of the same page in this run\n"
        "(with --benchmark_repetitions, the least time of each)\n");
    std::printf("%-12s", "controls");
    for (const auto& [Size, T] : Parse->second) std::printf("%10d", Size);
    const int Largest = Parse->second.rbegin()->first;
    std::printf("   growth 500->%d / %d\n", Largest, Largest / 500);
    std::printf("%-12s", "parse (ms)");
    for (const auto& [Size, T] : Parse->second) std::printf("%10.2f", T * 1000);
    std::printf("\n");
    for (const std::string& Family : Families) {
      if (Family == "GumboParse") continue;
      const auto& Times = Seconds.at(Family);
      std::printf("%-12s", Family.c_str());
      for (const auto& [Size, ParseTime] : Parse->second) {
        auto It = Times.find(Size);
        if (It == Times.end())
          std::printf("%10s", "-");
        else
          std::printf("%9.2fx", It->second / ParseTime);
      }
      // Time ratio over size ratio: 1 is linear, the size ratio itself would be quadratic.
      auto Small = Times.find(500), Large = Times.find(Largest);
      if (Small != Times.end() && Large != Times.end() && Small->second > 0 && Largest > 500)
        std::printf("   %.2f", Large->second / Small->second / (Largest / 500.0));
      std::printf("\n");
    }
  }

private:
  std::map<std::string, std::map<int, double>> Seconds;
  std::vector<std::string> Families;
};

// The benchmarks' main: runs what the command line selects, then prints the table. Before runs
// first, once the command line is read.
inline int RunWithRatioTable(int argc, char** argv, void (*Before)() = nullptr) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (Before) Before();
  TRatioReporter Reporter;
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  Reporter.PrintTable();
  benchmark::Shutdown();
  return 0;
}

}  // namespace pel::bench
