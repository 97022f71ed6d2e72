// Capturing page forms into cards and filling them back, on pages loaded by the headless browser.

#include <gtest/gtest.h>

#include <tuple>

#include "BHO/BindingMarks.h"
#include "BHO/FormCapture.h"
#include "BHO/FormFill.h"
#include "BHO/PageForms.h"
#include "BHO/SHDocVwEvents.h"
#include "headless/HeadlessBrowser.h"
#include "platform/Services.h"
#include "support/SwitchableLocale.h"

using namespace pel;
using namespace pel::headless;

namespace {
const std::string Dir = std::string(PEL_FIXTURES_DIR) + "/forms/";

class FormCards : public testing::Test {
protected:
  FormCards() {
    Forms.FKeyAttribute = u"FormID";
    // Submissions stay on the page: the tests look at what a press and a fill leave behind.
    Cancel.OnBeforeNavigate2 = [](TEventSink*, const std::shared_ptr<IInterface>&, TVariant&, TVariant&, TVariant&,
                                  TVariant&, TVariant&, bool& C) { C = true; };
  }
  void Load(const std::string& Name) {
    Cancel.Disconnect();
    Browser->LoadFile(Dir + Name);
    Cancel.Connect(Browser);
    RefreshPageForms(Browser, Forms);
  }
  TFormItem& ItemOf(const char16_t* Id) {
    for (TFormItem& Item : Forms)
      if (Item.FHtmlForm->GetAttribute(u"id", 0).AsWideString() == Id) return Item;
    throw Exception("no item for that form");
  }
  THtmlElement& Node(const char16_t* Id) { return *Browser->HtmlDocument()->FindById(Id); }
  TElementRef E(const char16_t* Id) { return Browser->HtmlDocument()->FindById(Id); }

  std::shared_ptr<THeadlessBrowser> Browser = THeadlessBrowser::CreateTop(nullptr);
  TSHDocVwDWebBrowserEvents2 Cancel;
  TPageFormSet Forms;
  TLexicon Lexicon;
};

std::vector<std::string> Describe(const TTransitFormCard& Card) {
  std::vector<std::string> R;
  for (const TTransitField& F : Card.Fields)
    R.push_back(std::to_string(F.Index) + " " + WideToAscii(F.TagName) + "/" + WideToAscii(F.InputType) + " " +
                WideToAscii(F.Name) + "=" + WideToAscii(F.Value));
  return R;
}
}  // namespace

TEST_F(FormCards, CaptureCountsControlsAndFindsThePressedSubmit) {
  Load("capture.html");
  Browser->UserClick(Node(u"go"));
  TTransitFormCard Card;
  ItemOf(u"c").SaveToCard(Card, 15);
  EXPECT_EQ(Describe(Card), (std::vector<std::string>{"-1 input/hidden h=secret", "0 input/text t=typed",
                                                      "1 select/select-one s=\"Trimmed text\"", "2 input/submit go=Send"}));
  EXPECT_EQ(Card.SubmitFieldIndex, 3);  // its position in the list, which counts the hidden field
  EXPECT_EQ(Card.SubmitTarget, 1);
  EXPECT_EQ(Card.Method, u"get");
  EXPECT_EQ(Card.ActionURL, AsciiToWide("file://" + Dir + "post.cgi"));
  EXPECT_EQ(Card.Charset, u"utf-8");
  EXPECT_NE(Card.InnerHTML.find(u"<button"), WideString::npos);

  TTransitFormCard Bare;
  ItemOf(u"m").SaveToCard(Bare, 0);
  EXPECT_EQ(Bare.ActionURL, u"");
  EXPECT_EQ(Bare.Method, u"");
  EXPECT_EQ(Bare.Charset, u"");
  EXPECT_EQ(Bare.InnerHTML, u"");
  EXPECT_EQ(Bare.SubmitFieldIndex, -1);  // no press on this form
  EXPECT_EQ(Describe(Bare), (std::vector<std::string>{"0 select/select-multiple ms=a,b", "1 input/checkbox cb=false",
                                                      "2 input/image img=", "3 input/file file=",
                                                      "-1 input/hidden hid=h", "4 input/text email="}));
}

TEST_F(FormCards, CaptureTakesTheBindingAndTickedBoxes) {
  Load("capture.html");
  MarkBoundElement(E(u"mail"), u"E-mail", *ItemOf(u"m").FChangeTracker);
  Browser->UserClick(Node(u"cb"));
  TTransitFormCard Card;
  ItemOf(u"m").SaveToCard(Card, 3);
  EXPECT_EQ(Card.Fields[1].Value, u"true");
  EXPECT_EQ(Card.Fields[5].ProfileField, u"E-mail");
  EXPECT_EQ(Card.Fields[0].ProfileField, u"");
}

TEST_F(FormCards, OneFormPagesMarkTheirOnlyCardForSubmitting) {
  Load("signup.html");
  TTransitFormSet Set;
  Forms.SaveToTransitSet(Set, 15);
  ASSERT_EQ(Set.Count(), 1);
  EXPECT_EQ(Set[0].SubmitTarget, 1);
  Load("capture.html");
  Forms.SaveToTransitSet(Set, 3);
  ASSERT_EQ(Set.Count(), 2);
  EXPECT_EQ(Set[0].SubmitTarget + Set[1].SubmitTarget, 0);
}


TEST_F(FormCards, AFailedCaptureLeavesNoFieldsAndNoSubmitIndex) {
  Load("capture.html");
  Browser->UserClick(Node(u"go"));
  TTransitFormCard Card;
  {
    // Reading a select's type goes through the locale, so the capture's walk fails there.
    test::TLocaleSwitch Failing(true);
    ItemOf(u"c").SaveToCard(Card, 15);
  }
  EXPECT_EQ(Card.Fields.Count(), 0);
  EXPECT_EQ(Card.SubmitFieldIndex, -1);
  EXPECT_EQ(Card.Method, u"get");  // the card-level fields are kept
}

TEST_F(FormCards, FillFromCardByPosition) {
  Load("capture.html");
  TFormItem& M = ItemOf(u"m");
  TTransitFormCard Card;
  M.SaveToCard(Card, 3);
  Card.Fields[5].Value = u"me@example.com";
  Card.Fields[5].ProfileField = u"E-mail";
  Card.Fields[1].Value = u"true";
  Card.Fields[0].Value = u"c";
  EXPECT_TRUE(M.FillFromCard(Lexicon, Card));
  EXPECT_EQ(Supports<IHTMLInputElement>(E(u"mail"))->Value(), u"me@example.com");
  EXPECT_EQ(E(u"mail")->GetAttribute(ProfileFieldAttribute, 0).AsWideString(), u"E-mail");
  EXPECT_TRUE(Supports<IHTMLInputElement>(E(u"cb"))->Checked());
  EXPECT_EQ(Supports<IHTMLSelectElement>(E(u"ms"))->SelectedIndex(), 2);

  // A field whose name differs from the control at its position: not filled, the rest still is.
  Card.Fields[5].Name = u"mail";
  Card.Fields[1].Value = u"false";
  EXPECT_FALSE(M.FillFromCard(Lexicon, Card));
  EXPECT_FALSE(Supports<IHTMLInputElement>(E(u"cb"))->Checked());
  // A card of hidden fields only fills nothing and succeeds.
  TTransitFormCard Hidden;
  Hidden.Fields.Add().Assign(Card.Fields[4]);
  EXPECT_TRUE(M.FillFromCard(Lexicon, Hidden));
}

// A page that swapped one list for another keeps the position but not the name: the card's
// choice belongs to the old list and must not land in the new one.
TEST_F(FormCards, ASelectOfAnotherNameAtTheCardsPositionIsLeftAlone) {
  Load("capture.html");
  TFormItem& C = ItemOf(u"c");
  TTransitFormCard Card;
  C.SaveToCard(Card, 0);
  ASSERT_EQ(Describe(Card)[2], "1 select/select-one s=\"Trimmed text\"");
  Card.Fields[1].Value = u"fresh";
  Card.Fields[2].Name = u"country";
  Card.Fields[2].Value = u"v";
  EXPECT_FALSE(C.FillFromCard(Lexicon, Card));
  EXPECT_EQ(Supports<IHTMLSelectElement>(E(u"s"))->SelectedIndex(), 0);
  EXPECT_EQ(Supports<IHTMLInputElement>(E(u"t"))->Value(), u"fresh");

  Card.Fields[2].Name = u"s";
  EXPECT_TRUE(C.FillFromCard(Lexicon, Card));
  EXPECT_EQ(Supports<IHTMLSelectElement>(E(u"s"))->SelectedIndex(), 1);
}

TEST_F(FormCards, TheCardsSubmitFieldFindsThePagesControl) {
  Load("capture.html");
  TFormItem& C = ItemOf(u"c");
  Browser->UserClick(Node(u"go"));
  TTransitFormCard Card;
  C.SaveToCard(Card, 15);
  C.FSubmitElement = nullptr;
  EXPECT_TRUE(C.FillFromCard(Lexicon, Card));
  EXPECT_TRUE(IsSameObject(C.FSubmitElement, E(u"go")));
  EXPECT_TRUE(C.FSubmitTarget);

  Card.Fields[3].Value = u"Post";  // a button with another caption is not taken
  C.FillFromCard(Lexicon, Card);
  EXPECT_EQ(C.FSubmitElement, nullptr);

  Card.Fields[3].Value = u"Send";
  Card.SubmitTarget = 0;  // a card not meant for submitting clears the mark and the control
  C.FillFromCard(Lexicon, Card);
  EXPECT_FALSE(C.FSubmitTarget);
  EXPECT_EQ(C.FSubmitElement, nullptr);
}

TEST_F(FormCards, FillMatchingFieldsGoesByNameWhateverThePosition) {
  Load("capture.html");
  TTransitFormSet Cards;
  TTransitFormCard& Card = Cards.Add();
  auto Add = [&](const char16_t* Name, const char16_t* Tag, const char16_t* Type, const char16_t* Value,
                 const char16_t* Profile = u"") {
    TTransitField& F = Card.Fields.Add();
    F.Index = Card.Fields.Count() - 1;
    F.Name = Name;
    F.TagName = Tag;
    F.InputType = Type;
    F.Value = Value;
    F.ProfileField = Profile;
  };
  Add(u"email", u"input", u"text", u"a@b.c", u"E-mail");
  Add(u"cb", u"input", u"checkbox", u"true");
  Add(u"ms", u"select", u"select-multiple", u"b,c");
  Add(u"hid", u"input", u"hidden", u"changed");
  // A later card with the same field does not win over the first.
  TTransitField& Later = Cards.Add().Fields.Add();
  Later.Assign(Card.Fields[0]);
  Later.Value = u"later@b.c";
  TFormItem& M = ItemOf(u"m");
  M.FillMatchingFields(Lexicon, Cards, false);
  EXPECT_EQ(Supports<IHTMLInputElement>(E(u"mail"))->Value(), u"a@b.c");
  EXPECT_EQ(E(u"mail")->GetAttribute(ProfileFieldAttribute, 0).AsWideString(), u"E-mail");
  EXPECT_TRUE(Supports<IHTMLInputElement>(E(u"cb"))->Checked());
  EXPECT_EQ(Supports<IHTMLInputElement>(E(u"hid"))->Value(), u"h");  // hidden inputs are never filled
  auto Ms = Supports<IHTMLSelectElement>(E(u"ms"));
  EXPECT_FALSE(Supports<IHTMLOptionElement>(Ms->Item(0))->Selected());
  EXPECT_TRUE(Supports<IHTMLOptionElement>(Ms->Item(2))->Selected());

  // Only empty fields: a field holding text keeps it; one holding blanks counts as empty.
  Supports<IHTMLInputElement>(E(u"mail"))->SetValue(u"kept");
  Add(u"t", u"input", u"text", u"new");
  Load("capture.html");
  Supports<IHTMLInputElement>(E(u"mail"))->SetValue(u"kept");
  Supports<IHTMLInputElement>(E(u"t"))->SetValue(u"  ");
  ItemOf(u"m").FillMatchingFields(Lexicon, Cards, true);
  ItemOf(u"c").FillMatchingFields(Lexicon, Cards, true);
  EXPECT_EQ(Supports<IHTMLInputElement>(E(u"mail"))->Value(), u"kept");
  EXPECT_EQ(Supports<IHTMLInputElement>(E(u"t"))->Value(), u"new");

  // Blank is blank whatever the space: no-break and ideographic spaces, tabs, line breaks.
  const char16_t* Blanks[] = {u"\u00A0", u"\u3000", u" \u00A0\t\r\n", u"\u2003\u3000"};
  for (size_t I = 0; I < std::size(Blanks); ++I) {
    Load("capture.html");
    Supports<IHTMLInputElement>(E(u"t"))->SetValue(Blanks[I]);
    ItemOf(u"c").FillMatchingFields(Lexicon, Cards, true);
    EXPECT_EQ(Supports<IHTMLInputElement>(E(u"t"))->Value(), u"new") << "blank " << I;
  }
}

// The shipping page's change script, as such pages have it: choosing the USA puts a state list
// after the country and records the country's code in a hidden field at the top of the form.
class ShippingForm : public FormCards {
protected:
  ShippingForm() {
    Browser->DefineScript(u"ShowStates", [this](THtmlElement& Country) {
      if (Supports<IHTMLSelectElement>(Country.SharedElement())->Value() != u"US" || E(u"state")) return;
      ++StateListsShown;
      auto Code = CreateElement(u"input");
      Code->SetAttribute(u"type", TVariant(WideString(u"hidden")), 0);
      Code->SetAttribute(u"name", TVariant(WideString(u"code")), 0);
      Node(u"codes").AppendChild(Code);
      auto State = CreateElement(u"select");
      State->SetAttribute(u"id", TVariant(WideString(u"state")), 0);
      State->SetAttribute(u"name", TVariant(WideString(u"state")), 0);
      for (const char16_t* Name : {u"California", u"New York"}) {
        auto Option = CreateElement(u"option");
        Option->AppendChild(std::make_shared<THtmlText>(Name));
        State->AppendChild(Option);
      }
      Node(u"states").AppendChild(State);
    });
  }
  int StateListsShown = 0;
};

// The card of the form as a user left it: USA, New York, a ZIP code.
void MakeShippingCard(TTransitFormCard& Card) {
  int32_t Index = 0;
  for (auto [Name, Tag, Type, Value] :
       {std::tuple{u"country", u"select", u"select-one", u"USA"},
        std::tuple{u"state", u"select", u"select-one", u"New York"}, std::tuple{u"zip", u"input", u"text", u"10001"}}) {
    TTransitField& F = Card.Fields.Add();
    F.Index = Index++;
    F.Name = Name;
    F.TagName = Tag;
    F.InputType = Type;
    F.Value = Value;
    F.ValueKind = 0;
  }
}

TEST_F(ShippingForm, AFillFindsTheControlsTheChangeScriptAdds) {
  Load("shipping.html");
  TTransitFormCard Card;
  MakeShippingCard(Card);
  EXPECT_TRUE(ItemOf(u"ship").FillFromCard(Lexicon, Card));
  EXPECT_EQ(StateListsShown, 1);
  ASSERT_TRUE(E(u"state"));
  EXPECT_EQ(Supports<IHTMLSelectElement>(E(u"state"))->SelectedIndex(), 1);
  EXPECT_EQ(Supports<IHTMLInputElement>(E(u"zip"))->Value(), u"10001");

  // The fill by name goes on behind the country too, though the script moved it in the list.
  Load("shipping.html");
  TTransitFormSet Cards;
  MakeShippingCard(Cards.Add());
  ItemOf(u"ship").FillMatchingFields(Lexicon, Cards, false);
  ASSERT_TRUE(E(u"state"));
  EXPECT_EQ(Supports<IHTMLSelectElement>(E(u"state"))->SelectedIndex(), 1);
  EXPECT_EQ(Supports<IHTMLInputElement>(E(u"zip"))->Value(), u"10001");
}

TEST_F(FormCards, AScriptAddingAControlForEveryWriteCannotKeepTheFillByNameGoing) {
  int Added = 0;
  Browser->DefineScript(u"AnotherBox", [&](THtmlElement& Box) {
    auto More = CreateElement(u"input");
    More->SetAttribute(u"type", TVariant(WideString(u"checkbox")), 0);
    More->SetAttribute(u"name", TVariant(WideString(u"extra")), 0);
    More->SetEventHandler(u"onclick", Box.GetEventHandler(u"onclick"));
    Box.Parent()->AppendChild(More);
    ++Added;
  });
  Browser->LoadHTML(R"html(<form id="f"><p><input type="checkbox" name="extra" onclick="AnotherBox()"></p></form>)html",
                    u"http://a.com/");
  RefreshPageForms(Browser, Forms);
  TTransitFormSet Cards;
  TTransitField& Extra = Cards.Add().Fields.Add();
  Extra.Name = u"extra";
  Extra.TagName = u"input";
  Extra.InputType = u"checkbox";
  Extra.Value = u"true";
  ItemOf(u"f").FillMatchingFields(Lexicon, Cards, false);
  EXPECT_GT(Added, 1);  // the boxes the script added were filled too, up to a bound
  EXPECT_LT(Added, 100);
}

TEST_F(FormCards, ClearFieldsLeavesHiddenFileAndSubmitInputsAndTheirMarks) {
  Load("capture.html");
  TFormItem& M = ItemOf(u"m");
  MarkBoundElement(E(u"mail"), u"E-mail", *M.FChangeTracker);
  MarkBoundElement(E(u"hid"), u"Token", *M.FChangeTracker);
  Supports<IHTMLInputElement>(E(u"mail"))->SetValue(u"x");
  Browser->UserClick(Node(u"cb"));
  M.ClearFields();
  EXPECT_EQ(Supports<IHTMLInputElement>(E(u"mail"))->Value(), u"");
  EXPECT_EQ(E(u"mail")->GetAttribute(ProfileFieldAttribute, 0).AsWideString(), u"");
  EXPECT_FALSE(Supports<IHTMLInputElement>(E(u"cb"))->Checked());
  EXPECT_EQ(Supports<IHTMLSelectElement>(E(u"ms"))->SelectedIndex(), -1);
  EXPECT_EQ(Supports<IHTMLInputElement>(E(u"hid"))->Value(), u"h");
  EXPECT_EQ(E(u"hid")->GetAttribute(ProfileFieldAttribute, 0).AsWideString(), u"Token");
}

TEST_F(FormCards, SignUpRoundTripTypeCaptureClearFillBack) {
  Load("signup.html");
  Browser->UserType(Node(u"first"), u"Ada");
  Browser->UserType(Node(u"last"), u"Lovelace");
  Browser->UserType(Node(u"email"), u"ada@example.org");
  Browser->UserType(Node(u"pw"), u"s3cret pass");
  Browser->UserSelect(Node(u"country"), 2);
  Browser->UserSelect(Node(u"interests"), 0);
  Browser->UserSelect(Node(u"interests"), 2);
  Browser->UserClick(Node(u"pro"));
  Browser->UserClick(Node(u"news"));
  Browser->UserType(Node(u"about"), u"Likes \"engines\", numbers");
  Browser->UserClick(Node(u"create"));  // the submission is cancelled; the press is remembered

  TFormItem& Form = ItemOf(u"signup");
  TTransitFormCard Captured;
  Form.SaveToCard(Captured, 15);
  ASSERT_EQ(Captured.Fields.Count(), 12);
  EXPECT_EQ(Captured.SubmitFieldIndex, 11);
  const WideString Fingerprint = Captured.FieldsText();

  Form.ClearFields();
  TTransitFormCard Cleared;
  Form.SaveToCard(Cleared, 15);
  EXPECT_NE(Cleared.FieldsText(), Fingerprint);

  Form.FSubmitElement = nullptr;
  EXPECT_TRUE(Form.FillFromCard(Lexicon, Captured));
  TTransitFormCard Again;
  Form.SaveToCard(Again, 15);
  EXPECT_EQ(Again.FieldsText(), Fingerprint);
  EXPECT_TRUE(IsSameObject(Form.FSubmitElement, E(u"create")));
}
