// Several of the store's writes made one (the host's import): kept together or not at all, as
// another store on the same file sees them too.

#include <gtest/gtest.h>

#include <stdexcept>

#include "StoreTestSupport.h"

namespace pel::test {
namespace {

using store::TPelStore;

WideString CityOf(TPelStore& Store, const WideString& Profile) {
  WideString Field = u"City", Value, Values;
  int32_t Kind = -1;
  bool Found = false, LoginRequired = false;
  Store.FindFieldValue(Profile, u"", u"", u"", u"", Field, Kind, Value, Values, Found, LoginRequired);
  return Found ? Value : WideString(u"(none)");
}

bool HasProfile(TPelStore& Store, const WideString& Name) {
  TVariant Profiles;
  WideString Current;
  Store.GetProfiles(Profiles, Current);
  for (const WideString& P : Profiles.AsStrings())
    if (P == Name) return true;
  return false;
}

TEST(OneWriteTest, AFailureUndoesEveryWriteOfTheBatchAndAFailedWriteInsideItOnlyItself) {
  TStoreFolder Folder;
  TPelStore Store(Folder.File());
  bool Login = false;
  Store.SetFieldValue(u"", u"City", u"Lyon", Login);
  ASSERT_EQ(CityOf(Store, u""), u"Lyon");  // read once, so that a stale cached answer would show

  EXPECT_THROW(Store.InOneWrite([&] {
    Store.AddProfile(u"Travel");
    Store.SetFieldValue(u"", u"City", u"Oslo", Login);
    EXPECT_EQ(CityOf(Store, u""), u"Oslo");  // the batch reads its own writes
    throw std::runtime_error("stop");
  }),
               std::runtime_error);
  EXPECT_FALSE(HasProfile(Store, u"Travel"));
  EXPECT_EQ(CityOf(Store, u""), u"Lyon");
  {
    TPelStore Other(Folder.File());
    EXPECT_FALSE(HasProfile(Other, u"Travel"));
    EXPECT_EQ(CityOf(Other, u""), u"Lyon");
  }

  // A write refused inside the batch and handled there leaves the batch going, and committed.
  Store.InOneWrite([&] {
    Store.AddProfile(u"Travel");
    EXPECT_ANY_THROW(Store.AddProfile(u"Travel"));
    Store.SetFieldValue(u"Travel", u"City", u"Oslo", Login);
  });
  TPelStore Other(Folder.File());
  EXPECT_TRUE(HasProfile(Other, u"Travel"));
  EXPECT_EQ(CityOf(Other, u"Travel"), u"Oslo");
  EXPECT_EQ(CityOf(Other, u""), u"Lyon");
}

}  // namespace
}  // namespace pel::test
