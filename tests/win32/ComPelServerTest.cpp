// Both COM faces of the store within one process: a store of the core served through its COM face
// (TComPelServerHost) and called through the store port's COM client (TComPelServer), so that
// every conversion, the error information of a failed call and the relay of the store's own
// events are checked without a second process in the way.

#include <gtest/gtest.h>

#include <windows.h>

#include <objbase.h>

#include <memory>
#include <string>
#include <vector>

#include "Common/BrivaneLibEvents.h"
#include "platform/EventSource.h"
#include "platform/Services.h"
#include "support/FakePelServer.h"
#include "win32/ComObject.h"
#include "win32/ComPelServerHost.h"

namespace {

class TEventfulStore : public pel::test::TFakePelServer, public pel::TEventSource {
public:
  TEventfulStore() { AddConnectionPoint(pel::DIID_IPelServerEvents); }
};

class ComPelServer : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    FStore = std::make_shared<TEventfulStore>();
    pel::win32::TComPelServerHost* Host = pel::win32::TComPelServerHost::Create(FStore);
    FObject = pel::win32::WrapComObject(static_cast<::IPelServer*>(Host));
    Host->Release();
    FPort = pel::Supports<pel::IPelServer>(FObject);
    ASSERT_NE(FPort, nullptr);
  }
  void TearDown() override {
    FPort.reset();
    FObject.reset();
    CoUninitialize();
  }

  std::shared_ptr<TEventfulStore> FStore;
  std::shared_ptr<pel::IInterface> FObject;
  std::shared_ptr<pel::IPelServer> FPort;
};

TEST_F(ComPelServer, AFailureOfTheCoreComesBackAsItsOwnMessageAndCode) {
  FStore->Fail("Login", "The master password is not right");
  try {
    FPort->Login(u"wrong");
    FAIL() << "a refused login must raise";
  } catch (const pel::EOleException& E) {
    EXPECT_EQ(E.Message(), "The master password is not right");
    EXPECT_EQ(static_cast<uint32_t>(E.ErrorCode), 0x80004005u);
    EXPECT_EQ(E.Source, "PelServer");
  }
  // Error information of a failed call does not stick to the next one.
  FStore->Answer("GetDisplayMode", {int32_t{5}});
  EXPECT_EQ(FPort->GetDisplayMode(), 5);
}

TEST_F(ComPelServer, InOutArgumentsComeBackChangedOnlyWhereTheStoreChangedThem) {
  // An empty answer leaves an in-out argument as the caller passed it.
  FStore->Answer("FindFieldValue", {pel::TVariant(), pel::TVariant(), u"v", u"", false, true});
  pel::WideString Field = u"Kept", Value, Values;
  int32_t Kind = 9;
  bool Found = true, Login = false;
  FPort->FindFieldValue(u"", u"input", u"text", u"n", u"", Field, Kind, Value, Values, Found, Login);
  EXPECT_EQ(Field, u"Kept");
  EXPECT_EQ(Kind, 9);
  EXPECT_EQ(Value, u"v");
  EXPECT_FALSE(Found);
  EXPECT_TRUE(Login);
}

TEST_F(ComPelServer, TheStoresOwnEventsReachTheSinksOfItsComFace) {
  pel::TBrivaneLibIPelServerEvents Sink;
  std::vector<std::string> Seen;
  Sink.OnLogin = [&](pel::TEventSink*, bool Value) { Seen.push_back(Value ? "login" : "logout"); };
  Sink.OnExecCmd = [&](pel::TEventSink*, uint32_t Wnd, int32_t Cmd) {
    Seen.push_back(std::to_string(Wnd) + ":" + std::to_string(Cmd));
  };
  Sink.Connect(FObject);
  FStore->Fire(pel::DIID_IPelServerEvents, pel::DISPID_OnLogin, {false});
  FStore->Fire(pel::DIID_IPelServerEvents, pel::DISPID_OnExecCmd, {uint32_t{0x80000001u}, int32_t{0}});
  Sink.Disconnect();
  // Once disconnected, nothing more arrives.
  FStore->Fire(pel::DIID_IPelServerEvents, pel::DISPID_OnLogin, {true});
  EXPECT_EQ(Seen, (std::vector<std::string>{"logout", "2147483649:0"}));
}

TEST(Win32RunningObjects, AnObjectWithNeitherComIdentityNorStoreFaceIsRefused) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  class TPlain : public pel::IInterface {};
  EXPECT_THROW(pel::RunningObjects().Register(pel::CLSID_PelServer, std::make_shared<TPlain>()), pel::EOleSysError);
  EXPECT_EQ(pel::RunningObjects().GetActiveObject(pel::CLSID_PelServer), nullptr);
  CoUninitialize();
}

TEST(Win32RunningObjects, AStoreOfTheCoreRegisteredIsFoundAsTheStorePortUntilRevoked) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  auto Store = std::make_shared<pel::test::TFakePelServer>();
  Store->Answer("GetDisplayMode", {int32_t{3}});
  const uint32_t Cookie = pel::RunningObjects().Register(pel::CLSID_PelServer, Store);
  {
    auto Found = pel::Supports<pel::IPelServer>(pel::RunningObjects().GetActiveObject(pel::CLSID_PelServer));
    ASSERT_NE(Found, nullptr);
    EXPECT_EQ(Found->GetDisplayMode(), 3);
  }
  pel::RunningObjects().Revoke(Cookie);
  EXPECT_EQ(pel::RunningObjects().GetActiveObject(pel::CLSID_PelServer), nullptr);
  EXPECT_THROW(pel::RunningObjects().Revoke(Cookie), pel::EOleSysError);
  CoUninitialize();
}

}  // namespace
