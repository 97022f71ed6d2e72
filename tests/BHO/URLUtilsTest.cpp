#include <gtest/gtest.h>

#include "BHO/URLUtils.h"

using namespace pel;

TEST(URLUtils, NormalizeURL) {
  struct Case {
    WideString In, Out;
  } Cases[] = {
      {u"  http://a.com/dir/  ", u"http://a.com/dir"},
      {u"http://a.com/find?q=1&r=/", u"http://a.com/find"},
      {u"http://a.com/dir//", u"http://a.com/dir/"},
      {u"/", u""},
      {u"http://a.com/x/?q", u"http://a.com/x"},
      {u"\t\r\nhttp://a.com\x01", u"http://a.com"},
      {u"", u""},
      {u"http://a.com/p#frag", u"http://a.com/p#frag"},  // only the query goes
  };
  for (const Case& C : Cases) EXPECT_EQ(NormalizeURL(C.In), C.Out) << testing::PrintToString(C.In);
}

TEST(URLUtils, StripWWW) {
  struct Case {
    WideString In, Out;
  } Cases[] = {
      {u"http://www.a.com/x", u"http://a.com/x"},
      {u"HTTP://WWW.A.com/X", u"http://A.com/X"},
      {u"https://www.a.com", u"https://a.com"},
      {u"HtTpS://wWw.a.com", u"https://a.com"},
      {u"http://www2.a.com", u"http://www2.a.com"},
      {u"ftp://www.a.com", u"ftp://www.a.com"},
      {u"http://a.com/www.x", u"http://a.com/www.x"},
      {u"http://www.", u"http://"},
      {u"http://ww", u"http://ww"},
  };
  for (const Case& C : Cases) EXPECT_EQ(StripWWW(C.In), C.Out) << testing::PrintToString(C.In);
}

TEST(URLUtils, ExtractHost) {
  struct Case {
    WideString In, Out;
  } Cases[] = {
      {u"https://www.shop.com/cart/view", u"shop.com"},
      {u"http://user:pw@host.com:8080/p", u"user:pw@host.com:8080"},
      {u"http://a.com", u"a.com"},
      {u"www.a.com/x", u"a.com"},
      {u"HTTP://www.a.com/x", u"HTTP:"},  // the scheme test is case-sensitive; callers lower-case first
      {u"ftp://a.com/x", u"ftp:"},
      {u"", u""},
  };
  for (const Case& C : Cases) EXPECT_EQ(ExtractHost(C.In), C.Out) << testing::PrintToString(C.In);
}

TEST(URLUtils, ParseRefreshContent) {
  struct Case {
    AnsiString Content;
    int32_t Delay;
    WideString URL;
  } Cases[] = {
      {"0;URL=next.html", 0, u"next.html"},
      {"0; url=a.asp?x=1", 0, u"a.asp?x"},  // the address is cut at its own "="
      {"0", 1, u""},
      {"5;URL=x", 5, u"x"},
      {"0,URL=x", 0, u"x"},
      {" 3 ;next.html", 3, u"next.html"},  // no "=": the whole piece, untrimmed
      {"0; next.html", 0, u" next.html"},
      {"soon;URL=x", -1, u"x"},
      {";;0;;URL=y", 0, u"y"},  // empty pieces are dropped
      {"", 1, u""},
      {"0;URL==x", 0, u"x"},
  };
  for (const Case& C : Cases) {
    WideString URL = u"stale";
    EXPECT_EQ(ParseRefreshContent(C.Content, URL), C.Delay) << C.Content;
    EXPECT_EQ(URL, C.URL) << C.Content;
  }
}
