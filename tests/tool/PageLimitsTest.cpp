// What one page may cost the command-line tool: the markup's nesting and element count measured
// as a parser keeps elements open, before the page is parsed.

#include <gtest/gtest.h>

#include <string>

#include "PageLimits.h"

using namespace pel::tool;

namespace {

std::string Repeat(const std::string& Piece, int Times) {
  std::string Out;
  for (int I = 0; I < Times; ++I) Out += Piece;
  return Out;
}

TEST(PageLimits, DepthIsTheNestingAParserKeepsOpen) {
  struct TCase {
    const char* Name;
    std::string Html;
    size_t Depth;
    size_t Elements;
  };
  const TCase Cases[] = {
      {"plain", "<html><body><div><p>Text <b>bold</b></p></div></body></html>", 5, 5},
      {"void elements", "<body>" + Repeat("<br><img src=a><input name=x>", 100) + "</body>", 1, 301},
      {"unclosed paragraphs", "<body>" + Repeat("<p>Text", 1000) + "</body>", 2, 1001},
      {"a paragraph before a block", "<body><p>Text<div>Block</div></body>", 2, 3},
      {"unclosed list items", "<ul>" + Repeat("<li>Item", 1000) + "</ul>", 2, 1001},
      {"unclosed options", "<select>" + Repeat("<option>Choice", 500) + "</select>", 2, 501},
      {"unclosed cells and rows", "<table>" + Repeat("<tr><td>a<td>b", 300) + "</table>", 3, 901},
      {"nested tables", Repeat("<table><tr><td>", 100), 300, 300},
      {"nested spans", Repeat("<span>", 1000) + Repeat("</span>", 1000), 1000, 1000},
      {"tags in a comment", "<body><!--" + Repeat("<div>", 1000) + "--></body>", 1, 1},
      {"tags in a script", "<body><script>" + Repeat("<div>", 1000) + "</SCRIPT><div></div></body>", 2, 3},
      {"tags in noscript text", "<body><noscript>" + Repeat("<div>", 1000) + "</noscript></body>", 2, 2},
      {"a \">\" in a quoted value", "<body><div title=\"a>b\"><span title='c>d'>x</span></div></body>", 3, 3},
      {"a stray end tag", "<body><div><span></table></span></div></body>", 3, 3},
      {"not a tag", "<body>1 < 2 and 3 <4 </ 5</body>", 1, 1},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    const TMarkupCost Cost = MeasureMarkup(C.Html);
    EXPECT_EQ(Cost.Depth, C.Depth);
    EXPECT_EQ(Cost.Elements, C.Elements);
  }
}

TEST(PageLimits, APageBeyondALimitIsRefusedSayingWhich) {
  std::string Why;
  EXPECT_TRUE(AdmitPage(Repeat("<table><tr><td>", 600), {}, Why)) << Why;
  EXPECT_FALSE(AdmitPage(Repeat("<table><tr><td>", 700), {}, Why));
  EXPECT_NE(Why.find("nests elements more than 2000 deep (2100)"), std::string::npos) << Why;
  EXPECT_FALSE(AdmitPage(Repeat("<p>", 1000001), {}, Why));
  EXPECT_NE(Why.find("more than 1000000 elements"), std::string::npos) << Why;
  EXPECT_TRUE(AdmitPage(Repeat("<p>", 1000), {1000, 10}, Why)) << Why;
  EXPECT_FALSE(AdmitPage(Repeat("<p>", 1001), {1000, 10}, Why));
}

}  // namespace
