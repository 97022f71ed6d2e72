// The lookup a page fill makes for every control (FindFieldValue by control name), with the
// default data and with 10,000 more synonyms, and opening a store with those synonyms. Each call
// is timed on its own, so that the median and the 99th percentile are reported beside the mean.

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "PelStore.h"
#include "platform/Services.h"

using namespace pel;

namespace {

struct TFolder {
  std::filesystem::path Path;
  TFolder() {
    char Pattern[] = "/tmp/pelbenchXXXXXX";
    Path = mkdtemp(Pattern);
  }
  ~TFolder() { std::filesystem::remove_all(Path); }
  std::string File() const { return (Path / "store.db").string(); }
};

// Phrases no default name contains, added the way AddSynonym stores them, in one transaction.
void AddSynonyms(const std::string& File, int Count) {
  sqlite3* Db = nullptr;
  sqlite3_open(File.c_str(), &Db);
  sqlite3_exec(Db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* Q = nullptr;
  sqlite3_prepare_v2(Db, "INSERT OR IGNORE INTO synonym(field_id, phrase) SELECT id, ? FROM field WHERE position = ?",
                     -1, &Q, nullptr);
  static const char* Words[] = {"alpha", "bravo", "delta", "kilo", "lima", "oscar", "romeo", "sierra", "tango", "zulu"};
  for (int I = 0; I < Count; ++I) {
    const std::string Phrase = std::string(Words[I % 10]) + " " + Words[(I / 10) % 10] + " q" + std::to_string(I);
    sqlite3_bind_text(Q, 1, Phrase.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(Q, 2, I % 29);
    sqlite3_step(Q);
    sqlite3_reset(Q);
  }
  sqlite3_finalize(Q);
  sqlite3_exec(Db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(Db);
}

// Control names as pages write them.
const std::vector<WideString>& Names() {
  static const std::vector<WideString> List = {
      u"txtFirstName", u"ctl00$MainContent$LastName", u"email_address", u"billing_city", u"zip",
      u"phone_number", u"address2", u"Your e-mail", u"user_name", u"cc_number", u"q", u"search_term",
      u"country", u"state_province", u"password", u"comments"};
  return List;
}

void Report(benchmark::State& State, std::vector<double>& Micros) {
  std::sort(Micros.begin(), Micros.end());
  if (Micros.empty()) return;
  State.counters["median_us"] = Micros[Micros.size() / 2];
  State.counters["p99_us"] = Micros[std::min(Micros.size() - 1, Micros.size() * 99 / 100)];
}

// The type argument of a fill's lookup carries the control's other texts as evidence: a caption of
// a dozen words and a placeholder, as a registration page gives a control.
const WideString EvidenceArgument =
    u"text\nautocomplete=shipping email\ntext=Please enter the e-mail address we should send your order "
    u"confirmation to *\ntext=you@example.com";

void Lookups(benchmark::State& State, int Synonyms, const WideString& TypeArgument = u"text") {
  TFolder Folder;
  { store::TPelStore Store(Folder.File()); }
  if (Synonyms) AddSynonyms(Folder.File(), Synonyms);
  store::TPelStore Store(Folder.File());
  std::vector<double> Micros;
  size_t I = 0;
  for (auto _ : State) {
    WideString Field, Value, Values;
    int32_t Kind = -1;
    bool Found = false, Login = false;
    const auto Start = std::chrono::steady_clock::now();
    Store.FindFieldValue(u"", u"input", TypeArgument, Names()[I++ % Names().size()], u"", Field, Kind, Value,
                         Values, Found, Login);
    Micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - Start).count());
    benchmark::DoNotOptimize(Value);
  }
  Report(State, Micros);
}

void BM_FindFieldValue_DefaultData(benchmark::State& State) { Lookups(State, 0); }
void BM_FindFieldValue_10000Synonyms(benchmark::State& State) { Lookups(State, 10000); }
void BM_FindFieldValue_WithEvidence(benchmark::State& State) { Lookups(State, 0, EvidenceArgument); }

void BM_Open_10000Synonyms(benchmark::State& State) {
  TFolder Folder;
  { store::TPelStore Store(Folder.File()); }
  AddSynonyms(Folder.File(), 10000);
  std::vector<double> Micros;
  for (auto _ : State) {
    const auto Start = std::chrono::steady_clock::now();
    store::TPelStore Store(Folder.File());
    Micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - Start).count());
    State.PauseTiming();
    Store.Shutdown();
    State.ResumeTiming();
  }
  Report(State, Micros);
}

}  // namespace

BENCHMARK(BM_FindFieldValue_DefaultData)->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindFieldValue_10000Synonyms)->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindFieldValue_WithEvidence)->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Open_10000Synonyms)->Iterations(50)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  pel::InstallPlatformBinding();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
