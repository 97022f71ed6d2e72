// The headless running-object table, through which the agent finds the embedded store.

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Services.h"
#include "support/FakePelServer.h"

using namespace pel;

TEST(RunningObjectTable, FindsTheStoreByItsClassAndForgetsItOnRevoke) {
  IRunningObjectTable& Table = RunningObjects();
  EXPECT_EQ(Table.GetActiveObject(CLSID_PelServer), nullptr);

  auto Store = std::make_shared<test::TFakePelServer>();
  Store->Answer("GetProfiles", {TVariant(TVariant::TStrings{u"Home", u"Work"}), u"Work"});
  const uint32_t Cookie = Table.Register(CLSID_PelServer, Store);

  std::shared_ptr<IPelServer> Found = Supports<IPelServer>(Table.GetActiveObject(CLSID_PelServer));
  ASSERT_NE(Found, nullptr);
  TVariant Profiles;
  WideString Current;
  Found->GetProfiles(Profiles, Current);
  EXPECT_EQ(Current, u"Work");
  EXPECT_EQ(Profiles.AsStrings(), (TVariant::TStrings{u"Home", u"Work"}));
  EXPECT_EQ(Store->CallsOf("GetProfiles").size(), 1u);
  EXPECT_EQ(Table.GetActiveObject(IID_IPelServer), nullptr);  // by class, not by interface

  Table.Revoke(Cookie);
  EXPECT_EQ(Table.GetActiveObject(CLSID_PelServer), nullptr);
  EXPECT_THROW(Table.Revoke(Cookie), EOleSysError);
}

TEST(RunningObjectTable, TheFirstRegistrationOfAClassWins) {
  IRunningObjectTable& Table = RunningObjects();
  auto First = std::make_shared<test::TFakePelServer>();
  auto Second = std::make_shared<test::TFakePelServer>();
  const uint32_t A = Table.Register(CLSID_PelServer, First);
  const uint32_t B = Table.Register(CLSID_PelServer, Second);
  EXPECT_EQ(Table.GetActiveObject(CLSID_PelServer), First);
  Table.Revoke(A);
  EXPECT_EQ(Table.GetActiveObject(CLSID_PelServer), Second);
  Table.Revoke(B);
}

TEST(RunningObjectTable, WindowsOnSeveralThreadsLookUpAtOnce) {
  IRunningObjectTable& Table = RunningObjects();
  auto Store = std::make_shared<test::TFakePelServer>();
  const uint32_t Cookie = Table.Register(CLSID_PelServer, Store);
  std::vector<std::thread> Threads;
  std::atomic<int> Found{0};
  for (int T = 0; T < 4; ++T)
    Threads.emplace_back([&] {
      for (int I = 0; I < 1000; ++I)
        if (Table.GetActiveObject(CLSID_PelServer) == Store) ++Found;
    });
  for (std::thread& T : Threads) T.join();
  EXPECT_EQ(Found.load(), 4000);
  Table.Revoke(Cookie);
}

TEST(FakePelServer, RecordsInputsAndAnswersFromItsTable) {
  test::TFakePelServer Store;
  Store.Answer("FindFieldValue", {TVariant(), int32_t{4}, u"Canada", u"Canada,CA", true});
  WideString ProfileField = u"Country", Value, Values;
  int32_t ValueKind = -1;
  bool Found = false, LoginRequired = true;
  Store.FindFieldValue(u"", u"select", u"select-one", u"country", u"http://a.com/f", ProfileField, ValueKind, Value,
                       Values, Found, LoginRequired);
  EXPECT_EQ(ProfileField, u"Country");  // no answer for an in-out argument keeps it
  EXPECT_EQ(ValueKind, 4);
  EXPECT_EQ(Value, u"Canada");
  EXPECT_EQ(Values, u"Canada,CA");
  EXPECT_TRUE(Found);
  EXPECT_FALSE(LoginRequired);  // no answer for an output gives its empty value
  ASSERT_EQ(Store.Calls.size(), 1u);
  EXPECT_EQ(Store.Calls[0].Args[3].AsWideString(), u"country");

  Store.Fail("Login", "Wrong password");
  EXPECT_THROW(Store.Login(u"nope"), EOleException);
}
