#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "StoreTestSupport.h"

namespace pel::test {
namespace {

struct TCase {
  const char16_t* Name;
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
    {u"Title", u"", u"Title"},
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
    // the input type speaks when the name does not
    {u"f1", u"email", u"E-mail"},
    {u"x7", u"password", u"Password"},
    // nothing to recognise
    {u"search_query", u"text", u""},
    {u"ctl00$txt", u"text", u""},
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
