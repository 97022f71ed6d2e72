#pragma once
// What `pelmora store import --json` reads: a document as `export --json` writes it, read with its
// nesting bounded, checked whole, then applied to the store in one write, all or nothing.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <istream>
#include <string>
#include <utility>
#include <vector>

#include "PelStore.h"

namespace pel::tool {

// An import refused: one line naming the entry's place in the document, and the tool's exit code
// for it (2 bad input, 4 the store is locked, 6 an unknown profile field).
struct TImportRefused {
  int Code;
  std::string Message;
};

struct TImportProfile {
  std::string Place;  // where it stands in the document: "profiles[2]"
  WideString Name;
  std::vector<std::pair<WideString, WideString>> Values;
};

struct TImportItem {
  std::string Place;
  int32_t Kind = 0;  // 0 a form card, else a record kind
  WideString Set, Name, Url;
  std::vector<uint8_t> Data;
};

struct TImport {
  std::vector<TImportProfile> Profiles;
  std::vector<TImportItem> Items;
};

// Each raises TImportRefused.
nlohmann::json ParseImport(std::istream& In);
// Fields: the store's profile field names; a value for another field is refused.
TImport CheckImport(const nlohmann::json& Document, const std::vector<WideString>& Fields);
void ApplyImport(store::TPelStore& Store, const TImport& Import);

}  // namespace pel::tool
