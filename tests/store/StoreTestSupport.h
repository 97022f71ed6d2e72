#pragma once
// A store on a real database file in a fresh temporary folder, removed afterwards.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "PelStore.h"

namespace pel::test {

class TStoreFolder {
public:
  TStoreFolder() {
    char Pattern[] = "/tmp/pelstoreXXXXXX";
    Path = mkdtemp(Pattern);
  }
  ~TStoreFolder() { std::filesystem::remove_all(Path); }
  std::string File() const { return (Path / "store.db").string(); }
  std::filesystem::path Path;
};

}  // namespace pel::test
