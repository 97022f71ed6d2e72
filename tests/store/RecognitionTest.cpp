#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "StoreTestSupport.h"

namespace pel::test {
namespace {

struct TCase {
  const char16_t* Name;
  // The lookup's type argument: the input type, then lines of evidence ("autocomplete=…",
  // "name=…", "text=…") as the profile fill sends them.
  const char16_t* InputType;
  const char16_t* Field;  // empty: nothing may be recognised
};

// Control names and captions as real pages write them, with the profile field each stands for.
const TCase Cases[] = {
    {u"txtFirstName", u"text", u"First name"},
    {u"fname", u"text", u"First name"},
    {u"first_name", u"text", u"First name"},
    {u"billing_first_name", u"text", u"First name"},
    {u"ctl00$ContentPlaceHolder1$txtLastName", u"text", u"Last name"},
    {u"Surname:", u"text", u"Last name"},
    {u"Name", u"text", u"Full name"},
    {u"Your name", u"text", u"Full name"},
    {u"ctl00$Main$email", u"text", u"E-mail"},
    {u"user_email", u"text", u"E-mail"},
    {u"E-mail address:", u"text", u"E-mail"},
    {u"EMail", u"text", u"E-mail"},
    {u"emailAddress", u"text", u"E-mail"},
    {u"billing[postcode]", u"text", u"Postcode"},
    {u"ZIPCode", u"text", u"Postcode"},
    {u"Zip / Postal code", u"text", u"Postcode"},
    {u"shipping_address_1", u"text", u"Address line 1"},
    {u"address2", u"text", u"Address line 2"},
    {u"Street address", u"text", u"Address line 1"},
    {u"billing_city", u"text", u"City"},
    {u"State/Province", u"", u"State"},
    {u"country_id", u"", u"Country"},
    {u"Company name", u"text", u"Company"},
    {u"Job title", u"text", u"Job title"},
    {u"Title", u"radio", u"Title"},
    {u"title", u"text", u""},  // a text box's title is a heading, not Mr or Mrs
    {u"phone_number", u"text", u"Phone"},
    {u"Mobile phone", u"text", u"Mobile"},
    {u"username", u"text", u"Username"},
    {u"user_name", u"text", u"Username"},
    {u"login", u"text", u"Username"},
    {u"Username", u"text", u"Username"},
    {u"pwd", u"password", u"Password"},
    {u"Password", u"password", u"Password"},
    {u"confirm_password", u"password", u"Password"},
    {u"cc_number", u"text", u"Card number"},
    {u"Card number", u"text", u"Card number"},
    {u"cc-exp-month", u"", u"Card expiry month"},
    {u"expYear", u"", u"Card expiry year"},
    {u"Name on card", u"text", u"Card holder"},
    {u"cvv2", u"text", u"Card security code"},
    {u"Date of birth", u"text", u"Birth date"},
    // the specific word beats the container words around it, wherever the page puts them
    {u"shippingAddress.city", u"text", u"City"},
    {u"checkout[shipping_address][zip]", u"text", u"Postcode"},
    {u"bill_addr_zip", u"text", u"Postcode"},
    {u"paymentAddress][phone]", u"text", u"Phone"},
    {u"customer[address][street]", u"text", u"Address line 1"},
    {u"addressTwo", u"text", u"Address line 2"},
    {u"line_2", u"text", u"Address line 2"},
    {u"billing_address", u"text", u"Address line 1"},
    {u"email_forgotPassword", u"text", u"E-mail"},
    {u"user_pw", u"password", u"Password"},
    {u"account_gender", u"radio", u"Gender"},
    {u"dob_day", u"", u"Birth day"},
    {u"data[User][date_of_birth_month]", u"", u"Birth month"},
    {u"birthdate[year]", u"", u"Birth year"},
    {u"dob", u"text", u"Birth date"},
    {u"birthday", u"text", u"Birth date"},
    {u"birth_day", u"", u"Birth day"},  // the container "birth day" leaves its day standing
    {u"Nom complet", u"text", u"Full name"},
    {u"forgot_password_email", u"text", u"E-mail"},
    {u"cc_exp_year", u"", u"Card expiry year"},
    // other languages
    {u"Vorname", u"text", u"First name"},
    {u"Nachname:", u"text", u"Last name"},
    {u"Straße und Hausnummer", u"text", u"Address line 1"},
    {u"PLZ", u"text", u"Postcode"},
    {u"Prénom *", u"text", u"First name"},
    {u"Code postal", u"text", u"Postcode"},
    {u"Mot de passe", u"password", u"Password"},
    {u"Código postal", u"text", u"Postcode"},
    {u"Correo electrónico", u"text", u"E-mail"},
    {u"Apellidos", u"text", u"Last name"},
    {u"Cognome", u"text", u"Last name"},
    {u"Città", u"text", u"City"},
    {u"Telefone", u"text", u"Phone"},
    {u"Senha", u"password", u"Password"},
    {u"Woonplaats", u"text", u"City"},
    {u"Achternaam", u"text", u"Last name"},
    {u"Nazwisko", u"text", u"Last name"},
    {u"Kod pocztowy", u"text", u"Postcode"},
    {u"Логин", u"text", u"Username"},
    {u"Фамилия:", u"text", u"Last name"},
    {u"Город", u"text", u"City"},
    // the other texts of a control decide what a container word alone leaves open
    {u"username", u"text\ntext=E-mail address", u"E-mail"},
    {u"login[username]", u"text\ntext=Username", u"Username"},
    {u"name", u"text\ntext=Username:", u"Username"},
    {u"name", u"text\ntext=Last name", u"Last name"},
    {u"username", u"text\ntext=Forgot your password?", u"Username"},
    {u"name", u"text\nautocomplete=shipping given-name", u"First name"},
    {u"city", u"text\nautocomplete=organization", u"City"},
    // a box called "name" in a login form wants the user name, unless its caption says otherwise
    {u"name", u"text\nform=login", u"Username"},
    {u"name", u"text\nform=login\ntext=Full name:", u"Full name"},
    {u"full_name", u"text\nform=login", u"Full name"},
    {u"name", u"text", u"Full name"},
    // the input type is evidence: it settles a login box and never makes a check box a field
    {u"login", u"email", u"E-mail"},
    {u"username", u"email", u"E-mail"},
    {u"user[remember_me]", u"checkbox", u""},
    {u"newsletter_email", u"checkbox", u""},
    {u"email", u"submit", u""},
    {u"first_name", u"radio", u""},
    {u"f9", u"tel", u""},
    {u"f9", u"url", u""},
    // kinds of controls no profile holds
    {u"q", u"text", u""},
    {u"search", u"text\ntext=Company", u""},
    {u"FirmSearchForm[keyword]", u"text", u""},
    {u"Suche", u"text", u""},
    {u"Поиск", u"text", u""},
    {u"captcha", u"text", u""},
    {u"recaptcha_challenge_field", u"", u""},
    {u"one_time_code", u"tel", u""},
    {u"f3", u"text\nautocomplete=one-time-code", u""},
    {u"cc_exp", u"tel\nautocomplete=cc-exp", u""},
    {u"expiry_date", u"text", u""},
    {u"honeypot", u"text", u""},
    {u"coupon_code", u"text", u""},
    // a later lookup of a control whose name said search does not make it a field
    {u"Company", u"text\nname=search_query", u""},
    // the input type speaks when the name does not
    {u"f1", u"email", u"E-mail"},
    {u"x7", u"password", u"Password"},
    // nothing to recognise
    {u"search_query", u"text", u""},
    {u"ctl00$txt", u"text", u""},
    // made-up names spell field words by chance; a long framework name is no made-up one
    {u"_fd6d4171167f2af0cf3160fa57f095dd", u"text", u""},
    {u"Xu5x2uKAYXmU1mmMIzVnRuV5lAm8", u"", u""},
    {u"ctl00ContentPlaceHolder1txtEmail", u"text", u"E-mail"},
    {u"txtBillingFirstName2", u"text", u"First name"},
    // a name written as a path ends in the control's own part
    {u"user[name]", u"text", u"Full name"},
    {u"card[name]", u"text", u"Card holder"},
    {u"ctl00$Main$ctrlRecoverPassword$UserName", u"text", u"Username"},
    {u"phone[number]", u"text", u"Phone"},
    // and a name ends in what it is
    {u"tbCompanyAddress", u"text", u"Address line 1"},
    {u"companyName", u"text", u"Company"},
    {u"search_user", u"text", u""},
    // a caption naming several fields alike names none; one naming a login two ways keeps it
    {u"City, State, Zip", u"text", u""},
    {u"name", u"text\ntext=Nome de usuario ou enderezo de correo-e", u"Username"},
    {u"username", u"text\ntext=Логин или email", u"Username"},
    {u"name", u"text\ntext=First Last", u"Full name"},
    // a user name box gives way to a person's name only when its caption spells that out
    {u"user_name", u"text\ntext=Your first name and last name", u"Full name"},
    {u"user_name", u"text\ntext=Name", u"Username"},
    // the neighbours tell which part of a name a box called "name" wants
    {u"name", u"text\nnear=surname\nnear=email", u"First name"},
    {u"Name", u"text\nnear=vorname", u"Last name"},
    {u"nom", u"text\nnear=email", u"Full name"},
    {u"nom", u"text\nnear=prenom", u"Last name"},
    {u"nombre", u"text\nnear=apellidos", u"First name"},
    {u"name", u"text\nnear=first_name\nnear=last_name", u"Full name"},
    {u"name", u"text\nnear=surname\ntext=Full name", u"Full name"},
    // a login form asks for no one's last name
    {u"lname", u"text\nform=login", u"Username"},
    {u"lname", u"text\nform=login\ntext=Last name", u"Last name"},
    {u"lname", u"text", u"Last name"},
    {u"suburb", u"text", u"Address line 2"},
    {u"adresse2", u"text", u"Address line 2"},
    {u"dob_d", u"", u"Birth day"},
    {u"date_of_birth_y", u"", u"Birth year"},
    {u"Nome de utilizador", u"text", u"Username"},
    // a day, month or year alone is a birth date's part only beside a birth date or its other parts
    {u"year", u"", u""},
    {u"fromYear", u"\nnear=toYear", u""},
    {u"year", u"\ntext=Date of birth", u"Birth year"},
    {u"day", u"\nnear=month\nnear=year", u"Birth day"},
    {u"mm", u"\nnear=gg\nnear=aaaa", u"Birth month"},
    {u"month", u"\nnear=dob_day", u"Birth month"},
    {u"dateofbirth_year", u"number", u"Birth year"},
    // a password is typed into a masked box: a plain box's caption that speaks of one is another's
    {u"Password (at least six characters)", u"text\nname=year2", u""},
    {u"Password", u"password\nname=f2", u"Password"},
    {u"password", u"text", u"Password"},
    {u"name", u"text\ntext=Kullanıcı Adı", u"Username"},
    // a name shown to others is no login name, nor the person's name its caption may suggest
    {u"nickname", u"text", u""},
    {u"Display Name", u"text\nname=displayname", u""},
    {u"Name", u"text\nname=nickname", u""},
    {u"screen_name", u"text", u""},
    {u"nick", u"text", u"Username"},
    // numbers of one's dealings with an organisation, or of the state, and kinds of organisation
    {u"ctl00$Main$cCustomerAccountNumber", u"text", u""},
    {u"Membership number", u"text", u""},
    {u"reservation_number", u"text", u""},
    {u"loyaltyCardNumber", u"text", u""},
    {u"account_ustid", u"text", u""},
    {u"VAT number", u"text", u""},
    {u"organisation_type", u"", u""},
    {u"Company type", u"", u""},
    {u"patient_id", u"text", u""},
    {u"company", u"text", u"Company"},
    // another person's details, another date, a second factor
    {u"friend_email", u"text", u""},
    {u"Due date or child's birthday", u"text", u""},
    {u"Authenticator code", u"text", u""},
    // a sign-in box that reads as a company, a phone or a place is the identity box said otherwise
    {u"company", u"text\nform=login", u""},
    {u"phone", u"text\nform=login", u""},
    {u"state", u"text\nform=login", u""},
    {u"address", u"text\nform=login", u""},
    {u"phone", u"tel\nform=login\ntext=Phone number", u"Phone"},
    {u"email", u"email\nform=login\ntext=Company e-mail", u"E-mail"},
    {u"login", u"text\nform=login", u"Username"},
};

// Shown in test listings and failures as the control name, not as the structure's bytes.
void PrintTo(const TCase& C, std::ostream* Out) {
  for (const char16_t* P = C.Name; *P; ++P) *Out << (*P < 128 ? static_cast<char>(*P) : '?');
}

class RecognitionTest : public testing::TestWithParam<TCase> {
protected:
  static void SetUpTestSuite() {
    Folder = new TStoreFolder;
    Store = new store::TPelStore(Folder->File());
  }
  static void TearDownTestSuite() {
    delete Store;
    delete Folder;
  }
  static TStoreFolder* Folder;
  static store::TPelStore* Store;
};
TStoreFolder* RecognitionTest::Folder = nullptr;
store::TPelStore* RecognitionTest::Store = nullptr;

TEST_P(RecognitionTest, NameStandsForField) {
  const TCase& C = GetParam();
  WideString Field, Value, Values;
  int32_t Kind = -1;
  bool Found = true, Login = true;
  Store->FindFieldValue(u"", u"input", C.InputType, C.Name, u"http://example.com/", Field, Kind, Value, Values,
                        Found, Login);
  EXPECT_FALSE(Login);
  EXPECT_EQ(Field, WideString(C.Field));
}

// Test names from the control names: letters and digits only, the case number keeps them unique.
std::string CaseName(const testing::TestParamInfo<TCase>& Info) {
  std::string Name = std::to_string(Info.index) + "_";
  for (const char16_t* P = Info.param.Name; *P; ++P)
    if ((*P >= u'a' && *P <= u'z') || (*P >= u'A' && *P <= u'Z') || (*P >= u'0' && *P <= u'9'))
      Name += static_cast<char>(*P);
  return Name;
}

INSTANTIATE_TEST_SUITE_P(Names, RecognitionTest, testing::ValuesIn(Cases), CaseName);

}  // namespace
}  // namespace pel::test

namespace pel::test {
namespace {

// Names and captions split into words the way pages join them: camel case, brackets, dots,
// underscores, digits, punctuation of several scripts.
TEST(RecognitionWords, NamesAreSplitAsPagesWriteThem) {
  const struct {
    const char16_t* Text;
    const char16_t* Words;
  } Cases[] = {
      {u"checkout[shipping_address][zip]", u"checkout shipping address zip"},
      {u"addr2", u"addr 2"},
      {u"line_2", u"line 2"},
      {u"addressTwo", u"address two"},
      {u"ZIPCode", u"zip code"},
      {u"shippingAddress.city", u"shipping address city"},
      {u"ctl00$Main$txtEmail", u"ctl 00 main txt email"},
      {u"E-Mail-Adresse:", u"e mail adresse"},
      {u"ИмяПользователя", u"имя пользователя"},
      {u"Name\uFF1A\n\t*", u"name"},
      {u"\u00ABPrénom\u00BB", u"prénom"},
      {u"user name and password", u"user name password"},  // stop words leave
      {u"", u""},
  };
  store::TFieldRecognizer Recognizer;
  for (const auto& C : Cases) EXPECT_EQ(Recognizer.Normalize(C.Text), WideString(C.Words)) << WideToUtf8(C.Text);
}

// The evidence travels in the type argument and comes back as it went, a text's line breaks
// turned to blanks.
TEST(RecognitionWords, EvidenceRoundTrips) {
  store::TLookupEvidence E;
  E.InputType = u"text";
  E.Autocomplete = u"shipping postal-code";
  E.Form = u"login";
  E.Near = {u"city", u"name=street"};
  E.Name = u"zip";
  E.Texts = {u"zip", u"Postcode\nor ZIP", u"Enter a code"};
  const store::TLookupEvidence Back = store::TLookupEvidence::Parse(E.Format());
  EXPECT_EQ(Back.InputType, u"text");
  EXPECT_EQ(Back.Autocomplete, u"shipping postal-code");
  EXPECT_EQ(Back.Form, u"login");
  EXPECT_EQ(Back.Near, (std::vector<WideString>{u"city", u"name=street"}));
  EXPECT_EQ(Back.Name, u"zip");
  EXPECT_EQ(Back.Texts, (std::vector<WideString>{u"zip", u"Postcode or ZIP", u"Enter a code"}));
  // A type argument of an older caller is just the type.
  const store::TLookupEvidence Plain = store::TLookupEvidence::Parse(u"email");
  EXPECT_EQ(Plain.InputType, u"email");
  EXPECT_TRUE(Plain.Texts.empty());
}

}  // namespace
}  // namespace pel::test

namespace pel::test {
namespace {

// A store from before the birth date parts and the wider default data gets them when opened; what
// its user added or kept stays, and a field the user deleted is back only as a new field.
TEST(RecognitionData, AnOlderStoreGetsTheNewDefaultsAndKeepsItsOwn) {
  TStoreFolder Folder;
  { store::TPelStore Store(Folder.File()); }
  RunSql(Folder.File(),
         "DELETE FROM synonym WHERE field_id IN"
         " (SELECT id FROM field WHERE name IN ('Birth day', 'Birth month', 'Birth year'));"
         "DELETE FROM field WHERE name IN ('Birth day', 'Birth month', 'Birth year');"
         "DELETE FROM synonym WHERE phrase IN ('Vorname', 'wohnort');"
         "INSERT INTO synonym(field_id, phrase) SELECT id, 'heimatort' FROM field WHERE name = 'City';"
         "UPDATE schema_version SET version = 6");
  store::TPelStore Store(Folder.File());
  EXPECT_EQ(Store.SchemaVersion(), store::StoreSchemaVersion);
  auto Recognised = [&](const char16_t* Name, const char16_t* Type) {
    WideString Field, Value, Values;
    int32_t Kind = -1;
    bool Found = false, Login = false;
    Store.FindFieldValue(u"", u"select", Type, Name, u"", Field, Kind, Value, Values, Found, Login);
    return Field;
  };
  EXPECT_EQ(Recognised(u"dob_day", u""), u"Birth day");
  EXPECT_EQ(Recognised(u"Vorname", u"text"), u"First name");
  EXPECT_EQ(Recognised(u"Wohnort", u"text"), u"City");
  EXPECT_EQ(Recognised(u"heimatort", u"text"), u"City");
  // The new fields come last, after the fields the user knows.
  TVariant Fields;
  bool Login = false;
  Store.GetProfileFields(Fields, Login);
  const auto& Triples = Fields.AsStrings();
  ASSERT_GE(Triples.size(), 9u);
  EXPECT_EQ(Triples[Triples.size() - 3], u"Birth year");
}

}  // namespace
}  // namespace pel::test
