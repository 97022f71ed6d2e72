// The command-line tool's network behaviour end to end: the built pelmora run against servers on
// the loopback interface started by the test. What is checked is what the servers saw.

#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "tool/ToolTestSupport.h"

using pel::test::TRun;

namespace {


// A bare TCP port that counts the connections made to it and closes each at once: whatever
// protocol a client would speak, having connected at all is what counts.
class TListener {
public:
  explicit TListener(const char* Address) {
    Fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in A{};
    A.sin_family = AF_INET;
    inet_pton(AF_INET, Address, &A.sin_addr);
    socklen_t Length = sizeof A;
    if (bind(Fd, reinterpret_cast<sockaddr*>(&A), sizeof A) != 0 || listen(Fd, 16) != 0 ||
        getsockname(Fd, reinterpret_cast<sockaddr*>(&A), &Length) != 0)
      return;
    Port = ntohs(A.sin_port);
    Thread = std::thread([this] {
      while (!Stop) {
        pollfd P{Fd, POLLIN, 0};
        if (poll(&P, 1, 50) == 1) {
          const int Client = accept(Fd, nullptr, nullptr);
          if (Client >= 0) {
            ++Connections;
            close(Client);
          }
        }
      }
    });
  }
  ~TListener() {
    Stop = true;
    if (Thread.joinable()) Thread.join();
    close(Fd);
  }
  int Fd = -1;
  int Port = 0;
  std::atomic<int> Connections{0};

private:
  std::atomic<bool> Stop{false};
  std::thread Thread;
};

class PelmoraNet : public pel::test::TToolServerTest {
protected:
  void SetUp() override {
    TToolServerTest::SetUp();
    Server.Get("/page", [this](const httplib::Request&, httplib::Response& R) {
      std::lock_guard<std::mutex> Guard(Lock);
      R.set_content(Served, "text/html");
    });
    Server.Get("/hop", [](const httplib::Request& Q, httplib::Response& R) {
      R.set_redirect(Q.get_param_value("to"));
    });
    // A submission redirected with the status in its path, and where it lands: method and body.
    Server.Post(R"(/moved/(\d+))", [](const httplib::Request& Q, httplib::Response& R) {
      R.set_redirect("/landed", std::stoi(Q.matches[1]));
    });
    const auto Land = [this](const httplib::Request& Q, httplib::Response& R) {
      std::lock_guard<std::mutex> Guard(Lock);
      Landed.push_back(Q.method + " " + Q.body);
      R.set_content("<html><head><title>Landed</title></head><body>thanks</body></html>", "text/html");
    };
    Server.Get("/landed", Land);
    Server.Post("/landed", Land);
    // A chain of redirects each a while in coming: /slow/3 to /slow/2 ... to /slow/0, the page.
    Server.Get(R"(/slow/(\d+))", [this](const httplib::Request& Q, httplib::Response& R) {
      {
        std::lock_guard<std::mutex> Guard(Lock);
        ++SlowRequests;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      const int Left = std::stoi(Q.matches[1]);
      if (Left > 0)
        R.set_redirect("/slow/" + std::to_string(Left - 1));
      else
        R.set_content("<html><head><title>Arrived</title></head><body>x</body></html>", "text/html");
    });
    // An answer that never comes (until the test ends).
    Server.Get("/never", [this](const httplib::Request&, httplib::Response& R) {
      NeverSeen = true;
      while (!Release) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      R.set_content("<html><body>late</body></html>", "text/html");
    });
    StartServer();
  }
  void TearDown() override {
    Release = true;
    TToolServerTest::TearDown();
  }
  std::filesystem::path Write(const std::string& Name, const std::string& Html) {
    const auto File = Home / Name;
    std::ofstream(File) << Html;
    return File;
  }

  std::string Served;  // what /page answers
  std::vector<std::string> Landed;  // "METHOD body" of each request /landed saw
  int SlowRequests = 0;
  std::atomic<bool> NeverSeen{false}, Release{false};
};

// Every address the window asks for is read once, by the parser that contacts it: an address the
// check would read as host-less or as a file's is no way to another host, to another protocol or
// to a file of this machine.
TEST_F(PelmoraNet, AddressesThatWereNotNamedAreNeitherContactedNorRead) {
  TListener Other("127.0.0.2");
  TListener Elsewhere("127.0.0.1");  // another protocol's server on the named host
  ASSERT_GT(Other.Port, 0);
  ASSERT_GT(Elsewhere.Port, 0);
  const std::string OtherHost = "127.0.0.2:" + std::to_string(Other.Port);
  // A file of this machine that no one named; its title and its form show whether it was read.
  const auto Secret = Write("secret.html", "<html><head><title>SecretTitle</title></head><body><form>"
                                           "E-mail <input name=email></form></body></html>");
  const std::string SecretUrl = "file://" + Secret.string();
  const auto Decoy = Write("decoy.html", "<html><body>nothing here</body></html>");

  struct TCase {
    std::string Name;
    std::string Page;     // the named page's HTML
    bool PageIsFile;      // named as a file, else served at /page
    std::string Options;  // e.g. --submit, another named file
    std::string Says;
    int OtherConnections;  // what the other host (or the other protocol's port) saw
  };
  const std::string Form = "E-mail <input name=email><input type=submit>";
  const std::vector<TCase> Cases = {
      {"file page, iframe http:///", "<html><body><iframe src=\"http:///" + OtherHost + "/spy\"></iframe></body></html>",
       true, "", "not contacted: the host 127.0.0.2", 0},
      {"file page, frame http:/", "<html><frameset><frame src=\"http:/" + OtherHost + "/spy\"></frameset></html>", true,
       "", "not contacted: the host 127.0.0.2", 0},
      {"file page, GET action http:///",
       "<html><body><form action=\"http:///" + OtherHost + "/spy\">" + Form + "</form></body></html>", true,
       "--submit", "not contacted: the host 127.0.0.2", 0},
      {"file page, POST action http:/",
       "<html><body><form method=post action=\"http:/" + OtherHost + "/spy\">" + Form + "</form></body></html>", true,
       "--submit", "not contacted: the host 127.0.0.2", 0},
      {"file page, frame of another file", "<html><frameset><frame src=\"" + SecretUrl + "\"></frameset></html>", true,
       "", "not read: the file was not named", 0},
      {"http page with a file named, iframe http:///",
       "<html><body><iframe src=\"http:///" + OtherHost + "/spy\"></iframe></body></html>", false, Decoy.string(),
       "not contacted: the host 127.0.0.2", 0},
      {"http page, file:// refresh",
       "<html><head><meta http-equiv=refresh content=\"0; url=" + SecretUrl + "\"></head><body>x</body></html>", false,
       Decoy.string(), "not read: the file was not named", 0},
      {"http page, file:// frame", "<html><frameset><frame src=\"" + SecretUrl + "\"></frameset></html>", false, "",
       "not read: the file was not named", 0},
      {"http page, file:// iframe", "<html><body><iframe src=\"" + SecretUrl + "\"></iframe></body></html>", false,
       Decoy.string(), "not read: the file was not named", 0},
      {"http page, file:// action",
       "<html><body><form action=\"" + SecretUrl + "\">" + Form + "</form></body></html>", false, "--submit",
       "not read: the file was not named", 0},
      // Allowed, the other host is reached: the refusals above are the check's, not the network's.
      {"file page, iframe http:/// to an allowed host",
       "<html><body><iframe src=\"http:///" + OtherHost + "/spy\"></iframe></body></html>", true,
       "--allow-host 127.0.0.2", "", 1},
  };
  for (const TCase& C : Cases) {
    Other.Connections = 0;
    std::string Target;
    if (C.PageIsFile) {
      Target = Write("page.html", C.Page).string();
    } else {
      std::lock_guard<std::mutex> Guard(Lock);
      Served = C.Page;
      Target = Url("/page");
    }
    const TRun R = Run("fill " + C.Options + " " + Target);
    EXPECT_NE(R.Out.find(C.Says), std::string::npos) << C.Name << "\n" << R.Out;
    EXPECT_EQ(Other.Connections, C.OtherConnections) << C.Name << "\n" << R.Out;
    // Nothing of the unnamed file came into the window: not its title, not its form to fill.
    EXPECT_EQ(R.Out.find("SecretTitle"), std::string::npos) << C.Name << "\n" << R.Out;
    if (C.Page.find("<form") == std::string::npos) {
      EXPECT_EQ(R.Out.find("john.public@example.com"), std::string::npos) << C.Name << "\n" << R.Out;
    }
  }

  // A named host's redirect to another protocol on the same host, or to a file, is not followed.
  const std::string There = "127.0.0.1:" + std::to_string(Elsewhere.Port) + "/";
  for (const std::string& To : {"gopher://" + There, "dict://" + There + "d:word", "telnet://" + There,
                                "ftp://" + There, "smtp://" + There, "imap://" + There, "rtsp://" + There,
                                "mqtt://" + There, SecretUrl}) {
    Elsewhere.Connections = 0;
    const TRun R = Run("fill '" + Url("/hop?to=" + To) + "'");
    EXPECT_EQ(R.Code, 3) << To << "\n" << R.Out;
    EXPECT_NE(R.Out.find("not contacted: the address scheme"), std::string::npos) << To << "\n" << R.Out;
    EXPECT_EQ(Elsewhere.Connections, 0) << To << "\n" << R.Out;
    EXPECT_EQ(R.Out.find("SecretTitle"), std::string::npos) << To << "\n" << R.Out;
  }
}

// A submission redirected with 307 or 308 is sent again, body and all, to the new address; 303,
// and for a submission 301 and 302, fetch the new address instead, as browsers do.
TEST_F(PelmoraNet, ARedirectedSubmissionKeepsItsBodyWhereTheStatusSaysSo) {
  const std::vector<std::pair<int, std::string>> Cases = {
      {307, "POST email=john.public%40example.com"},
      {308, "POST email=john.public%40example.com"},
      {303, "GET "},
      {302, "GET "},
      {301, "GET "},
  };
  for (const auto& [Status, Expected] : Cases) {
    {
      std::lock_guard<std::mutex> Guard(Lock);
      Landed.clear();
      Served = "<html><body><form method=post action=\"/moved/" + std::to_string(Status) +
               "\">E-mail <input name=email><input type=submit></form></body></html>";
    }
    const TRun R = Run("fill --submit " + Url("/page"));
    EXPECT_EQ(R.Code, 0) << Status << "\n" << R.Out;
    EXPECT_NE(R.Out.find("\"Landed\""), std::string::npos) << Status << "\n" << R.Out;
    std::lock_guard<std::mutex> Guard(Lock);
    EXPECT_EQ(Landed, std::vector<std::string>{Expected}) << Status << "\n" << R.Out;
  }
}

// The time-out is the page's, not each redirect's: a chain of slow redirects ends in the time-out
// before its end, however quickly each single answer comes within the time-out.
TEST_F(PelmoraNet, TheTimeOutBoundsThePageWithAllItsRedirects) {
  // Each step takes less than the time-out, the whole chain far more.
  const TRun R = Run("--timeout 1 fill " + Url("/slow/9"));
  EXPECT_EQ(R.Code, 3) << R.Out;
  EXPECT_NE(R.Out.find("time-out"), std::string::npos) << R.Out;
  EXPECT_EQ(R.Out.find("Arrived"), std::string::npos) << R.Out;
  std::lock_guard<std::mutex> Guard(Lock);
  EXPECT_GT(SlowRequests, 0) << R.Out;
  EXPECT_LT(SlowRequests, 10) << R.Out;
}

// Ctrl-C during a fetch that gets no answer ends the tool at once: the transfer is dropped, and
// the interruption is no failure of the page to report.
TEST_F(PelmoraNet, AnInterruptStopsAFetchThatGetsNoAnswer) {
  const std::string Address = Url("/never");
  int Pipe[2];
  ASSERT_EQ(pipe(Pipe), 0);
  const pid_t Child = fork();
  if (Child == 0) {
    dup2(Pipe[1], STDOUT_FILENO);
    dup2(Pipe[1], STDERR_FILENO);
    close(Pipe[0]);
    setenv("XDG_DATA_HOME", Home.c_str(), 1);
    execl(PEL_PELMORA, PEL_PELMORA, "--timeout", "20", "fill", Address.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(Pipe[1]);
  // The waits are bounded so that a hung tool fails the test instead of hanging it.
  const auto Bound = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!NeverSeen && std::chrono::steady_clock::now() < Bound)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(NeverSeen);
  kill(Child, SIGINT);
  std::string Out;
  int Status = 0;
  bool Ended = false;
  while (!Ended && std::chrono::steady_clock::now() < Bound) {
    pollfd P{Pipe[0], POLLIN, 0};
    if (poll(&P, 1, 50) == 1) {
      char Buffer[4096];
      const ssize_t N = read(Pipe[0], Buffer, sizeof Buffer);
      if (N > 0) Out.append(Buffer, static_cast<size_t>(N));
    }
    Ended = waitpid(Child, &Status, WNOHANG) == Child;
  }
  if (!Ended) {
    kill(Child, SIGKILL);
    waitpid(Child, &Status, 0);
  }
  close(Pipe[0]);
  ASSERT_TRUE(Ended) << "the tool did not end after the interrupt\n" << Out;
  ASSERT_TRUE(WIFEXITED(Status)) << Out;
  EXPECT_EQ(WEXITSTATUS(Status), 130) << Out;
  EXPECT_EQ(Out.find("time-out"), std::string::npos) << Out;
  EXPECT_EQ(Out.find("/never"), std::string::npos) << Out;
}

}  // namespace
