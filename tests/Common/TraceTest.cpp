#include <gtest/gtest.h>

#include <stdexcept>

#include "Common/Trace.h"

using namespace pel;

namespace {
// Two nested traced routines, as a failure crossing 1168 and then 1134 would see them.
template <class TRaise>
void Outer(TRaise Raise) {
  Traced(1134, [&] { Traced(1168, [&] { Raise(); }); });
}
}  // namespace

TEST(Trace, EmptyMessageGetsOnlyTheLineBreakAndNumber) {
  try {
    Traced(1132, [] { throw Exception(""); });
    FAIL();
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "\r\n>>1132");
  }
}

TEST(Trace, NumbersAppendInnermostFirstAndTheClassBecomesPlain) {
  try {
    Outer([] { throw EConvertError("bad number"); });
    FAIL();
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "bad number\r\n>>1168\r\n>>1134");
    EXPECT_EQ(typeid(E), typeid(Exception));
  }
}

TEST(Trace, SilentFamilyPassesAsTheSameObject) {
  const Exception* Raised = nullptr;
  try {
    Outer([&] {
      try {
        throw EBeforeNavigate();
      } catch (const EBeforeNavigate& E) {
        Raised = &E;
        throw;
      }
    });
    FAIL();
  } catch (const EBeforeNavigate& E) {
    EXPECT_EQ(&E, Raised);
    EXPECT_EQ(E.Message(), "BeforeNavigate executes during procedure call!");
  }
  EXPECT_NO_THROW(TraceException(EKXException("quiet"), 1));
}

TEST(Trace, OleExceptionKeepsItsFourFields) {
  try {
    Outer([] { throw EOleException("Call failed", static_cast<int32_t>(0x80004005u), "Store", "help.hlp", 17); });
    FAIL();
  } catch (const EOleException& E) {
    EXPECT_EQ(E.Message(), "Call failed\r\n>>1168\r\n>>1134");
    EXPECT_EQ(static_cast<uint32_t>(E.ErrorCode), 0x80004005u);
    EXPECT_EQ(E.Source, "Store");
    EXPECT_EQ(E.HelpFile, "help.hlp");
    EXPECT_EQ(E.HelpContext, 17);
  }
}

TEST(Trace, OrukExceptionKeepsItsKind) {
  try {
    Outer([] { throw OrukException("k", 7); });
    FAIL();
  } catch (const OrukException& E) {
    EXPECT_EQ(E.Message(), "k\r\n>>1168\r\n>>1134");
    EXPECT_EQ(E.Kind, 7);
  }
}

TEST(Trace, ForeignExceptionsPassUntraced) {
  EXPECT_THROW(Outer([] { throw std::runtime_error("not ours"); }), std::runtime_error);
}

TEST(Trace, ResultsPassThrough) {
  EXPECT_EQ(Traced(1, [] { return 5; }), 5);
  WideString S = u"x";
  WideString& Ref = Traced(2, [&]() -> WideString& { return S; });
  EXPECT_EQ(&Ref, &S);
}
