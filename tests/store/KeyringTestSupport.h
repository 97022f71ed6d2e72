#pragma once
// The keyring as the store test reads it from the file, apart from the store.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "Crypto.h"
#include "platform/SysTypes.h"

namespace pel::test {

// The data key the file holds now, opened with the password as the store would.
inline store::TKey PasswordDataKey(const std::string& File, const WideString& Password) {
  sqlite3* Db = nullptr;
  EXPECT_EQ(sqlite3_open(File.c_str(), &Db), SQLITE_OK);
  sqlite3_stmt* Q = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(Db, "SELECT salt, ops_limit, mem_limit, data_key FROM keyring", -1, &Q, nullptr),
            SQLITE_OK);
  store::TKey Key;
  if (sqlite3_step(Q) == SQLITE_ROW) {
    const auto Column = [&](int C) {
      const auto* Data = static_cast<const uint8_t*>(sqlite3_column_blob(Q, C));
      return store::TBlob(Data, Data + sqlite3_column_bytes(Q, C));
    };
    const store::TKey PasswordKey = store::DeriveKey(
        Password, Column(0),
        store::TKeyCost{static_cast<uint64_t>(sqlite3_column_int64(Q, 1)), static_cast<uint64_t>(sqlite3_column_int64(Q, 2))});
    Key = store::OpenKey(*PasswordKey, Column(3), store::KeyringAssociatedData());
  }
  sqlite3_finalize(Q);
  sqlite3_close(Db);
  return Key;
}

}  // namespace pel::test
