#include <gtest/gtest.h>

#include "platform/Services.h"

#ifndef _WIN32
#include "support/AnswersUsed.h"

namespace {

// Every test, fixture or not, ends with no scripted dialog answer left over; fixtures that tear
// down a helper check earlier, before the teardown itself could show a dialog.
class TAnswersUsedCheck : public testing::EmptyTestEventListener {
  void OnTestEnd(const testing::TestInfo&) override {
    pel::test::ExpectEveryAnswerUsed();
    pel::headless::HeadlessDialogViews().Clear();
  }
};

}  // namespace
#endif

int main(int argc, char** argv) {
  // The binding linked into this executable is the one every test runs on.
  pel::InstallPlatformBinding();
  testing::InitGoogleTest(&argc, argv);
#ifndef _WIN32
  // Appended after the result printer, so it runs before the printer reports the test's end.
  testing::UnitTest::GetInstance()->listeners().Append(new TAnswersUsedCheck);
#endif
  return RUN_ALL_TESTS();
}
