#include "StoreImport.h"

#include <algorithm>
#include <optional>

#include "platform/Exceptions.h"
#include "platform/Services.h"
#include "platform/StringList.h"

namespace pel::tool {

namespace {

enum { ImportBadInput = 2, ImportLocked = 4, ImportUnknownField = 6 };

std::string Utf8(const WideString& Text) { return WideToUtf8(Text); }
WideString Wide(const std::string& Text) { return Utf8ToWide(Text); }
std::string FirstLine(const std::string& Text) { return Text.substr(0, Text.find_first_of("\r\n")); }

// Strict: only the alphabet, padding only at the end; else nothing.
std::optional<std::vector<uint8_t>> FromBase64(const std::string& Text) {
  std::vector<uint8_t> Out;
  uint32_t N = 0;
  int Bits = 0;
  size_t Padding = 0;
  for (char C : Text) {
    int V;
    if (C == '=') {
      ++Padding;
      continue;
    }
    if (Padding) return std::nullopt;
    if (C >= 'A' && C <= 'Z') V = C - 'A';
    else if (C >= 'a' && C <= 'z') V = C - 'a' + 26;
    else if (C >= '0' && C <= '9') V = C - '0' + 52;
    else if (C == '+') V = 62;
    else if (C == '/') V = 63;
    else return std::nullopt;
    N = (N << 6) | static_cast<uint32_t>(V);
    Bits += 6;
    if (Bits >= 8) {
      Bits -= 8;
      Out.push_back(static_cast<uint8_t>((N >> Bits) & 0xFF));
    }
  }
  if (Padding > 2) return std::nullopt;
  return Out;
}

[[noreturn]] void Refuse(const std::string& Place, const std::string& Why, int Code = ImportBadInput) {
  // A hostile document's keys may be long: the place stays a line.
  const std::string Shown = Place.size() > 200 ? Place.substr(0, 200) + "..." : Place;
  throw TImportRefused{Code, "the import is not an export of pelmora: " + Shown + ": " + Why};
}

// An export nests four levels (the document, profiles, a profile, its values); a document far
// deeper is none, and is refused while it is read, before its depth can use up the stack.
constexpr size_t MaxImportDepth = 16;

WideString TextAt(const nlohmann::json& Entry, const char* Key, const std::string& Place) {
  const auto Found = Entry.find(Key);
  if (Found == Entry.end()) Refuse(Place + "." + Key, "missing");
  if (!Found->is_string()) Refuse(Place + "." + Key, "not a text");
  return Wide(Found->get<std::string>());
}

}  // namespace

nlohmann::json ParseImport(std::istream& In) {
  struct TLevel {
    bool Array;
    size_t Count;  // the elements of an array begun so far
    std::string Key;
  };
  std::vector<TLevel> Levels;
  const auto Place = [&] {
    std::string Text;
    for (const TLevel& L : Levels) {
      // Appended piece by piece: GCC 12 takes a temporary joined to a literal for an overlapping copy.
      if (L.Array && L.Count) {
        Text += '[';
        Text += std::to_string(L.Count - 1);
        Text += ']';
      } else if (!L.Array && !L.Key.empty()) {
        if (!Text.empty()) Text += '.';
        Text += L.Key;
      }
    }
    return Text.empty() ? std::string("the document") : Text;
  };
  using TEvent = nlohmann::json::parse_event_t;
  const nlohmann::json::parser_callback_t Watch = [&](int, TEvent Event, nlohmann::json& Parsed) {
    if (Event == TEvent::key) {
      Levels.back().Key = Parsed.get<std::string>();
    } else if (Event == TEvent::object_end || Event == TEvent::array_end) {
      Levels.pop_back();
    } else {
      // A value begins (a plain one is seen whole): in an array, as its next element.
      if (!Levels.empty() && Levels.back().Array) ++Levels.back().Count;
      if (Event == TEvent::object_start || Event == TEvent::array_start) {
        if (Levels.size() >= MaxImportDepth)
          Refuse(Place(), "nested deeper than " + std::to_string(MaxImportDepth) + " levels");
        Levels.push_back({Event == TEvent::array_start, 0, ""});
      }
    }
    return true;
  };
  try {
    return nlohmann::json::parse(In, Watch);
  } catch (const nlohmann::json::exception& E) {
    // Without the library's "[json.exception.kind.N]" tag, which means nothing to whoever wrote
    // the file.
    std::string Text = E.what();
    if (Text.rfind("[json.exception.", 0) == 0)
      if (const size_t End = Text.find("] "); End != std::string::npos) Text.erase(0, End + 2);
    throw TImportRefused{ImportBadInput, "the import is not an export of pelmora: " + Text};
  }
}

TImport CheckImport(const nlohmann::json& J, const std::vector<WideString>& Fields) {
  if (!J.is_object()) Refuse("the document", "not an object");
  TImport Import;
  if (const auto Profiles = J.find("profiles"); Profiles != J.end()) {
    if (!Profiles->is_array()) Refuse("profiles", "not a list");
    for (size_t I = 0; I < Profiles->size(); ++I) {
      const nlohmann::json& P = (*Profiles)[I];
      TImportProfile Profile;
      Profile.Place = "profiles[" + std::to_string(I) + "]";
      if (!P.is_object()) Refuse(Profile.Place, "not an object");
      Profile.Name = TextAt(P, "name", Profile.Place);
      if (Profile.Name.empty()) Refuse(Profile.Place + ".name", "empty");
      if (const auto Values = P.find("values"); Values != P.end()) {
        if (!Values->is_object()) Refuse(Profile.Place + ".values", "not an object");
        for (const auto& [Field, Value] : Values->items()) {
          const std::string Place = Profile.Place + ".values." + Field;
          if (!Value.is_string()) Refuse(Place, "not a text");
          const WideString Name = Wide(Field);
          if (std::find(Fields.begin(), Fields.end(), Name) == Fields.end())
            Refuse(Place, "unknown profile field (pelmora store fields lists them)", ImportUnknownField);
          Profile.Values.emplace_back(Name, Wide(Value.get<std::string>()));
        }
      }
      Import.Profiles.push_back(std::move(Profile));
    }
  }
  if (const auto Items = J.find("items"); Items != J.end()) {
    if (!Items->is_array()) Refuse("items", "not a list");
    for (size_t I = 0; I < Items->size(); ++I) {
      const nlohmann::json& Entry = (*Items)[I];
      TImportItem Item;
      Item.Place = "items[" + std::to_string(I) + "]";
      if (!Entry.is_object()) Refuse(Item.Place, "not an object");
      const auto Kind = Entry.find("kind");
      if (Kind == Entry.end()) Refuse(Item.Place + ".kind", "missing");
      // Whole numbers only, and only the kinds there are: 2.7 is no kind, nor is a number that
      // would wrap round to one.
      const bool Known = (Kind->is_number_unsigned() && Kind->get<uint64_t>() <= 3) ||
                         (Kind->is_number_integer() && Kind->get<int64_t>() >= 0 && Kind->get<int64_t>() <= 3);
      if (!Known)
        Refuse(Item.Place + ".kind",
               Kind->dump() + " is no kind (0 form card, 1 navigation, 2 mail card, 3 login)");
      Item.Kind = static_cast<int32_t>(Kind->get<int64_t>());
      Item.Set = TextAt(Entry, "set", Item.Place);
      Item.Name = TextAt(Entry, "name", Item.Place);
      Item.Url = TextAt(Entry, "url", Item.Place);
      auto Data = FromBase64(Utf8(TextAt(Entry, "data", Item.Place)));
      if (!Data) Refuse(Item.Place + ".data", "not base64");
      Item.Data = std::move(*Data);
      Import.Items.push_back(std::move(Item));
    }
  }
  return Import;
}

// All or nothing: a store refusing an entry (a card stream it cannot read) rolls back what came
// before it.
void ApplyImport(store::TPelStore& S, const TImport& Import) {
  S.InOneWrite([&] {
    TVariant Existing;
    WideString Current;
    S.GetProfiles(Existing, Current);
    auto Have = Existing.AsStrings();
    for (const TImportProfile& P : Import.Profiles) {
      if (std::none_of(Have.begin(), Have.end(),
                       [&](const WideString& H) { return Locale().CompareText(H, P.Name) == 0; })) {
        try {
          S.AddProfile(P.Name);
        } catch (const Exception& E) {
          Refuse(P.Place + ".name", FirstLine(E.Message()));
        }
        Have.push_back(P.Name);
      }
      for (const auto& [Field, Value] : P.Values) {
        bool LoginRequired = false;
        S.SetFieldValue(P.Name, Field, Value, LoginRequired);
        if (LoginRequired) throw TImportRefused{ImportLocked, "the store is locked"};
      }
    }
    for (const TImportItem& Item : Import.Items) {
      const TVariant Data(Item.Data);
      bool Saved = false, LoginRequired = false;
      try {
        if (Item.Kind == 0)
          S.SaveFormCard(Item.Set, Item.Name, Item.Url, Data, Saved, LoginRequired);
        else
          S.SaveRecord(Item.Kind, Item.Set, Item.Name, Item.Url, Data, Saved, LoginRequired);
      } catch (const Exception& E) {
        Refuse(Item.Place, FirstLine(E.Message()));
      }
      if (LoginRequired) throw TImportRefused{ImportLocked, "the store is locked"};
    }
  });
}

}  // namespace pel::tool
