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

#include "tool/ToolTestSupport.h"

using pel::test::TRun;

namespace {


class PelmoraStore : public pel::test::TToolTest {
protected:
  static mode_t ModeOf(const std::filesystem::path& Path) {
    struct stat Info {};
    EXPECT_EQ(lstat(Path.c_str(), &Info), 0) << Path;
    return Info.st_mode & 07777;
  }

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

TEST_F(PelmoraStore, AHostileImportIsRefusedWithItsPlaceAndChangesNothing) {
  ASSERT_EQ(Run("store set City Lisbon").Code, 0);
  const TRun Before = Run("store export --json");
  ASSERT_EQ(Before.Code, 0) << Before.Out;

  const auto Deep = [](const std::string& Head, const std::string& Tail) {
    constexpr int Levels = 100000;
    std::string Text = Head;
    Text.reserve(Head.size() + Tail.size() + 2 * Levels);
    Text.append(Levels, '[');
    Text.append(Levels, ']');
    return Text + Tail;
  };
  const std::string Good = R"({"profiles": [{"name": "Work", "values": {"City": "Porto"}}], "items": [)"
                           R"({"kind": 1, "set": "s", "name": "a", "url": "", "data": "AAEC"}, )"
                           R"({"kind": 2, "set": "s", "name": "b", "url": "", "data": "AAEC"}, )"
                           R"({"kind": 3, "set": "s", "name": "c", "url": "", "data": "AAEC"}, )";
  struct TCase {
    std::string Name, Document, Says;
  };
  const TCase Cases[] = {
      {"deep under profiles", Deep(R"({"profiles": )", "}"), "profiles"},
      {"deep under values", Deep(R"({"profiles": [{"name": "Work", "values": {"City": )", "}}]}"),
       "profiles[0].values.City"},
      {"deep under items", Deep(R"({"items": [{"kind": 1, "data": )", "}]}"), "items[0].data"},
      {"kind 2.7", Good + R"({"kind": 2.7, "set": "s", "name": "d", "url": "", "data": ""}]})", "items[3].kind"},
      {"kind too large", Good + R"({"kind": 99999999999, "set": "s", "name": "d", "url": "", "data": ""}]})",
       "99999999999"},
      {"unknown kind", Good + R"({"kind": 7, "set": "s", "name": "d", "url": "", "data": ""}]})", "items[3].kind"},
      {"no name", Good + R"({"kind": 1, "set": "s", "url": "", "data": ""}]})", "items[3].name"},
      {"not base64", Good + R"({"kind": 1, "set": "s", "name": "d", "url": "", "data": "!!"}]})", "items[3].data"},
      // Well formed, but no card stream the store can read: refused as it is applied, after the
      // profile and the records before it, which go again with it.
      {"unreadable card", Good + R"({"kind": 0, "set": "s", "name": "d", "url": "", "data": "AAAA"}]})", "items[3]"},
      {"value not text", R"({"profiles": [{"name": "Work", "values": {"City": "Porto", "Zip": 5}}]})",
       "profiles[0].values.Zip"},
  };
  for (const TCase& C : Cases) {
    const auto File = Home / "import.json";
    std::ofstream(File, std::ios::binary | std::ios::trunc) << C.Document;
    const TRun R = Run("store import --json " + File.string());
    EXPECT_EQ(R.Code, 2) << C.Name << "\n" << R.Out.substr(0, 500);
    EXPECT_NE(R.Out.find(C.Says), std::string::npos) << C.Name << "\n" << R.Out.substr(0, 500);
    EXPECT_LT(R.Out.size(), 1000u) << C.Name;
    const TRun After = Run("store export --json");
    EXPECT_EQ(After.Out, Before.Out) << C.Name;
  }
  // An unknown field after a good profile: the whole import is refused, the good part too.
  const auto File = Home / "import.json";
  std::ofstream(File, std::ios::binary | std::ios::trunc)
      << Good + R"({"kind": 1, "set": "s", "name": "d", "url": "", "data": ""}],)"
                R"( "profiles": [{"name": "Work", "values": {"City": "Porto"}}, {"name": "Home", "values": {"Nope": "x"}}]})";
  const TRun Unknown = Run("store import --json " + File.string());
  EXPECT_EQ(Unknown.Code, 6) << Unknown.Out;
  EXPECT_NE(Unknown.Out.find("profiles[1].values.Nope"), std::string::npos) << Unknown.Out;
  EXPECT_EQ(Run("store export --json").Out, Before.Out);

  // The same document without its bad entry is applied whole.
  std::ofstream(File, std::ios::binary | std::ios::trunc)
      << Good + R"({"kind": 1, "set": "s", "name": "d", "url": "", "data": ""}],)"
                R"( "profiles": [{"name": "Work", "values": {"City": "Porto"}}]})";
  const TRun Applied = Run("store import --json " + File.string());
  EXPECT_EQ(Applied.Code, 0) << Applied.Out;
  EXPECT_EQ(Run("store get City --profile Work").Out, "Porto\n");
  const TRun Cards = Run("store cards");
  for (const char* Line : {"navigation\ts\ta\n", "mail card\ts\tb\n", "login\ts\tc\n", "navigation\ts\td\n"})
    EXPECT_NE(Cards.Out.find(Line), std::string::npos) << Line << Cards.Out;
}

}  // namespace
