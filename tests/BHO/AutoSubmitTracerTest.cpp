#include <gtest/gtest.h>

#include <vector>

#include "BHO/AutoSubmitTracer.h"

using namespace pel;

namespace {
// One step of a scenario: an automatic action to register (with its expected answer) or a
// navigation of the top browser, and whether the chain is unbroken afterwards.
struct TStep {
  enum { Register, Navigate } What;
  WideString PageKey, TargetURL, Data;
  uint8_t Kind;
  bool Allowed;  // for Register
  bool TracingAfter;
};

TStep Reg(const WideString& Page, const WideString& Target, const WideString& Data, uint8_t Kind, bool Allowed,
          bool Tracing = true) {
  return {TStep::Register, Page, Target, Data, Kind, Allowed, Tracing};
}
TStep Nav(const WideString& URL, bool Tracing) { return {TStep::Navigate, u"", URL, u"", 0, false, Tracing}; }

void RunChain(const char* Name, const std::vector<TStep>& Steps) {
  TAutoSubmitTracer Tracer;
  EXPECT_FALSE(Tracer.Tracing());
  int N = 0;
  for (const TStep& S : Steps) {
    ++N;
    if (S.What == TStep::Register)
      EXPECT_EQ(Tracer.RegisterSubmit(S.PageKey, S.TargetURL, S.Data, S.Kind), S.Allowed) << Name << " step " << N;
    else
      Tracer.CheckNavigation(S.TargetURL);
    EXPECT_EQ(Tracer.Tracing(), S.TracingAfter) << Name << " step " << N;
  }
}

const WideString Form = u"http://a.com/login";
const WideString Post = u"http://a.com/check";
}  // namespace

TEST(AutoSubmitTracer, Chains) {
  RunChain("same submit after the page came back",
      {Reg(Form, Post, u"0,user", askFormPost, true), Nav(u"http://a.com/check?x=1", true),
       Nav(u"http://a.com/check/", true), Reg(Form, Post, u"0,user", askFormPost, false)});
  RunChain("other field values are another action",
      {Reg(Form, Post, u"0,user,a", askFormPost, true), Nav(Post, true), Reg(Form, Post, u"0,user,b", askFormPost, true)});
  // A site whose pages all post to one handler: the second page's submit is its own action, and
  // the first page coming back is still the loop.
  RunChain("the page tells actions to the same target apart",
      {Reg(Form, Post, u"d", askFormPost, true), Nav(Post, true), Reg(u"http://a.com/signup", Post, u"d", askFormPost, true),
       Nav(Post, true), Reg(Form, Post, u"d", askFormPost, false)});
  RunChain("the kind tells actions apart",
      {Reg(Form, Post, u"d", askFormGet, true), Nav(Post, true), Reg(Form, Post, u"d", askFormPost, true)});
  RunChain("a user's navigation elsewhere breaks the chain; another action starts a new one",
           {Reg(Form, Post, u"d", askFormPost, true), Nav(u"http://elsewhere.com/", false),
            Reg(Form, Post, u"other", askFormPost, true), Nav(Post, true),
            Reg(Form, Post, u"other", askFormPost, false)});
  // The items of a broken chain still refuse the same action: a page that sends the browser
  // through another address back to the form must not be submitted for ever.
  RunChain("a loop through another page is still caught",
           {Reg(Form, Post, u"d", askFormPost, true), Nav(Post, true), Nav(Form, false),
            Reg(Form, Post, u"d", askFormPost, false, false)});
  RunChain("meta refreshes are never refused",
      {Reg(Form, u"http://a.com/r", u"", askMetaRefresh, true), Nav(u"http://a.com/r", true),
       Reg(Form, u"http://a.com/r", u"", askMetaRefresh, true), Nav(u"http://a.com/r", true)});
  RunChain("a meta refresh compares exactly",
      {Reg(Form, u"http://a.com/r", u"", askMetaRefresh, true), Nav(u"http://a.com/r/", false)});
  RunChain("a recorded step compares exactly",
      {Reg(Form, u"http://a.com/s", u"a[b]", askRecordedStep, true), Nav(u"http://a.com/s", true),
       Reg(u"http://a.com/s", u"http://a.com/t", u"c[d]", askRecordedStep, true), Nav(u"http://a.com/t?x", false)});
  RunChain("a mail card ends the chain at the next navigation",
      {Reg(Form, u"mailto:x@y", u"a[b]", askMailCard, true), Nav(u"mailto:x@y", false)});
  RunChain("a credential confirmation ends the chain at the next navigation",
      {Reg(u"a.com", u"bob", u"secret", askAuthDialog, true), Nav(u"bob", false),
       Reg(u"a.com", u"bob", u"other", askAuthDialog, true)});
  RunChain("a navigation while idle changes nothing", {Nav(u"http://a.com/", false)});
}

TEST(AutoSubmitTracer, LeftOversStayUntilTheNextAcceptedRegistration) {
  TAutoSubmitTracer Tracer;
  Tracer.RegisterSubmit(Form, Post, u"d", askFormPost);
  Tracer.RegisterSubmit(Form, Post, u"e", askFormPost);
  Tracer.CheckNavigation(u"http://elsewhere.com");
  EXPECT_EQ(Tracer.Count(), 2);
  EXPECT_FALSE(Tracer.RegisterSubmit(Form, Post, u"e", askFormPost));
  EXPECT_EQ(Tracer.Count(), 2);
  EXPECT_TRUE(Tracer.RegisterSubmit(Form, Post, u"f", askFormPost));
  ASSERT_EQ(Tracer.Count(), 1);
  EXPECT_EQ(Tracer[0].Data, u"f");
  EXPECT_EQ(Tracer[0].TargetURL, Post);
  EXPECT_EQ(Tracer[0].PageKey, Form);
  EXPECT_EQ(Tracer[0].Kind, askFormPost);
}

TEST(AutoSubmitTracer, ClearLetsABatchGoOn) {
  TAutoSubmitTracer Tracer;
  Tracer.RegisterSubmit(Form, Post, u"d", askFormPost);
  Tracer.CheckNavigation(Post);
  ASSERT_FALSE(Tracer.RegisterSubmit(Form, Post, u"d", askFormPost));
  Tracer.Clear();
  EXPECT_TRUE(Tracer.RegisterSubmit(Form, Post, u"d", askFormPost));
}
