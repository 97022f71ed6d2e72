// The text boxes of newer pages (e-mail, telephone, address, number, search, dates) on whole page
// loads: the profile fills them, a saved card fills them, and what the user typed into them is
// captured under the box's own type.

#include "Common/TransitForms.h"
#include "HelperTestSupport.h"

using namespace pel;
using namespace pel::test;

namespace {

struct TBox {
  const char16_t* Id;
  const char16_t* Type;     // as the page writes it
  const char16_t* ReadAs;   // the type the box answers
  const char16_t* Profile;  // what the sample profile puts there; null: no profile field
  const char16_t* Typed;    // what the user types before saving a card
};

const TBox Boxes[] = {
    {u"mail", u"email", u"email", u"john.public@example.com", u"ann@example.org"},
    {u"phone", u"tel", u"tel", u"+1 555 0100", u"+44 20 7946 0000"},
    {u"site", u"url", u"url", u"http://www.example.com/", u"https://ann.example.org/"},
    {u"zip", u"number", u"number", u"62701", u"10115"},
    {u"find", u"search", u"search", nullptr, u"blue shoes"},
    {u"when", u"date", u"text", nullptr, u"2026-12-24"},
    {u"at", u"time", u"text", nullptr, u"09:30"},
    {u"plain", u"text", u"text", u"Springfield", u"Berlin"},
};

const std::string Page = R"(<!DOCTYPE html><html><head><title>Sign up</title></head><body>
<form id="f" action="http://shop.example/done" method="post">
  <label>City <input id="plain" type="text" name="city"></label>
  <label>E-mail <input id="mail" type="email" name="email"></label>
  <label>Phone <input id="phone" type="TEL" name="phone"></label>
  <label>Website <input id="site" type="url" name="website"></label>
  <label>ZIP <input id="zip" type="number" name="zip"></label>
  <input id="find" type="search" name="q">
  <input id="when" type="date" name="start">
  <input id="at" type="time" name="start_time">
  <input id="go" type="submit" value="Send">
</form></body></html>)";

class TextBoxTypes : public THelperScenario {
protected:
  WideString TypeOf(const char16_t* Id) {
    WideString Name, Tag, Type, V;
    ReadElement(Element(Id), Name, Tag, Type, V);
    return Type;
  }
};

TEST_F(TextBoxTypes, TheProfileFillsThemOnLoad) {
  StartStore();
  OpenWindow();
  Serve(u"http://shop.example/signup", Page);
  Open(u"http://shop.example/signup");
  for (const TBox& Box : Boxes) {
    SCOPED_TRACE(WideToAscii(Box.Type));
    EXPECT_EQ(TypeOf(Box.Id), Box.ReadAs);
    EXPECT_EQ(Value(Box.Id), Box.Profile ? Box.Profile : u"");
  }
}

TEST_F(TextBoxTypes, WhatTheUserTypedIsCapturedUnderTheBoxsTypeAndFilledBackFromTheCard) {
  StartStore([](TBVOptions& O) { O.AutoFillNew = 0; });
  OpenWindow();
  Serve(u"http://shop.example/signup", Page);
  Open(u"http://shop.example/signup");
  for (const TBox& Box : Boxes) Type(Box.Id, Box.Typed);
  SaveAs(u"Ann");

  TTransitFormSet Stored;
  {
    TVariant Data;
    bool LoginRequired = false;
    Store->GetFormCard(u"http://shop.example/signup", u"Ann", u"", Data, LoginRequired);
    TMemoryStream S;
    VariantToStream(Data, S);
    S.SetPosition(0);
    Stored.LoadFromStream(S);
  }
  ASSERT_EQ(Stored.Count(), 1);
  for (const TBox& Box : Boxes) {
    SCOPED_TRACE(WideToAscii(Box.Type));
    const TTransitField* Found = nullptr;
    for (const TTransitField& F : Stored[0].Fields)
      if (F.Name == WideString(Element(Box.Id)->GetAttribute(u"name", 0).AsWideString())) Found = &F;
    ASSERT_NE(Found, nullptr);
    EXPECT_EQ(Found->InputType, Box.ReadAs);
    EXPECT_EQ(Found->Value, Box.Typed);
  }

  // The card fills a fresh copy of the page.
  Open(u"http://shop.example/signup");
  for (const TBox& Box : Boxes) {
    SCOPED_TRACE(WideToAscii(Box.Type));
    EXPECT_EQ(Value(Box.Id), Box.Typed);
  }
  // And the clear command empties them all.
  Helper->Agent().ClearForms();
  for (const TBox& Box : Boxes) {
    SCOPED_TRACE(WideToAscii(Box.Type));
    EXPECT_EQ(Value(Box.Id), u"");
  }
}

}  // namespace
