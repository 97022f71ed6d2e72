// What the command-line tool says about a page it did not fill or did not send, and how it exits:
// the reason is in the message, not left for the person to guess from a bare outcome.

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <chrono>
#include <thread>

#include "tool/ToolTestSupport.h"

using pel::test::TRun;

namespace {


class PelmoraMessage : public pel::test::TToolServerTest {
protected:
  void SetUp() override {
    TToolServerTest::SetUp();
    auto Page = [this](const std::string& Path, const std::string& Body) {
      Server.Get(Path, [Body](const httplib::Request&, httplib::Response& R) { R.set_content(Body, "text/html"); });
    };
    // A form whose action is on a host that was not named: the host check refuses the submission.
    Server.Get("/offsite", [this](const httplib::Request&, httplib::Response& R) {
      R.set_content("<html><body><form method=post action=\"http://localhost:" + std::to_string(Port) +
                        "/done\">E-mail <input name=email> <input type=submit></form></body></html>",
                    "text/html");
    });
    // A box the profile has nothing for keeps the form from being complete.
    Page("/extra", R"(<html><body><form method=post action="/done">E-mail <input name=email>
      Favourite colour <input name=colour required> Shoe size <input name=shoe>
      <input type=submit></form></body></html>)");
    Page("/email", R"(<html><body><form method=post action="/done">E-mail <input name=email>
      <input type=submit></form></body></html>)");
    Page("/noform", "<html><head><title>Plain</title></head><body>Nothing to fill here</body></html>");
    Page("/unknown", R"(<html><body><form method=post action="/done">Favourite colour <input name=colour>
      <input type=submit></form></body></html>)");
    // Reached, but the answer does not come within the time-out the test gives.
    Server.Get("/silent", [](const httplib::Request&, httplib::Response& R) {
      std::this_thread::sleep_for(std::chrono::seconds(3));
      R.set_content("<html></html>", "text/html");
    });
    Server.Get("/bighead", [](const httplib::Request&, httplib::Response& R) {
      R.set_header("X-Filler", std::string(1024 * 1024, 'a'));
      R.set_content("<html></html>", "text/html");
    });
    auto Done = [this](const httplib::Request& Q, httplib::Response& R) {
      std::lock_guard<std::mutex> Guard(Lock);
      Received.push_back(Q.body);
      R.set_content("<html><head><title>Welcome</title></head><body>Hello</body></html>", "text/html");
    };
    Server.Post("/done", Done);
    StartServer();
  }
  static std::vector<nlohmann::json> Records(const std::string& Out) {
    std::vector<nlohmann::json> Lines;
    std::istringstream In(Out);
    for (std::string Line; std::getline(In, Line);)
      if (!Line.empty() && Line[0] == '{') Lines.push_back(nlohmann::json::parse(Line));
    return Lines;
  }

  std::vector<std::string> Received;
};

// A submission the host check refused never left: the page is not reported as submitted, the
// reason is given and the run fails as a page that could not be loaded does.
TEST_F(PelmoraMessage, ARefusedSubmissionIsReportedAsNotSubmitted) {
  const TRun Text = Run("fill --submit " + Url("/offsite"));
  EXPECT_EQ(Text.Code, 3) << Text.Out;
  EXPECT_EQ(Text.Out.find("  submitted\n"), std::string::npos) << Text.Out;
  EXPECT_NE(Text.Out.find("not submitted"), std::string::npos) << Text.Out;
  EXPECT_NE(Text.Out.find("the host localhost was not named"), std::string::npos) << Text.Out;

  const TRun Json = Run("fill --submit --json " + Url("/offsite"));
  EXPECT_EQ(Json.Code, 3) << Json.Out;
  const auto Pages = Records(Json.Out);
  ASSERT_EQ(Pages.size(), 1u) << Json.Out;
  EXPECT_EQ(Pages[0]["outcome"], "not submitted") << Json.Out;
  EXPECT_NE(Pages[0].value("why", "").find("the host localhost was not named"), std::string::npos) << Json.Out;
  std::lock_guard<std::mutex> Guard(Lock);
  EXPECT_TRUE(Received.empty());
}

// A page left as it was, or a form left unsent, says why: the person cannot tell from "done"
// whether the page had no form, the store did not know its boxes, or the profile was empty.
TEST_F(PelmoraMessage, APageNotFilledOrNotSubmittedSaysWhy) {
  ASSERT_EQ(Run("store profile add Empty").Code, 0);
  struct TCase {
    std::string Arguments;
    std::vector<std::string> Says;
    std::string Never;  // a box that is not to blame
  };
  const std::vector<TCase> Cases = {
      {"fill --submit " + Url("/extra"), {"not submitted", "colour (required)", "shoe"}, "email"},
      {"fill " + Url("/noform"), {"no form"}, ""},
      {"fill " + Url("/unknown"), {"nothing filled", "recognised", "colour"}, ""},
      {"fill --profile Empty " + Url("/email"), {"nothing filled", "the profile Empty has no value", "E-mail"}, ""},
  };
  for (const TCase& C : Cases) {
    const TRun R = Run(C.Arguments);
    EXPECT_EQ(R.Code, 0) << C.Arguments << "\n" << R.Out;
    for (const std::string& Part : C.Says) EXPECT_NE(R.Out.find(Part), std::string::npos) << C.Arguments << "\n" << R.Out;
    const TRun Json = Run(C.Arguments + " --json");
    const auto Pages = Records(Json.Out);
    ASSERT_EQ(Pages.size(), 1u) << C.Arguments << "\n" << Json.Out;
    const std::string Why = Pages[0].value("why", "");
    for (const std::string& Part : C.Says) EXPECT_NE(Why.find(Part), std::string::npos) << C.Arguments << "\n" << Why;
    if (!C.Never.empty()) {
      EXPECT_EQ(Why.find(C.Never), std::string::npos) << C.Arguments << "\n" << Why;
    }
  }
  std::lock_guard<std::mutex> Guard(Lock);
  EXPECT_TRUE(Received.empty());
}

// Every input gets a record, in order, and each record names the input it came from: a page that
// did not load is a record with its error, not a gap the reader has to notice.
TEST_F(PelmoraMessage, JsonHasARecordForEveryInput) {
  const std::vector<std::string> Inputs = {Url("/email"), Url("/missing"), Url("/noform")};
  const TRun R = Run("fill --json " + Inputs[0] + " " + Inputs[1] + " " + Inputs[2]);
  EXPECT_EQ(R.Code, 3) << R.Out;
  const auto Pages = Records(R.Out);
  ASSERT_EQ(Pages.size(), 3u) << R.Out;
  for (size_t I = 0; I < Inputs.size(); ++I) EXPECT_EQ(Pages[I].value("input", ""), Inputs[I]) << Pages[I].dump();
  EXPECT_EQ(Pages[0]["outcome"], "done");
  EXPECT_EQ(Pages[1]["outcome"], "not loaded");
  EXPECT_NE(Pages[1].value("error", "").find("404"), std::string::npos) << Pages[1].dump();
  EXPECT_EQ(Pages[0].count("error"), 0u) << Pages[0].dump();
  EXPECT_EQ(Pages[2]["outcome"], "done");
}

// A list with bad lines is refused whole before any page loads, and every bad line is named by its
// line number: the person fixes them all at once instead of one run per line.
TEST_F(PelmoraMessage, BadLinesOfAListAreNamedByLineNumber) {
  const std::filesystem::path List = Home / "list.txt";
  {
    std::ofstream Out(List);
    Out << Url("/email") << "\n# a comment\nftp://example.org/x\n" << (Home / "nowhere.html").string() << "\r\n"
        << Url("/noform") << "\r\n";
  }
  const TRun R = Run("fill --from " + List.string());
  EXPECT_EQ(R.Code, 2) << R.Out;
  EXPECT_NE(R.Out.find(List.string() + ":3: unknown address scheme \"ftp\""), std::string::npos) << R.Out;
  EXPECT_NE(R.Out.find(List.string() + ":4: no such file: " + (Home / "nowhere.html").string() + "\n"),
            std::string::npos)
      << R.Out;
  // The lines that are right are not blamed, and nothing was loaded.
  EXPECT_EQ(R.Out.find(":1:"), std::string::npos) << R.Out;
  EXPECT_EQ(R.Out.find(":5:"), std::string::npos) << R.Out;
  EXPECT_EQ(R.Out.find("john.public"), std::string::npos) << R.Out;
}

// Messages say what happened in the person's terms: no library internals, no word twice, nothing
// blank where a name belongs; and what the person typed is read as meant.
TEST_F(PelmoraMessage, MessagesSayWhatHappenedPlainly) {
  std::ofstream(Home / "lacking.json") << R"({"profiles":[{"nam":"x"}]})";
  struct TCase {
    std::string Arguments, Input;
    int Code;
    std::vector<std::string> Says;
    std::vector<std::string> Never;
  };
  const std::string Store = (Home / "pelmora").string();
  const std::vector<TCase> Cases = {
      {"--timeout 1 fill " + Url("/silent"), "", 3, {"the server did not answer within 1 s"}, {"cannot reach"}},
      {"store import --json", "x", 2, {"not an export of pelmora", "line 1"}, {"json.exception", "[json"}},
      {"store import --json " + (Home / "lacking.json").string(), "", 2, {"not an export of pelmora", "name"},
       {"json.exception", "[json"}},
      {"--store " + Home.string() + " store profiles", "", 5, {"cannot open the store"}, {}},
      {"fill " + Url("/bighead"), "", 3, {"header"}, {"Out of memory", "out of memory"}},
      // A password typed on another system's line ends its line with CR LF: the CR is no part of it.
      {"store password set --password-stdin", "secret\r\n", 0, {}, {}},
      {"store profiles --password-stdin", "secret\n", 0, {"Sample"}, {"not right"}},
      {"fill --help", "", 0, {"--store", "--allow-host", "--timeout", "--password-stdin"}, {}},
  };
  for (const TCase& C : Cases) {
    const TRun R = Run(C.Arguments, C.Input);
    EXPECT_EQ(R.Code, C.Code) << C.Arguments << "\n" << R.Out;
    for (const std::string& Part : C.Says) EXPECT_NE(R.Out.find(Part), std::string::npos) << C.Arguments << "\n" << R.Out;
    for (const std::string& Part : C.Never) EXPECT_EQ(R.Out.find(Part), std::string::npos) << C.Arguments << "\n" << R.Out;
  }
  // The store's path once in the message that names it, not once from the tool and again from the store.
  const TRun R = Run("--store " + Home.string() + " store profiles");
  const size_t First = R.Out.find(Home.string());
  ASSERT_NE(First, std::string::npos) << R.Out;
  EXPECT_EQ(R.Out.find(Home.string(), First + 1), std::string::npos) << R.Out;
}

// On a terminal the progress line is rewritten in place; a page's report must not run on after it
// on the same line: the line is cleared before anything else is printed.
TEST_F(PelmoraMessage, TheProgressLineIsClearedBeforeAReport) {
  const int Master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(Master, 0);
  ASSERT_EQ(grantpt(Master), 0);
  ASSERT_EQ(unlockpt(Master), 0);
  const std::string Terminal = ptsname(Master);
  const std::string First = Url("/email"), Second = Url("/missing"), Third = Url("/noform");
  const pid_t Child = fork();
  if (Child == 0) {
    setsid();
    const int Slave = open(Terminal.c_str(), O_RDWR);
    dup2(Slave, STDOUT_FILENO);
    dup2(Slave, STDERR_FILENO);
    close(Master);
    setenv("XDG_DATA_HOME", Home.c_str(), 1);
    execl(PEL_PELMORA, PEL_PELMORA, "fill", First.c_str(), Second.c_str(), Third.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string Out;
  int Status = 0;
  bool Ended = false;
  // Bounded so that a hung tool fails the test instead of hanging it.
  const auto Bound = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < Bound) {
    pollfd P{Master, POLLIN, 0};
    if (poll(&P, 1, 50) == 1) {
      char Buffer[4096];
      const ssize_t N = read(Master, Buffer, sizeof Buffer);
      if (N > 0) {
        Out.append(Buffer, static_cast<size_t>(N));
        continue;
      }
    }
    if (Ended) break;  // ended, and what it wrote has been read
    Ended = waitpid(Child, &Status, WNOHANG) == Child;
  }
  if (!Ended) {
    kill(Child, SIGKILL);
    waitpid(Child, &Status, 0);
  }
  close(Master);
  ASSERT_TRUE(Ended) << Out;
  EXPECT_NE(Out.find("[1/3]"), std::string::npos) << Out;
  // What a reader sees on the line where each message starts: nothing before it once the
  // carriage returns and the erase-to-end-of-line have done their work.
  for (const std::string& Start : std::vector<std::string>{First + "  ", "pelmora: " + Second, Third + "  ", "3 pages:"}) {
    const size_t At = Out.find(Start);
    ASSERT_NE(At, std::string::npos) << Start << "\n" << Out;
    const size_t LineStart = Out.rfind('\n', At) == std::string::npos ? 0 : Out.rfind('\n', At) + 1;
    std::string Before = Out.substr(LineStart, At - LineStart);
    if (const size_t Cr = Before.rfind('\r'); Cr != std::string::npos) Before.erase(0, Cr + 1);
    if (Before.rfind("\x1b[K", 0) == 0) Before.erase(0, 3);
    EXPECT_EQ(Before, "") << Start << "\n" << Out;
  }
}

}  // namespace
