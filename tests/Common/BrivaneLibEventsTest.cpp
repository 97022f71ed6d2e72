// The store's event sink: its seven events by the DISPIDs the store raises them with.

#include <gtest/gtest.h>

#include "Common/BrivaneLibEvents.h"
#include "platform/EventSource.h"

using namespace pel;

TEST(StoreEvents, EverySevenEventsReachItsHandlerWithItsArguments) {
  auto Store = std::make_shared<TEventSource>();
  Store->AddConnectionPoint(DIID_IPelServerEvents);
  TBrivaneLibIPelServerEvents Sink;
  std::vector<std::string> Log;
  auto Note = [&](const char* What) {
    return [&Log, &Sink, What](TEventSink* Sender) {
      EXPECT_EQ(Sender, &Sink);
      Log.push_back(What);
    };
  };
  Sink.OnQuit = Note("quit");
  Sink.OnLanguageChange = Note("language");
  Sink.OnLexiconChange = Note("lexicon");
  Sink.OnDatabaseChange = Note("database");
  Sink.OnLogin = [&](TEventSink*, bool AValue) { Log.push_back(AValue ? "login" : "logout"); };
  Sink.OnSettingsChange = [&](TEventSink*, bool ApplyToAll) { Log.push_back(ApplyToAll ? "all" : "site"); };
  Sink.OnExecCmd = [&](TEventSink*, uint32_t AWnd, int32_t ACmd) {
    Log.push_back("exec " + std::to_string(AWnd) + " " + std::to_string(ACmd));
  };
  Sink.Connect(Store);

  const std::vector<int32_t> Ok = {HR_S_OK};
  EXPECT_EQ(Store->Fire(DIID_IPelServerEvents, DISPID_OnQuit), Ok);
  EXPECT_EQ(Store->Fire(DIID_IPelServerEvents, DISPID_OnLanguageChange), Ok);
  EXPECT_EQ(Store->Fire(DIID_IPelServerEvents, DISPID_OnLogin, {TVariant(true)}), Ok);
  EXPECT_EQ(Store->Fire(DIID_IPelServerEvents, DISPID_OnLogin, {TVariant(false)}), Ok);
  EXPECT_EQ(Store->Fire(DIID_IPelServerEvents, DISPID_OnLexiconChange), Ok);
  EXPECT_EQ(Store->Fire(DIID_IPelServerEvents, DISPID_OnDatabaseChange), Ok);
  EXPECT_EQ(Store->Fire(DIID_IPelServerEvents, DISPID_OnSettingsChange, {TVariant(true)}), Ok);
  EXPECT_EQ(Store->Fire(DIID_IPelServerEvents, DISPID_OnSettingsChange, {TVariant(false)}), Ok);
  // A window handle keeps all 32 bits.
  EXPECT_EQ(
      Store->Fire(DIID_IPelServerEvents, DISPID_OnExecCmd, {TVariant(uint32_t{0x80010A2Cu}), TVariant(int32_t{1})}),
      Ok);
  EXPECT_EQ(Log, (std::vector<std::string>{"quit", "language", "login", "logout", "lexicon", "database", "all", "site",
                                           "exec 2147551788 1"}));

  // The store's events are notifications: unhandled ones are delivered all the same.
  Sink.OnDatabaseChange = nullptr;
  EXPECT_EQ(Store->Fire(DIID_IPelServerEvents, DISPID_OnDatabaseChange), Ok);
  EXPECT_EQ(Store->Fire(DIID_IPelServerEvents, 208), std::vector<int32_t>{HR_DISP_E_MEMBERNOTFOUND});
  EXPECT_EQ(Store->Fire(DIID_IPelServerEvents, 200), std::vector<int32_t>{HR_DISP_E_MEMBERNOTFOUND});
  EXPECT_EQ(Log.size(), 9u);
}
