// pelmora: the add-on's form filling from the command line, on the reference store.
//
//   pelmora fill URL|FILE... [--profile NAME] [--submit] [--card SET/NAME [--only-empty]] [--json]
//   pelmora capture URL|FILE --set NAME --field name=value...
//   pelmora store init|profiles|profile use NAME|profile add NAME|cards|fields|get FIELD|set FIELD VALUE|
//                 synonym add FIELD WORD|password set|password remove
//
// Exit codes: 0 done, 2 bad input (a missing file, an unknown address scheme, bad arguments),
// 3 a page could not be loaded (unreachable, HTTP error, not HTML, too large), 4 the store is locked
// and no right password was given, 5 the store cannot be opened (damaged, newer), 6 an unknown
// profile, field or form card, 130 interrupted.

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>

#include "BatchFill.h"
#include "NetworkPageSource.h"
#include "PageLimits.h"
#include "PelStore.h"
#include "StoreImport.h"
#include "platform/Services.h"
#include "platform/StringList.h"

using namespace pel;
using namespace pel::tool;

namespace {

enum TExit { exOk = 0, exUsage = 2, exPage = 3, exLocked = 4, exStore = 5, exUnknown = 6, exInterrupted = 130 };

// A failure a person can act on: one line, and the exit code that says which kind it is.
struct TFailure {
  int Code;
  std::string Message;
};

std::atomic<bool> GInterrupted{false};

std::string Utf8(const WideString& Text) { return WideToUtf8(Text); }
WideString Wide(const std::string& Text) { return Utf8ToWide(Text); }

std::filesystem::path DefaultStoreFile() {
  std::filesystem::path Base;
  if (const char* Data = std::getenv("XDG_DATA_HOME"); Data && *Data)
    Base = Data;
  else if (const char* Home = std::getenv("HOME"); Home && *Home)
    Base = std::filesystem::path(Home) / ".local" / "share";
  else
    throw TFailure{exStore, "no place for the store: set XDG_DATA_HOME or HOME, or name one with --store"};
  return Base / "pelmora" / "store.db";
}

// A password: from standard input when asked to, else typed on the terminal without echo.
std::string ReadPassword(bool FromStdin, const std::string& Prompt) {
  std::string Line;
  if (FromStdin || !isatty(STDIN_FILENO)) {
    if (!std::getline(std::cin, Line)) throw TFailure{exLocked, "no password on standard input"};
    // A line ended CR LF (written on another system, or by a program that does) ends before the CR.
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    return Line;
  }
  std::cerr << Prompt << std::flush;
  termios Old{};
  tcgetattr(STDIN_FILENO, &Old);
  termios Quiet = Old;
  Quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  tcsetattr(STDIN_FILENO, TCSANOW, &Quiet);
  std::getline(std::cin, Line);
  tcsetattr(STDIN_FILENO, TCSANOW, &Old);
  std::cerr << "\n";
  if (!Line.empty() && Line.back() == '\r') Line.pop_back();
  return Line;
}

struct TGlobal {
  std::vector<std::string> AllowedHosts;
  std::string StoreFile;
  bool PasswordStdin = false;
  bool Verbose = false;
  TNetworkPageSource::TLimits Limits;
};

// The folders a store needs that are not there yet, made for the owner alone. A folder that is
// there keeps its mode: it may be shared on purpose (a temporary folder, sticky, open to all).
// A folder that cannot be made is left to the store's open to report.
void MakeFolders(const std::filesystem::path& Folder) {
  std::filesystem::path Made;
  for (const std::filesystem::path& Part : Folder) {
    Made /= Part;
    if (mkdir(Made.c_str(), S_IRWXU) != 0 && errno != EEXIST) return;
  }
}

// The store of the run, open, unlocked when it has a password, and registered as the running
// store so that the add-on's agent finds it.
class TOpenStore {
public:
  explicit TOpenStore(const TGlobal& G) {
    const std::filesystem::path File = G.StoreFile.empty() ? DefaultStoreFile() : std::filesystem::path(G.StoreFile);
    MakeFolders(File.parent_path());
    Path = File.string();
    try {
      Store = std::make_shared<store::TPelStore>(Path);
    } catch (const Exception& E) {
      // The store's own message often names the file already: then it is said once.
      std::string Why = FirstLine(E.Message());
      if (Why.find(Path) == std::string::npos) throw TFailure{exStore, "cannot open the store " + Path + ": " + Why};
      if (!Why.empty()) Why[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(Why[0])));
      throw TFailure{exStore, Why};
    }
    if (Store->HasMasterPassword() && !Store->GetLoggedIn()) {
      Password = Wide(ReadPassword(G.PasswordStdin, "Master password of " + Path + ": "));
      try {
        Store->Login(Password);
      } catch (const Exception&) {
        throw TFailure{exLocked, "the master password is not right; nothing was changed"};
      }
    }
    store::TPelStore::Register(Store);
  }
  ~TOpenStore() { Store->Shutdown(); }
  static std::string FirstLine(const std::string& Text) { return Text.substr(0, Text.find_first_of("\r\n")); }

  std::string Path;
  std::shared_ptr<store::TPelStore> Store;
  WideString Password;
};

// An address or a file, as the browser is to load it.
WideString AddressOf(const std::string& Target) {
  const size_t Colon = Target.find("://");
  if (Colon != std::string::npos) {
    std::string Scheme = Target.substr(0, Colon);
    for (char& C : Scheme) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    if (Scheme != "http" && Scheme != "https" && Scheme != "file")
      throw TFailure{exUsage, "unknown address scheme \"" + Scheme + "\" in " + Target + " (http, https, file)"};
    return Wide(Target);
  }
  std::error_code Error;
  const auto Path = std::filesystem::absolute(Target, Error);
  if (Error || !std::filesystem::is_regular_file(Path)) throw TFailure{exUsage, "no such file: " + Target};
  // The limit a page from the network has too: a browser window is no place for larger files.
  constexpr std::uintmax_t MaxPage = 20 * 1024 * 1024;
  if (std::filesystem::file_size(Path, Error) > MaxPage)
    throw TFailure{exPage, Target + " is larger than 20 MB: not a page to fill"};
  std::ifstream In(Path, std::ios::binary);
  char Head[1024];
  In.read(Head, sizeof Head);
  if (std::find(Head, Head + In.gcount(), '\0') != Head + In.gcount())
    throw TFailure{exPage, Target + " is not an HTML page (it holds binary data)"};
  std::string Url = "file://";
  for (unsigned char C : Path.lexically_normal().string()) {
    if (C == ' ' || C == '%' || C == '#' || C == '?' || C >= 0x80) {
      static const char Hex[] = "0123456789ABCDEF";
      Url += '%';
      Url += Hex[C >> 4];
      Url += Hex[C & 15];
    } else {
      Url += static_cast<char>(C);
    }
  }
  return Wide(Url);
}

// Input: the URL or file as the person gave it, so that every record can be told apart by it.
nlohmann::json ToJson(const std::string& Input, const TPageReport& R) {
  nlohmann::json J;
  J["input"] = Input;
  J["address"] = Utf8(R.Address);
  J["title"] = Utf8(R.Title);
  J["forms"] = R.Forms;
  J["outcome"] = R.Outcome;
  J["filled"] = nlohmann::json::array();
  for (const TFilledControl& C : R.Filled)
    J["filled"].push_back({{"form", Utf8(C.Form)},
                           {"name", Utf8(C.Name)},
                           {"caption", Utf8(C.Caption)},
                           {"profile_field", Utf8(C.ProfileField)},
                           {"value", Utf8(C.Value)}});
  if (!R.SubmittedTo.empty() && R.Outcome == "submitted") {
    J["submitted_to"] = Utf8(R.SubmittedTo);
    J["post_data"] = R.PostData;
  } else if (!R.SubmittedTo.empty()) {
    J["target"] = Utf8(R.SubmittedTo);
  }
  if (!R.Why.empty()) J["why"] = R.Why;
  return J;
}

// Text as the terminal is to show it: control characters, and the marks that reorder or break
// lines unseen, as visible escapes. What a page chose then neither drives the terminal (titles,
// clearing the screen) nor forges lines of the report.
std::string Shown(const WideString& Text) {
  static const char Hex[] = "0123456789abcdef";
  std::string Out;
  size_t Plain = 0;  // start of the run of characters not yet copied
  auto Flush = [&](size_t End) { Out += Utf8(Text.substr(Plain, End - Plain)); };
  for (size_t I = 0; I < Text.size(); ++I) {
    const char16_t C = Text[I];
    const bool Control = C < 0x20 || (C >= 0x7f && C < 0xa0) || C == 0x2028 || C == 0x2029 ||
                         (C >= 0x202a && C <= 0x202e) || (C >= 0x2066 && C <= 0x2069);
    if (!Control) continue;
    Flush(I);
    Plain = I + 1;
    if (C == u'\n') Out += "\\n";
    else if (C == u'\r') Out += "\\r";
    else if (C == u'\t') Out += "\\t";
    else if (C < 0x100) Out += std::string("\\x") + Hex[C >> 4] + Hex[C & 15];
    else Out += std::string("\\u") + Hex[C >> 12] + Hex[(C >> 8) & 15] + Hex[(C >> 4) & 15] + Hex[C & 15];
  }
  Flush(Text.size());
  return Out;
}
std::string Shown(const std::string& Utf8Text) { return Shown(Wide(Utf8Text)); }

// A caption as one short line: its blanks run together, cut at 60 characters.
WideString OneLine(const WideString& Text) {
  WideString Out;
  for (char16_t C : Text) {
    const bool Blank = C <= u' ' || C == u'\u00A0';
    if (Blank && (Out.empty() || Out.back() == u' ')) continue;
    Out += Blank ? u' ' : C;
  }
  while (!Out.empty() && Out.back() == u' ') Out.pop_back();
  if (Out.size() > 60) Out = Out.substr(0, 57) + u"...";
  return Out;
}

void PrintReport(const TPageReport& R) {
  std::cout << Shown(R.Address) << "  \"" << Shown(R.Title) << "\"\n";
  for (const TFilledControl& C : R.Filled) {
    std::cout << "  " << Shown(C.Form) << ": " << Shown(C.Name.empty() ? u"(no name)" : C.Name);
    if (!C.Caption.empty()) std::cout << " \"" << Shown(OneLine(C.Caption)) << "\"";
    if (!C.ProfileField.empty()) std::cout << " [" << Shown(C.ProfileField) << "]";
    std::cout << " = " << Shown(C.Value) << "\n";
  }
  if (!R.SubmittedTo.empty())
    std::cout << (R.Outcome == "submitted" ? "  submitted to " : "  meant for ") << Shown(R.SubmittedTo) << "\n";
  std::cout << "  " << R.Outcome;
  if (!R.Why.empty()) std::cout << ": " << Shown(R.Why);
  std::cout << "\n";
}

WideString FieldValue(store::TPelStore& S, const WideString& Profile, const WideString& Field);
WideString RequireProfile(store::TPelStore& S, const std::string& Profile);

// --allow-host names a host as the host check compares it: a name or an address, without what a URL
// puts around it (scheme, user info, port, path), which would never match and so allow nothing.
void RequireHost(const std::string& Host) {
  bool Ok;
  if (!Host.empty() && Host.front() == '[')
    Ok = Host.size() > 2 && Host.back() == ']' &&
         Host.find_first_not_of("0123456789abcdefABCDEF:.", 1) == Host.size() - 1;
  else
    Ok = !Host.empty() && Host.find_first_of(":/@?#[]\\ \t") == std::string::npos;
  if (!Ok)
    throw TFailure{exUsage, "--allow-host \"" + Shown(Host) +
                                "\": name a host only (example.org, 192.0.2.1, [2001:db8::1]), without scheme, "
                                "port or path"};
}

// The card --card names, as the store holds it: the set is the page key and both match exactly.
void RequireCard(store::TPelStore& S, const WideString& Set, const WideString& Name) {
  const auto Items = S.ListItems();
  if (std::none_of(Items.begin(), Items.end(),
                   [&](const auto& Item) { return Item.Kind == 0 && Item.SetName == Set && Item.Name == Name; }))
    throw TFailure{exUnknown, "unknown form card \"" + Shown(Set) + "/" + Shown(Name) +
                                  "\" (pelmora store cards lists them: page key, then name)"};
}

int RunFill(const TGlobal& G, std::vector<std::string> Targets, const std::string& From, TFillOptions Options,
            bool Json) {
  // Where each target came from: empty for the command line, FILE:LINE for a line of the list.
  std::vector<std::string> Origins(Targets.size());
  if (!From.empty()) {
    std::ifstream In(From);
    if (!In) throw TFailure{exUsage, "no such file: " + From};
    int Number = 0;
    for (std::string Line; std::getline(In, Line);) {
      ++Number;
      // A list written on another system ends its lines with CR LF, and editors leave blanks.
      Line.erase(Line.find_last_not_of(" \t\r") + 1);
      Line.erase(0, Line.find_first_not_of(" \t"));
      if (Line.empty() || Line[0] == '#') continue;
      Targets.push_back(Line);
      Origins.push_back(From + ":" + std::to_string(Number));
    }
  }
  if (Targets.empty()) throw TFailure{exUsage, "no page to fill: name a URL or a file"};
  // Every target is checked before any page loads, and every bad one is named: a list is refused
  // whole, so that a run never stops halfway through it.
  std::vector<WideString> Addresses;
  std::optional<TFailure> First;
  for (size_t I = 0; I < Targets.size(); ++I) {
    try {
      Addresses.push_back(AddressOf(Targets[I]));
    } catch (const TFailure& F) {
      if (!First) First = F;
      std::cerr << "pelmora: " << (Origins[I].empty() ? "" : Origins[I] + ": ") << F.Message << "\n";
    }
  }
  if (First) return First->Code;
  TOpenStore Store(G);
  Options.Profile = RequireProfile(*Store.Store, Utf8(Options.Profile));
  if (!Options.CardName.empty()) RequireCard(*Store.Store, Options.CardSet, Options.CardName);
  // Wherever the profile's password lands, it is printed masked.
  Options.Secrets.Add(u"", FieldValue(*Store.Store, Options.Profile, u"Password"));
  auto Pages = std::make_shared<TNetworkPageSource>(G.Limits);
  LimitPageCost(*Pages);
  for (const WideString& A : Addresses) Pages->AllowNamed(A);
  for (const std::string& H : G.AllowedHosts) Pages->AllowHost(H);
  Pages->SetInterrupt(&GInterrupted);
  TBatchFiller Filler(Pages, Options);
  const bool Progress = Addresses.size() > 1 && isatty(STDERR_FILENO);
  // The progress line is rewritten in place; anything else printed first takes it off the screen,
  // so that it neither runs on after it nor stays behind as a stale line.
  bool ProgressShown = false;
  auto ClearProgress = [&] {
    if (ProgressShown) std::cerr << "\r\x1b[K" << std::flush;
    ProgressShown = false;
  };
  int Filled = 0, Submitted = 0, Failed = 0, Refused = 0;
  for (size_t I = 0; I < Addresses.size(); ++I) {
    if (GInterrupted) return exInterrupted;
    if (Progress) {
      std::cerr << "\r[" << I + 1 << "/" << Addresses.size() << "] " << Shown(Targets[I]) << "\x1b[K" << std::flush;
      ProgressShown = true;
    }
    auto Reports = Filler.Fill(Addresses[I]);
    // An interrupted page is not a page that failed: nothing of it is reported.
    if (GInterrupted) {
      ClearProgress();
      return exInterrupted;
    }
    bool PageFailed = false;
    const auto Failures = Pages->TakeFailures();
    ClearProgress();
    for (const auto& [Url, Why] : Failures) {
      // The page itself not loading is an error of the run; a frame or a later page, a warning.
      if (Url == Addresses[I]) {
        PageFailed = true;
        std::cerr << "pelmora: " << Shown(Targets[I]) << ": " << Shown(Why) << "\n";
        continue;
      }
      // A submission that failed never left (the host check, or the server not taking it): the
      // page it came from says so, and the run fails as for a page that did not load.
      const WideString Printed = Filler.Printable(Url);
      auto Sent = std::find_if(Reports.begin(), Reports.end(), [&](const TPageReport& R) {
        return R.Outcome == "submitted" && R.SubmittedTo == Printed;
      });
      if (Sent != Reports.end()) {
        Sent->Outcome = "not submitted";
        Sent->Why = Why;
        ++Refused;
        // The window shows an error page where the answer would have been: no page of the site.
        Reports.erase(std::remove_if(Sent + 1, Reports.end(), [&](const TPageReport& R) { return R.Address == Printed; }),
                      Reports.end());
        std::cerr << "pelmora: " << Shown(Targets[I]) << ": the form was not submitted to " << Shown(Printed) << ": "
                  << Shown(Why) << "\n";
      } else {
        std::cerr << "pelmora: warning: " << Shown(Filler.Printable(Url)) << " was not loaded: " << Shown(Why) << "\n";
      }
    }
    if (PageFailed) {
      ++Failed;
      if (Json) {
        const auto Reason = std::find_if(Failures.begin(), Failures.end(),
                                         [&](const auto& F) { return F.first == Addresses[I]; });
        std::cout << nlohmann::json{{"input", Targets[I]},
                                    {"address", Utf8(Filler.Printable(Addresses[I]))},
                                    {"outcome", "not loaded"},
                                    {"error", Reason->second}}
                         .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                  << "\n";
      }
      continue;
    }
    for (const TPageReport& R : Reports) {
      Filled += static_cast<int>(R.Filled.size());
      Submitted += R.Outcome == "submitted";
      if (Json)
        std::cout << ToJson(Targets[I], R).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
      else
        PrintReport(R);
    }
  }
  ClearProgress();
  if (Addresses.size() > 1)
    std::cerr << Addresses.size() << " pages: " << Filled << " fields filled, " << Submitted << " submitted, "
              << Failed << " not loaded" << (Refused ? ", " + std::to_string(Refused) + " not submitted" : "")
              << "\n";
  return Failed + Refused > 0 ? exPage : exOk;
}

int RunCapture(const TGlobal& G, const std::string& Target, const std::string& Name,
               const std::vector<std::string>& Fields) {
  std::vector<TTypedValue> Values;
  for (const std::string& F : Fields) {
    const size_t Eq = F.find('=');
    if (Eq == std::string::npos || Eq == 0) throw TFailure{exUsage, "a field is name=value, not \"" + F + "\""};
    Values.push_back({Wide(F.substr(0, Eq)), Wide(F.substr(Eq + 1))});
  }
  const WideString Address = AddressOf(Target);
  TOpenStore Store(G);
  auto Pages = std::make_shared<TNetworkPageSource>(G.Limits);
  LimitPageCost(*Pages);
  Pages->AllowNamed(Address);
  for (const std::string& H : G.AllowedHosts) Pages->AllowHost(H);
  Pages->SetInterrupt(&GInterrupted);
  const TCaptureReport Report = CaptureCard(Pages, Address, Values, Wide(Name));
  if (GInterrupted) return exInterrupted;
  for (const auto& [Url, Why] : Pages->TakeFailures())
    if (Url == Address) throw TFailure{exPage, Shown(Target) + ": " + Shown(Why)};
  for (const WideString& Missing : Report.Missing)
    std::cerr << "pelmora: the page has no control \"" << Shown(Missing) << "\"\n";
  if (Report.Page.Outcome != "submitted") throw TFailure{exPage, "nothing was submitted: no field of the page was typed"};
  std::cout << "submitted to " << Shown(Report.Page.SubmittedTo) << "\n";
  std::cout << "saved as \"" << Shown(Report.CardName.empty() ? WideString(u"(named by the store)") : Report.CardName)
            << "\"\n";
  return Report.Missing.empty() ? exOk : exUnknown;
}

std::vector<WideString> FieldNames(store::TPelStore& S) {
  TVariant Fields;
  bool LoginRequired = false;
  S.GetProfileFields(Fields, LoginRequired);
  if (LoginRequired) throw TFailure{exLocked, "the store is locked"};
  std::vector<WideString> Names;
  const auto Flat = Fields.AsStrings();
  for (size_t I = 0; I + 2 < Flat.size(); I += 3) Names.push_back(Flat[I]);
  return Names;
}

void RequireField(store::TPelStore& S, const WideString& Field) {
  const auto Names = FieldNames(S);
  if (std::find(Names.begin(), Names.end(), Field) == Names.end())
    throw TFailure{exUnknown, "unknown profile field \"" + Utf8(Field) + "\" (pelmora store fields lists them)"};
}

WideString RequireProfile(store::TPelStore& S, const std::string& Profile) {
  if (Profile.empty()) return WideString();
  TVariant Profiles;
  WideString Current;
  S.GetProfiles(Profiles, Current);
  for (const WideString& P : Profiles.AsStrings())
    if (Locale().CompareText(P, Wide(Profile)) == 0) return P;
  throw TFailure{exUnknown, "unknown profile \"" + Profile + "\" (pelmora store profiles lists them)"};
}

WideString FieldValue(store::TPelStore& S, const WideString& Profile, const WideString& Field) {
  WideString Name = Field, Value, Values;
  int32_t Kind = -1;
  bool Found = false, LoginRequired = false;
  S.FindFieldValue(Profile, u"", u"", u"", u"", Name, Kind, Value, Values, Found, LoginRequired);
  return Found ? Value : WideString();
}

std::string Base64(const std::vector<uint8_t>& Bytes) {
  static const char* Digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string Out;
  for (size_t I = 0; I < Bytes.size(); I += 3) {
    uint32_t N = Bytes[I] << 16;
    if (I + 1 < Bytes.size()) N |= Bytes[I + 1] << 8;
    if (I + 2 < Bytes.size()) N |= Bytes[I + 2];
    Out += Digits[(N >> 18) & 63];
    Out += Digits[(N >> 12) & 63];
    Out += I + 1 < Bytes.size() ? Digits[(N >> 6) & 63] : '=';
    Out += I + 2 < Bytes.size() ? Digits[N & 63] : '=';
  }
  return Out;
}

// Profiles with their values and every stored card and record, as one JSON document.
nlohmann::json Export(store::TPelStore& S) {
  nlohmann::json J;
  TVariant Profiles;
  WideString Current;
  S.GetProfiles(Profiles, Current);
  const auto Fields = FieldNames(S);
  J["profiles"] = nlohmann::json::array();
  for (const WideString& P : Profiles.AsStrings()) {
    nlohmann::json Values = nlohmann::json::object();
    for (const WideString& F : Fields)
      if (WideString V = FieldValue(S, P, F); !V.empty()) Values[Utf8(F)] = Utf8(V);
    J["profiles"].push_back({{"name", Utf8(P)}, {"current", P == Current}, {"values", Values}});
  }
  J["items"] = nlohmann::json::array();
  for (const auto& Item : S.ListItems()) {
    TVariant Data;
    bool LoginRequired = false;
    if (Item.Kind == 0)
      S.GetFormCard(Item.SetName, Item.Name, Item.URL, Data, LoginRequired);
    else
      S.GetRecord(Item.Kind, Item.SetName, Item.Name, Item.URL, Data, LoginRequired);
    if (LoginRequired) throw TFailure{exLocked, "the store is locked"};
    J["items"].push_back({{"kind", Item.Kind},
                          {"set", Utf8(Item.SetName)},
                          {"name", Utf8(Item.Name)},
                          {"url", Utf8(Item.URL)},
                          {"data", Data.VarType() == TVarType::ByteArray ? Base64(Data.AsBytes()) : ""}});
  }
  return J;
}

// A name a profile can have: not blank (the store would keep it, and no one could choose it).
WideString ProfileName(const std::string& Name) {
  if (Name.find_first_not_of(" \t\r\n") == std::string::npos) throw TFailure{exUsage, "a profile needs a name"};
  return Wide(Name);
}

void AddProfile(store::TPelStore& S, const std::string& Name) {
  const WideString Wanted = ProfileName(Name);
  TVariant Existing;
  WideString Current;
  S.GetProfiles(Existing, Current);
  for (const WideString& P : Existing.AsStrings())
    if (Locale().CompareText(P, Wanted) == 0)
      throw TFailure{exUsage, "there is already a profile \"" + Shown(P) + "\" (names differ in more than case)"};
  S.AddProfile(Wanted);
}

void SignalHandler(int) { GInterrupted = true; }

}  // namespace

int main(int argc, char** argv) {
  pel::InstallPlatformBinding();
  std::signal(SIGINT, SignalHandler);
  CLI::App App{"pelmora: fills web forms from your stored profile and form cards, and keeps them in a store"};
  App.require_subcommand(1);
  // The options of the whole run may come after a subcommand too; subcommands inherit this.
  App.fallthrough();
  TGlobal G;
  App.add_option("--store", G.StoreFile, "the store file (default: $XDG_DATA_HOME/pelmora/store.db)");
  App.add_flag("--password-stdin", G.PasswordStdin, "read the store's master password from standard input");
  App.add_flag("--verbose", G.Verbose, "say where a failure arose");
  App.add_option("--allow-host", G.AllowedHosts,
                 "another host the pages may load frames from or submit to (only the hosts of the named pages are "
                 "contacted otherwise)")
      ->allow_extra_args(false);
  App.add_option("--timeout", G.Limits.TimeoutSeconds,
                 "seconds a page may take to arrive, its redirects included (default: 30)")
      ->check(CLI::PositiveNumber);
  App.footer(
      "Exit codes: 0 done, 2 bad input, 3 a page could not be loaded, 4 store locked (wrong or no password),\n"
      "5 store cannot be opened, 6 unknown profile, field or form card, 130 interrupted.");

  std::vector<std::string> Targets;
  std::string From, Card, Profile;
  TFillOptions Options;
  bool Json = false;
  auto* Fill = App.add_subcommand("fill", "fill the forms of pages from your profile and stored cards");
  Fill->add_option("targets", Targets, "URLs (http, https, file) or HTML files");
  Fill->add_option("--from", From, "a file with one URL or file per line");
  Fill->add_option("--profile", Profile, "the profile to fill from (default: the store's current one)");
  Fill->add_flag("--submit", Options.Submit, "submit a form that was filled completely, and go on on the next page");
  Fill->add_option("--card", Card, "also fill from this stored form card, as SET/NAME (SET: the page key)");
  Fill->add_flag("--only-empty", Options.OnlyEmpty, "with --card: fill only fields that are empty");
  Fill->add_flag("--json", Json, "one JSON object per page");

  std::string CaptureTarget, CardName;
  std::vector<std::string> Fields;
  auto* Capture = App.add_subcommand("capture", "type values into a page, submit it and store what was sent as a card");
  Capture->add_option("target", CaptureTarget, "URL or HTML file")->required();
  Capture->add_option("--set", CardName, "the card's name")->required();
  Capture->add_option("--field", Fields, "name=value for a control of the page (repeat)")->required();

  auto* Store = App.add_subcommand("store", "look into and change the store");
  Store->require_subcommand(1);
  auto* Init = Store->add_subcommand("init", "create the store (with the default profile fields) if it is not there");
  auto* Profiles = Store->add_subcommand("profiles", "list the profiles; * marks the current one");
  auto* ProfileCmd = Store->add_subcommand("profile", "choose the current profile");
  ProfileCmd->require_subcommand(1);
  std::string UseName;
  auto* Use = ProfileCmd->add_subcommand("use", "make a profile the current one");
  Use->add_option("name", UseName, "profile")->required();
  auto* AddProfileCmd = ProfileCmd->add_subcommand("add", "add an empty profile");
  AddProfileCmd->add_option("name", UseName, "profile")->required();
  auto* Cards = Store->add_subcommand("cards", "list the stored form cards and records by page");
  std::string ImportFile;
  bool AsJson = false;
  auto* ExportCmd = Store->add_subcommand("export", "write the profiles, cards and records to standard output");
  ExportCmd->add_flag("--json", AsJson, "as JSON (the one format there is)")->required();
  auto* ImportCmd = Store->add_subcommand("import", "read profiles, cards and records written by export");
  ImportCmd->add_flag("--json", AsJson, "as JSON (the one format there is)")->required();
  ImportCmd->add_option("file", ImportFile, "the export (default: standard input)");
  auto* FieldsCmd = Store->add_subcommand("fields", "list the profile fields with the current profile's values");
  std::string FieldName, FieldText, ValueProfile;
  auto* Get = Store->add_subcommand("get", "print a profile field's value");
  Get->add_option("field", FieldName, "profile field")->required();
  Get->add_option("--profile", ValueProfile, "profile (default: the current one)");
  auto* Set = Store->add_subcommand("set", "set a profile field's value");
  Set->add_option("field", FieldName, "profile field")->required();
  Set->add_option("value", FieldText, "value")->required();
  Set->add_option("--profile", ValueProfile, "profile (default: the current one)");
  auto* Synonym = Store->add_subcommand("synonym", "teach the store another word for a field");
  Synonym->require_subcommand(1);
  std::string Word;
  auto* SynonymAdd = Synonym->add_subcommand("add", "add a word pages use for a profile field");
  SynonymAdd->add_option("field", FieldName, "profile field")->required();
  SynonymAdd->add_option("word", Word, "the word or phrase")->required();
  auto* Password = Store->add_subcommand("password", "set or remove the store's master password");
  Password->require_subcommand(1);
  auto* PasswordSet = Password->add_subcommand("set", "set or change the master password");
  auto* PasswordRemove = Password->add_subcommand("remove", "remove the master password");

  // The run's options go before or after the subcommand; each subcommand's help lists them too.
  std::string Globals = "Options of every command (before or after it):\n";
  for (const CLI::Option* O : App.get_options())
    if (O->get_name() != "--help") {
      std::string Line = "  " + O->get_name() + (O->get_type_size() > 0 ? " " + O->get_type_name() : "");
      Line.resize(std::max<size_t>(Line.size() + 2, 30), ' ');
      Globals += Line + O->get_description() + "\n";
    }
  std::function<void(CLI::App*)> Document = [&](CLI::App* Command) {
    for (CLI::App* Sub : Command->get_subcommands({})) {
      Sub->footer(Globals + "\n" + App.get_footer());
      Document(Sub);
    }
  };
  Document(&App);

  try {
    App.parse(argc, argv);
  } catch (const CLI::ParseError& E) {
    const int Code = App.exit(E);
    return Code == 0 ? exOk : exUsage;
  }

  try {
    for (const std::string& H : G.AllowedHosts) RequireHost(H);
    if (Fill->parsed()) {
      Options.Profile = Wide(Profile);
      if (!Card.empty()) {
        const size_t Slash = Card.rfind('/');
        if (Slash == std::string::npos) throw TFailure{exUsage, "--card is SET/NAME"};
        Options.CardSet = Wide(Card.substr(0, Slash));
        Options.CardName = Wide(Card.substr(Slash + 1));
      }
      return RunFill(G, Targets, From, Options, Json);
    }
    if (Capture->parsed()) return RunCapture(G, CaptureTarget, CardName, Fields);

    TOpenStore Open(G);
    store::TPelStore& S = *Open.Store;
    if (Init->parsed()) {
      std::cout << "store: " << Open.Path << "\n";
    } else if (Profiles->parsed()) {
      TVariant List;
      WideString Current;
      S.GetProfiles(List, Current);
      for (const WideString& P : List.AsStrings()) std::cout << (P == Current ? "* " : "  ") << Utf8(P) << "\n";
    } else if (Use->parsed()) {
      S.SetActiveProfile(RequireProfile(S, UseName));
    } else if (AddProfileCmd->parsed()) {
      AddProfile(S, UseName);
    } else if (Cards->parsed()) {
      const char* Kinds[] = {"card", "navigation", "mail card", "login"};
      for (const auto& Item : S.ListItems())
        std::cout << (Item.Kind >= 0 && Item.Kind <= 3 ? Kinds[Item.Kind] : "item") << "\t" << Shown(Item.SetName)
                  << "\t" << Shown(Item.Name) << "\n";
    } else if (ExportCmd->parsed()) {
      std::cout << Export(S).dump(2) << "\n";
    } else if (ImportCmd->parsed()) {
      std::ifstream File;
      if (!ImportFile.empty()) {
        File.open(ImportFile, std::ios::binary);
        if (!File) throw TFailure{exUsage, "no such file: " + ImportFile};
      }
      try {
        const nlohmann::json J = ParseImport(ImportFile.empty() ? std::cin : File);
        ApplyImport(S, CheckImport(J, FieldNames(S)));
      } catch (const TImportRefused& R) {
        throw TFailure{R.Code, R.Message};
      }
    } else if (FieldsCmd->parsed()) {
      TVariant List;
      bool LoginRequired = false;
      S.GetProfileFields(List, LoginRequired);
      const auto Flat = List.AsStrings();
      for (size_t I = 0; I + 2 < Flat.size(); I += 3)
        std::cout << Utf8(Flat[I + 2]) << ": " << Utf8(Flat[I]) << " = " << Utf8(FieldValue(S, u"", Flat[I])) << "\n";
    } else if (Get->parsed()) {
      const WideString Owner = RequireProfile(S, ValueProfile);
      RequireField(S, Wide(FieldName));
      std::cout << Utf8(FieldValue(S, Owner, Wide(FieldName))) << "\n";
    } else if (Set->parsed()) {
      const WideString Owner = RequireProfile(S, ValueProfile);
      RequireField(S, Wide(FieldName));
      bool LoginRequired = false;
      S.SetFieldValue(Owner, Wide(FieldName), Wide(FieldText), LoginRequired);
      if (LoginRequired) throw TFailure{exLocked, "the store is locked"};
    } else if (SynonymAdd->parsed()) {
      RequireField(S, Wide(FieldName));
      S.AddSynonym(Wide(FieldName), Wide(Word), -1);
    } else if (PasswordSet->parsed()) {
      const std::string New = ReadPassword(G.PasswordStdin, "New master password: ");
      if (!G.PasswordStdin && isatty(STDIN_FILENO) && ReadPassword(false, "The same again: ") != New)
        throw TFailure{exUsage, "the two passwords differ; nothing was changed"};
      if (New.empty()) throw TFailure{exUsage, "an empty password is no password: use \"password remove\""};
      S.SetMasterPassword(Open.Password, Wide(New));
    } else if (PasswordRemove->parsed()) {
      S.SetMasterPassword(Open.Password, u"");
    }
    return exOk;
  } catch (const TFailure& F) {
    std::cerr << "pelmora: " << F.Message << "\n";
    return F.Code;
  } catch (const Exception& E) {
    // The store's and the add-on's own failures: their first line says what; the trace numbers
    // that follow say where, for whoever asked.
    const std::string Message = E.Message();
    std::cerr << "pelmora: " << (G.Verbose ? Message : Message.substr(0, Message.find_first_of("\r\n"))) << "\n";
    return exStore;
  }
}
