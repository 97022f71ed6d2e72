#include "Recognizer.h"

#include <algorithm>

#include "platform/Services.h"

namespace pel::store {

namespace {

// Latin, Latin-1, Greek and Cyrillic letters: the scripts whose pages write names in camel case.
bool IsLower(char16_t C) {
  return (C >= u'a' && C <= u'z') || (C >= 0xDF && C <= 0xFF && C != 0xF7) || (C >= 0x3AC && C <= 0x3CE) ||
         (C >= 0x430 && C <= 0x45F);
}
bool IsUpper(char16_t C) {
  return (C >= u'A' && C <= u'Z') || (C >= 0xC0 && C <= 0xDE && C != 0xD7) || (C >= 0x386 && C <= 0x3AB) ||
         (C >= 0x400 && C <= 0x42F);
}
bool IsDigit(char16_t C) { return C >= u'0' && C <= u'9'; }
bool IsLetter(char16_t C) { return IsLower(C) || IsUpper(C); }

// Punctuation pages put into captions besides the lexicon's ASCII delimiters: full-width colons
// and brackets, quotation marks, dashes, bullets.
constexpr char16_t ExtraDelimiters[] =
    u"\u00AB\u00BB\u2013\u2014\u2026\u2022\u00B7\u00BF\u00A1\u00A9\u00AE\u201C\u201D\u201E\u2018\u2019"
    u"\uFF1A\uFF08\uFF09\uFF0C\uFF0E\uFF01\uFF1F\u3001\u3002\u300C\u300D\u3010\u3011";

// "txtFirstName" → "txt First Name", "ZIPCode" → "ZIP Code", "address2" → "address 2".
WideString SplitCamelCase(const WideString& Text) {
  WideString Result;
  Result.reserve(Text.size() + Text.size() / 4);
  for (size_t I = 0; I < Text.size(); ++I) {
    const char16_t C = Text[I];
    if (I > 0) {
      const char16_t P = Text[I - 1];
      const bool Next = I + 1 < Text.size() && IsLower(Text[I + 1]);
      if ((IsLower(P) && IsUpper(C)) || (IsUpper(P) && IsUpper(C) && Next) || (IsLetter(P) && IsDigit(C)) ||
          (IsDigit(P) && IsLetter(C)))
        Result += u' ';
    }
    Result += C;
  }
  return Result;
}

WideString Lower(const WideString& Text) { return Locale().LowerCase(Text); }

bool IsAsciiLetter(char16_t C) { return (C >= u'a' && C <= u'z') || (C >= u'A' && C <= u'Z'); }

// Frameworks that make names up (hashes, random keys against robots: "fd6d4171167f2af0cf31",
// "Xu5x2uKAYXmU1mmMIzVnRuV5lAm8") leave letters and digits mixed at random; split as a name,
// their pieces spell "dd", "cc" or "mm" by chance. A long run of ASCII letters and digits is made
// up when it changes between letters and digits often or falls apart into mostly tiny pieces.
constexpr size_t MadeUpLength = 16;
bool IsMadeUp(const char16_t* Run, size_t Length) {
  if (Length < MadeUpLength || !(IsAsciiLetter(Run[0]) || IsDigit(Run[0]))) return false;
  size_t Changes = 0, Pieces = 1, Tiny = 0, Piece = 1;
  for (size_t I = 1; I < Length; ++I) {
    const char16_t P = Run[I - 1], C = Run[I];
    if (!(IsAsciiLetter(C) || IsDigit(C))) return false;
    const bool Change = IsDigit(P) != IsDigit(C);
    const bool Next = I + 1 < Length && IsLower(Run[I + 1]);
    const bool Camel = (IsLower(P) && IsUpper(C)) || (IsUpper(P) && IsUpper(C) && Next);
    Changes += Change;
    if (Change || Camel) {
      Tiny += Piece <= 2;
      ++Pieces;
      Piece = 0;
    }
    ++Piece;
  }
  Tiny += Piece <= 2;
  return Changes >= 6 || (Pieces >= 4 && 2 * Tiny >= Pieces);
}

// Names written as paths ("user[name]", "ctl00$Main$ctrlLogin$UserName", "shipping.city") end
// in the control's own part; what stands before names its containers.
constexpr char16_t SegmentSeparators[] = u"[]$:.";

struct TCandidate {
  size_t First, Last;  // word positions, inclusive
  int64_t FieldID;
  bool Weak;
  int64_t Context;
  size_t Span() const { return Last - First; }
};

}  // namespace

TLookupEvidence TLookupEvidence::Parse(const WideString& TypeArgument) {
  TLookupEvidence Result;
  size_t Start = 0;
  bool First = true;
  // Every lookup parses its evidence: the lines are compared in place and copied once.
  auto Is = [&](size_t Start, size_t End, std::u16string_view Key) {
    return End - Start >= Key.size() && TypeArgument.compare(Start, Key.size(), Key) == 0;
  };
  while (Start <= TypeArgument.size()) {
    size_t End = TypeArgument.find(u'\n', Start);
    if (End == WideString::npos) End = TypeArgument.size();
    auto Rest = [&](size_t Skip) { return TypeArgument.substr(Start + Skip, End - Start - Skip); };
    if (First)
      Result.InputType = Rest(0);
    else if (Is(Start, End, u"autocomplete="))
      Result.Autocomplete = Rest(13);
    else if (Is(Start, End, u"form="))
      Result.Form = Rest(5);
    else if (Is(Start, End, u"near="))
      Result.Near.push_back(Rest(5));
    else if (Is(Start, End, u"name=")) {
      Result.Name = Rest(5);
      Result.Texts.insert(Result.Texts.begin(), Result.Name);
    } else if (Is(Start, End, u"text="))
      Result.Texts.push_back(Rest(5));
    First = false;
    Start = End + 1;
  }
  return Result;
}

WideString TLookupEvidence::Format() const {
  // A line break inside a text would start a line of its own: it is a blank there anyway.
  auto OneLine = [](WideString Text) {
    std::replace(Text.begin(), Text.end(), u'\n', u' ');
    return Text;
  };
  WideString Result = OneLine(InputType);
  if (!Autocomplete.empty()) {
    Result += u"\nautocomplete=";
    Result += OneLine(Autocomplete);
  }
  if (!Form.empty()) {
    Result += u"\nform=";
    Result += OneLine(Form);
  }
  for (const WideString& Other : Near) {
    Result += u"\nnear=";
    Result += OneLine(Other);
  }
  if (!Name.empty()) {
    Result += u"\nname=";
    Result += OneLine(Name);
  }
  for (const WideString& Text : Texts) {
    if (Text.empty() || (!Name.empty() && &Text == &Texts.front() && Text == Name)) continue;
    Result += u"\ntext=";
    Result += OneLine(Text);
  }
  return Result;
}

TFieldRecognizer::TFieldRecognizer() : FDelimiters(TLexicon::GetDelimiters() + ExtraDelimiters) {
  for (char16_t C : FDelimiters) FIsDelimiter.set(C);
  for (int I = 0; I < FLexicon.StopWords().Count(); ++I) FStopWords.insert(FLexicon.StopWords()[I]);
}

void TFieldRecognizer::SetStopWords(const TWideStringList& Words) {
  FLexicon.SetStopWords(Words);
  FStopWords.clear();
  for (int I = 0; I < FLexicon.StopWords().Count(); ++I) FStopWords.insert(FLexicon.StopWords()[I]);
  for (TPhrase& Phrase : FPhrases) Prepare(Phrase);
  Index();
}

// Phrases in the order they were added: the first that glues alike names the field, a container
// word makes that glued form weak wherever it came from.
void TFieldRecognizer::Index() {
  FTargets.clear();
  FWeak.clear();
  FLongestGlued = 0;
  for (auto& [Field, Glued] : FContextGlued) Glued.clear();
  for (size_t I = 0; I < FPhrases.size(); ++I) {
    const TPhrase& Phrase = FPhrases[I];
    if (Phrase.Glued.empty()) continue;
    FTargets.emplace(Phrase.Glued, TTarget{Phrase.FieldID, false, FPhraseContext[I]});
    if (FPhraseWeak[I]) FWeak.insert(Phrase.Glued);
    FLongestGlued = std::max(FLongestGlued, Phrase.Glued.size());
    if (const auto It = FContextGlued.find(Phrase.FieldID); It != FContextGlued.end()) It->second.insert(Phrase.Glued);
  }
  for (auto& [Glued, Target] : FTargets) Target.Weak = FWeak.count(Glued) > 0;
}

void TFieldRecognizer::Clear() {
  FPhrases.clear();
  FPhraseWeak.clear();
  FPhraseContext.clear();
  FContextGlued.clear();
  FTargets.clear();
  FWeak.clear();
  FLongestGlued = 0;
  FTypeRules.clear();
  FAutocomplete.clear();
  FNonTextTypes.clear();
  FChoiceTypes.clear();
  FChoiceFields.clear();
  FOnlyIn.clear();
  FYields.clear();
  FFormYields.clear();
  FComplements.clear();
}

// The words of the lexicon's normal form (lower case, split at its delimiters, stop words dropped),
// the stop words looked up by equality of their lower-cased forms. Control characters (line breaks
// in captions) separate words too.
std::vector<WideString> TFieldRecognizer::NormalWords(const WideString& Text) const {
  // Made-up runs say nothing: they are blanked before the words are taken.
  const WideString* Source = &Text;
  WideString Cleaned;
  for (size_t Start = 0, P = Text.size() < MadeUpLength ? Text.size() + 1 : 0; P <= Text.size(); ++P) {
    if (P < Text.size() && Text[P] > u' ' && !FIsDelimiter.test(Text[P])) continue;
    if (IsMadeUp(Text.data() + Start, P - Start)) {
      if (Source == &Text) Source = &(Cleaned = Text);
      std::fill(Cleaned.begin() + static_cast<std::ptrdiff_t>(Start), Cleaned.begin() + static_cast<std::ptrdiff_t>(P),
                u' ');
    }
    Start = P + 1;
  }
  const WideString Low = Lower(SplitCamelCase(*Source));
  std::vector<WideString> Words;
  size_t Start = 0;
  auto Take = [&](size_t End) {
    if (End <= Start) return;
    WideString Word = Low.substr(Start, End - Start);
    if (!FStopWords.count(Word)) Words.push_back(std::move(Word));
  };
  for (size_t P = 0; P < Low.size(); ++P)
    if (Low[P] <= u' ' || FIsDelimiter.test(Low[P])) {
      Take(P);
      Start = P + 1;
    }
  Take(Low.size());
  return Words;
}

WideString TFieldRecognizer::Normalize(const WideString& Text) const {
  WideString Result;
  for (const WideString& Word : NormalWords(Text)) {
    if (!Result.empty()) Result += u' ';
    Result += Word;
  }
  return Result;
}

void TFieldRecognizer::Prepare(TPhrase& Phrase) const {
  Phrase.Words = NormalWords(Phrase.Raw);
  Phrase.Glued.clear();
  for (const WideString& W : Phrase.Words) Phrase.Glued += W;
}

void TFieldRecognizer::Add(int64_t FieldID, const WideString& Raw, bool Weak, int64_t Context) {
  TPhrase Item{FieldID, Raw, {}, {}};
  Prepare(Item);
  if (Item.Glued.empty()) return;
  auto It = FTargets.emplace(Item.Glued, TTarget{FieldID, false, Context}).first;
  if (Weak) FWeak.insert(Item.Glued);
  It->second.Weak = FWeak.count(Item.Glued) > 0;
  FLongestGlued = std::max(FLongestGlued, Item.Glued.size());
  if (const auto Glued = FContextGlued.find(FieldID); Glued != FContextGlued.end()) Glued->second.insert(Item.Glued);
  FPhrases.push_back(std::move(Item));
  FPhraseWeak.push_back(Weak);
  FPhraseContext.push_back(Context);
}

void TFieldRecognizer::AddPart(int64_t FieldID, const WideString& Phrase, int64_t Context) {
  if (!FContextGlued.count(Context)) {
    auto& Glued = FContextGlued[Context];
    for (const TPhrase& P : FPhrases)
      if (P.FieldID == Context && !P.Glued.empty()) Glued.insert(P.Glued);
  }
  Add(FieldID, Phrase, false, Context);
}

bool TFieldRecognizer::Mentions(const WideString& Text, int64_t Field) const {
  const auto Glued = FContextGlued.find(Field);
  if (Glued == FContextGlued.end() || Text.empty()) return false;
  const std::vector<WideString> Words = NormalWords(Text);
  for (size_t First = 0; First < Words.size(); ++First) {
    WideString Run;
    for (size_t Last = First; Last < Words.size() && Run.size() + Words[Last].size() <= FLongestGlued; ++Last) {
      Run += Words[Last];
      if (Glued->second.count(Run)) return true;
    }
  }
  return false;
}

void TFieldRecognizer::AddSynonym(int64_t FieldID, const WideString& Phrase) { Add(FieldID, Phrase, false); }

void TFieldRecognizer::AddNoFieldPhrase(const WideString& Phrase) { Add(NoField, Phrase, false); }

void TFieldRecognizer::AddContainer(const WideString& Phrase, int64_t FieldID) { Add(FieldID, Phrase, true); }

void TFieldRecognizer::AddYield(int64_t FieldID, int64_t Other, bool OnlySpelledOut) {
  FYields[FieldID][Other] = OnlySpelledOut;
}

void TFieldRecognizer::AddFormYield(const WideString& FormKind, int64_t FieldID, int64_t Other, bool EvenSpecific) {
  FFormYields[FormKind][FieldID] = TFormYield{Other, EvenSpecific};
}

void TFieldRecognizer::AddComplement(int64_t FieldID, int64_t Neighbour, int64_t Instead) {
  FComplements[FieldID].push_back({Neighbour, Instead});
}

void TFieldRecognizer::AddTypeHint(const WideString& InputType, int64_t FieldID, bool Alone,
                                   const std::vector<int64_t>& Overrules, bool Only) {
  FTypeRules[Lower(InputType)] = TTypeRule{FieldID, Alone, Overrules};
  if (Only) FOnlyIn[FieldID] = Lower(InputType);
}

void TFieldRecognizer::AddAutocomplete(const WideString& Token, int64_t FieldID) {
  FAutocomplete[Lower(Token)] = FieldID;
}

void TFieldRecognizer::AddNonTextType(const WideString& InputType) { FNonTextTypes.insert(Lower(InputType)); }

void TFieldRecognizer::AddChoiceType(const WideString& InputType) { FChoiceTypes.insert(Lower(InputType)); }

void TFieldRecognizer::SetChoiceField(int64_t FieldID) { FChoiceFields.insert(FieldID); }

// A phrase is found where its words, glued together, equal a run of consecutive words of the
// text glued together, so "first name", "firstname" and "FirstName" all find "first name". A
// phrase lying inside a longer one found is not counted ("e mail address" is no address, "forgot
// password" no password), unless it is specific and the longer one a container word with a field.
// Of the rest, the one furthest right wins, the longer on a tie: names put the specific word last
// ("shippingAddress.city") and captions stand before their control.
// Only the words nearest either end of a long text are read, so a lookup costs time linear in
// the text's length and bounded in the phrases it compares.
void TFieldRecognizer::Find(const WideString& Text, TFound& Strong, TFound& Weak, std::vector<int64_t>* Named) const {
  Strong = Weak = TFound{};
  // A text without blanks written as a path ("user[name]") has its own part at the end: where
  // anything is found there, it decides, and only a specific phrase may glue across into it
  // ("card[name]" is the card holder, "user[name]" no user name).
  size_t Boundary = WideString::npos;
  std::vector<WideString> Words;
  const bool IsName = std::none_of(Text.begin(), Text.end(), [](char16_t C) { return C <= u' '; });
  if (IsName) {
    const size_t End = Text.find_last_not_of(SegmentSeparators);
    const size_t Separator = End == WideString::npos ? End : Text.find_last_of(SegmentSeparators, End);
    if (Separator != WideString::npos) {
      Words = NormalWords(Text.substr(0, Separator));
      std::vector<WideString> Own = NormalWords(Text.substr(Separator + 1, End - Separator));
      if (!Own.empty()) Boundary = Words.size();
      Words.insert(Words.end(), std::make_move_iterator(Own.begin()), std::make_move_iterator(Own.end()));
    } else {
      Words = NormalWords(Text);
    }
  } else {
    Words = NormalWords(Text);
  }
  // A cut between the two ends keeps runs from joining across the words left out.
  size_t Cut = Words.size();
  if (Boundary == WideString::npos && Words.size() > LeadingWords + TrailingWords) {
    Words.erase(Words.begin() + static_cast<std::ptrdiff_t>(LeadingWords),
                Words.end() - static_cast<std::ptrdiff_t>(TrailingWords));
    Cut = LeadingWords;
  }
  std::vector<TCandidate> Found;
  for (size_t First = 0; First < Words.size(); ++First) {
    WideString Glued;
    const size_t End = First < Cut ? std::min(Cut, Words.size()) : Words.size();
    for (size_t Last = First; Last < End; ++Last) {
      Glued += Words[Last];
      // No phrase glues longer: a run that does cannot be one, nor can any longer run from here.
      if (Glued.size() > FLongestGlued) break;
      const auto It = FTargets.find(Glued);
      if (It != FTargets.end())
        Found.push_back({First, Last, It->second.FieldID, It->second.Weak, It->second.Context});
    }
  }
  // Words some phrase found, for telling a container word that another word qualifies ("project
  // name", "ip address", "arrival user") from one standing for the field itself.
  std::vector<bool> Covered(Words.size(), false);
  for (const TCandidate& C : Found)
    for (size_t I = C.First; I <= C.Last; ++I) Covered[I] = true;
  if (Boundary != WideString::npos) {
    std::erase_if(Found, [&](const TCandidate& C) { return C.Weak && C.First < Boundary && C.Last >= Boundary; });
    if (std::any_of(Found.begin(), Found.end(), [&](const TCandidate& C) { return C.Last >= Boundary; }))
      std::erase_if(Found, [&](const TCandidate& C) { return C.Last < Boundary; });
  }
  const TCandidate* BestStrong = nullptr;
  const TCandidate* BestWeak = nullptr;
  std::vector<int64_t> StrongFields;
  auto Better = [](const TCandidate& A, const TCandidate* B) {
    return !B || A.Last > B->Last || (A.Last == B->Last && A.Span() > B->Span());
  };
  auto Qualified = [&](const TCandidate& C) {
    if (C.First == 0 || C.First == Cut) return false;
    const WideString& Before = Words[C.First - 1];
    if (Covered[C.First - 1] || Before.size() < 2) return false;
    return !std::all_of(Before.begin(), Before.end(), [](char16_t Ch) { return Ch >= u'0' && Ch <= u'9'; });
  };
  for (const TCandidate& C : Found) {
    // A container word with a field of its own ("birth day") leaves a specific word inside it
    // ("day") standing; one without ("forgot password") and a specific phrase hide what they span.
    const bool Inside = std::any_of(Found.begin(), Found.end(), [&](const TCandidate& D) {
      return D.First <= C.First && D.Last >= C.Last && D.Span() > C.Span() &&
             !(D.Weak && D.FieldID >= 0 && !C.Weak);
    });
    if (Inside) continue;
    if (C.Weak) {
      if (C.FieldID >= 0 && !Qualified(C)) {
        if (Named) Named->push_back(C.FieldID);
        if (Better(C, BestWeak)) BestWeak = &C;
      }
    } else {
      if (Named) Named->push_back(C.FieldID);
      if (C.FieldID != NoField && std::find(StrongFields.begin(), StrongFields.end(), C.FieldID) == StrongFields.end())
        StrongFields.push_back(C.FieldID);
      if (Better(C, BestStrong)) BestStrong = &C;
    }
  }
  // A name ends in what it is: a container word with a field there ("CompanyAddress",
  // "companyLoginName") says more than a specific word qualifying it.
  if (IsName && BestStrong && BestWeak && BestWeak->Last + 1 == Words.size() &&
      BestStrong->Last < BestWeak->First && BestStrong->FieldID != NoField)
    BestStrong = nullptr;
  if (BestStrong)
    Strong = TFound{BestStrong->FieldID, true, static_cast<int>(StrongFields.size()), Words.size(), BestStrong->Context};
  if (BestWeak) Weak = TFound{BestWeak->FieldID, true, 1, Words.size()};
}

// The text asked about decides; the rest is evidence. A specific phrase in it answers (or, when
// it is one of the kinds no profile holds, answers that). Container words alone ("address",
// "username", "name") answer only when the other evidence does not say more: an autocomplete
// token, or a specific phrase in the control's other texts (a login box named username whose
// caption asks for an e-mail address). The input type answers alone only where the data lets it,
// overrules the answers it contradicts, and some types hold no text value at all.
int64_t TFieldRecognizer::Classify(const WideString& Name, const TLookupEvidence& Evidence,
                                   const WideString& TagName) const {
  const WideString Type = Lower(Evidence.InputType);
  if (FNonTextTypes.count(Type)) return -1;
  int64_t Token = -1;
  {
    const WideString Tokens = Lower(Evidence.Autocomplete);
    size_t Start = 0;
    while (Start < Tokens.size()) {
      size_t End = Tokens.find_first_of(u" \t\r\n\f", Start);
      if (End == WideString::npos) End = Tokens.size();
      const auto It = FAutocomplete.find(Tokens.substr(Start, End - Start));
      if (It != FAutocomplete.end()) Token = It->second;
      Start = End + 1;
    }
  }
  if (Token == NoField) return NoField;
  TFound Strong, Weak;
  Find(Name, Strong, Weak);
  int64_t Answer = -1;
  // A short caption naming several fields ("City, State, Zip") is a box for all of them, or for
  // any: none of them alone. Not so a name: names glue prefixes and containers to their field
  // word ("ContentPlaceHolder1txtEmail" says "holder").
  const bool Caption = std::any_of(Name.begin(), Name.end(), [](char16_t C) { return C <= u' '; });
  if (Caption && Strong.Any && Strong.FieldID != NoField && Strong.Fields >= 2 && Strong.Words <= AmbiguousWords)
    return -1;
  if (Strong.Any) {
    if (Strong.FieldID == NoField) return NoField;
    Answer = Strong.FieldID;
    // A part said alone ("year") is that field's only where the control or its neighbours speak
    // of the whole (a birth date); else it is another date's (a card's expiry, a car's model).
    if (Strong.Context >= 0) {
      bool Said = Mentions(Name, Strong.Context);
      for (const WideString& Text : Evidence.Texts) Said = Said || Mentions(Text, Strong.Context);
      for (const WideString& Text : Evidence.Near) Said = Said || Mentions(Text, Strong.Context);
      // Or its neighbours are the whole's other parts: day, month and year side by side.
      std::vector<int64_t> Parts;
      for (const WideString& Text : Evidence.Near) {
        if (Said) break;
        TFound S, W;
        Find(Text, S, W);
        if (S.Any && S.Context == Strong.Context && S.FieldID != Answer &&
            std::find(Parts.begin(), Parts.end(), S.FieldID) == Parts.end())
          Parts.push_back(S.FieldID);
        Said = Parts.size() >= 2;
      }
      if (!Said) return -1;
    }
    // The lookups after the name's: when the name says the control is of a kind no profile
    // holds, a field word in its caption or placeholder does not make it one.
    if (!Evidence.Name.empty()) {
      TFound S, W;
      Find(Evidence.Name, S, W);
      if (S.Any && S.FieldID == NoField) return NoField;
    }
    // A form of a kind that never asks for the field (a login form and a person's last name)
    // means another, unless the control's other texts say that field too.
    const auto Kind = FFormYields.find(Evidence.Form);
    if (Kind != FFormYields.end()) {
      const auto To = Kind->second.find(Answer);
      if (To != Kind->second.end() && To->second.EvenSpecific) {
        bool Said = false;
        for (const WideString& Text : Evidence.Texts) {
          TFound S, W;
          Find(Text, S, W);
          Said = Said || (S.Any && S.FieldID == Answer);
        }
        if (!Said) Answer = To->second.Instead;
      }
    }
  } else if (Weak.Any) {
    // The nearest of the other texts that says anything says what the control is about.
    TFound Other;
    bool OtherSpecific = false;
    // All a text names: one that names the container's field besides another ("login or e-mail")
    // leaves the container's answer standing.
    std::vector<int64_t> OtherNamed;
    for (const WideString& Text : Evidence.Texts) {
      TFound S, W;
      OtherNamed.clear();
      Find(Text, S, W, &OtherNamed);
      if (S.Any || W.Any) {
        Other = S.Any ? S : W;
        OtherSpecific = S.Any;
        break;
      }
    }
    const bool OtherNamesAnswer =
        std::find(OtherNamed.begin(), OtherNamed.end(), Weak.FieldID) != OtherNamed.end();
    if (Other.Any && Other.FieldID == NoField) return NoField;
    Answer = Weak.FieldID;
    // A title, a country or a state said by a container word alone: only where the control picks
    // among choices is it likely that one.
    const bool Chooses = FChoiceTypes.count(Type) || Lower(TagName) == u"select";
    if (FChoiceFields.count(Answer) && !Chooses) Answer = -1;
    const auto Yields = FYields.find(Weak.FieldID);
    const auto Kind = FFormYields.find(Evidence.Form);
    if (Token >= 0) {
      Answer = Token;
    } else {
      if (Other.Any && !OtherNamesAnswer && Yields != FYields.end()) {
        auto YieldsTo = [&](int64_t Field) {
          const auto To = Yields->second.find(Field);
          return To != Yields->second.end() && (OtherSpecific || !To->second);
        };
        // Of several fields named alike ("user name or e-mail"), the first it gives way to.
        if (Other.Fields < 2) {
          if (YieldsTo(Other.FieldID)) Answer = Other.FieldID;
        } else if (Other.Words <= AmbiguousWords) {
          const auto First = std::find_if(OtherNamed.begin(), OtherNamed.end(), YieldsTo);
          if (First != OtherNamed.end()) Answer = *First;
        }
      }
      if (Answer >= 0 && !(OtherSpecific && Other.FieldID == Answer) && Kind != FFormYields.end()) {
        // What the kind of form says, unless the control's own texts spell the field out.
        const auto To = Kind->second.find(Answer);
        if (To != Kind->second.end()) Answer = To->second.Instead;
      }
    }
    // What the neighbours are named for, unless the control's own texts spell the field out.
    const auto Complements = FComplements.find(Answer);
    if (Token < 0 && Complements != FComplements.end() && !(OtherSpecific && Other.FieldID == Answer) &&
        !Evidence.Near.empty()) {
      std::vector<int64_t> Beside;
      for (const WideString& Near : Evidence.Near) {
        TFound S, W;
        Find(Near, S, W);
        if (S.Any || W.Any) Beside.push_back(S.Any ? S.FieldID : W.FieldID);
      }
      auto Has = [&](int64_t Field) { return std::find(Beside.begin(), Beside.end(), Field) != Beside.end(); };
      for (const TComplement& C : Complements->second)
        if (Has(C.Neighbour) && !Has(C.Instead)) {
          Answer = C.Instead;
          break;
        }
    }
  }
  const auto Rule = FTypeRules.find(Type);
  if (Rule != FTypeRules.end()) {
    const TTypeRule& R = Rule->second;
    if (Answer < 0 && R.Alone) Answer = R.FieldID;
    if (std::find(R.Overrules.begin(), R.Overrules.end(), Answer) != R.Overrules.end()) Answer = R.FieldID;
  }
  if (Answer >= 0 && FChoiceTypes.count(Type) && !FChoiceFields.count(Answer)) return -1;
  // A field only boxes of one type hold (a password, typed into a masked box) is another box's
  // only where its name says so: a caption of a plain box that speaks of a password is the
  // neighbouring box's.
  if (const auto Only = FOnlyIn.find(Answer); Only != FOnlyIn.end() && Only->second != Type && !Evidence.Name.empty())
    return -1;
  return Answer;
}

int64_t TFieldRecognizer::Recognize(const WideString& Name, const WideString& TypeArgument,
                                    const WideString& TagName) const {
  const int64_t Field = Classify(Name, TLookupEvidence::Parse(TypeArgument), TagName);
  return Field == NoField ? -1 : Field;
}

}  // namespace pel::store
