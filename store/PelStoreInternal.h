#pragma once
// The helpers the store's own files share, declared once; not for use outside store/. Each is
// defined, with the comment on why it is as it is, in the file named above it.

#include <cstdint>

#include "Crypto.h"
#include "Database.h"
#include "platform/StringList.h"

namespace pel::store {

// PelStore.cpp
TWideStringList CommaList(const char16_t* Text);

// PelStoreProfiles.cpp
TBlob PackValue(const WideString& Value, const WideString& Values);

// PelStoreKeys.cpp: the tags sealed values are bound to, the keyring as read, and the errors of
// a value that cannot be sealed or opened.
TBlob ValueTag(int64_t Profile, int64_t Field, int64_t Kind);
TBlob ItemTag(int64_t Kind, const WideString& SetName, const WideString& Name);
TBlob ChoiceTag(int64_t Field);
extern const char* const LegacyTagsState;

// The keyring as read: with a password the sealed data key (no secret), without one the key
// itself, taken straight into guarded memory; Stamp tells either apart from a later keyring.
struct TKeyring {
  bool Protected = false;
  TBlob Salt, Sealed, Stamp;
  TKey Clear;
  TKeyCost Cost;
};

TKeyring ReadKeyring(TDatabase& Database);
[[noreturn]] void RaiseDamaged();
[[noreturn]] void RaiseLocked();

}  // namespace pel::store
