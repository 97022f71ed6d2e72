#include <gtest/gtest.h>

#include <functional>

#include "platform/EventSource.h"
#include "platform/Exceptions.h"

using namespace pel;

namespace {
const TGUID Events = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};
const TGUID Other = {0x99999999, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};

class TRecordingSink : public IEventDispatch {
public:
  std::vector<int32_t> DispIDs;
  std::vector<TDispParams> Params;
  std::function<void(TDispParams&)> OnInvoke;
  int32_t Answer = HR_S_OK;

  int32_t Invoke(int32_t DispID, const TGUID&, uint32_t, uint16_t Flags, TDispParams& P, TVariant*) override {
    EXPECT_EQ(Flags, DispatchMethod);
    DispIDs.push_back(DispID);
    Params.push_back(P);
    if (OnInvoke) OnInvoke(P);
    return Answer;
  }
};
}  // namespace

TEST(EventSource, FiresToEveryAdvisedSinkWithArgumentsLastFirst) {
  TEventSource Source;
  Source.AddConnectionPoint(Events);
  std::shared_ptr<IConnectionPoint> Point = Source.FindConnectionPoint(Events);
  TRecordingSink A, B;
  B.Answer = HR_DISP_E_MEMBERNOTFOUND;
  const uint32_t CookieA = Point->Advise(&A);
  const uint32_t CookieB = Point->Advise(&B);
  EXPECT_NE(CookieA, CookieB);

  EXPECT_EQ(Source.Fire(Events, 206, {TVariant(true), TVariant(u"second")}),
            (std::vector<int32_t>{HR_S_OK, HR_DISP_E_MEMBERNOTFOUND}));
  ASSERT_EQ(A.Params.size(), 1u);
  EXPECT_EQ(A.DispIDs[0], 206);
  EXPECT_EQ(A.Params[0].Args, (std::vector<TVariant>{TVariant(u"second"), TVariant(true)}));
  EXPECT_TRUE(A.Params[0].NamedArgs.empty());
  EXPECT_EQ(B.Params.size(), 1u);

  Point->Unadvise(CookieA);
  Source.Fire(Events, 201);
  EXPECT_EQ(A.DispIDs.size(), 1u);
  EXPECT_EQ(B.DispIDs.size(), 2u);
  EXPECT_THROW(Point->Unadvise(CookieA), EOleSysError);
  EXPECT_TRUE(Source.Fire(Other, 1).empty());
}

TEST(EventSource, ByReferenceArgumentsReachTheFirer) {
  TEventSource Source;
  Source.AddConnectionPoint(Events);
  TRecordingSink Sink;
  Sink.OnInvoke = [](TDispParams& P) { P.Args[0].Target() = TVariant(true); };  // last argument: Cancel
  Source.FindConnectionPoint(Events)->Advise(&Sink);
  TVariant Cancel(false);
  Source.Fire(Events, 250, {TVariant(u"http://a.com/"), TVariant::Ref(Cancel)});
  EXPECT_TRUE(Cancel.AsBoolean());
}

TEST(EventSource, ASinkUnadvisedDuringAnEventIsNotCalled) {
  TEventSource Source;
  Source.AddConnectionPoint(Events);
  std::shared_ptr<IConnectionPoint> Point = Source.FindConnectionPoint(Events);
  TRecordingSink First, Second;
  uint32_t SecondCookie = 0;
  First.OnInvoke = [&](TDispParams&) { Point->Unadvise(SecondCookie); };
  Point->Advise(&First);
  SecondCookie = Point->Advise(&Second);
  Source.Fire(Events, 204);
  EXPECT_EQ(First.DispIDs.size(), 1u);
  EXPECT_TRUE(Second.DispIDs.empty());
  EXPECT_EQ(Source.SinkCount(Events), 1);
}

TEST(EventSource, UnknownInterfaceHasNoConnectionPoint) {
  TEventSource Source;
  Source.AddConnectionPoint(Events);
  try {
    Source.FindConnectionPoint(Other);
    FAIL();
  } catch (const EOleSysError& E) {
    EXPECT_EQ(E.ErrorCode, HR_CONNECT_E_NOCONNECTION);
  }
  EXPECT_THROW(Source.FindConnectionPoint(Events)->Advise(nullptr), EOleSysError);
}
