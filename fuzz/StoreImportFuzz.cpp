// Arbitrary bytes as a document given to `pelmora store import --json`: read, checked and applied
// to a store as the tool does. A document is refused with a message or applied whole; it never
// crashes the reader (however deep it nests), and a refused one leaves the store as it was.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <sstream>

#include "PelStore.h"
#include "StoreImport.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace {

// One store for the whole run, in a temporary folder removed when the fuzzer exits.
struct TFuzzStore {
  std::filesystem::path Folder;
  std::unique_ptr<pel::store::TPelStore> Store;
  std::vector<pel::WideString> Fields;
  ~TFuzzStore() {
    Store.reset();
    std::filesystem::remove_all(Folder);
  }
};

TFuzzStore& Fuzzed() {
  static TFuzzStore Instance;
  if (Instance.Store) return Instance;
  pel::InstallPlatformBinding();
  char Pattern[] = "/tmp/pelimportfuzzXXXXXX";
  Instance.Folder = mkdtemp(Pattern);
  Instance.Store = std::make_unique<pel::store::TPelStore>((Instance.Folder / "store.db").string());
  pel::TVariant Fields;
  bool Login = false;
  Instance.Store->GetProfileFields(Fields, Login);
  const auto Flat = Fields.AsStrings();
  for (size_t I = 0; I + 2 < Flat.size(); I += 3) Instance.Fields.push_back(Flat[I]);
  return Instance;
}

size_t CountOf(pel::store::TPelStore& S) {
  pel::TVariant Profiles;
  pel::WideString Current;
  S.GetProfiles(Profiles, Current);
  return S.ListItems().size() + Profiles.AsStrings().size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TFuzzStore& F = Fuzzed();
  pel::store::TPelStore& S = *F.Store;
  const size_t Before = CountOf(S);
  std::istringstream In(std::string(reinterpret_cast<const char*>(Data), Size));
  bool Applied = false;
  try {
    pel::tool::ApplyImport(S, pel::tool::CheckImport(pel::tool::ParseImport(In), F.Fields));
    Applied = true;
  } catch (const pel::tool::TImportRefused& R) {
    // A refusal says why, on one line, with one of the tool's exit codes for input.
    if (R.Message.empty() || (R.Code != 2 && R.Code != 6)) __builtin_trap();
  }
  const size_t After = CountOf(S);
  if (Applied ? After < Before : After != Before) __builtin_trap();
  return 0;
}
