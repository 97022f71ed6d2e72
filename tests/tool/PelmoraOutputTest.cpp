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
#include <mutex>
#include <sstream>
#include <thread>

namespace {

struct TRun {
  int Code = -1;
  std::string Out;
};

class PelmoraOutput : public testing::Test {
protected:
  void SetUp() override {
    char Pattern[] = "/tmp/pelmoraoutXXXXXX";
    Home = mkdtemp(Pattern);
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
    auto Done = [this](const httplib::Request& Q, httplib::Response& R) {
      std::lock_guard<std::mutex> Guard(Lock);
      Received.push_back(Q.method == "POST" ? Q.body : Q.target);
      R.set_content("<html><head><title>Welcome</title></head><body>Hello</body></html>", "text/html");
    };
    Server.Get("/done", Done);
    Server.Post("/done", Done);
    Port = Server.bind_to_any_port("127.0.0.1");
    Thread = std::thread([this] { Server.listen_after_bind(); });
  }
  void TearDown() override {
    Server.stop();
    Thread.join();
    std::filesystem::remove_all(Home);
  }
  std::string Url(const std::string& Path) const { return "http://127.0.0.1:" + std::to_string(Port) + Path; }
  TRun Run(const std::string& Arguments) {
    const std::string Command =
        "XDG_DATA_HOME=" + Home.string() + " " + PEL_PELMORA + " " + Arguments + " 2>&1 </dev/null";
    TRun R;
    FILE* P = popen(Command.c_str(), "r");
    char Buffer[4096];
    size_t N;
    while ((N = fread(Buffer, 1, sizeof Buffer, P)) > 0) R.Out.append(Buffer, N);
    const int Status = pclose(P);
    R.Code = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    return R;
  }

  std::filesystem::path Home;
  httplib::Server Server;
  int Port = 0;
  std::thread Thread;
  std::mutex Lock;
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

}  // namespace
