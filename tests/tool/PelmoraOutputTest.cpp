// What the command-line tool prints, and how it exits, against pages and arguments that would
// make it say too much or say it wrongly: secrets in addresses and bodies, control characters in
// page text, and command lines the contract gives an exit code for.

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "tool/ToolTestSupport.h"

using pel::test::TRun;

namespace {


class PelmoraOutput : public pel::test::TToolServerTest {
protected:
  void SetUp() override {
    TToolServerTest::SetUp();
    Server.Get("/post", [](const httplib::Request&, httplib::Response& R) {
      R.set_content(R"(<html><head><title>Sign in</title></head><body><form action="/done" method="post">
        E-mail <input name=email> Password <input type=password name=pw> <input type=submit value=Go>
        </form></body></html>)",
                    "text/html");
    });
    Server.Get("/get", [](const httplib::Request&, httplib::Response& R) {
      R.set_content(R"(<html><head><title>Sign in</title></head><body><form action="/done" method="get">
        E-mail <input name=email> Password <input type=password name=pw> <input type=submit value=Go>
        </form></body></html>)",
                    "text/html");
    });
    // The profile's password in a box that does not mask it.
    Server.Get("/plain", [](const httplib::Request&, httplib::Response& R) {
      R.set_content(R"(<html><head><title>Sign in</title></head><body><form action="/done" method="post">
        E-mail <input name=email> Password <input type=text name=password> <input type=submit value=Go>
        </form></body></html>)",
                    "text/html");
    });
    // Control characters in the title and, by character references, in the controls' names.
    Server.Get("/controls", [](const httplib::Request&, httplib::Response& R) {
      R.set_content("<html><head><title>Bank&#27;]0;owned&#7;&#27;[2J&#13;Title</title></head><body><form name=f>"
                    "E-mail <input name=\"one&#10;  f: forged = yes\"> City <input name=\"esc&#27;[2J\">"
                    " First name <input name=\"bel&#7;cr&#13;del&#127;\"></form></body></html>",
                    "text/html");
    });
    auto Done = [this](const httplib::Request& Q, httplib::Response& R) {
      std::lock_guard<std::mutex> Guard(Lock);
      Received.push_back(Q.method == "POST" ? Q.body : Q.target);
      R.set_content("<html><head><title>Welcome</title></head><body>Hello</body></html>", "text/html");
    };
    Server.Get("/done", Done);
    Server.Post("/done", Done);
    StartServer();
  }

  std::vector<std::string> Received;  // POST bodies and GET targets of /done
};

// The password goes to the page that asked for it, and nowhere else: not in the body shown, not in
// the address a GET form submits to, not in the address of the page that follows.
TEST_F(PelmoraOutput, ThePasswordIsPrintedOnlyMasked) {
  ASSERT_EQ(Run("store set Password 's3cr&t pw'").Code, 0);
  const std::string Stars = "pw=********";
  struct TCase {
    std::string Page;
    bool Json;
    std::vector<std::string> Shows;  // where the password was, masked
    std::string Sent;                 // what the page got
  };
  const std::vector<TCase> Cases = {
      {"/post", false, {"pw \"Password\" [Password] = ********"}, "pw=s3cr%26t+pw"},
      {"/post", true, {"\"post_data\":\"email=john.public%40example.com&" + Stars + "\""}, "pw=s3cr%26t+pw"},
      {"/get", false, {"submitted to " + Url("/done?email=john.public%40example.com&" + Stars),
                       "\n" + Url("/done?email=john.public%40example.com&" + Stars) + "  \"Welcome\""},
       "pw=s3cr%26t+pw"},
      {"/get", true, {"\"submitted_to\":\"" + Url("/done?email=john.public%40example.com&" + Stars) + "\"",
                      "\"address\":\"" + Url("/done?email=john.public%40example.com&" + Stars) + "\""},
       "pw=s3cr%26t+pw"},
      {"/plain", false, {"password \"Password\" [Password] = ********"}, "password=s3cr%26t+pw"},
      {"/plain", true, {"\"post_data\":\"email=john.public%40example.com&password=********\"",
                        "\"value\":\"********\""}, "password=s3cr%26t+pw"},
  };
  for (const TCase& C : Cases) {
    {
      std::lock_guard<std::mutex> Guard(Lock);
      Received.clear();
    }
    const TRun R = Run("fill --submit " + std::string(C.Json ? "--json " : "") + Url(C.Page));
    const std::string Label = C.Page + (C.Json ? " --json" : "");
    ASSERT_EQ(R.Code, 0) << Label << "\n" << R.Out;
    EXPECT_EQ(R.Out.find("s3cr"), std::string::npos) << Label << "\n" << R.Out;
    for (const std::string& Shown : C.Shows) EXPECT_NE(R.Out.find(Shown), std::string::npos) << Label << ": " << Shown << "\n" << R.Out;
    // Only what is printed is masked: the page got the password itself.
    std::lock_guard<std::mutex> Guard(Lock);
    ASSERT_EQ(Received.size(), 1u) << Label << "\n" << R.Out;
    EXPECT_NE(Received[0].find(C.Sent), std::string::npos) << Label << ": " << Received[0];
  }
}

// Text a page chose reaches the terminal as visible escapes: it neither drives the terminal nor
// breaks the report into lines of its own making.
TEST_F(PelmoraOutput, ControlCharactersOfAPageArePrintedAsEscapes) {
  const TRun Text = Run("fill " + Url("/controls"));
  ASSERT_EQ(Text.Code, 0) << Text.Out;
  for (char Raw : {'\x1b', '\x07', '\r', '\x7f'})
    EXPECT_EQ(Text.Out.find(Raw), std::string::npos) << int(Raw) << "\n" << Text.Out;
  std::vector<std::string> Lines;
  std::istringstream In(Text.Out);
  for (std::string Line; std::getline(In, Line);) Lines.push_back(Line);
  // The page's line, one line per filled control, the outcome; nothing forged among them.
  ASSERT_EQ(Lines.size(), 5u) << Text.Out;
  EXPECT_EQ(Lines[0], Url("/controls") + "  \"Bank\\x1b]0;owned\\x07\\x1b[2J Title\"");
  EXPECT_EQ(Lines[1], "  f: one\\n  f: forged = yes \"E-mail\" [E-mail] = john.public@example.com");
  EXPECT_EQ(Lines[2], "  f: esc\\x1b[2J \"City\" [City] = Springfield");
  EXPECT_EQ(Lines[3], "  f: bel\\x07cr\\rdel\\x7f \"First name\" [First name] = John");

  // JSON has escapes of its own: the names come back whole.
  const TRun Json = Run("fill --json " + Url("/controls"));
  ASSERT_EQ(Json.Code, 0) << Json.Out;
  EXPECT_EQ(Json.Out.find('\x1b'), std::string::npos);
  const auto Page = nlohmann::json::parse(Json.Out.substr(0, Json.Out.find('\n')));
  ASSERT_EQ(Page["filled"].size(), 3u) << Json.Out;
  EXPECT_EQ(Page["filled"][0]["name"], "one\n  f: forged = yes");
  EXPECT_EQ(Page["filled"][1]["name"], "esc\x1b[2J");
  EXPECT_EQ(Page["filled"][2]["name"], "bel\x07" "cr\rdel\x7f");
}

// Each command line the contract gives an exit code for gets that code and a line saying why; the
// runs that succeed beside them show the refusals are about the mistake, not the command.
TEST_F(PelmoraOutput, MistakesOnTheCommandLineGetTheirExitCodes) {
  const TRun Capture = Run("capture " + Url("/post") + " --set Mine --field email=me@mine.example");
  ASSERT_EQ(Capture.Code, 0) << Capture.Out;
  const auto BadKind = Home / "bad-kind.json";
  std::ofstream(BadKind) << R"({"items": [{"kind": 7, "set": "s", "name": "n", "url": "", "data": ""}]})";
  const auto NoName = Home / "no-name.json";
  std::ofstream(NoName) << R"({"profiles": [{"name": "", "values": {}}]})";
  struct TCase {
    std::string Arguments;
    int Code;
    std::string Says;
  };
  const std::vector<TCase> Cases = {
      {"fill --profile Typo " + Url("/post"), 6, "unknown profile \"Typo\""},
      // The page has a card now (the capture's), which the automatic fill takes.
      {"fill --profile sample " + Url("/post"), 0, "= me@mine.example"},
      {"fill --card " + Url("/post") + "/Nope " + Url("/post"), 6, "unknown form card"},
      {"fill --card " + Url("/post") + "/Mine " + Url("/post"), 0, "= me@mine.example"},
      {"store profile add SAMPLE", 2, "already"},
      {"store profile add ''", 2, "a name"},
      {"store profile add '  '", 2, "a name"},
      {"store import --json " + BadKind.string(), 2, "items[0].kind: 7 is no kind"},
      {"store import --json " + NoName.string(), 2, "profiles[0].name: empty"},
      {"fill --allow-host 127.0.0.1:8080 " + Url("/post"), 2, "a host only"},
      {"fill --allow-host http://127.0.0.1/ " + Url("/post"), 2, "a host only"},
      {"fill --allow-host user@localhost " + Url("/post"), 2, "a host only"},
      {"capture --allow-host localhost:80 " + Url("/post") + " --set X --field email=a", 2, "a host only"},
      {"fill --allow-host localhost --allow-host [::1] " + Url("/post"), 0, "= me@mine.example"},
  };
  for (const TCase& C : Cases) {
    const TRun R = Run(C.Arguments);
    EXPECT_EQ(R.Code, C.Code) << C.Arguments << "\n" << R.Out;
    EXPECT_NE(R.Out.find(C.Says), std::string::npos) << C.Arguments << "\n" << R.Out;
  }
  // None of the refused commands changed the store.
  const TRun Profiles = Run("store profiles");
  EXPECT_EQ(Profiles.Out, "* Sample\n");
  const TRun Cards = Run("store cards");
  EXPECT_EQ(Cards.Out, "card\t" + Url("/post") + "\tMine\n");
}

}  // namespace
