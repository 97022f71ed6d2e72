#include "Crypto.h"

#include <sodium.h>

#include <new>

namespace pel::store {

namespace {

constexpr size_t NonceSize = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr size_t TagSize = crypto_aead_xchacha20poly1305_ietf_ABYTES;

// sodium_init is safe to call from several threads and more than once.
void InitSodium() {
  if (sodium_init() < 0) RaiseStoreError("The cryptography library cannot start");
}

}  // namespace

TKeyCost TKeyCost::Interactive() {
  return {crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE};
}

TKeyCost TKeyCost::Minimal() { return {crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN}; }

bool TKeyCost::Valid() const {
  return OpsLimit >= crypto_pwhash_OPSLIMIT_MIN && OpsLimit <= crypto_pwhash_OPSLIMIT_SENSITIVE &&
         MemLimit >= crypto_pwhash_MEMLIMIT_MIN && MemLimit <= crypto_pwhash_MEMLIMIT_SENSITIVE;
}

TSecretKey::TSecretKey() {
  InitSodium();
  FData = static_cast<uint8_t*>(sodium_malloc(Size));
  if (!FData) throw std::bad_alloc();
}

TSecretKey::~TSecretKey() { sodium_free(FData); }

TKey NewRandomKey() {
  TKey Key = std::make_unique<TSecretKey>();
  randombytes_buf(Key->Data(), TSecretKey::Size);
  return Key;
}

TBlob RandomBytes(size_t Count) {
  InitSodium();
  TBlob Result(Count);
  randombytes_buf(Result.data(), Count);
  return Result;
}

TKey DeriveKey(const WideString& Password, const TBlob& Salt, const TKeyCost& Cost) {
  if (!Cost.Valid()) RaiseStoreError("The store's password settings are damaged");
  if (Salt.size() != crypto_pwhash_SALTBYTES) RaiseStoreError("The store's password salt is damaged");
  TKey Key = std::make_unique<TSecretKey>();
  // The password bytes are wiped as soon as the key is made.
  const size_t Bytes = Password.size() * 2;
  auto* Text = static_cast<uint8_t*>(sodium_malloc(Bytes ? Bytes : 1));
  if (!Text) throw std::bad_alloc();
  for (size_t I = 0; I < Password.size(); ++I) {
    Text[2 * I] = static_cast<uint8_t>(Password[I] & 0xFF);
    Text[2 * I + 1] = static_cast<uint8_t>(Password[I] >> 8);
  }
  const int Result = crypto_pwhash(Key->Data(), TSecretKey::Size, reinterpret_cast<const char*>(Text), Bytes,
                                   Salt.data(), Cost.OpsLimit, static_cast<size_t>(Cost.MemLimit),
                                   crypto_pwhash_ALG_ARGON2ID13);
  sodium_free(Text);
  if (Result != 0) RaiseStoreError("Not enough memory to check the master password");
  return Key;
}

static_assert(SaltSize == crypto_pwhash_SALTBYTES);
static_assert(TSecretKey::Size == crypto_aead_xchacha20poly1305_ietf_KEYBYTES);

namespace {

TBlob SealBytes(const TSecretKey& Key, const uint8_t* Plain, size_t Size, const TBlob& Associated) {
  TBlob Result(NonceSize + Size + TagSize);
  // 24 random bytes: random nonces never repeat in practice, so no counter has to be kept.
  randombytes_buf(Result.data(), NonceSize);
  unsigned long long Length = 0;
  crypto_aead_xchacha20poly1305_ietf_encrypt(Result.data() + NonceSize, &Length, Plain, Size, Associated.data(),
                                             Associated.size(), nullptr, Result.data(), Key.Data());
  Result.resize(NonceSize + Length);
  return Result;
}

}  // namespace

TBlob Seal(const TSecretKey& Key, const TBlob& Plain, const TBlob& Associated) {
  return SealBytes(Key, Plain.data(), Plain.size(), Associated);
}

namespace {

// Sealed must be at least NonceSize + TagSize long; Out takes its size less those.
bool Decrypt(const TSecretKey& Key, const TBlob& Sealed, const TBlob& Associated, uint8_t* Out) {
  unsigned long long Length = 0;
  return crypto_aead_xchacha20poly1305_ietf_decrypt(Out, &Length, nullptr, Sealed.data() + NonceSize,
                                                    Sealed.size() - NonceSize, Associated.data(), Associated.size(),
                                                    Sealed.data(), Key.Data()) == 0;
}

}  // namespace

bool Open(const TSecretKey& Key, const TBlob& Sealed, const TBlob& Associated, TBlob& Plain) {
  Plain.clear();
  if (Sealed.size() < NonceSize + TagSize) return false;
  TBlob Result(Sealed.size() - NonceSize - TagSize);
  if (!Decrypt(Key, Sealed, Associated, Result.data())) return false;
  Plain = std::move(Result);
  return true;
}

// Sealed from guarded memory itself: no ordinary buffer ever holds the key.
TBlob SealKey(const TSecretKey& With, const TSecretKey& Key, const TBlob& Associated) {
  return SealBytes(With, Key.Data(), TSecretKey::Size, Associated);
}

// Straight into guarded memory: the key never lies in an ordinary buffer.
TKey OpenKey(const TSecretKey& With, const TBlob& Sealed, const TBlob& Associated) {
  if (Sealed.size() != NonceSize + TSecretKey::Size + TagSize) return nullptr;
  TKey Key = std::make_unique<TSecretKey>();
  return Decrypt(With, Sealed, Associated, Key->Data()) ? std::move(Key) : nullptr;
}

TKey KeyFromBytes(const uint8_t* Bytes, size_t Size) {
  if (!Bytes || Size != TSecretKey::Size) return nullptr;
  TKey Key = std::make_unique<TSecretKey>();
  std::copy(Bytes, Bytes + Size, Key->Data());
  return Key;
}

TBlob Fingerprint(const uint8_t* Bytes, size_t Size) {
  InitSodium();
  TBlob Digest(crypto_generichash_BYTES);
  crypto_generichash(Digest.data(), Digest.size(), Bytes, Size, nullptr, 0);
  return Digest;
}

}  // namespace pel::store
