// The tool's store commands against hostile places and hostile imports: the built pelmora run
// on a store in a temporary data folder.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

struct TRun {
  int Code = -1;
  std::string Out;
};

class PelmoraStore : public testing::Test {
protected:
  void SetUp() override {
    char Pattern[] = "/tmp/pelmorastoreXXXXXX";
    Home = mkdtemp(Pattern);
  }
  void TearDown() override {
    std::error_code Ignored;
    std::filesystem::permissions(Home, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, Ignored);
    std::filesystem::remove_all(Home);
  }
  // Standard input from a file when one is named, else nothing; a signal ends as -1.
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
  static mode_t ModeOf(const std::filesystem::path& Path) {
    struct stat Info {};
    EXPECT_EQ(lstat(Path.c_str(), &Info), 0) << Path;
    return Info.st_mode & 07777;
  }

  std::filesystem::path Home;
};

TEST_F(PelmoraStore, TheStoresFolderIsCreatedPrivateAndAnExistingOneKeepsItsMode) {
  // A shared folder with the sticky bit, as a temporary folder is.
  const auto Shared = Home / "shared";
  std::filesystem::create_directory(Shared);
  ASSERT_EQ(chmod(Shared.c_str(), 01777), 0);
  const TRun InShared = Run("store init --store " + (Shared / "x.db").string());
  EXPECT_EQ(InShared.Code, 0) << InShared.Out;
  EXPECT_EQ(ModeOf(Shared), 01777u);
  EXPECT_EQ(ModeOf(Shared / "x.db") & 077, 0u);

  // Folders that are not there yet are made for the owner alone, each of them.
  const auto Nested = Home / "a" / "b";
  const TRun InNested = Run("store init --store " + (Nested / "x.db").string());
  EXPECT_EQ(InNested.Code, 0) << InNested.Out;
  EXPECT_EQ(ModeOf(Home / "a"), 0700u);
  EXPECT_EQ(ModeOf(Nested), 0700u);

  // A store name that is a symbolic link is refused, and what it points to is left alone.
  const auto Target = Home / "victim.txt";
  const std::string Bytes(100, 'v');
  std::ofstream(Target, std::ios::binary) << Bytes;
  ASSERT_EQ(chmod(Target.c_str(), 0644), 0);
  const auto Link = Shared / "link.db";
  std::filesystem::create_symlink(Target, Link);
  const TRun ViaLink = Run("store init --store " + Link.string());
  EXPECT_EQ(ViaLink.Code, 5) << ViaLink.Out;
  EXPECT_EQ(ModeOf(Target), 0644u);
  std::ifstream In(Target, std::ios::binary);
  std::stringstream Read;
  Read << In.rdbuf();
  EXPECT_EQ(Read.str(), Bytes);
  EXPECT_FALSE(std::filesystem::exists(Link.string() + "-wal"));
}

}  // namespace
