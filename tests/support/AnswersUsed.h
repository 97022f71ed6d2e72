#pragma once
// A test that checks a dialog inside its scripted answer passes vacuously when the dialog never
// opens; an answer left queued at the end of a test is how that shows, so it fails the test.

#include <gtest/gtest.h>

#include "headless/HeadlessDialogs.h"

namespace pel::test {

// Fails the running test once for every scripted answer no dialog took, and drops them so that
// they cannot answer a dialog of the next test.
inline void ExpectEveryAnswerUsed() {
  for (const AnsiString& Form : headless::HeadlessDialogViews().DropUnused())
    ADD_FAILURE() << "the scripted answer for form " << Form << " was never used: that dialog did not open";
}

}  // namespace pel::test
