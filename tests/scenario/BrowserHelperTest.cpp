// Whole page loads in the headless browser with the helper object and the reference store: the
// automatic fill on load, automatic submits and their loop guard, frames, a fill a page script
// interrupts, saving what the user submits, and a store that is not there.

#include "HelperTestSupport.h"

using namespace pel;
using namespace pel::test;

namespace {

const std::string LoginPage = R"(<!DOCTYPE html><html><head><title>Sign in</title></head><body>
<form id="f" action="http://shop.example/login" method="post">
  <input id="acct" name="acct"> <input id="pin" name="pin" type="password">
  <input id="go" type="submit" value="Sign in">
</form></body></html>)";

class Scenario : public THelperScenario {};

TEST_F(Scenario, ASavedCardIsFilledWhenThePageHasLoaded) {
  StartStore([](TBVOptions& O) { O.AutoFillNew = 0; });
  OpenWindow();
  Serve(u"http://shop.example/login", LoginPage);
  Open(u"http://shop.example/login");
  EXPECT_EQ(Value(u"acct"), u"");
  Type(u"acct", u"alice");
  Type(u"pin", u"s3cret");
  SaveAs(u"Work");

  Open(u"http://shop.example/login");
  EXPECT_EQ(Value(u"acct"), u"alice");
  EXPECT_EQ(Value(u"pin"), u"s3cret");
  // The fill dialog lists the card of the page.
  ASSERT_NE(Helper->Agent().FillDialog(), nullptr);
  EXPECT_TRUE(Helper->Agent().FillDialogShown());
  EXPECT_EQ(Helper->Agent().FillDialog()->EntryText(0), u"[C] Work [http://shop.example/login]");
  EXPECT_EQ(Posts(), 0);
}

}  // namespace
