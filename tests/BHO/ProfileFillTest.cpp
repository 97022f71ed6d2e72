// Filling page forms from the user's profile, against the reference store: lookups by name, by
// caption and by the other texts a page gives a control, what counts as a completely filled form,
// only-empty fills, and a locked store.

#include <gtest/gtest.h>

#include "BHO/BindingMarks.h"
#include "BHO/ElementAccess.h"
#include "BHO/FormFill.h"
#include "BHO/PageForms.h"
#include "BHO/SHDocVwEvents.h"
#include "agent/AgentTestSupport.h"
#include "headless/HeadlessBrowser.h"
#include "store/StoreTestSupport.h"

using namespace pel;
using namespace pel::headless;
using namespace pel::test;

namespace {

const std::string Dir = std::string(PEL_FIXTURES_DIR) + "/forms/";

class ProfileFill : public testing::Test {
protected:
  void SetUp() override {
    Views().Clear();
    Forms.FKeyAttribute = u"FormID";
  }
  void TearDown() override {
    ExpectEveryAnswerUsed();
    if (Store) Store->Shutdown();
  }
  void Start() {
    Store = std::make_shared<store::TPelStore>(Folder.File());
    store::TPelStore::Register(Store);
  }
  void Load(const std::string& Page = "profile.html") {
    Browser->LoadFile(Dir + Page);
    RefreshPageForms(Browser, Forms);
    Agent.SetURL(Browser->LocationURL());
  }
  // The value of the page's input with that id.
  WideString Value(const char16_t* Id) {
    return Supports<IHTMLInputElement>(Browser->HtmlDocument()->FindById(Id))->Value();
  }
  TFormItem& ItemOf(const char16_t* Id) {
    for (TFormItem& Item : Forms)
      if (Item.FHtmlForm->GetAttribute(u"id", 0).AsWideString() == Id) return Item;
    throw Exception("no item for that form");
  }

  TStoreFolder Folder;
  std::shared_ptr<store::TPelStore> Store;
  TBrivaneAgent Agent;
  std::shared_ptr<THeadlessBrowser> Browser = THeadlessBrowser::CreateTop(nullptr);
  TPageFormSet Forms;
};

TEST_F(ProfileFill, ControlsAreFoundByNameCaptionAndTheirOtherTexts) {
  Start();
  Load();
  TFormItem& Item = ItemOf(u"address");
  // Auto-bind is off by default: values are written, but the form never counts as complete.
  EXPECT_FALSE(Item.FillFromProfile(Agent, u"", false));
  auto Value = [&](int Index) {
    TElementsRef Inputs = Supports<IHTMLFormElement>(Item.FHtmlForm)->Tags(u"input");
    return Supports<IHTMLInputElement>(Inputs->Item(Index))->Value();
  };
  EXPECT_EQ(Value(0), u"John");                      // by name
  EXPECT_EQ(Value(1), u"Public");                    // by its caption "Surname"
  EXPECT_EQ(Value(2), u"john.public@example.com");   // no name: by the caption "E-mail:"
  EXPECT_EQ(Value(3), u"Springfield");               // by its placeholder
  EXPECT_EQ(Value(4), u"abc");                       // hidden: left alone
  auto Country = Supports<IHTMLSelectElement>(Supports<IHTMLFormElement>(Item.FHtmlForm)->Tags(u"select")->Item(0));
  EXPECT_EQ(Country->Value(), u"us");
  EXPECT_EQ(Item.FMatchScore, 0);
  EXPECT_FALSE(Item.FAllFilled);
}

TEST_F(ProfileFill, WithAutoBindEveryFoundControlIsMarkedAndOnlyAFullyFoundFormIsComplete) {
  Start();
  Load();
  Agent.SetUnattended(true);  // unattended runs bind what they fill
  TFormItem& Short = ItemOf(u"short");
  // The check box has no profile field: the form is not complete, whatever else was filled.
  EXPECT_FALSE(Short.FillFromProfile(Agent, u"", false));
  auto Inputs = Supports<IHTMLFormElement>(Short.FHtmlForm)->Tags(u"input");
  EXPECT_EQ(Supports<IHTMLInputElement>(Inputs->Item(0))->Value(), u"john.public@example.com");
  WideString Field;
  EXPECT_TRUE(GetAttributeText(Inputs->Item(0), ProfileFieldAttribute, Field));
  EXPECT_EQ(Field, u"E-mail");

  // Only empty: the typed e-mail stays, the field of a no-break space counts as empty.
  Load();
  TFormItem& Again = ItemOf(u"short");
  Again.FillFromProfile(Agent, u"", true);
  Inputs = Supports<IHTMLFormElement>(Again.FHtmlForm)->Tags(u"input");
  EXPECT_EQ(Supports<IHTMLInputElement>(Inputs->Item(0))->Value(), u"typed@example.org");
  EXPECT_EQ(Supports<IHTMLInputElement>(Inputs->Item(1))->Value(), u"Springfield");
  EXPECT_FALSE(Supports<IHTMLInputElement>(Inputs->Item(2))->Checked());
}

// Each lookup carries the control's other texts, its type and its autocomplete tokens to the
// store: a login box whose caption asks for an e-mail address gets the address, a name that says
// search keeps a field word in the placeholder from filling the box, a check box is never a
// field, and a one-time code is not a phone number whatever its placeholder says. Controls with
// nothing but an id, an ARIA label or a title are found by those.
TEST_F(ProfileFill, EveryLookupWeighsTheControlsOtherTextsTypeAndAutocomplete) {
  Start();
  Load("profile-evidence.html");
  TFormItem& Item = ItemOf(u"evidence");
  Item.FillFromProfile(Agent, u"", false);
  auto Read = [&](const char16_t* Id) {
    auto Input = Supports<IHTMLInputElement>(Browser->HtmlDocument()->FindById(Id));
    WideString Name, Type, Value;
    ReadInput(Input, Name, Type, Value);
    return Value;
  };
  EXPECT_EQ(Read(u"login"), u"john.public@example.com");
  EXPECT_EQ(Read(u"phone_number"), u"+1 555 0100");
  EXPECT_EQ(Read(u"zip_box"), u"62701");
  EXPECT_EQ(Read(u"town_box"), u"Springfield");
  EXPECT_EQ(Read(u"query"), u"");
  EXPECT_EQ(Read(u"remember"), u"false");
  EXPECT_EQ(Read(u"code"), u"");
}

// A sign-in box that a script sends has no form element: the profile fill reaches it as one group
// of the page's form-less controls, with the same evidence (a password beside it makes "user" the
// login name, a search box stays empty), and marks what it wrote. The page's form set, its cards
// and its form numbers are what they were: the group is no form.
TEST_F(ProfileFill, ControlsOutsideAnyFormAreFilledAsOneGroup) {
  Start();
  Load("signin-formless.html");
  ASSERT_EQ(Forms.Count(), 1);
  TTransitFormSet Before;
  Forms.SaveToTransitSet(Before, 3);
  TElementChangingTracker Tracker;
  Agent.SetUnattended(true);  // unattended runs bind what they fill
  const auto Doc = Browser->HtmlDocument();
  EXPECT_EQ(FormlessControls(Doc).size(), 4u);  // user, pass, remember, q
  FillFormlessFromProfile(Agent, Doc, Tracker, u"", false);
  EXPECT_EQ(Value(u"user"), u"jqpublic");
  EXPECT_EQ(Value(u"pass"), u"");
  EXPECT_EQ(Value(u"q"), u"");
  EXPECT_FALSE(Supports<IHTMLInputElement>(Doc->FindById(u"remember"))->Checked());
  WideString Field;
  EXPECT_TRUE(GetAttributeText(Doc->FindById(u"user"), ProfileFieldAttribute, Field));
  EXPECT_EQ(Field, u"Username");
  // The form's own box is the form's fill, not the group's.
  EXPECT_EQ(Value(u"nl"), u"");
  RefreshPageForms(Browser, Forms);
  ASSERT_EQ(Forms.Count(), 1);
  TTransitFormSet After;
  Forms.SaveToTransitSet(After, 3);
  ASSERT_EQ(After.Count(), 1);
  EXPECT_EQ(After[0].Fields.Count(), Before[0].Fields.Count());
  EXPECT_EQ(Forms.Items(0).FKeyNumber, 1);
}

// A box called "name" beside a password and nothing else is a login's user name; in a longer form
// with a password it is the person's name.
TEST_F(ProfileFill, TheKindOfFormDecidesWhatANameBoxWants) {
  Start();
  Load("profile-evidence.html");
  ItemOf(u"signin").FillFromProfile(Agent, u"", false);
  ItemOf(u"signup").FillFromProfile(Agent, u"", false);
  EXPECT_EQ(Value(u"signin_name"), u"jqpublic");
  EXPECT_EQ(Value(u"signup_name"), u"John Q. Public");
  EXPECT_EQ(Value(u"signup_mail"), u"john.public@example.com");
}

// A "Name" box beside "Vorname" is the last name, "Nombre" beside "Apellidos" the first; a
// "user[name]" box (its id "user_name" made from it) is the person's name, not the login's.
TEST_F(ProfileFill, NeighboursAndTheNamesOwnPartDecideWhichNameABoxWants) {
  Start();
  Load("profile-evidence.html");
  for (const char16_t* Form : {u"kontakt", u"contacto", u"account"}) ItemOf(Form).FillFromProfile(Agent, u"", false);
  EXPECT_EQ(Value(u"kontakt_name"), u"Public");
  EXPECT_EQ(Value(u"kontakt_vorname"), u"John");
  EXPECT_EQ(Value(u"contacto_nombre"), u"John");
  EXPECT_EQ(Value(u"contacto_apellidos"), u"Public");
  EXPECT_EQ(Value(u"user_name"), u"John Q. Public");
  EXPECT_EQ(Value(u"user_email"), u"john.public@example.com");
}

TEST_F(ProfileFill, ALockedStoreAsksOnceAndCancellingWritesNothing) {
  {
    store::TPelStore Setup(Folder.File());
    Setup.SetMasterPassword(u"", u"secret", store::TKeyCost::Minimal());
  }
  Start();
  Load();
  TFormItem& Item = ItemOf(u"address");
  Views().Answer("EnterPasswordForm", [](TForm& Form) { Form.PressEscape(); });
  EXPECT_FALSE(Item.FillFromProfile(Agent, u"", false));
  EXPECT_EQ(Views().Shown().size(), 1u);
  auto First = Supports<IHTMLInputElement>(Supports<IHTMLFormElement>(Item.FHtmlForm)->Tags(u"input")->Item(0));
  EXPECT_EQ(First->Value(), u"");

  Views().Answer("EnterPasswordForm", [](TForm& Form) {
    Form.Control("PasswordEdit").Text = u"secret";
    Form.PressEnter();
  });
  Item.FillFromProfile(Agent, u"", false);
  EXPECT_EQ(First->Value(), u"John");
}

TEST_F(ProfileFill, NoStoreFillsNothing) {
  Load();
  TFormItem& Item = ItemOf(u"address");
  EXPECT_FALSE(Item.FillFromProfile(Agent, u"", false));
  EXPECT_EQ(Supports<IHTMLInputElement>(Supports<IHTMLFormElement>(Item.FHtmlForm)->Tags(u"input")->Item(0))->Value(), u"");
}

}  // namespace
