// One table of address resolutions, run on both bindings: the headless resolver and WinINet under
// Wine must agree with what the browser gives on Windows.

#include <gtest/gtest.h>

#include "BHO/URLUtils.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"
#include "support/TestPlatform.h"

using namespace pel;

namespace {
const char* const Page = "http://a.com/dir/a.asp";

struct TCombineCase {
  const char* Base;
  const char* Relative;
  const char* Expected;
  // Set where Wine's WinINet is known to give another result than Windows: the reason.
  const char* WineDiffers = nullptr;
};

const TCombineCase Cases[] = {
    {Page, "b.asp", "http://a.com/dir/b.asp"},
    {Page, "?q=1", "http://a.com/dir/a.asp?q=1",
     "Wine 8 resolves a bare query against the directory (http://a.com/dir/?q=1); Windows keeps the document"},
    {"http://a.com/a.asp", "?q=1", "http://a.com/a.asp?q=1",
     "Wine 8 resolves a bare query against the directory (http://a.com/?q=1); Windows keeps the document"},
    {Page, "", "http://a.com/dir/a.asp",
     "Wine 8 resolves an empty reference to the directory (http://a.com/dir/); Windows keeps the document"},
    {Page, "#frag", "http://a.com/dir/a.asp#frag"},
    {"http://a.com/dir/a.asp?q=1#f", "#g", "http://a.com/dir/a.asp?q=1#g"},
    {Page, "/root.html", "http://a.com/root.html"},
    {Page, "/", "http://a.com/"},
    {Page, "//b.com/x", "http://b.com/x"},
    {Page, "//b.com", "http://b.com/"},
    {Page, "https://c.com/y", "https://c.com/y"},
    {Page, "HTTPS://B.COM/X/../Y", "https://B.COM/Y"},
    {Page, "../up.html", "http://a.com/up.html"},
    {Page, "..", "http://a.com/"},
    {Page, "../../../top.html", "http://a.com/top.html"},
    {"http://a.com/a/b/c", "../../../../x", "http://a.com/x"},
    {Page, "./same.html", "http://a.com/dir/same.html"},
    {Page, "sub/./x/../y.html", "http://a.com/dir/sub/y.html"},
    {Page, "x/y/../../z.html", "http://a.com/dir/z.html"},
    {Page, "..\\x.html", "http://a.com/x.html"},
    {"http://a.com/dir", "x.html", "http://a.com/x.html"},  // a base without "/" names a document
    {"http://a.com", "x.html", "http://a.com/x.html"},
    {"http://a.com/dir/", "x.html", "http://a.com/dir/x.html"},
    {"http://a.com/dir/a.asp?x=1", "b.asp", "http://a.com/dir/b.asp"},
    {Page, "b.asp?x=1#y", "http://a.com/dir/b.asp?x=1#y"},
    {Page, "b.asp?x=../y", "http://a.com/dir/b.asp?x=../y"},
    {Page, "b.asp?q=a b", "http://a.com/dir/b.asp?q=a b"},  // nothing after "?" is encoded
    {Page, "b.asp#a b", "http://a.com/dir/b.asp#a b"},
    {Page, "a b.html", "http://a.com/dir/a%20b.html"},
    {Page, "q\"x{y}|z^w`v<>.asp", "http://a.com/dir/q%22x%7By%7D%7Cz%5Ew%60v%3C%3E.asp"},
    {Page, "%41.asp", "http://a.com/dir/%41.asp"},
    // Bytes of the system code page above ASCII are escaped in the path, and only there.
    {Page, "caf\xE9.html", "http://a.com/dir/caf%E9.html"},
    {Page, "d\xE9j\xE0/b.asp?q=caf\xE9#\xE9", "http://a.com/dir/d%E9j%E0/b.asp?q=caf\xE9#\xE9"},
    {Page, "b;p=1.asp", "http://a.com/dir/b;p=1.asp"},
    {Page, "http:foo.html", "http://a.com/dir/foo.html"},
    {"HTTP://WWW.A.COM/Dir/a.asp", "b.asp", "http://WWW.A.COM/Dir/b.asp"},
    {"http://a.com:8080/d/a", "b", "http://a.com:8080/d/b"},
    {"http://u:p@a.com/d/a", "b", "http://u:p@a.com/d/b"},
    {"ftp://f.com/d/x", "y", "ftp://f.com/d/y"},
    {Page, "mailto:x@y.com", "mailto:x@y.com"},
    {Page, "javascript:void(0)", "javascript:void(0)"},
};
}  // namespace

TEST(CombineURL, ResolvesAsTheBrowserDoes) {
  const bool Wine = test::RunningUnderWine();
  for (const TCombineCase& C : Cases) {
    if (Wine && C.WineDiffers) {
      std::printf("[ SKIPPED  ] %s + %s under Wine: %s\n", C.Base, C.Relative, C.WineDiffers);
      continue;
    }
    EXPECT_EQ(CombineURL(C.Base, C.Relative, ICU_BROWSER_MODE), C.Expected) << C.Base << " + " << C.Relative;
  }
}

TEST(CombineURL, AResultLongerThanTheBufferFails) {
  // Just inside the stated size (2047 characters and the terminating zero) still fits.
  const AnsiString Fits(2047 - AnsiString("http://a.com/dir/").size(), 'y');
  EXPECT_EQ(CombineURL(Page, Fits, ICU_BROWSER_MODE), "http://a.com/dir/" + Fits);

  if (test::RunningUnderWine()) {
    GTEST_SKIP() << "Wine 8's InternetCombineUrlA answers success with a cut result when a zero-filled buffer "
                    "is too small; Windows fails with ERROR_INSUFFICIENT_BUFFER";
  }
  for (size_t Length : {Fits.size() + 1, size_t{3000}}) {
    try {
      CombineURL(Page, AnsiString(Length, 'x'), ICU_BROWSER_MODE);
      ADD_FAILURE() << "a result of " << Length + 17 << " characters was accepted";
    } catch (const Exception& E) {
      EXPECT_EQ(E.Message(), "Error in InternetCombineUrl!\r\n>>1131");
    }
  }
}
