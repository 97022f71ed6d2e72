// Arbitrary bytes as what a browser window sends the store: caption requests, captured form sets
// and profile lookups. The store answers or refuses with its own error; it never crashes, hangs or
// answers a caption request with another count than the request's.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

#include "Common/StoreStreams.h"
#include "Common/TransitForms.h"
#include "PelStore.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace {

// One store for the whole run, in a temporary folder removed when the fuzzer exits.
struct TFuzzStore {
  std::filesystem::path Folder;
  std::unique_ptr<pel::store::TPelStore> Store;
  ~TFuzzStore() {
    Store.reset();
    std::filesystem::remove_all(Folder);
  }
};

pel::store::TPelStore& Store() {
  static TFuzzStore Instance;
  if (Instance.Store) return *Instance.Store;
  pel::InstallPlatformBinding();
  char Pattern[] = "/tmp/pelstorefuzzXXXXXX";
  Instance.Folder = mkdtemp(Pattern);
  Instance.Store = std::make_unique<pel::store::TPelStore>((Instance.Folder / "store.db").string());
  pel::store::TPelStore& S = *Instance.Store;
  // A language with one translation, so that requests are looked up, not echoed, and a card of
  // another page for captured forms to be compared with.
  S.SetLanguage(u"de");
  S.AddTranslation(u"de", u"Fill", u"Ausfüllen");
  pel::TTransitFormSet Set;
  pel::TTransitField& Field = Set.Add().Fields.Add();
  Field.Name = u"email";
  Field.TagName = u"input";
  pel::TMemoryStream Card;
  Set.SaveToStream(Card);
  pel::TVariant V;
  pel::StreamToVariant(Card, V);
  bool Saved = false, Login = false;
  S.SaveFormCard(u"other.example", u"Card", u"", V, Saved, Login);
  return S;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  pel::store::TPelStore& S = Store();
  const pel::TVariant Request(std::vector<uint8_t>(Data, Data + Size));
  try {
    const pel::TVariant Answer = S.TranslateStrings(Request);
    // Accepted: the request reads as a caption stream, and the answer has as many captions.
    pel::TMemoryStream In(Request.AsBytes());
    pel::TWideStringList Asked;
    if (!pel::ReadCaptionStream(In, Asked)) __builtin_trap();
    pel::TMemoryStream Out;
    pel::VariantToStream(Answer, Out);
    Out.SetPosition(0);
    pel::TWideStringList Answered;
    if (!pel::ReadCaptionStream(Out, Answered) || Answered.Count() != Asked.Count()) __builtin_trap();
  } catch (const pel::EOleException&) {
  }
  try {
    pel::TVariant Cards;
    pel::WideString SetName, Name;
    bool Matched = false;
    S.FindFormCards(u"page.example", Request, Cards, SetName, Name, Matched);
    S.FindSavedFormCard(u"other.example", Request, Name);
  } catch (const pel::EOleException&) {
  }
  // The same bytes as a profile lookup: page texts reach the recogniser as a control's name and as
  // the lines of evidence in its type argument. A lookup answers, whatever they hold.
  {
    const size_t Units = Size / 2;
    std::u16string Text(Units, u'\0');
    for (size_t I = 0; I < Units; ++I) Text[I] = static_cast<char16_t>(Data[2 * I] | Data[2 * I + 1] << 8);
    const size_t Half = Units / 2;
    pel::WideString Field, Value, Values;
    int32_t Kind = 0;
    bool Found = false, Login = false;
    S.FindFieldValue(u"", u"input", Text.substr(Half), Text.substr(0, Half), u"", Field, Kind, Value, Values, Found,
                     Login);
    if (Found && Field.empty()) __builtin_trap();
  }
  return 0;
}
