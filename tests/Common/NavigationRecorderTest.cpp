#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <vector>

#include "Common/NavigationRecorder.h"
#include "platform/Exceptions.h"

using namespace pel;

namespace {

using TBytes = std::vector<uint8_t>;

// Three clicks: a link and a button on page A, a submit button on page B. Every byte is stated.
const TBytes ThreeClicks = {
    0x03, 0x00, 0x00, 0x00,                                      // step count 3
    0x01, 0x00, 0x00, 0x00, 0x61, 0x00,                          // 1: tag "a"
    0x00, 0x00, 0x00, 0x00,                                      //    type ""
    0x01, 0x00, 0x00, 0x00, 0x78, 0x00,                          //    name "x"
    0x02, 0x00, 0x00, 0x00, 0x2F, 0x00, 0x62, 0x00,              //    value "/b"
    0x01, 0x00, 0x00, 0x00, 0x41, 0x00,                          //    page key "A"
    0x05, 0x00, 0x00, 0x00, 0x69, 0x00, 0x6E, 0x00, 0x70, 0x00,  // 2: tag "input"
    0x75, 0x00, 0x74, 0x00,                                      //
    0x06, 0x00, 0x00, 0x00, 0x62, 0x00, 0x75, 0x00, 0x74, 0x00,  //    type "button"
    0x74, 0x00, 0x6F, 0x00, 0x6E, 0x00,                          //
    0x02, 0x00, 0x00, 0x00, 0x67, 0x00, 0x6F, 0x00,              //    name "go"
    0x02, 0x00, 0x00, 0x00, 0x47, 0x00, 0x6F, 0x00,              //    value "Go"
    0x01, 0x00, 0x00, 0x00, 0x41, 0x00,                          //    page key "A"
    0x06, 0x00, 0x00, 0x00, 0x62, 0x00, 0x75, 0x00, 0x74, 0x00,  // 3: tag "button"
    0x74, 0x00, 0x6F, 0x00, 0x6E, 0x00,                          //
    0x06, 0x00, 0x00, 0x00, 0x73, 0x00, 0x75, 0x00, 0x62, 0x00,  //    type "submit"
    0x6D, 0x00, 0x69, 0x00, 0x74, 0x00,                          //
    0x02, 0x00, 0x00, 0x00, 0x6F, 0x00, 0x6B, 0x00,              //    name "ok"
    0x01, 0x00, 0x00, 0x00, 0xE9, 0x00,                          //    value "é"
    0x01, 0x00, 0x00, 0x00, 0x42, 0x00,                          //    page key "B"
};

struct TStepSpec {
  WideString PageKey, Tag, Type, Name, Value;
};

const TStepSpec LinkOnA = {u"A", u"a", u"", u"x", u"/b"};
const TStepSpec ButtonOnA = {u"A", u"input", u"button", u"go", u"Go"};
const TStepSpec SubmitOnB = {u"B", u"button", u"submit", u"ok", u"\u00e9"};

void Add(TNavigationRecorder& R, const TStepSpec& S) { R.AddStep(S.PageKey, S.Tag, S.Type, S.Name, S.Value); }

void RecordThreeClicks(TNavigationRecorder& R) {
  R.StartRecording();
  Add(R, LinkOnA);
  Add(R, ButtonOnA);
  Add(R, SubmitOnB);
  R.Stop();
}

TVariant BytesVariant(const TBytes& Bytes) { return TVariant(Bytes); }

TBytes Saved(const TNavigationRecorder& R) {
  TVariant V;
  R.SaveToVariant(V);
  EXPECT_EQ(V.VarType(), TVarType::ByteArray);
  return V.VarType() == TVarType::ByteArray ? V.AsBytes() : TBytes{};
}

// GetStep with stale outputs, which it must empty when it answers false.
struct TAnswer {
  bool Found;
  TStepSpec Step;  // PageKey unused
};

TAnswer Ask(const TNavigationRecorder& R, const WideString& PageKey) {
  TAnswer A{false, {u"", u"stale", u"stale", u"stale", u"stale"}};
  A.Found = R.GetStep(PageKey, A.Step.Tag, A.Step.Type, A.Step.Name, A.Step.Value);
  return A;
}

void ExpectStep(const TNavigationRecorder& R, const WideString& PageKey, const TStepSpec& Expected) {
  const TAnswer A = Ask(R, PageKey);
  ASSERT_TRUE(A.Found) << "no step for this page";
  EXPECT_EQ(A.Step.Tag, Expected.Tag);
  EXPECT_EQ(A.Step.Type, Expected.Type);
  EXPECT_EQ(A.Step.Name, Expected.Name);
  EXPECT_EQ(A.Step.Value, Expected.Value);
}

void ExpectNoStep(const TNavigationRecorder& R, const WideString& PageKey) {
  const TAnswer A = Ask(R, PageKey);
  EXPECT_FALSE(A.Found);
  EXPECT_EQ(A.Step.Tag, u"");
  EXPECT_EQ(A.Step.Type, u"");
  EXPECT_EQ(A.Step.Name, u"");
  EXPECT_EQ(A.Step.Value, u"");
}

// The element name of the current step, asked on every page key the tests use; empty for none.
WideString CurrentName(const TNavigationRecorder& R) {
  for (const char16_t* Page : {u"A", u"B", u"C"}) {
    const TAnswer A = Ask(R, Page);
    if (A.Found) return A.Step.Name;
  }
  return u"";
}

void ExpectSteps(const TNavigationRecorder& R, std::initializer_list<TStepSpec> Expected) {
  ASSERT_EQ(R.Steps().Count(), static_cast<int>(Expected.size()));
  int I = 0;
  for (const TStepSpec& S : Expected) {
    const TRecordStep& Step = R.Steps()[I++];
    EXPECT_EQ(Step.PageKey, S.PageKey);
    EXPECT_EQ(Step.ElementTag, S.Tag);
    EXPECT_EQ(Step.ElementType, S.Type);
    EXPECT_EQ(Step.ElementName, S.Name);
    EXPECT_EQ(Step.ElementValue, S.Value);
  }
}

enum class TOutcome { Loaded, ReadError, Overflow, NeedMode };

TOutcome Load(TNavigationRecorder& R, const TVariant& V) {
  try {
    R.LoadFromVariant(V);
    return TOutcome::Loaded;
  } catch (const EReadError&) {
    return TOutcome::ReadError;
  } catch (const EIntOverflow&) {
    return TOutcome::Overflow;
  } catch (const ERecorderException&) {
    return TOutcome::NeedMode;
  }
}

TBytes Concat(TBytes A, const TBytes& B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}

}  // namespace

TEST(RecorderStream, ThreeClicksOnTwoPagesGoldenBytes) {
  TNavigationRecorder R;
  RecordThreeClicks(R);
  const TBytes Bytes = Saved(R);
  ASSERT_EQ(Bytes.size(), ThreeClicks.size());
  for (size_t I = 0; I < Bytes.size(); ++I) EXPECT_EQ(Bytes[I], ThreeClicks[I]) << "byte " << I;
}

TEST(RecorderStream, LoadedRecordingPlaysPageByPage) {
  TNavigationRecorder R;
  ASSERT_EQ(Load(R, BytesVariant(ThreeClicks)), TOutcome::Loaded);
  ExpectSteps(R, {LinkOnA, ButtonOnA, SubmitOnB});
  EXPECT_EQ(R.Mode(), rmStopped);
  EXPECT_EQ(Saved(R), ThreeClicks);

  R.Play();
  EXPECT_EQ(R.Mode(), rmPlaying);
  ExpectStep(R, u"A", LinkOnA);
  ExpectNoStep(R, u"B");
  ExpectNoStep(R, u"a");  // page keys compare exactly
  R.NextStep();
  ExpectStep(R, u"A", ButtonOnA);
  R.NextStep();
  ExpectNoStep(R, u"A");
  ExpectStep(R, u"B", SubmitOnB);
  EXPECT_EQ(R.Mode(), rmPlaying);
  R.NextStep();
  EXPECT_EQ(R.Mode(), rmStopped);
  ExpectNoStep(R, u"B");
  ExpectSteps(R, {LinkOnA, ButtonOnA, SubmitOnB});  // playing consumes nothing
}

TEST(RecorderStream, RoundTripKeepsEveryCharacter) {
  const TStepSpec Odd = {u"\u00fcber.example/\U0001F600", u"input", u"", u"say \"hi\", \u00e9", u""};
  const TStepSpec Plain = {u"p", u"a", u"", u"", u"http://p/"};
  TNavigationRecorder R;
  Add(R, Odd);
  Add(R, Plain);
  TVariant V;
  R.SaveToVariant(V);

  TNavigationRecorder Back;
  ASSERT_EQ(Load(Back, V), TOutcome::Loaded);
  ExpectSteps(Back, {Odd, Plain});
}

TEST(RecorderStream, NoStepsSaveAsNullAndNoDataLoadsNoSteps) {
  TNavigationRecorder R;
  TVariant V = BytesVariant(ThreeClicks);
  R.SaveToVariant(V);
  EXPECT_TRUE(V.IsNull());

  RecordThreeClicks(R);
  R.Clear();
  V = BytesVariant(ThreeClicks);
  R.SaveToVariant(V);
  EXPECT_TRUE(V.IsNull());

  for (const TVariant& NoData : {TVariant::Null(), TVariant(), BytesVariant({}), TVariant(u"text")}) {
    RecordThreeClicks(R);
    EXPECT_EQ(Load(R, NoData), TOutcome::Loaded);
    EXPECT_EQ(R.Steps().Count(), 0);
  }
}

TEST(RecorderStream, LoadingReplacesTheStepsAndDropsThoseWithoutPageKey) {
  const TBytes TwoSteps = {
      0x02, 0x00, 0x00, 0x00,                          // step count 2
      0x01, 0x00, 0x00, 0x00, 0x61, 0x00,              // 1: tag "a"
      0x00, 0x00, 0x00, 0x00,                          //    type ""
      0x01, 0x00, 0x00, 0x00, 0x64, 0x00,              //    name "d"
      0x00, 0x00, 0x00, 0x00,                          //    value ""
      0x00, 0x00, 0x00, 0x00,                          //    page key "": dropped
      0x01, 0x00, 0x00, 0x00, 0x61, 0x00,              // 2: tag "a"
      0x00, 0x00, 0x00, 0x00,                          //    type ""
      0x01, 0x00, 0x00, 0x00, 0x6B, 0x00,              //    name "k"
      0x02, 0x00, 0x00, 0x00, 0x2F, 0x00, 0x6B, 0x00,  //    value "/k"
      0x01, 0x00, 0x00, 0x00, 0x43, 0x00,              //    page key "C"
  };
  TNavigationRecorder R;
  RecordThreeClicks(R);
  ASSERT_EQ(Load(R, BytesVariant(TwoSteps)), TOutcome::Loaded);
  ExpectSteps(R, {{u"C", u"a", u"", u"k", u"/k"}});
  WideString Key = u"stale";
  R.FirstPageKey(Key);
  EXPECT_EQ(Key, u"C");
}

TEST(RecorderStream, DamagedStreamsAreRefusedWhole) {
  TBytes HugeCount = ThreeClicks;  // two billion steps claimed over the data of three
  HugeCount[0] = 0xFF, HugeCount[1] = 0xFF, HugeCount[2] = 0xFF, HugeCount[3] = 0x7F;
  TBytes OneMore = ThreeClicks;
  OneMore[0] = 0x04;
  struct Case {
    const char* Name;
    TBytes Bytes;
    TOutcome Outcome;
    int Steps;
  } Cases[] = {
      {"count beyond the data", HugeCount, TOutcome::ReadError, 0},
      {"one step short", OneMore, TOutcome::ReadError, 0},
      {"negative count", {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}, TOutcome::ReadError, 0},
      {"count cut short", {0x01, 0x00}, TOutcome::ReadError, 0},
      {"negative string length", {0x01, 0x00, 0x00, 0x00, 0xFE, 0xFF, 0xFF, 0xFF}, TOutcome::ReadError, 0},
      {"string byte size overflows", {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40}, TOutcome::Overflow, 0},
      {"zero count", {0x00, 0x00, 0x00, 0x00}, TOutcome::Loaded, 0},
      {"bytes after the last step", Concat(ThreeClicks, {0x01, 0x02, 0x03}), TOutcome::Loaded, 3},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TNavigationRecorder R;
    RecordThreeClicks(R);
    EXPECT_EQ(Load(R, BytesVariant(C.Bytes)), C.Outcome);
    EXPECT_EQ(R.Steps().Count(), C.Steps);
  }

  // Every cut of a good stream is refused; none yields part of the recording.
  for (size_t Length = 1; Length < ThreeClicks.size(); ++Length) {
    TNavigationRecorder R;
    EXPECT_EQ(Load(R, BytesVariant(TBytes(ThreeClicks.begin(), ThreeClicks.begin() + static_cast<long>(Length)))),
              TOutcome::ReadError)
        << Length;
    EXPECT_EQ(R.Steps().Count(), 0) << Length;
  }

  // An array that is no byte stream fails in the transport and the failure comes through.
  TNavigationRecorder R;
  EXPECT_THROW(R.LoadFromVariant(TVariant(TVariant::TStrings{u"a"})), Exception);
}

TEST(RecorderModes, StateTable) {
  using TAction = std::function<void(TNavigationRecorder&)>;
  const TAction StoppedWithSteps = [](TNavigationRecorder& R) { RecordThreeClicks(R); };
  const TAction StoppedWithout = [](TNavigationRecorder&) {};
  const TAction RecordingWithSteps = [](TNavigationRecorder& R) {
    R.StartRecording();
    R.AddStep(u"C", u"a", u"", u"r", u"/r");
  };
  const TAction RecordingWithout = [](TNavigationRecorder& R) { R.StartRecording(); };
  const TAction PlayingAtFirst = [](TNavigationRecorder& R) {
    RecordThreeClicks(R);
    R.Play();
  };
  const TAction PlayingAtLast = [&PlayingAtFirst](TNavigationRecorder& R) {
    PlayingAtFirst(R);
    R.NextStep();
    R.NextStep();
  };
  const TAction PlayingWithout = [&PlayingAtFirst](TNavigationRecorder& R) {
    PlayingAtFirst(R);
    R.Clear();
  };
  const TAction StartRecording = [](TNavigationRecorder& R) { R.StartRecording(); };
  const TAction Stop = [](TNavigationRecorder& R) { R.Stop(); };
  const TAction Play = [](TNavigationRecorder& R) { R.Play(); };
  const TAction NextStep = [](TNavigationRecorder& R) { R.NextStep(); };

  struct Row {
    const char* Name;
    TAction From, Event;
    TRecorderMode To;
    int Steps;
    WideString Current;  // element name of the step GetStep answers; empty for none
  } Rows[] = {
      {"stopped, StartRecording", StoppedWithSteps, StartRecording, rmRecording, 0, u""},
      {"playing, StartRecording", PlayingAtFirst, StartRecording, rmRecording, 0, u""},
      {"recording, Stop", RecordingWithSteps, Stop, rmStopped, 1, u""},
      {"stopped, Play with steps", StoppedWithSteps, Play, rmPlaying, 3, u"x"},
      {"recording, Play with steps", RecordingWithSteps, Play, rmPlaying, 1, u"r"},
      {"playing, Play with steps", PlayingAtLast, Play, rmPlaying, 3, u"x"},
      {"stopped, Play without steps", StoppedWithout, Play, rmStopped, 0, u""},
      {"recording, Play without steps", RecordingWithout, Play, rmStopped, 0, u""},
      {"playing, Play without steps", PlayingWithout, Play, rmStopped, 0, u""},
      {"playing, NextStep", PlayingAtFirst, NextStep, rmPlaying, 3, u"go"},
      {"playing, NextStep past the last step", PlayingAtLast, NextStep, rmStopped, 3, u""},
      {"playing without steps, NextStep", PlayingWithout, NextStep, rmStopped, 0, u""},
      {"recording, NextStep", RecordingWithSteps, NextStep, rmRecording, 1, u""},
      {"stopped, NextStep", StoppedWithSteps, NextStep, rmStopped, 3, u""},
      {"stopped, Stop", StoppedWithSteps, Stop, rmStopped, 3, u""},
      {"playing, Stop", PlayingAtFirst, Stop, rmStopped, 3, u"x"},  // Stop changes the mode only
  };
  for (const Row& Case : Rows) {
    SCOPED_TRACE(Case.Name);
    TNavigationRecorder R;
    Case.From(R);
    Case.Event(R);
    EXPECT_EQ(R.Mode(), Case.To);
    EXPECT_EQ(R.Steps().Count(), Case.Steps);
    EXPECT_EQ(CurrentName(R), Case.Current);
  }
}

TEST(RecorderModes, AddStepWhilePlayingRaisesAndChangesNothing) {
  TNavigationRecorder R;
  RecordThreeClicks(R);
  R.Play();
  R.NextStep();
  try {
    R.AddStep(u"A", u"a", u"", u"n", u"/n");
    FAIL() << "AddStep while playing must raise";
  } catch (const ERecorderException& E) {
    EXPECT_EQ(E.Message(), "Need \"Stop\" or \"Record\" mode for operation!");
  }
  EXPECT_THROW(R.AddStep(u"", u"a", u"", u"n", u"/n"), ERecorderException);  // the mode is checked first
  EXPECT_EQ(R.Mode(), rmPlaying);
  ExpectSteps(R, {LinkOnA, ButtonOnA, SubmitOnB});
  ExpectStep(R, u"A", ButtonOnA);
}

TEST(RecorderModes, AddStepWithoutPageKeyAddsNothing) {
  for (bool Recording : {false, true}) {
    SCOPED_TRACE(Recording ? "recording" : "stopped");
    TNavigationRecorder R;
    if (Recording) R.StartRecording();
    R.AddStep(u"", u"a", u"", u"x", u"/b");
    EXPECT_EQ(R.Steps().Count(), 0);
    Add(R, LinkOnA);
    ExpectSteps(R, {LinkOnA});
    EXPECT_EQ(R.Mode(), Recording ? rmRecording : rmStopped);
  }
}

TEST(RecorderException, MessageListsTheModesInFixedOrder) {
  const char* StopOrRecord = "Need \"Stop\" or \"Record\" mode for operation!";
  EXPECT_EQ(ERecorderException({rmStopped, rmRecording}).Message(), StopOrRecord);
  EXPECT_EQ(ERecorderException({rmRecording, rmStopped}).Message(), StopOrRecord);
  EXPECT_EQ(ERecorderException({rmPlaying}).Message(), "Need \"Play\" mode for operation!");
  EXPECT_EQ(ERecorderException({rmRecording, rmPlaying}).Message(), "Need \"Play\" or \"Record\" mode for operation!");
  EXPECT_EQ(ERecorderException({rmRecording, rmPlaying, rmStopped}).Message(),
            "Need \"Stop\" or \"Play\" or \"Record\" mode for operation!");
}

TEST(RecorderPlayback, RemovingStepsDuringPlaybackLeavesNoCurrentStep) {
  const TBytes Truncated(ThreeClicks.begin(), ThreeClicks.end() - 1);
  struct Case {
    const char* Name;
    std::function<TOutcome(TNavigationRecorder&)> Remove;
    TOutcome Outcome;
    TRecorderMode Mode;
  } Cases[] = {
      {"Clear",
       [](TNavigationRecorder& R) {
         R.Clear();
         return TOutcome::Loaded;
       },
       TOutcome::Loaded, rmPlaying},
      {"StartRecording",
       [](TNavigationRecorder& R) {
         R.StartRecording();
         return TOutcome::Loaded;
       },
       TOutcome::Loaded, rmRecording},
      {"LoadFromVariant of nothing", [](TNavigationRecorder& R) { return Load(R, TVariant::Null()); }, TOutcome::Loaded,
       rmPlaying},
      {"LoadFromVariant of a recording", [](TNavigationRecorder& R) { return Load(R, BytesVariant(ThreeClicks)); },
       TOutcome::NeedMode, rmPlaying},
      {"LoadFromVariant of a damaged recording",
       [&Truncated](TNavigationRecorder& R) { return Load(R, BytesVariant(Truncated)); }, TOutcome::ReadError,
       rmPlaying},
  };
  const auto PlayingAtSecondStep = [](TNavigationRecorder& R) {
    RecordThreeClicks(R);
    R.Play();
    R.NextStep();  // the current step is the second, on page A
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TNavigationRecorder R;
    PlayingAtSecondStep(R);
    EXPECT_EQ(C.Remove(R), C.Outcome);
    EXPECT_EQ(R.Mode(), C.Mode);
    EXPECT_EQ(R.Steps().Count(), 0);
    ExpectNoStep(R, u"A");
    ExpectNoStep(R, u"B");

    // New steps at the old positions must not become current by themselves.
    R.StartRecording();
    Add(R, {u"A", u"a", u"", u"n1", u"/1"});
    Add(R, {u"A", u"a", u"", u"n2", u"/2"});
    Add(R, {u"A", u"a", u"", u"n3", u"/3"});
    EXPECT_EQ(CurrentName(R), u"");
    R.Play();
    EXPECT_EQ(CurrentName(R), u"n1");

    // Advancing a playback that lost its steps reaches none of them, and stops it.
    TNavigationRecorder Other;
    PlayingAtSecondStep(Other);
    C.Remove(Other);
    Other.NextStep();
    EXPECT_EQ(Other.Mode(), C.Mode == rmPlaying ? rmStopped : C.Mode);
    ExpectNoStep(Other, u"A");
    ExpectNoStep(Other, u"B");
  }
}

TEST(RecorderPlayback, FirstPageKeyNamesTheRecording) {
  TNavigationRecorder R;
  WideString Key = u"stale";
  R.FirstPageKey(Key);
  EXPECT_EQ(Key, u"");

  RecordThreeClicks(R);
  R.Play();
  R.NextStep();
  R.NextStep();
  R.FirstPageKey(Key);
  EXPECT_EQ(Key, u"A");
}
