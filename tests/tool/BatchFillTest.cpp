// The tool's fill over pages of a site: what it reports as filled (passwords masked), a two-step
// sign-up submitted page after page with the values the server receives, a page without forms,
// and an address that does not load.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "BatchFill.h"
#include "platform/Services.h"
#include "store/StoreTestSupport.h"

using namespace pel;
using namespace pel::test;
using namespace pel::tool;

namespace {

class BatchFill : public testing::Test {
protected:
  void SetUp() override {
    Store = std::make_shared<store::TPelStore>(Folder.File());
    store::TPelStore::Register(Store);
    Pages->AddPage(u"http://shop.example/signup", R"(<html><head><title>Sign up</title></head><body>
      <form id=step1 action="http://shop.example/signup2" method=post>
      <table><tr><td>E-mail:</td><td><input name=email></td></tr>
      <tr><td>Password:</td><td><input type=password name=pw></td></tr></table>
      <input type=submit value=Next></form></body></html>)");
    Pages->AddPage(u"http://shop.example/join", R"(<html><head><title>Join</title></head><body>
      <form id=step1 action="http://shop.example/signup2" method=post>
      <table><tr><td>E-mail:</td><td><input name=email></td></tr>
      <tr><td>First name:</td><td><input name=fname></td></tr></table>
      <input type=submit value=Next></form></body></html>)");
    Pages->AddPage(u"http://shop.example/signup2", R"(<html><head><title>Your address</title></head><body>
      <form id=step2 action="http://shop.example/welcome" method=post>
      City <input name=city> Postcode <input name=zip>
      <input type=submit value=Finish></form></body></html>)");
    Pages->AddPage(u"http://shop.example/welcome", "<html><head><title>Welcome</title></head><body>Hi</body></html>");
  }
  void TearDown() override { Store->Shutdown(); }

  TStoreFolder Folder;
  std::shared_ptr<store::TPelStore> Store;
  std::shared_ptr<headless::TPageSource> Pages = std::make_shared<headless::TPageSource>();
};

std::vector<std::string> Lines(const TPageReport& Report) {
  std::vector<std::string> R;
  for (const TFilledControl& C : Report.Filled)
    R.push_back(WideToAnsi(C.Form + u" " + C.Name + u" [" + C.ProfileField + u"] " + C.Value));
  return R;
}

// The sample profile has no password: the password box stays empty and the form is not complete,
// so even asked to submit the filler would not send it.
TEST_F(BatchFill, FillsWithoutSubmittingAndMasksPasswords) {
  TBatchFiller Filler(Pages, TFillOptions{});
  auto Reports = Filler.Fill(u"http://shop.example/signup");
  ASSERT_EQ(Reports.size(), 1u);
  EXPECT_EQ(Reports[0].Title, u"Sign up");
  EXPECT_EQ(Reports[0].Outcome, "done");
  EXPECT_EQ(Reports[0].Forms, 1);
  ASSERT_GE(Reports[0].Filled.size(), 1u);
  EXPECT_EQ(Lines(Reports[0])[0], "step1 email [E-mail] john.public@example.com");
  for (const TFilledControl& C : Reports[0].Filled) EXPECT_NE(C.Name, u"pw");
  // Secrets are printed as stars, never more than eight whatever their length.
  EXPECT_EQ(Masked(u"s3cret"), u"******");
  EXPECT_EQ(Masked(u"a much longer secret"), u"********");
  EXPECT_EQ(Masked(u""), u"");
}

// With a password in the profile the box is filled, and the report shows stars in its place: the
// report is printed and may be kept, the secret must not be in it.
TEST_F(BatchFill, AFilledPasswordIsReportedMasked) {
  const WideString Secret = u"Tr0ub4dor&3-horse";
  bool Login = false;
  Store->AddFieldValue(u"", u"Password", Secret, Login);
  ASSERT_FALSE(Login);
  TBatchFiller Filler(Pages, TFillOptions{});
  auto Reports = Filler.Fill(u"http://shop.example/signup");
  ASSERT_EQ(Reports.size(), 1u);
  const auto Filled = Lines(Reports[0]);
  EXPECT_NE(std::find(Filled.begin(), Filled.end(), "step1 pw [Password] ********"), Filled.end())
      << testing::PrintToString(Filled);
  for (const TFilledControl& C : Reports[0].Filled) {
    EXPECT_EQ(C.Secret, C.Name == u"pw") << WideToAnsi(C.Name);
    EXPECT_EQ(C.Value.find(Secret), WideString::npos) << WideToAnsi(C.Name);
  }
}

TEST_F(BatchFill, ASubmittedSignUpGoesPageAfterPageWithTheFilledValues) {
  TFillOptions Options;
  Options.Submit = true;
  TBatchFiller Filler(Pages, Options);
  auto Reports = Filler.Fill(u"http://shop.example/join");
  ASSERT_EQ(Reports.size(), 3u);
  EXPECT_EQ(Reports[0].Outcome, "submitted");
  EXPECT_EQ(Reports[0].SubmittedTo, u"http://shop.example/signup2");
  EXPECT_NE(Reports[0].PostData.find("email=john.public%40example.com"), std::string::npos) << Reports[0].PostData;
  EXPECT_NE(Reports[0].PostData.find("fname=John"), std::string::npos) << Reports[0].PostData;
  EXPECT_EQ(Reports[1].Address, u"http://shop.example/signup2");
  EXPECT_EQ(Reports[1].Outcome, "submitted");
  EXPECT_NE(Reports[1].PostData.find("city=Springfield"), std::string::npos) << Reports[1].PostData;
  EXPECT_NE(Reports[1].PostData.find("zip=62701"), std::string::npos) << Reports[1].PostData;
  EXPECT_EQ(Reports[2].Title, u"Welcome");
  EXPECT_EQ(Reports[2].Outcome, "no forms");
}

TEST_F(BatchFill, ACapturedCardIsWhatTheNextFillUses) {
  const auto Report = CaptureCard(Pages, u"http://shop.example/join",
                                  {{u"email", u"me@mine.example"}, {u"fname", u"Mo"}, {u"nothere", u"x"}}, u"Mine");
  EXPECT_EQ(Report.CardName, u"Mine");
  EXPECT_EQ(Report.Missing, std::vector<WideString>{u"nothere"});
  EXPECT_EQ(Report.Page.Outcome, "submitted");
  EXPECT_NE(Report.Page.PostData.find("email=me%40mine.example"), std::string::npos) << Report.Page.PostData;

  TBatchFiller Filler(Pages, TFillOptions{});
  auto Reports = Filler.Fill(u"http://shop.example/join");
  ASSERT_EQ(Reports.size(), 1u);
  const auto Filled = Lines(Reports[0]);
  EXPECT_NE(std::find(Filled.begin(), Filled.end(), "step1 email [] me@mine.example"), Filled.end())
      << testing::PrintToString(Filled);
}

// The report lists what the fill changed and nothing else: a list the page left on its first option
// (nothing marked) or on the option it marked, and a list already showing the profile's value, are
// not filled; a list moved to the profile's value is.
TEST_F(BatchFill, OnlyWhatChangedIsReported) {
  Pages->AddPage(u"http://shop.example/lists", R"(<html><body><form id=f>
    E-mail <input name=email>
    Sort by <select name=sort><option value=a>Relevance<option value=b>Price</select>
    Show <select name=show><option value=10>10<option value=20 selected>20</select>
    Country <select name=country><option>Canada<option selected>United States</select>
    State <select name=state><option value="">Choose<option value=AK>Alaska<option value=IL>Illinois</select>
    Region <select name="region"><option value="0">--choose--</option><option value="1">North</option></select>
    </form></body></html>)");
  TBatchFiller Filler(Pages, TFillOptions{});
  auto Reports = Filler.Fill(u"http://shop.example/lists");
  ASSERT_EQ(Reports.size(), 1u);
  EXPECT_EQ(Lines(Reports[0]),
            (std::vector<std::string>{"f email [E-mail] john.public@example.com", "f state [State] IL"}));
}

// A box whose name says what it asks for is not filled from what its caption says instead when the
// profile has nothing for its name's field: the card holder is no person's full name.
TEST_F(BatchFill, ABoxNamedForAFieldWithoutValueIsNotFilledFromItsCaption) {
  Pages->AddPage(u"http://shop.example/pay", R"(<html><body><form id=f>
    Name <input name=cardholder>
    Your name <input name=contact>
    </form></body></html>)");
  TBatchFiller Filler(Pages, TFillOptions{});
  auto Reports = Filler.Fill(u"http://shop.example/pay");
  ASSERT_EQ(Reports.size(), 1u);
  EXPECT_EQ(Lines(Reports[0]), (std::vector<std::string>{"f contact [Full name] John Q. Public"}));
}

// The tool reports what the profile fill wrote outside any form, under "(no form)", beside the
// form's own controls; the page still has one form.
TEST_F(BatchFill, ControlsOutsideAnyFormAreFilledAndReported) {
  std::ifstream File(std::string(PEL_FIXTURES_DIR) + "/forms/signin-formless.html", std::ios::binary);
  std::string Html((std::istreambuf_iterator<char>(File)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(Html.empty());
  Pages->AddPage(u"http://shop.example/signin", Html);
  TBatchFiller Filler(Pages, TFillOptions{});
  auto Reports = Filler.Fill(u"http://shop.example/signin");
  ASSERT_EQ(Reports.size(), 1u);
  EXPECT_EQ(Reports[0].Forms, 1);
  EXPECT_EQ(Lines(Reports[0]), (std::vector<std::string>{"newsletter nl_email [E-mail] john.public@example.com",
                                                         "(no form) user [Username] jqpublic"}));
}

}  // namespace
