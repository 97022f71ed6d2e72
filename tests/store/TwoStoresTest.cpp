#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <vector>

#include "StoreTestSupport.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace pel::test {
namespace {

using store::TPelStore;

// Runs Work in a child process of its own, as a second store process on the same file would.
// The child's exit status says whether Work ran through without an exception.
pid_t RunChild(const std::function<void()>& Work) {
  const pid_t Child = fork();
  if (Child == 0) {
    int Code = 0;
    try {
      Work();
    } catch (...) {
      Code = 1;
    }
    _exit(Code);
  }
  return Child;
}

bool ExitedCleanly(pid_t Child) {
  int Status = 0;
  waitpid(Child, &Status, 0);
  return WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
}

// Two store processes teach the same field at once: every choice of both lands.
TEST(TwoStoresTest, ChoicesAddedByTwoProcessesAtOnceAllLand) {
  TStoreFolder Folder;
  { TPelStore Store(Folder.File()); }
  constexpr int Each = 150;
  std::vector<pid_t> Children;
  for (int P = 0; P < 2; ++P)
    Children.push_back(RunChild([&, P] {
      TPelStore Store(Folder.File());
      for (int I = 0; I < Each; ++I)
        Store.AddAllValues(u"United States\r\n" + AsciiToWide("p" + IntToStr(P) + "-" + IntToStr(I)));
    }));
  ASSERT_GT(Children[0], 0);
  ASSERT_GT(Children[1], 0);
  for (pid_t Child : Children) EXPECT_TRUE(ExitedCleanly(Child));

  TPelStore Store(Folder.File());
  bool Login = false;
  TWideStringList Choices;
  Choices.SetCommaText(Store.GetFieldChoices(u"Country", Login));
  EXPECT_EQ(Choices.Count(), 1 + 2 * Each);
  int Lost = 0;
  for (int P = 0; P < 2; ++P)
    for (int I = 0; I < Each; ++I) Lost += Choices.IndexOf(AsciiToWide("p" + IntToStr(P) + "-" + IntToStr(I))) < 0;
  EXPECT_EQ(Lost, 0);
}

// Two processes that find no store both build one: one is linked into place, the other opens it,
// and what each wrote is there.
TEST(TwoStoresTest, TwoProcessesCreatingTheStoreAtOnceShareOne) {
  for (int Round = 0; Round < 3; ++Round) {
    TStoreFolder Folder;
    std::vector<pid_t> Children;
    for (int P = 0; P < 2; ++P)
      Children.push_back(RunChild([&, P] {
        TPelStore Store(Folder.File());
        bool Handled = false;
        Store.SetSettings(AsciiToWide("site" + IntToStr(P)), P + 1, false, false, Handled);
      }));
    for (pid_t Child : Children) EXPECT_TRUE(ExitedCleanly(Child));
    TPelStore Store(Folder.File());
    for (int P = 0; P < 2; ++P) {
      int32_t Flags = 0;
      bool Found = false;
      Store.GetSettings(AsciiToWide("site" + IntToStr(P)), Flags, Found);
      EXPECT_TRUE(Found);
      EXPECT_EQ(Flags, P + 1);
    }
  }
}

}  // namespace
}  // namespace pel::test
