#pragma once
// The store's secrets at rest: one random data key seals every secret value with
// XChaCha20-Poly1305; a master password, when there is one, seals the data key through an
// Argon2id key. Only libsodium is used, and only here.

#include <cstdint>
#include <memory>

#include "Database.h"

namespace pel::store {

// What deriving a key from the password costs. Stored with the sealed key, so that a store keeps
// the cost it was locked with and a later build may raise it for new passwords.
struct TKeyCost {
  uint64_t OpsLimit = 0;
  uint64_t MemLimit = 0;
  // What a person waits for at the login dialog: well under a second, 64 MiB.
  static TKeyCost Interactive();
  // The least the algorithm allows; for tests, which derive keys many times.
  static TKeyCost Minimal();
  // Within what the algorithm accepts and what a desktop can spend (a damaged or hostile file must
  // not make Login allocate without bound).
  bool Valid() const;
};

// 32 key bytes in guarded memory that is locked against swapping and wiped when freed.
class TSecretKey {
public:
  TSecretKey();
  ~TSecretKey();
  TSecretKey(const TSecretKey&) = delete;
  TSecretKey& operator=(const TSecretKey&) = delete;
  static constexpr size_t Size = 32;
  uint8_t* Data() { return FData; }
  const uint8_t* Data() const { return FData; }

private:
  uint8_t* FData;
};

using TKey = std::unique_ptr<TSecretKey>;

TKey NewRandomKey();
TBlob RandomBytes(size_t Count);
// The password as UTF-16 little-endian bytes: exact for every wide string, whatever the machine.
TKey DeriveKey(const WideString& Password, const TBlob& Salt, const TKeyCost& Cost);
inline constexpr size_t SaltSize = 16;

// Nonce, then cipher text and tag. Associated names what the value is (its table and row), so that
// a sealed value copied into another row does not open there.
TBlob Seal(const TSecretKey& Key, const TBlob& Plain, const TBlob& Associated);
// False when the value was not sealed with Key and Associated, or was changed since.
bool Open(const TSecretKey& Key, const TBlob& Sealed, const TBlob& Associated, TBlob& Plain);

// A key sealed with another (the data key with the password's key), opened straight into guarded
// memory; nullptr when With is not the key it was sealed with.
TBlob SealKey(const TSecretKey& With, const TSecretKey& Key, const TBlob& Associated);
TKey OpenKey(const TSecretKey& With, const TBlob& Sealed, const TBlob& Associated);

// What the data key is sealed with as associated data in the keyring (defined with the store's
// other tags).
const TBlob& KeyringAssociatedData();

// Straight from where SQLite holds the column into guarded memory; nullptr when the size is wrong.
TKey KeyFromBytes(const uint8_t* Bytes, size_t Size);
// A digest that tells whether the keyring changed, without keeping a copy of a key in the clear.
TBlob Fingerprint(const uint8_t* Bytes, size_t Size);

}  // namespace pel::store
