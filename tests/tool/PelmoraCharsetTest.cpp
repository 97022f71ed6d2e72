// A page's bytes as the tool reads them: a byte-order mark before any declaration, an unknown
// character set as the web's default, and a body in an encoding the tool did not ask for refused
// rather than read as markup. Decoding is checked directly, and the whole tool against a loopback
// server.

#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

#include "NetworkPageSource.h"

#include "tool/ToolTestSupport.h"

using pel::test::TRun;

namespace {

using pel::tool::PageTextAsUtf8;

std::string Utf16(const std::string& Ascii, bool Little) {
  std::string Out = Little ? std::string("\xFF\xFE", 2) : std::string("\xFE\xFF", 2);
  for (char C : Ascii) {
    Out += Little ? C : '\0';
    Out += Little ? '\0' : C;
  }
  return Out;
}

TEST(PelmoraCharset, ABomWinsAnUnknownLabelFallsBackAndTheBomIsNoText) {
  const std::string Bom8 = "\xEF\xBB\xBF";
  struct TCase {
    std::string Name, Bytes, Charset, Expected;
  };
  const std::vector<TCase> Cases = {
      {"UTF-8 BOM, no declaration", Bom8 + "Gr\xC3\xBC\xC3\x9F" "e", "", "Gr\xC3\xBC\xC3\x9F" "e"},
      {"UTF-8 BOM over the header", Bom8 + "Stra\xC3\x9F" "e", "windows-1252", "Stra\xC3\x9F" "e"},
      {"UTF-8 BOM over the meta", Bom8 + "<meta charset=iso-8859-1>\xC3\xA9", "", "<meta charset=iso-8859-1>\xC3\xA9"},
      {"UTF-16LE BOM", Utf16("<p>ab</p>", true), "", "<p>ab</p>"},
      {"UTF-16BE BOM over the header", Utf16("<p>ab</p>", false), "iso-8859-1", "<p>ab</p>"},
      {"unknown label", "caf\xE9", "x-nonsense", "caf\xC3\xA9"},
      {"unknown meta label", "<meta charset=\"x-nonsense\">caf\xE9", "", "<meta charset=\"x-nonsense\">caf\xC3\xA9"},
      {"no declaration", "caf\xE9", "", "caf\xC3\xA9"},
      {"header label", "caf\xE9", "ISO-8859-1", "caf\xC3\xA9"},
      {"UTF-8 without BOM", "caf\xC3\xA9", "utf-8", "caf\xC3\xA9"},
  };
  for (const TCase& C : Cases) EXPECT_EQ(PageTextAsUtf8(C.Bytes, C.Charset), C.Expected) << C.Name;
}

class PelmoraCharsetNet : public pel::test::TToolServerTest {
protected:
  void SetUp() override {
    TToolServerTest::SetUp();
    Server.Get("/page", [this](const httplib::Request&, httplib::Response& R) {
      std::lock_guard<std::mutex> Guard(Lock);
      if (!Encoding.empty()) R.set_header("Content-Encoding", Encoding);
      R.set_content(Body, Type);
    });
    StartServer();
  }
  void Serve(std::string NewBody, std::string NewType, std::string NewEncoding = "") {
    std::lock_guard<std::mutex> Guard(Lock);
    Body = std::move(NewBody);
    Type = std::move(NewType);
    Encoding = std::move(NewEncoding);
  }
  std::string Url() const { return TToolServerTest::Url("/page"); }

  std::string Body, Type, Encoding;
};

TEST_F(PelmoraCharsetNet, PagesAreReadInTheCharsetTheirBytesShow) {
  const std::string Page =
      "<html><head><title>T</title></head><body><form>E-mail <input name=email></form></body></html>";
  struct TCase {
    std::string Name, Body, Type, Says;
  };
  const std::vector<TCase> Cases = {
      {"UTF-16LE with BOM", Utf16(Page, true), "text/html", "john.public@example.com"},
      {"UTF-16BE with BOM, header says otherwise", Utf16(Page, false), "text/html; charset=iso-8859-1",
       "john.public@example.com"},
      {"UTF-8 with BOM", "\xEF\xBB\xBF<html><head><title>Gr\xC3\xBC\xC3\x9F" "e</title></head><body>"
                         "<form>E-mail <input name=email></form></body></html>",
       "text/html", "Gr\xC3\xBC\xC3\x9F" "e"},
      {"unknown label", "<html><head><title>Caf\xE9</title></head><body>x</body></html>",
       "text/html; charset=x-nonsense", "Caf\xC3\xA9"},
  };
  for (const TCase& C : Cases) {
    Serve(C.Body, C.Type);
    const auto [Code, Out] = Run("fill " + Url());
    EXPECT_EQ(Code, 0) << C.Name << "\n" << Out;
    EXPECT_NE(Out.find(C.Says), std::string::npos) << C.Name << "\n" << Out;
  }
}

TEST_F(PelmoraCharsetNet, ABodyInAnEncodingNotAskedForIsRefused) {
  // The page below, gzip-compressed: sent without the tool having asked for it.
  const unsigned char Gzip[] = {
      0x1f, 0x8b, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x03, 0xb3, 0xc9, 0x28, 0xc9, 0xcd, 0xb1, 0xb3, 0xc9,
      0x48, 0x4d, 0x4c, 0xb1, 0xb3, 0x29, 0xc9, 0x2c, 0xc9, 0x49, 0xb5, 0x0b, 0x48, 0x4c, 0xce, 0x4e, 0x4d, 0xb1,
      0xd1, 0x87, 0xf0, 0x6c, 0xf4, 0x21, 0x72, 0x49, 0xf9, 0x29, 0x95, 0x76, 0x36, 0x69, 0xf9, 0x45, 0xb9, 0x76,
      0xae, 0xba, 0xb9, 0x89, 0x99, 0x39, 0x0a, 0x36, 0x99, 0x79, 0x05, 0xa5, 0x25, 0x0a, 0x79, 0x89, 0xb9, 0xa9,
      0xb6, 0xa9, 0x20, 0x11, 0xa0, 0x5a, 0xb0, 0xbc, 0x8d, 0x3e, 0x44, 0xb1, 0x3e, 0xd8, 0x6c, 0x00, 0xfb, 0xb9,
      0x6f, 0xd0, 0x62, 0x00, 0x00, 0x00};
  for (const std::string Encoding : {"gzip", "br", "x-custom"}) {
    Serve(std::string(reinterpret_cast<const char*>(Gzip), sizeof Gzip), "text/html", Encoding);
    const auto [Code, Out] = Run("fill " + Url());
    EXPECT_EQ(Code, 3) << Encoding << "\n" << Out;
    EXPECT_NE(Out.find("an encoding the tool did not ask for (" + Encoding + ")"), std::string::npos)
        << Encoding << "\n" << Out;
  }
  // Named as no encoding at all, the page is read.
  Serve("<html><head><title>Plain</title></head><body>x</body></html>", "text/html", "identity");
  const auto [Code, Out] = Run("fill " + Url());
  EXPECT_EQ(Code, 0) << Out;
  EXPECT_NE(Out.find("Plain"), std::string::npos) << Out;
}

}  // namespace

namespace {

// The reading of an answer the fetches and the fuzz target share: status, Location, encoding and
// type decide between page, redirect and refusal.
TEST(PelmoraAnswer, TheStatusAndHeadersDecideBetweenPageRedirectAndRefusal) {
  using pel::tool::ReadAnswer;
  using pel::tool::TAnswer;
  const std::string Asked = "http://example.test/dir/page?q=1";
  struct TCase {
    std::string Name, Head, Body;
    TAnswer::TKind Kind;
    std::string Expected;  // the page's text, the redirect's address or a part of the refusal
  };
  const std::vector<TCase> Cases = {
      {"page in its header's charset", "HTTP/1.1 200 OK\r\nCONTENT-TYPE: text/html; charset=ISO-8859-1\r\n", "\xE9",
       TAnswer::Page, "\xC3\xA9"},
      {"relative redirect", "HTTP/1.1 302 Found\r\nlocation:  ../other?x=1 \r\n", "", TAnswer::Redirect,
       "http://example.test/other?x=1"},
      {"redirect with a space", "HTTP/2 308\r\nLocation: /a b\r\n", "", TAnswer::Redirect, "http://example.test/a%20b"},
      {"3xx without Location is a page", "HTTP/1.1 300 Choices\r\n", "x", TAnswer::Page, "x"},
      // The resolving lets a blank in a fragment through; the judging parser does not.
      {"redirect to what cannot be judged", "HTTP/1.1 301 Moved\r\nLocation: gopher://e# 0\r\n", "",
       TAnswer::Refused, "which is not an address"},
      {"error status", "HTTP/1.1 503 Busy\r\nContent-Type: text/html\r\n", "x", TAnswer::Refused, "HTTP 503"},
      {"not HTTP", "SSH-2.0-x\r\n", "", TAnswer::Refused, "not HTTP"},
      {"status without digits", "HTTP/1.1 2x0 OK\r\n", "", TAnswer::Refused, "not HTTP"},
      {"deflate not asked for", "HTTP/1.1 200 OK\r\nContent-Encoding: deflate\r\n", "x", TAnswer::Refused,
       "did not ask for (deflate)"},
      {"not HTML", "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n", "{}", TAnswer::Refused,
       "not an HTML page (application/json)"},
  };
  for (const TCase& C : Cases) {
    const TAnswer A = ReadAnswer(C.Head, C.Body, Asked);
    EXPECT_EQ(A.Kind, C.Kind) << C.Name << ": " << A.Error;
    const std::string& Got = C.Kind == TAnswer::Page ? A.Utf8Html : C.Kind == TAnswer::Redirect ? A.Location : A.Error;
    if (C.Kind == TAnswer::Refused)
      EXPECT_NE(Got.find(C.Expected), std::string::npos) << C.Name << ": " << Got;
    else
      EXPECT_EQ(Got, C.Expected) << C.Name;
  }
}

}  // namespace
