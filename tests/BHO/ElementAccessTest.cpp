// Reading and writing form controls on pages of the headless browser: the four strings a control
// reads as, the writes of every control kind, the ways a select is matched, the page's change
// script run once by a fill, and the text helpers the matching rests on.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <ostream>
#include <string>

#include "BHO/ElementAccess.h"
#include "headless/HeadlessBrowser.h"
#include "platform/Services.h"
#include "support/SwitchableLocale.h"

using namespace pel;
using namespace pel::headless;

namespace {

TWideStringList List(std::initializer_list<WideString> Items) {
  TWideStringList L;
  for (const WideString& S : Items) L.Add(S);
  return L;
}

const WideString M(1, LexiconMarker);

// Markup given inline rather than as a fixture file.
struct THtml {
  std::string Text;
};

// A page of the access fixtures, loaded with its scripts; each script counts its runs. Scripts
// hold the page, so it stays where it was made.
class TPage {
public:
  explicit TPage(const std::string& File) {
    Prepare();
    Browser->LoadFile(std::string(PEL_FIXTURES_DIR) + "/access/" + File);
  }
  explicit TPage(const THtml& Html) {
    Prepare();
    Browser->LoadHTML(Html.Text, u"http://a.com/");
  }
  TPage(const TPage&) = delete;
  TPage& operator=(const TPage&) = delete;

  TElementRef El(const WideString& Id) const {
    auto E = Browser->HtmlDocument()->FindById(Id);
    if (!E) throw Exception("no element " + WideToAscii(Id));
    return E;
  }
  TSelectRef Select(const WideString& Id) const { return Supports<IHTMLSelectElement>(El(Id)); }
  TInputRef Input(const WideString& Id) const { return Supports<IHTMLInputElement>(El(Id)); }
  TOptionRef Option(const WideString& Id, int32_t Index) const {
    return Supports<IHTMLOptionElement>(Select(Id)->Item(Index));
  }
  // The values of the selected options, in order, joined by "|".
  WideString Selected(const WideString& Id) const {
    WideString R;
    auto S = Select(Id);
    for (int32_t I = 0; I < S->Length(); ++I) {
      auto O = Supports<IHTMLOptionElement>(S->Item(I));
      if (!O->Selected()) continue;
      if (!R.empty()) R += u"|";
      R += O->Value();
    }
    return R;
  }
  int RunsOf(const WideString& Name) const {
    auto It = Runs.find(Name);
    return It == Runs.end() ? 0 : It->second;
  }

  std::shared_ptr<THeadlessBrowser> Browser;
  std::map<WideString, int> Runs;
  std::function<void(const WideString& Name, THtmlElement& Target)> OnScript;

private:
  void Prepare() {
    Browser = THeadlessBrowser::CreateTop(nullptr);
    for (const char16_t* Name : {u"Changed", u"Clicked", u"FormClicked"})
      Browser->DefineScript(Name, [this, Name](THtmlElement& E) {
        ++Runs[Name];
        if (OnScript) OnScript(Name, E);
      });
  }
};

struct TRead {
  WideString Name, Tag, Type, Value;
  friend bool operator==(const TRead&, const TRead&) = default;
};
std::ostream& operator<<(std::ostream& Out, const TRead& R) {
  return Out << "{" << WideToAscii(R.Name) << ", " << WideToAscii(R.Tag) << ", " << WideToAscii(R.Type) << ", "
             << WideToAscii(R.Value) << "}";
}

TRead Read(const TElementRef& E) {
  TRead R{u"junk", u"junk", u"junk", u"junk"};
  ReadElement(E, R.Name, R.Tag, R.Type, R.Value);
  return R;
}

}  // namespace

// ---- Reading

TEST(ElementAccessRead, EveryControlKindReadsAsFourStrings) {
  TPage Page("read.html");
  const struct {
    const char16_t* Id;
    TRead Expected;
  } Cases[] = {
      {u"text", {u"Login", u"input", u"text", u"jane"}},
      {u"typed", {u"pw", u"input", u"password", u"s3cret"}},
      {u"on", {u"news", u"input", u"checkbox", u"true"}},
      {u"off", {u"spam", u"input", u"checkbox", u"false"}},
      {u"radio", {u"size", u"input", u"radio", u"true"}},
      {u"hidden", {u"token", u"input", u"hidden", u"t-1"}},
      {u"submit", {u"go", u"input", u"submit", u"Send"}},
      {u"notes", {u"notes", u"textarea", u"", u"Line one\nline two"}},
      {u"city", {u"city", u"select", u"select-one", u"ny"}},
      // An option without a value counts with its trimmed text; the list is comma text.
      {u"many", {u"colours", u"select", u"select-multiple", u"red,\"Dark Blue\",\"a, \"\"b\"\"\""}},
      // Nothing selected: the select's own value.
      {u"none", {u"none", u"select", u"select-one", u""}},
      // The one selected option has neither value nor text.
      {u"blank", {u"blank", u"select", u"select-one", u""}},
      {u"button", {u"", u"", u"", u""}},
      {u"div", {u"", u"", u"", u""}},
  };
  for (const auto& C : Cases) EXPECT_EQ(Read(Page.El(C.Id)), C.Expected) << WideToAscii(C.Id);
}

TEST(ElementAccessRead, SelectTellsWhetherTheSelectionIsThePagesOwn) {
  TPage Page("read.html");
  WideString Name, Type, Value;
  bool IsDefault = false;
  ReadSelect(Page.Select(u"city"), Name, Type, Value, IsDefault);
  EXPECT_TRUE(IsDefault);
  Page.Browser->UserSelect(*Page.Browser->HtmlDocument()->FindById(u"city"), 0);
  ReadSelect(Page.Select(u"city"), Name, Type, Value, IsDefault);
  EXPECT_EQ(Value, u"p");
  EXPECT_FALSE(IsDefault);

  // The last option that counts decides: here a user's addition to the page's choice.
  ReadSelect(Page.Select(u"preset"), Name, Type, Value, IsDefault);
  EXPECT_TRUE(IsDefault);
  Page.Browser->UserSelect(*Page.Browser->HtmlDocument()->FindById(u"preset"), 0, false);
  ReadSelect(Page.Select(u"preset"), Name, Type, Value, IsDefault);
  EXPECT_EQ(Value, u"y");
  EXPECT_TRUE(IsDefault);

  ReadSelect(Page.Select(u"none"), Name, Type, Value, IsDefault);
  EXPECT_FALSE(IsDefault);
}

TEST(ElementAccessRead, SelectedTextsAreTheUntrimmedTexts) {
  TPage Page("read.html");
  WideString Texts = u"junk";
  ReadSelectedTexts(Page.Select(u"city"), Texts);
  EXPECT_EQ(Texts, u"\"New York\"");
  ReadSelectedTexts(Page.Select(u"preset"), Texts);
  EXPECT_EQ(Texts, u"X,Y");
  ReadSelectedTexts(Page.Select(u"many"), Texts);
  TWideStringList Back;
  Back.SetCommaText(Texts);
  ASSERT_EQ(Back.Count(), 3);
  EXPECT_EQ(Back[1], u"Dark Blue");  // the browser gives an option's text with its blanks collapsed
  ReadSelectedTexts(Page.Select(u"none"), Texts);
  EXPECT_EQ(Texts, u"");
}

TEST(ElementAccessRead, TypeAttributeIsLowerCased) {
  TPage Page(THtml{R"(<input id=i type="ÉTRANGE"><select id=s multiple></select><p id=p>)"});
  WideString T = u"junk";
  ReadTypeAttribute(Page.El(u"i"), T);
  EXPECT_EQ(T, u"étrange");  // not only ASCII
  ReadTypeAttribute(Page.El(u"s"), T);
  EXPECT_EQ(T, u"select-multiple");
  ReadTypeAttribute(Page.El(u"p"), T);
  EXPECT_EQ(T, u"");
}

TEST(ElementAccessAttributes, TextIsReadAndWrittenByAnyCaseOfTheName) {
  TPage Page(THtml{R"(<input id=i Profile-Field="email" data-empty="">)"});
  const TElementRef E = Page.El(u"i");
  WideString V = u"junk";
  EXPECT_TRUE(GetAttributeText(E, u"profile-field", V));
  EXPECT_EQ(V, u"email");
  EXPECT_TRUE(GetAttributeText(E, u"data-empty", V));
  EXPECT_EQ(V, u"");
  EXPECT_FALSE(GetAttributeText(E, u"missing", V));
  EXPECT_EQ(V, u"");

  SetAttributeText(E, u"PROFILE-FIELD", u"phone");
  EXPECT_TRUE(GetAttributeText(E, u"Profile-Field", V));
  EXPECT_EQ(V, u"phone");
  SetAttributeText(E, u"profile-field", u"");  // written empty, not removed
  EXPECT_TRUE(GetAttributeText(E, u"profile-field", V));
  EXPECT_EQ(V, u"");
  EXPECT_EQ(E->GetAttribute(u"profile-field", AttributeIgnoreCase), TVariant(u""));

  E->SetAttribute(u"formid", TVariant(int32_t{7}), AttributeIgnoreCase);
  EXPECT_TRUE(GetAttributeText(E, u"FormID", V));
  EXPECT_EQ(V, u"7");
}

// ---- Inputs and text areas

TEST(ElementAccessFill, InputsByType) {
  const struct {
    const char16_t* Id;
    WideString Value;
    TWideStringList Values;
    bool Result;
    WideString ReadBack;
    int Clicks;
  } Cases[] = {
      {u"on", u"false", {}, true, u"false", 1},
      {u"on", u"true", {}, true, u"true", 0},
      {u"off", u"TRUE", {}, true, u"false", 0},  // only "true" checks
      {u"off", u"true", {}, true, u"true", 1},
      {u"small", u"false", {}, true, u"true", 0},  // a checked radio button stays checked
      {u"large", u"true", {}, true, u"true", 1},
      {u"large", u"false", {}, true, u"false", 0},
      {u"text", u"abcdefgh", {}, true, u"abcde", 0},  // maxlength 5
      {u"text", u"", List({u"first", u"second"}), true, u"first", 0},
      {u"text", u"", {}, true, u"", 0},
      {u"text", u"abcd\U0001F600", {}, true, u"abcd", 0},  // no half character
      {u"long", u"abcdefgh", List({u"first"}), true, u"abcdefgh", 0},
      {u"pw", u"secret", {}, true, u"secret", 0},
      {u"hidden", u"new", List({u"new"}), false, u"keep", 0},
      {u"submit", u"new", {}, false, u"Send", 0},
      {u"button", u"new", {}, false, u"keep", 0},
      {u"reset", u"new", {}, false, u"keep", 0},
  };
  for (const auto& C : Cases) {
    TPage Page("inputs.html");
    const auto Requests = Page.Browser->Requests.size();
    EXPECT_EQ(FillInput(Page.Input(C.Id), 0, C.Value, C.Values), C.Result) << WideToAscii(C.Id);
    EXPECT_EQ(Read(Page.El(C.Id)).Value, C.ReadBack) << WideToAscii(C.Id) << " " << WideToAscii(C.Value);
    EXPECT_EQ(Page.RunsOf(u"Clicked"), C.Clicks) << WideToAscii(C.Id) << " " << WideToAscii(C.Value);
    EXPECT_EQ(Page.Browser->Requests.size(), Requests) << WideToAscii(C.Id);  // nothing submitted
  }
}

TEST(ElementAccessFill, CheckingARadioButtonUnchecksItsGroup) {
  TPage Page("inputs.html");
  EXPECT_TRUE(FillElement(Page.El(u"large"), 0, u"true", TLexicon(), {}));
  EXPECT_TRUE(Page.Input(u"large")->Checked());
  EXPECT_FALSE(Page.Input(u"small")->Checked());
}

TEST(ElementAccessFill, TextAreaTakesValueOrFirstAlternativeByKind) {
  const struct {
    int32_t Kind;
    TWideStringList Values;
    WideString Expected;
  } Cases[] = {
      {ValueKindList, List({u"w"}), u"v"},
      {0, List({u"w"}), u"v"},
      {ValueKindWords, List({u"w", u"x"}), u"w"},
      {ValueKindPhrases, List({u"w"}), u"w"},
      {ValueKindPhrases, {}, u""},
      {0x104, List({u"w"}), u"w"},  // the low byte decides
      {0x100, List({u"w"}), u"v"},
      {0x1FF, List({u"w"}), u"v"},
  };
  for (const auto& C : Cases) {
    TPage Page("inputs.html");
    EXPECT_TRUE(FillElement(Page.El(u"notes"), C.Kind, u"v", TLexicon(), C.Values)) << C.Kind;
    EXPECT_EQ(Read(Page.El(u"notes")).Value, C.Expected) << C.Kind;
  }
}

TEST(ElementAccessFill, OnlyFormFieldsAreWritten) {
  TPage Page("inputs.html");
  EXPECT_FALSE(FillElement(Page.El(u"div"), 0, u"new", TLexicon(), List({u"new"})));
  EXPECT_EQ(Page.El(u"div")->InnerText(), u"old");
  EXPECT_TRUE(FillElement(Page.El(u"pw"), 0, u"new", TLexicon(), {}));
  EXPECT_FALSE(FillElement(Page.El(u"hidden"), 0, u"new", TLexicon(), {}));
}

// ---- Selects: direct match

TEST(ElementAccessSelect, DirectMatchIgnoresBlanksAndCase) {
  const struct {
    WideString Value;
    bool Result;
    WideString Selected;
  } Cases[] = {
      {u"new york", true, u"NY"},       // the text, blanks collapsed, case ignored
      {u"  NEW   york ", true, u"NY"},  // the wanted value likewise
      {u"new york city", true, u"x"},
      {u"p", true, u"P"},  // the option's value
      {u"Paris", true, u"P"},
      {u"new", false, u""},  // no partial match
      {u"   ", false, u""},  // blanks are no value
  };
  for (const auto& C : Cases) {
    TPage Page("multiple.html");
    EXPECT_EQ(FillSelect(Page.Select(u"city"), 0, C.Value, TLexicon(), {}), C.Result) << WideToAscii(C.Value);
    EXPECT_EQ(Page.Selected(u"city"), C.Selected) << WideToAscii(C.Value);
    EXPECT_EQ(Page.RunsOf(u"Changed"), C.Result ? 1 : 0) << WideToAscii(C.Value);
  }
}

// Lists of days and months write numbers with or without leading zeros: a number is matched by its
// value only when no option says it alike, and nothing but digits is read as a number.
TEST(ElementAccessSelect, ANumberMatchesTheSameNumberWithLeadingZeros) {
  const struct {
    const char16_t* Select;
    WideString Value;
    bool Result;
    WideString Selected;
  } Cases[] = {
      {u"month", u"4", true, u"04"},
      {u"month", u"0010", true, u"10"},
      {u"month", u"1", true, u"01"},
      {u"month", u"40", false, u""},
      {u"month", u"4x", true, u"4x"},
      {u"day", u"4", true, u"plain"},  // the option that says it alike, though a zero-led one comes first
      {u"day", u"004", true, u"zero-led"},
  };
  for (const auto& C : Cases) {
    TPage Page("multiple.html");
    EXPECT_EQ(FillSelect(Page.Select(C.Select), 0, C.Value, TLexicon(), {}), C.Result) << WideToAscii(C.Value);
    EXPECT_EQ(Page.Selected(C.Select), C.Selected) << WideToAscii(C.Value);
  }
}

TEST(ElementAccessSelect, ListKindSelectsEveryItemOfAMultipleSelectWithoutChangeScripts) {
  TPage Page("multiple.html");
  EXPECT_TRUE(FillSelect(Page.Select(u"list"), ValueKindList, u"Alpha,b", TLexicon(), {}));
  // Gamma's preselection is gone, and the option without a value is not picked up by clearing.
  EXPECT_EQ(Page.Selected(u"list"), u"a|b");
  EXPECT_EQ(Page.RunsOf(u"Changed"), 0);

  // An empty list is an empty selection.
  EXPECT_TRUE(FillSelect(Page.Select(u"list"), ValueKindList, u"", TLexicon(), {}));
  EXPECT_EQ(Page.Selected(u"list"), u"");
  EXPECT_EQ(Page.Select(u"list")->SelectedIndex(), -1);
}

TEST(ElementAccessSelect, ListKindWithAMissingItemFailsWithoutAlternatives) {
  TPage Page("multiple.html");
  // The words would match Gamma, but a list is never matched by its alternatives.
  EXPECT_FALSE(FillSelect(Page.Select(u"list"), ValueKindList, u"a,zeta", TLexicon(), List({u"gamma"})));
  EXPECT_EQ(Page.Selected(u"list"), u"a");
  EXPECT_EQ(Page.RunsOf(u"Changed"), 0);
}

TEST(ElementAccessSelect, ClearSelectLeavesNothingSelected) {
  TPage Page("multiple.html");
  ClearSelect(Page.Select(u"list"));
  EXPECT_EQ(Page.Select(u"list")->SelectedIndex(), -1);
  // A drop-down list too, though its first option has an empty value.
  ClearSelect(Page.Select(u"city"));
  EXPECT_EQ(Page.Select(u"city")->SelectedIndex(), -1);
  EXPECT_EQ(Page.RunsOf(u"Changed"), 0);
}

// ---- Selects: the page's change script

TEST(ElementAccessSelect, ChangeScriptRunsOnceAndTheClickHandlerComesBack) {
  TPage Page("change.html");
  const TVariant OwnClick = Page.El(u"both")->GetEventHandler(u"onclick");
  ASSERT_EQ(OwnClick.VarType(), TVarType::Object);
  EXPECT_TRUE(FillSelect(Page.Select(u"both"), 0, u"two", TLexicon(), {}));
  EXPECT_EQ(Page.Selected(u"both"), u"2");
  EXPECT_EQ(Page.RunsOf(u"Changed"), 1);
  EXPECT_EQ(Page.RunsOf(u"Clicked"), 0);      // the page's click script did not run
  EXPECT_EQ(Page.RunsOf(u"FormClicked"), 1);  // the click was real: it bubbled
  EXPECT_EQ(Page.El(u"both")->GetEventHandler(u"onclick"), OwnClick);

  // The user's next click runs the page's click script, not the change script.
  Page.Browser->UserClick(*Page.Browser->HtmlDocument()->FindById(u"both"));
  EXPECT_EQ(Page.RunsOf(u"Clicked"), 1);
  EXPECT_EQ(Page.RunsOf(u"Changed"), 1);

  // Nothing changes, nothing runs.
  EXPECT_TRUE(FillSelect(Page.Select(u"both"), 0, u"two", TLexicon(), {}));
  EXPECT_EQ(Page.RunsOf(u"Changed"), 1);
}

TEST(ElementAccessSelect, WithoutAClickHandlerNoneIsLeftBehind) {
  TPage Page("change.html");
  EXPECT_TRUE(FillSelect(Page.Select(u"change"), 0, u"Two", TLexicon(), {}));
  EXPECT_EQ(Page.RunsOf(u"Changed"), 1);
  EXPECT_TRUE(Page.El(u"change")->GetEventHandler(u"onclick").IsNull());
}

TEST(ElementAccessSelect, WithoutAChangeScriptNothingIsClicked) {
  TPage Page("change.html");
  EXPECT_TRUE(FillSelect(Page.Select(u"quiet"), 0, u"Two", TLexicon(), {}));
  EXPECT_EQ(Page.Selected(u"quiet"), u"2");
  EXPECT_EQ(Page.RunsOf(u"Clicked"), 0);
  EXPECT_EQ(Page.RunsOf(u"FormClicked"), 0);
}

TEST(ElementAccessSelect, AFailingChangeScriptFailsNothingAndRestoresTheClickHandler) {
  TPage Page("change.html");
  const TVariant OwnClick = Page.El(u"both")->GetEventHandler(u"onclick");
  Page.OnScript = [](const WideString& Name, THtmlElement&) {
    if (Name == u"Changed") throw Exception("script error");
  };
  EXPECT_TRUE(FillSelect(Page.Select(u"both"), 0, u"three", TLexicon(), {}));
  EXPECT_EQ(Page.Selected(u"both"), u"3");
  EXPECT_EQ(Page.RunsOf(u"Changed"), 1);
  EXPECT_EQ(Page.El(u"both")->GetEventHandler(u"onclick"), OwnClick);
}

TEST(ElementAccessSelect, TheChosenOptionStaysSelectedWhateverTheScriptSelects) {
  TPage Page("change.html");
  Page.OnScript = [&](const WideString& Name, THtmlElement&) {
    if (Name == u"Changed") Page.Option(u"both", 0)->SetSelected(true);
  };
  EXPECT_TRUE(FillSelect(Page.Select(u"both"), 0, u"Three", TLexicon(), {}));
  EXPECT_EQ(Page.Selected(u"both"), u"3");
}

TEST(ElementAccessSelect, SetOptionSelectedFiresOnlyWhenAskedAndSelecting) {
  TPage Page("change.html");
  SetOptionSelected(Page.Select(u"change"), Page.Option(u"change", 1), true, false);
  EXPECT_EQ(Page.RunsOf(u"Changed"), 0);
  SetOptionSelected(Page.Select(u"change"), Page.Option(u"change", 1), false, true);
  EXPECT_EQ(Page.RunsOf(u"Changed"), 0);
  EXPECT_FALSE(Page.Option(u"change", 1)->Selected());
  SetOptionSelected(Page.Select(u"change"), Page.Option(u"change", 0), true, true);
  EXPECT_EQ(Page.RunsOf(u"Changed"), 1);
  SetOptionSelected(Page.Select(u"change"), Page.Option(u"change", 0), true, true);  // already selected
  EXPECT_EQ(Page.RunsOf(u"Changed"), 1);
}

// ---- Selects: word match

TEST(ElementAccessSelect, WordMatchPicksTheOptionThatHoldsTheWordsClosest) {
  TPage Page("words.html");
  EXPECT_TRUE(FillSelect(Page.Select(u"apples"), ValueKindWords, u"", TLexicon(), List({u"red", u"apple"})));
  EXPECT_EQ(Page.Selected(u"apples"), u"apple");  // "red apple" leaves less than "red apple pie"
  EXPECT_EQ(Page.RunsOf(u"Changed"), 1);
}

TEST(ElementAccessSelect, WordMatchTieBreaks) {
  // Words "red" and "apple"; the options in order; the option that must win (0 = none).
  const struct {
    std::vector<std::string> Options;
    TWideStringList Words;
    int Winner;
  } Cases[] = {
      {{"red apple pie", "red apple"}, List({u"red", u"apple"}), 2},  // smaller rest
      {{"red", "apple red"}, List({u"red", u"apple"}), 2},            // more words beat a smaller rest
      {{"red ab", "apple ab"}, List({u"red", u"apple"}), 2},          // equal rest: the longer text
      {{"red ab", "red ab"}, List({u"red", u"apple"}), 1},            // complete tie: the earlier
      {{"reddish", "red-ish"}, List({u"red"}), 2},                    // punctuation delimits
      {{"shred red"}, List({u"red"}), 1},                             // a later occurrence counts
      {{"Red Wine"}, List({u"RED"}), 1},                              // case does not decide
      {{"green", "blue"}, List({u"red"}), 0},
      {{"green", "blue"}, List({u""}), 0},
  };
  for (const auto& C : Cases) {
    std::string Html = "<select id=s onchange=\"Changed()\"><option value=0>none";
    std::string Label;
    for (size_t I = 0; I < C.Options.size(); ++I) {
      Html += "<option value=" + std::to_string(I + 1) + ">" + C.Options[I];
      Label += C.Options[I] + " / ";
    }
    TPage Page(THtml{Html + "</select>"});
    EXPECT_EQ(FillSelect(Page.Select(u"s"), ValueKindWords, u"", TLexicon(), C.Words), C.Winner != 0) << Label;
    EXPECT_EQ(Page.Selected(u"s"), IntToWideStr(C.Winner)) << Label;
    EXPECT_EQ(Page.RunsOf(u"Changed"), C.Winner != 0 ? 1 : 0) << Label;
  }
}

TEST(ElementAccessSelect, WordMatchOnAMultipleSelectTakesEveryOptionWithAWord) {
  TPage Page("words.html");
  EXPECT_TRUE(FillSelect(Page.Select(u"basket"), 0x104, u"", TLexicon(), List({u"apple", u"red"})));
  EXPECT_EQ(Page.Selected(u"basket"), u"2|3|5");  // not "Apples"; the preselected pears are gone
  EXPECT_EQ(Page.RunsOf(u"Changed"), 0);
  EXPECT_FALSE(FillSelect(Page.Select(u"basket"), ValueKindWords, u"", TLexicon(), List({u"plum"})));
  EXPECT_EQ(Page.Selected(u"basket"), u"");
}

TEST(ElementAccessSelect, ADirectMatchComesBeforeTheAlternatives) {
  TPage Page("words.html");
  EXPECT_TRUE(FillSelect(Page.Select(u"apples"), ValueKindWords, u"green apple", TLexicon(), List({u"red"})));
  EXPECT_EQ(Page.Selected(u"apples"), u"green");
  // Not found directly: the words decide.
  EXPECT_TRUE(FillSelect(Page.Select(u"apples"), ValueKindWords, u"yellow", TLexicon(), List({u"pie"})));
  EXPECT_EQ(Page.Selected(u"apples"), u"pie");
  // A plain kind has no alternatives.
  EXPECT_FALSE(FillSelect(Page.Select(u"apples"), 0, u"yellow", TLexicon(), List({u"nothing"})));
  EXPECT_EQ(Page.Selected(u"apples"), u"pie");
}

// ---- Selects: lexicon match

TEST(ElementAccessSelect, LexiconMatchExpandsSubstitutions) {
  TPage Page("words.html");
  TLexicon Lexicon;  // "plugins" stands for "plug-ins" and "plug-in's"
  EXPECT_TRUE(FillSelect(Page.Select(u"plugins"), ValueKindPhrases, u"", Lexicon, List({M + u"plugins" + M})));
  EXPECT_EQ(Page.Selected(u"plugins"), u"2");
  EXPECT_EQ(Page.RunsOf(u"Changed"), 1);

  EXPECT_TRUE(FillSelect(Page.Select(u"plugins"), 0x205, u"", Lexicon, List({u"extensions"})));
  EXPECT_EQ(Page.Selected(u"plugins"), u"1");

  // No phrase matches: the select keeps what it had.
  EXPECT_FALSE(FillSelect(Page.Select(u"plugins"), ValueKindPhrases, u"", Lexicon, List({u"themes", u""})));
  EXPECT_EQ(Page.Selected(u"plugins"), u"1");
  EXPECT_EQ(Page.RunsOf(u"Changed"), 2);
}

TEST(ElementAccessSelect, LexiconMatchOnAMultipleSelectTakesEveryPhrase) {
  TPage Page("words.html");
  TLexicon Lexicon;
  const TWideStringList Values = List({M + u"addons" + M, M + u"plugins" + M});
  EXPECT_TRUE(FillSelect(Page.Select(u"features"), ValueKindPhrases, u"", Lexicon, Values));
  EXPECT_EQ(Page.Selected(u"features"), u"1|2");
  // "And / Or" is only stop words; an empty phrase does not name it.
  EXPECT_FALSE(FillSelect(Page.Select(u"features"), ValueKindPhrases, u"", Lexicon, List({u""})));
  EXPECT_EQ(Page.Selected(u"features"), u"");
}

TEST(ElementAccessSelect, LexiconMatchUsesTheLexiconsOwnSubstitutions) {
  TPage Page(THtml{"<select id=s><option value=0>Shade<option value=1>Hue<option value=2>Tint</select>"});
  TLexicon Lexicon;
  Lexicon.AddSubstitution(u"Colour", List({u"HUE", u"tint"}));
  EXPECT_TRUE(FillElement(Page.El(u"s"), ValueKindPhrases, u"", Lexicon, List({M + u"colour" + M})));
  EXPECT_EQ(Page.Selected(u"s"), u"1");  // the first phrase of the expansion that an option has
  EXPECT_FALSE(FillElement(Page.El(u"s"), ValueKindPhrases, u"", TLexicon(), List({M + u"colour" + M})));
}

// ---- Text helpers

TEST(ElementAccessText, NormalizeSpaces) {
  const struct {
    WideString Source, Expected;
  } Cases[] = {
      {u"  New   YORK  ", u"new york"},
      {u"\t\r\n\u00A0\u3000 Ä B \u2028", u"ä b"},
      {u"a\tb  c\nd", u"a\tb c\nd"},  // only blanks collapse
      {u"a\u00A0 b", u"a\u00A0 b"},
      {u" \t ", u""},
      {u"", u""},
  };
  for (const auto& C : Cases) {
    WideString R = u"junk";
    NormalizeSpaces(C.Source, R);
    EXPECT_EQ(R, C.Expected) << WideToAscii(C.Expected);
  }
}

TEST(ElementAccessText, FindDelimitedWord) {
  const WideString D = TLexicon::GetDelimiters();
  const struct {
    WideString Word, Text;
    int32_t Expected;
  } Cases[] = {
      {u"red", u"red apple", 1},
      {u"apple", u"red apple", 5},
      {u"apple", u"red-apple!", 5},
      {u"apple", u"apples", 0},
      {u"red", u"bored red", 7},  // the first occurrence is inside a word
      {u"red", u"reddish red", 9},
      {u"red", u"bored", 0},
      {u"red", u"Red", 0},  // case-sensitive
      {u"", u"red", 0},
      {u"red apple", u"a red apple pie", 3},
      {u"\u0434\u0430", u"\u043d\u0435\u0442", 0},  // letters beyond the 8-bit code page are letters
      {u"\u0434\u0430", u"\u043d\u0435\u0442 \u0434\u0430", 5},
  };
  for (const auto& C : Cases) EXPECT_EQ(FindDelimitedWord(C.Word, C.Text, D), C.Expected) << WideToAscii(C.Text);
}

TEST(ElementAccessText, WidePos) {
  EXPECT_EQ(WidePos(u"b", u"abcb"), 2);
  EXPECT_EQ(WidePos(u"abcb", u"abcb"), 1);
  EXPECT_EQ(WidePos(u"B", u"abcb"), 0);
  EXPECT_EQ(WidePos(u"", u"abc"), 0);
  EXPECT_EQ(WidePos(u"abcd", u"abc"), 0);
  EXPECT_EQ(WidePos(u"\U0001F600", u"x\U0001F600"), 2);
}

// ---- Failures

namespace {
class ElementAccessFailure : public testing::Test {
protected:
  test::TLocaleSwitch FSwitch;
  test::TSwitchableLocale& FLocale = FSwitch.Locale;
};
}  // namespace

TEST_F(ElementAccessFailure, TracesEveryRoutineItCrosses) {
  TPage Page("words.html");
  TLexicon Lexicon;
  struct {
    const char* Routine;
    std::function<void()> Call;
    AnsiString Message;
  } Cases[] = {
      {"NormalizeSpaces",
       [] {
         WideString R;
         NormalizeSpaces(u"x", R);
       },
       "locale down\r\n>>1520"},
      {"ReadElement of a select",
       [&] {
         WideString N, T, I, V;
         ReadElement(Page.El(u"apples"), N, T, I, V);
       },
       "locale down\r\n>>1614\r\n>>1214\r\n>>1212"},
      {"FillElement, direct match", [&] { FillElement(Page.El(u"apples"), 0, u"x", Lexicon, {}); },
       "locale down\r\n>>1520\r\n>>1209\r\n>>1189"},
      {"FillSelect, word match", [&] { FillSelect(Page.Select(u"apples"), 4, u"", Lexicon, List({u"x"})); },
       "locale down\r\n>>1209"},
      {"FillSelect, lexicon match", [&] { FillSelect(Page.Select(u"apples"), 5, u"", Lexicon, List({u"x"})); },
       "locale down\r\n>>1597\r\n>>1209"},
  };
  for (const auto& C : Cases) {
    FLocale.Fail = true;
    try {
      C.Call();
      ADD_FAILURE() << C.Routine << " did not fail";
    } catch (const Exception& E) {
      EXPECT_EQ(E.Message(), C.Message) << C.Routine;
    }
    FLocale.Fail = false;
  }
}

TEST(ElementAccessFailures, AttributeThatIsNoTextTraces) {
  TPage Page(THtml{"<input id=i>"});
  const TVariant::TObject Thing = std::make_shared<THeadlessScript>(nullptr);
  Page.El(u"i")->SetAttribute(u"thing", TVariant(Thing), AttributeIgnoreCase);
  WideString V;
  try {
    GetAttributeText(Page.El(u"i"), u"thing", V);
    ADD_FAILURE() << "no failure";
  } catch (const Exception& E) {
    EXPECT_NE(E.Message().find("\r\n>>1513"), AnsiString::npos) << E.Message();
  }
}

TEST(ElementAccessFailures, AFailingClickScriptOfACheckBoxTraces) {
  // Unlike a select's change script, which a fill runs on its own account, a check box's click is
  // the write itself: its failure is the fill's.
  for (const char16_t* Id : {u"off", u"large"}) {
    TPage Page("inputs.html");
    Page.OnScript = [](const WideString& Name, THtmlElement&) {
      if (Name == u"Clicked") throw Exception("script error");
    };
    try {
      FillElement(Page.El(Id), 0, u"true", TLexicon(), {});
      ADD_FAILURE() << WideToAscii(Id) << " did not fail";
    } catch (const Exception& E) {
      EXPECT_EQ(E.Message(), "script error\r\n>>1208\r\n>>1189") << WideToAscii(Id);
    }
  }
}
