// Captions of form controls, found on pages the headless browser loaded: the text a page shows
// next to a control, before it by preference, never the text that labels a neighbouring field.

#include <gtest/gtest.h>

#include <string>

#include "BHO/CaptionFinder.h"
#include "headless/HeadlessBrowser.h"
#include "platform/Exceptions.h"

using namespace pel;
using namespace pel::headless;

namespace {

std::shared_ptr<THeadlessBrowser> LoadFixture(const std::string& Name) {
  auto Browser = THeadlessBrowser::CreateTop(nullptr);
  Browser->LoadFile(std::string(PEL_FIXTURES_DIR) + "/captions/" + Name);
  return Browser;
}

std::shared_ptr<THeadlessBrowser> LoadPage(const std::string& Html) {
  auto Browser = THeadlessBrowser::CreateTop(nullptr);
  Browser->LoadHTML(Html, u"http://a.com/form.asp");
  return Browser;
}

TElementRef ById(THeadlessBrowser& Browser, const std::string& Id) {
  auto E = Browser.HtmlDocument()->FindById(AsciiToWide(Id));
  if (!E) throw Exception("no element with id " + Id);
  return E;
}

std::string CaptionOf(THeadlessBrowser& Browser, const std::string& Id, bool Before = true, bool After = true) {
  WideString Caption = u"stale";
  GetElementCaption(ById(Browser, Id), Before, After, Caption);
  return WideToAscii(Caption);
}

std::string Between(THeadlessBrowser& Browser, const std::string& A, bool AfterA, const std::string& B, bool ThroughB) {
  WideString Text = u"stale";
  TextBetween(ById(Browser, A), AfterA, ById(Browser, B), ThroughB, Text);
  return WideToAscii(Text);
}

}  // namespace

TEST(CaptionFinder, CaptionsOfARegistrationForm) {
  auto Browser = LoadFixture("register.html");
  struct Case {
    std::string Id, Caption, Why;
  } Cases[] = {
      {"city", "Your city:", "text before the control in its paragraph"},
      {"age", "Age", "a select's label written right against it keeps its last letter"},
      {"size", "shirt size", "nothing before the select: the text after it"},
      {"first", "First name:", "label cell, control cell: the row level, trimmed"},
      {"mail", "E-mail (work)", "the whole text of the label cell, across its inline elements"},
      {"country", "Country", "the option texts of a select in its own cell are not its caption"},
      {"given", "Name", "the next input closes the after direction; the label cell is found a level up"},
      {"family", "(given, family)", "the first input closes the before direction; the text after it"},
      {"area", "Phone", "a hidden input between two is no field, the visible one after it is"},
      {"number", "Digits only",
       "before closed by the first input stays closed upwards: not 'Phone' but the text after the table"},
  };
  for (const Case& C : Cases) EXPECT_EQ(CaptionOf(*Browser, C.Id), C.Caption) << C.Id << ": " << C.Why;
}

TEST(CaptionFinder, DirectionsCanBeSwitchedOff) {
  auto Browser = LoadPage("<body><p>Before <input id=e> after</p><p id=p>Text</p></body>");
  EXPECT_EQ(CaptionOf(*Browser, "e", true, true), "Before");
  EXPECT_EQ(CaptionOf(*Browser, "e", true, false), "Before");
  EXPECT_EQ(CaptionOf(*Browser, "e", false, true), "after");
  EXPECT_EQ(CaptionOf(*Browser, "e", false, false), "");
  // The body is where the walk ends: it has no caption of its own.
  WideString Caption = u"stale";
  GetElementCaption(Browser->HtmlDocument()->Body(), true, true, Caption);
  EXPECT_EQ(Caption, u"");
}

TEST(CaptionFinder, ControlFirstInTheBodyTakesTheTextAfterItUnlessAFieldFollows) {
  struct Case {
    std::string Html, Caption, Why;
  } Cases[] = {
      {"<body><input id=e> Search the site</body>", "Search the site", "the text after it up to the body's end"},
      {"<body><input id=e> Name <input id=next></body>", "", "that text labels the next field"},
      {"<body><input id=e> Name <span><b><input id=next></b></span></body>", "",
       "a field inside a later element counts as following too"},
      {"<body><input id=e> Name <input type=hidden id=next></body>", "Name", "a hidden input is no field"},
      {"<body><input id=e> Name <select id=next></select></body>", "", "an empty select is a field"},
      {"<body><input id=e><b>Bold label</b><input id=next></body>", "Bold label",
       "no text between: the next element's own text is taken even before a field"},
      {"<body><input id=e><input id=next> Label</body>", "", "a field right after closes the search"},
      {"<body><input id=e></body>", "", "nothing anywhere"},
  };
  for (const Case& C : Cases) {
    auto Browser = LoadPage(C.Html);
    EXPECT_EQ(CaptionOf(*Browser, "e"), C.Caption) << C.Html << ": " << C.Why;
  }
}

TEST(CaptionFinder, NoBreakAndIdeographicSpacesAreNoCaption) {
  struct Case {
    std::string Html;
    WideString Caption;
    std::string Why;
  } Cases[] = {
      {"<table><tr><td>Phone</td><td>&nbsp;</td><td><input id=e></td></tr></table>", u"Phone",
       "a spacer cell between label and control"},
      {"<p>Name:&nbsp;<input id=e></p>", u"Name:", "a no-break space between label and control is trimmed"},
      {"<p>\xe6\xb0\x8f\xe5\x90\x8d\xe3\x80\x80<input id=e></p>", u"\u6C0F\u540D",
       "an ideographic space after the label is trimmed"},
      {"<p><input id=a>&nbsp;<input id=e> Extension</p>", u"Extension",
       "a no-break space after another field is no text: the text after the control is"},
  };
  for (const Case& C : Cases) {
    auto Browser = LoadPage(C.Html);
    WideString Caption;
    GetElementCaption(ById(*Browser, "e"), true, true, Caption);
    EXPECT_EQ(Caption, C.Caption) << C.Html << ": " << C.Why;
  }
}

TEST(CaptionFinder, TextBeforeAnEarlierFieldBelongsToThatField) {
  auto Browser = LoadPage("<body><p>Street <input id=a> <input id=b></p><p>Town <input id=c></p></body>");
  EXPECT_EQ(CaptionOf(*Browser, "a"), "Street");
  // The first input closes the before direction for good: "Street" is its text, at every level.
  EXPECT_EQ(CaptionOf(*Browser, "b", true, false), "");
  // With no text between, the next element's own text is taken as it is, although it holds a
  // field: only text found between the control and a later element is checked for that.
  EXPECT_EQ(CaptionOf(*Browser, "b"), "Town");
  EXPECT_EQ(CaptionOf(*Browser, "c"), "Town");
}

TEST(CaptionFinder, DeeplyNestedControlsClimbWithoutRecursion) {
  std::string Html = "<body>Label";
  for (int I = 0; I < 10000; ++I) Html += "<div>";
  Html += "<input id=deep>";
  auto Browser = LoadPage(Html);
  EXPECT_EQ(CaptionOf(*Browser, "deep"), "Label");
  auto Body = Browser->HtmlDocument()->Body();
  EXPECT_TRUE(ContainsField(Body->Children(), 0));
}

TEST(CaptionFinder, TextBetweenElements) {
  auto Browser = LoadFixture("register.html");
  struct Case {
    std::string A;
    bool AfterA;
    std::string B;
    bool ThroughB;
    std::string Text;
  } Cases[] = {
      {"city", true, "age", false, "Age"},                     // up to the select: its option texts left out
      {"city", true, "age", true, "Age 18-30 31-50 over 50"},  // through it: they are its text
      {"age", true, "size", false, ""},                        // a line break between, trimmed away
      {"age", false, "age", true, "18-30 31-50 over 50"},
      {"first", true, "mail", true, "E-mail (work)"},
      {"size", true, "first", false, "shirt size\r\nFirst name:"},  // inner line breaks stay
      {"mail", false, "city", false, ""},                           // B before A: an empty range
  };
  for (const Case& C : Cases)
    EXPECT_EQ(Between(*Browser, C.A, C.AfterA, C.B, C.ThroughB), C.Text)
        << C.A << (C.AfterA ? " end" : " start") << " to " << C.B << (C.ThroughB ? " end" : " start");
}

TEST(CaptionFinder, TextBetweenNeedsADocument) {
  auto Browser = LoadPage("<body><p>x <input id=e></p></body>");
  TElementRef E = ById(*Browser, "e");
  auto Loose = CreateElement(u"input");  // never placed in a page
  WideString Text;
  EXPECT_THROW(TextBetween(Loose, false, E, false, Text), Exception);
  Text = u"stale";
  GetElementCaption(Loose, true, true, Text);  // no parent: nothing to search, nothing to measure
  EXPECT_EQ(Text, u"");
}

TEST(CaptionFinder, FieldElements) {
  auto Browser = LoadPage(R"(<body><input id=text><input id=none type=""><input id=hidden type=HIDDEN>
    <input id=submit type=submit><select id=select></select><textarea id=area></textarea>
    <button id=button>b</button><p id=p><input></p><option id=option>o</option></body>)");
  struct Case {
    std::string Id;
    bool Field;
  } Cases[] = {{"text", true}, {"none", true},    {"hidden", false}, {"submit", true}, {"select", true},
               {"area", true}, {"button", false}, {"p", false},      {"option", false}};
  for (const Case& C : Cases) EXPECT_EQ(IsFieldElement(ById(*Browser, C.Id)), C.Field) << C.Id;
}

TEST(CaptionFinder, FindBySourceIndexAndContainsField) {
  auto Browser = LoadFixture("register.html");
  TElementRef Form = Browser->HtmlDocument()->All()->Tags(u"form")->Item(0);
  TElementsRef Children = Form->Children();
  ASSERT_EQ(Children->Length(), 6);  // three paragraphs, the table, the last paragraph, the hidden input
  for (int32_t I = 0; I < Children->Length(); ++I) EXPECT_EQ(FindBySourceIndex(Children, Children->Item(I)), I);
  EXPECT_EQ(FindBySourceIndex(Children, ById(*Browser, "city")), -1);  // a grandchild
  EXPECT_EQ(FindBySourceIndex(Children, Form), -1);
  EXPECT_EQ(FindBySourceIndex(ById(*Browser, "city")->Children(), Form), -1);  // empty collection

  EXPECT_TRUE(ContainsField(Children, 0));
  EXPECT_TRUE(ContainsField(Children, 3));   // the table: its inputs are four levels down
  EXPECT_FALSE(ContainsField(Children, 4));  // a paragraph and a hidden input
  EXPECT_FALSE(ContainsField(Children, 6));
  EXPECT_FALSE(ContainsField(nullptr, 0));
}

namespace {

// A page's scripts, styles and templates are no captions, and a control the page does not render
// has none at all (rather than a failure to measure it).
TEST(CaptionFinder, ScriptStyleAndTemplateSourceIsNoCaption) {
  const struct {
    const char* Html;
    const char* Caption;
  } Cases[] = {
      {R"(<body><p>City <script>var x = "Company";</script><input id=e></p></body>)", "City"},
      {R"(<body><p><script>var x = "Company";</script><input id=e></p></body>)", ""},
      {R"(<body><p><style>.a { color: red }</style><input id=e> Postcode</p></body>)", "Postcode"},
      {R"(<body><p><template>Company</template><input id=e></p></body>)", ""},
      {R"(<body><p style="display:none">E-mail <input id=e></p></body>)", ""},
  };
  for (const auto& C : Cases) {
    auto Browser = LoadPage(C.Html);
    EXPECT_EQ(CaptionOf(*Browser, "e"), C.Caption) << C.Html;
  }
}

}  // namespace
