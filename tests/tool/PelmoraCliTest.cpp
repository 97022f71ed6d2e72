// The command-line tool end to end: the built pelmora run against a web server on the loopback
// interface started by the test, and against a store in a temporary data folder.

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

using namespace std::string_literals;

#include "tool/ToolTestSupport.h"

using pel::test::TRun;

namespace {


class Pelmora : public pel::test::TToolServerTest {
protected:
  void SetUp() override {
    TToolServerTest::SetUp();
    Server.Get("/login", [](const httplib::Request&, httplib::Response& R) {
      R.set_header("Set-Cookie", "session=abc123; Path=/");
      R.set_content(R"(<html><head><title>Sign in</title></head><body><form action="/welcome" method="post">
        E-mail <input name=email> First name <input name=fname> <input type=submit value=Go></form></body></html>)",
                    "text/html; charset=utf-8");
    });
    Server.Post("/welcome", [this](const httplib::Request& Q, httplib::Response& R) {
      std::lock_guard<std::mutex> Guard(Lock);
      Posts.push_back(Q.body);
      Cookies.push_back(Q.get_header_value("Cookie"));
      R.set_content("<html><head><title>Welcome</title></head><body>Hello</body></html>", "text/html");
    });
    Server.Get("/again", [](const httplib::Request&, httplib::Response& R) {
      R.set_content(R"(<html><body><form action="/again" method="post">E-mail <input name=email>
        <input type=submit></form></body></html>)", "text/html");
    });
    Server.Post("/again", [this](const httplib::Request& Q, httplib::Response& R) {
      std::lock_guard<std::mutex> Guard(Lock);
      Posts.push_back(Q.body);
      R.set_content(R"(<html><body><form action="/again" method="post">E-mail <input name=email>
        <input type=submit></form></body></html>)", "text/html");
    });
    Server.Get("/step1", [](const httplib::Request&, httplib::Response& R) {
      R.set_content(R"(<html><body><form action="/step2" method="post">E-mail <input name=email>
        <input type=submit value=Next></form></body></html>)", "text/html");
    });
    Server.Post("/step2", [this](const httplib::Request& Q, httplib::Response& R) {
      std::lock_guard<std::mutex> Guard(Lock);
      Posts.push_back(Q.body);
      R.set_content(R"(<html><body><form action="/welcome" method="post">City <input name=city>
        Postcode <input name=zip><input type=submit value=Finish></form></body></html>)", "text/html");
    });
    Server.Get("/frames", [this](const httplib::Request&, httplib::Response& R) {
      R.set_content("<html><frameset cols=\"50%,50%\"><frame src=\"" + Url("/left") + "\"><frame src=\"" +
                        Url("/right") + "\"></frameset></html>",
                    "text/html");
    });
    Server.Get("/left", [](const httplib::Request&, httplib::Response& R) {
      R.set_content("<html><body><form>E-mail <input name=email></form></body></html>", "text/html");
    });
    Server.Get("/right", [this](const httplib::Request&, httplib::Response& R) {
      std::lock_guard<std::mutex> Guard(Lock);
      ++RightLoads;
      R.set_content("<html><body><form>City <input name=city></form></body></html>", "text/html");
    });
    Server.Get("/elsewhere", [this](const httplib::Request&, httplib::Response& R) {
      R.set_content("<html><frameset><frame src=\"http://localhost:" + std::to_string(Port) +
                        "/right\"></frameset></html>",
                    "text/html");
    });
    Server.Get("/away", [this](const httplib::Request&, httplib::Response& R) {
      std::lock_guard<std::mutex> Guard(Lock);
      R.set_redirect(Away);
    });
    Server.Get("/away-dressed", [this](const httplib::Request&, httplib::Response& R) {
      std::lock_guard<std::mutex> Guard(Lock);
      R.set_redirect(AwayDressed);
    });
    Server.Get("/circle", [](const httplib::Request&, httplib::Response& R) { R.set_redirect("/circle"); });
    Server.Get("/picture", [](const httplib::Request&, httplib::Response& R) { R.set_content("GIF89a", "image/gif"); });
    StartServer();
  }
  // What a person types at the tool's questions, a line each.
  TRun Run(const std::string& Arguments, const std::string& Input = "") {
    return TToolServerTest::Run(Arguments, Input.empty() ? Input : Input + "\n");
  }

  std::vector<std::string> Posts, Cookies;
  int RightLoads = 0;
  std::string Away, AwayDressed;  // where /away and /away-dressed redirect (HTTP 302)
};

TEST_F(Pelmora, FillSubmitsTheRightValuesWithTheSessionsCookie) {
  const TRun R = Run("fill --submit --json " + Url("/login"));
  ASSERT_EQ(R.Code, 0) << R.Out;
  std::lock_guard<std::mutex> Guard(Lock);
  ASSERT_EQ(Posts.size(), 1u) << R.Out;
  EXPECT_EQ(Posts[0], "email=john.public%40example.com&fname=John");
  EXPECT_NE(Cookies[0].find("session=abc123"), std::string::npos) << Cookies[0];
  // One JSON object per page: the sign-in page, submitted, then the welcome page.
  std::istringstream Lines(R.Out);
  std::vector<nlohmann::json> Pages;
  for (std::string Line; std::getline(Lines, Line);) Pages.push_back(nlohmann::json::parse(Line));
  ASSERT_EQ(Pages.size(), 2u);
  EXPECT_EQ(Pages[0]["outcome"], "submitted");
  EXPECT_EQ(Pages[0]["filled"][0]["profile_field"], "E-mail");
  EXPECT_EQ(Pages[1]["title"], "Welcome");
}

TEST_F(Pelmora, ACapturedCardIsListedAndFillsThePageAfterwards) {
  const TRun Capture = Run("capture " + Url("/login") + " --set Mine --field email=me@mine.example --field fname=Mo");
  ASSERT_EQ(Capture.Code, 0) << Capture.Out;
  EXPECT_NE(Capture.Out.find("saved as \"Mine\""), std::string::npos) << Capture.Out;
  {
    std::lock_guard<std::mutex> Guard(Lock);
    ASSERT_EQ(Posts.size(), 1u);
    EXPECT_EQ(Posts[0], "email=me%40mine.example&fname=Mo");
  }
  EXPECT_NE(Run("store cards").Out.find("card\t" + Url("/login") + "\tMine"), std::string::npos);
  const TRun Fill = Run("fill " + Url("/login"));
  EXPECT_NE(Fill.Out.find("email \"E-mail\" = me@mine.example"), std::string::npos) << Fill.Out;

  // Exported and imported into another store, the card and the values come along.
  ASSERT_EQ(Run("store set City Faro").Code, 0);
  const TRun Export = Run("store export --json");
  ASSERT_EQ(Export.Code, 0) << Export.Out;
  const auto Dump = Home / "export.json";
  std::ofstream(Dump) << Export.Out;
  const std::string Other = " --store " + (Home / "other.db").string();
  ASSERT_EQ(Run("store import --json " + Dump.string() + Other).Code, 0);
  EXPECT_EQ(Run("store get City" + Other).Out, "Faro\n");
  EXPECT_NE(Run("store cards" + Other).Out.find("\tMine"), std::string::npos);
  std::ofstream(Home / "bad.json") << R"({"profiles": [{"name": 5}]})";
  EXPECT_EQ(Run("store import --json " + (Home / "bad.json").string() + Other).Code, 2);
}

TEST_F(Pelmora, ATwoStepSignUpIsFilledAndSubmittedPageAfterPage) {
  const TRun R = Run("fill --submit " + Url("/step1"));
  ASSERT_EQ(R.Code, 0) << R.Out;
  std::lock_guard<std::mutex> Guard(Lock);
  ASSERT_EQ(Posts.size(), 2u) << R.Out;
  EXPECT_EQ(Posts[0], "email=john.public%40example.com");
  EXPECT_EQ(Posts[1], "city=Springfield&zip=62701");
}

TEST_F(Pelmora, TheFramesOfAFramesetAreFilled) {
  const TRun R = Run("fill --json " + Url("/frames"));
  ASSERT_EQ(R.Code, 0) << R.Out;
  const auto Page = nlohmann::json::parse(R.Out.substr(0, R.Out.find('\n')));
  EXPECT_EQ(Page["forms"], 2);
  ASSERT_EQ(Page["filled"].size(), 2u) << R.Out;
  EXPECT_EQ(Page["filled"][0]["value"], "john.public@example.com");
  EXPECT_EQ(Page["filled"][1]["value"], "Springfield");
}

// Only the hosts a person names are contacted: a frame from another host is not loaded unless
// allowed.
TEST_F(Pelmora, HostsThatWereNotNamedAreNotContacted) {
  EXPECT_EQ(Run("fill " + Url("/elsewhere")).Code, 0);
  {
    std::lock_guard<std::mutex> Guard(Lock);
    EXPECT_EQ(RightLoads, 0);
  }
  const TRun Allowed = Run("fill --allow-host localhost " + Url("/elsewhere"));
  EXPECT_NE(Allowed.Out.find("= Springfield"), std::string::npos) << Allowed.Out;
  std::lock_guard<std::mutex> Guard(Lock);
  EXPECT_EQ(RightLoads, 1);
}

// The host check holds for every hop, not only the address typed: a named host that redirects
// elsewhere does not get the other host contacted, whatever user info dresses up the address.
TEST_F(Pelmora, ARedirectToAHostThatWasNotNamedIsNotFollowed) {
  httplib::Server Other;
  int OtherRequests = 0;
  Other.Get("/page", [&](const httplib::Request&, httplib::Response& R) {
    std::lock_guard<std::mutex> Guard(Lock);
    ++OtherRequests;
    R.set_content("<html><body><form>City <input name=city></form></body></html>", "text/html");
  });
  const int OtherPort = Other.bind_to_any_port("127.0.0.2");
  ASSERT_GT(OtherPort, 0);
  std::thread OtherThread([&] { Other.listen_after_bind(); });
  const std::string Elsewhere = "127.0.0.2:" + std::to_string(OtherPort) + "/page";
  const std::string Here = "127.0.0.1:" + std::to_string(Port);
  {
    std::lock_guard<std::mutex> Guard(Lock);
    Away = "http://" + Elsewhere;
    // The named host as user info before the other host's: the host is the one after the '@'.
    AwayDressed = "http://" + Here + "@" + Elsewhere;
  }

  struct TCase {
    std::string Arguments;
    int Code;
    std::string Says;
    int Requests;  // what the other host saw
  };
  const std::vector<TCase> Cases = {
      {"fill " + Url("/away"), 3, "not contacted: the host 127.0.0.2", 0},
      {"fill " + Url("/away-dressed"), 3, "not contacted: the host 127.0.0.2", 0},
      {"fill http://user@" + Here + "/away", 3, "not contacted: the host 127.0.0.2", 0},
      {"fill http://user:secret@" + Here + "/away-dressed", 3, "not contacted: the host 127.0.0.2", 0},
      // Named, the other host is reached: the refusals above are the check's, not the network's.
      {"fill --allow-host 127.0.0.2 " + Url("/away"), 0, "= Springfield", 1},
  };
  for (const TCase& C : Cases) {
    {
      std::lock_guard<std::mutex> Guard(Lock);
      OtherRequests = 0;
    }
    const TRun R = Run(C.Arguments);
    EXPECT_EQ(R.Code, C.Code) << C.Arguments << "\n" << R.Out;
    EXPECT_NE(R.Out.find(C.Says), std::string::npos) << C.Arguments << "\n" << R.Out;
    std::lock_guard<std::mutex> Guard(Lock);
    EXPECT_EQ(OtherRequests, C.Requests) << C.Arguments;
  }
  Other.stop();
  OtherThread.join();
}

TEST_F(Pelmora, APageThatPostsBackToItselfIsStoppedByTheLoopGuard) {
  const TRun R = Run("fill --submit " + Url("/again"));
  EXPECT_EQ(R.Code, 0) << R.Out;
  EXPECT_NE(R.Out.find("loop"), std::string::npos) << R.Out;
  std::lock_guard<std::mutex> Guard(Lock);
  EXPECT_EQ(Posts.size(), 1u);
}

TEST_F(Pelmora, PagesThatCannotBeFilledAreClearErrors) {
  struct TCase {
    std::string Target;
    int Code;
    std::string Says;
  };
  const std::vector<TCase> Cases = {
      {Url("/circle"), 3, "redirects too often"},
      {Url("/picture"), 3, "not an HTML page"},
      {Url("/missing"), 3, "HTTP 404"},
      {"gopher://x/", 2, "unknown address scheme"},
      {"/nonexistent/page.html", 2, "no such file"},
  };
  for (const TCase& C : Cases) {
    const TRun R = Run("fill " + C.Target);
    EXPECT_EQ(R.Code, C.Code) << C.Target << "\n" << R.Out;
    EXPECT_NE(R.Out.find(C.Says), std::string::npos) << C.Target << "\n" << R.Out;
  }
}

TEST_F(Pelmora, HostileFilesAreClearErrorsOrCorrectResultsAndLeaveTheStoreAlone) {
  ASSERT_EQ(Run("store set City Oslo").Code, 0);
  const auto Binary = Home / "binary.html";
  std::ofstream(Binary, std::ios::binary) << std::string("\x7f" "ELF\0\0\x01binary", 13);
  const auto Huge = Home / "huge.html";
  {
    std::ofstream Out(Huge);
    const std::string Row(1023, 'x');
    for (int I = 0; I < 50 * 1024; ++I) Out << Row << '\n';
  }
  // Nested tables cost the parser the square of their depth (10,000 of them took gigabytes): past
  // the tool's limit such a page is refused before it is parsed; within it, it is filled.
  auto NestedTables = [&](const char* Name, int Depth) {
    const auto File = Home / Name;
    std::ofstream Out(File);
    Out << "<html><body>";
    for (int I = 0; I < Depth; ++I) Out << "<table><tr><td>";
    Out << "City <form><input name=city></form></body></html>";
    return File;
  };
  const auto Deep = NestedTables("deep.html", 600);
  const auto TooDeep = NestedTables("too-deep.html", 10000);
  struct TCase {
    std::filesystem::path File;
    int Code;
    std::string Says;
  };
  for (const TCase& C : {TCase{Binary, 3, "not an HTML page"}, TCase{Huge, 3, "larger than 20 MB"},
                         TCase{Deep, 0, "= Oslo"}, TCase{TooDeep, 3, "nests elements more than 2000 deep"}}) {
    const TRun R = Run("fill " + C.File.string());
    EXPECT_EQ(R.Code, C.Code) << C.File << "\n" << R.Out.substr(0, 500);
    EXPECT_NE(R.Out.find(C.Says), std::string::npos) << C.File << "\n" << R.Out.substr(0, 500);
  }
  EXPECT_EQ(Run("store get City").Out, "Oslo\n");
}

// Interrupted in the middle of a long run, the tool stops between pages and leaves its store as
// it was: the next run opens it and finds what was set before.
TEST_F(Pelmora, AnInterruptedRunLeavesTheStoreIntact) {
  ASSERT_EQ(Run("store set City Braga").Code, 0);
  const auto List = Home / "pages.txt";
  {
    std::ofstream Out(List);
    for (int I = 0; I < 2000; ++I) Out << Url("/login") << "\n";
  }
  int Pipe[2];
  ASSERT_EQ(pipe(Pipe), 0);
  const pid_t Child = fork();
  if (Child == 0) {
    dup2(Pipe[1], STDOUT_FILENO);
    setenv("XDG_DATA_HOME", Home.c_str(), 1);
    execl(PEL_PELMORA, PEL_PELMORA, "fill", "--from", List.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(Pipe[1]);
  // Once the first page was reported, the run is under way.
  char C;
  while (read(Pipe[0], &C, 1) == 1 && C != '\n') {
  }
  kill(Child, SIGINT);
  while (read(Pipe[0], &C, 1) == 1) {
  }
  close(Pipe[0]);
  int Status = 0;
  waitpid(Child, &Status, 0);
  ASSERT_TRUE(WIFEXITED(Status));
  EXPECT_EQ(WEXITSTATUS(Status), 130);
  EXPECT_EQ(Run("store get City").Out, "Braga\n");
}

TEST_F(Pelmora, StoreCommandsRoundTripAndAPasswordGuardsTheStore) {
  EXPECT_EQ(Run("store init").Code, 0);
  EXPECT_EQ(Run("store set City Lisbon").Code, 0);
  EXPECT_EQ(Run("store get City").Out, "Lisbon\n");
  EXPECT_EQ(Run("store get Nope").Code, 6);
  EXPECT_EQ(Run("store profile use Nobody").Code, 6);
  EXPECT_EQ(Run("store profile add Work").Code, 0);
  EXPECT_EQ(Run("store profile add WORK").Code, 2);  // taken, whatever the letter case
  EXPECT_EQ(Run("store profile use work").Code, 0);
  EXPECT_NE(Run("store profiles").Out.find("* Work"), std::string::npos);
  EXPECT_EQ(Run("store set City Porto").Code, 0);
  EXPECT_EQ(Run("store get City").Out, "Porto\n");
  EXPECT_EQ(Run("store get City --profile Sample").Out, "Lisbon\n");
  EXPECT_EQ(Run("store profile use Sample").Code, 0);
  EXPECT_EQ(Run("store synonym add City cidade").Code, 0);
  EXPECT_NE(Run("store fields").Out.find("City = Lisbon"), std::string::npos);

  ASSERT_EQ(Run("store password set --password-stdin", "s3cret").Code, 0);
  const TRun Without = Run("store get City");
  EXPECT_EQ(Without.Code, 4) << Without.Out;
  const TRun Wrong = Run("--password-stdin store get City", "wrong");
  EXPECT_EQ(Wrong.Code, 4);
  EXPECT_NE(Wrong.Out.find("not right"), std::string::npos) << Wrong.Out;
  EXPECT_EQ(Run("--password-stdin store get City", "s3cret").Out, "Lisbon\n");
  // A fill of a page runs on the unlocked store.
  const TRun Fill = Run("--password-stdin fill " + Url("/login"), "s3cret");
  EXPECT_EQ(Fill.Code, 0) << Fill.Out;
  EXPECT_NE(Fill.Out.find("[E-mail] = john.public@example.com"), std::string::npos) << Fill.Out;
}

}  // namespace
