#pragma once
// What the tests of the built command-line tool share: the tool run with a data folder of its own,
// and a web server on the loopback interface for the pages it fetches.

#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace pel::test {

struct TRun {
  int Code = -1;  // the exit code; -1 when a signal ended the tool
  std::string Out;  // standard output and error together
};

// A test with a data folder of its own, removed afterwards, and the tool run in it.
class TToolTest : public testing::Test {
protected:
  void SetUp() override {
    char Pattern[] = "/tmp/pelmoraXXXXXX";
    Home = mkdtemp(Pattern);
  }
  void TearDown() override {
    // A test may have taken the owner's rights to a folder of it away.
    std::error_code Ignored;
    std::filesystem::permissions(Home, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, Ignored);
    std::filesystem::remove_all(Home);
  }
  // Input, byte for byte, is the tool's standard input.
  TRun Run(const std::string& Arguments, const std::string& Input = "") {
    const std::filesystem::path In = Home / ".stdin";
    std::ofstream(In, std::ios::binary) << Input;
    const std::string Command =
        "XDG_DATA_HOME=" + Home.string() + " " + PEL_PELMORA + " " + Arguments + " 2>&1 <" + In.string();
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
};

// The same with a web server: a test's SetUp sets its routes on Server, then calls StartServer.
class TToolServerTest : public TToolTest {
protected:
  void StartServer() {
    Port = Server.bind_to_any_port("127.0.0.1");
    Thread = std::thread([this] { Server.listen_after_bind(); });
  }
  void TearDown() override {
    Server.stop();
    if (Thread.joinable()) Thread.join();
    TToolTest::TearDown();
  }
  std::string Url(const std::string& Path) const { return "http://127.0.0.1:" + std::to_string(Port) + Path; }

  httplib::Server Server;
  int Port = 0;
  std::thread Thread;
  std::mutex Lock;
};

}  // namespace pel::test
