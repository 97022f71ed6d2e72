#pragma once
// The navigation recorder: the steps a user clicked through a site, page by page, and the position
// of a playback. It knows nothing of the browser; the helper object feeds it clicks while recording
// and asks it, page by page, which element to click while playing.

#include <cstdint>
#include <initializer_list>

#include "platform/Collection.h"
#include "platform/Exceptions.h"
#include "platform/SysTypes.h"
#include "platform/Variant.h"

namespace pel {

// The values are what the agent reports and tests (recording is 1).
enum TRecorderMode : uint8_t { rmStopped = 0, rmRecording = 1, rmPlaying = 2 };

// Raised for a call in a mode that does not allow it; the message names the modes that would.
class ERecorderException : public Exception {
 public:
  explicit ERecorderException(std::initializer_list<TRecorderMode> Modes);
};

// One click. For a link: tag "a", no type, the link's text and address. For a button: tag "button"
// or "input", its type, its name and its value.
class TRecordStep : public TCollectionItem {
 public:
  explicit TRecordStep(TCollectionBase* Collection = nullptr, int ID = 0) : TCollectionItem(Collection, ID) {}

  WideString PageKey;  // the page the click happened on
  WideString ElementTag;
  WideString ElementType;
  WideString ElementName;
  WideString ElementValue;
};

class TNavigationRecorder {
 public:
  TNavigationRecorder() = default;
  TNavigationRecorder(const TNavigationRecorder&) = delete;
  TNavigationRecorder& operator=(const TNavigationRecorder&) = delete;

  // Not while playing. A click without a page key is not recorded.
  void AddStep(const WideString& PageKey, const WideString& ElementTag, const WideString& ElementType,
               const WideString& ElementName, const WideString& ElementValue);
  void Clear();
  void StartRecording();
  void Stop();
  // From the first step; a recorder without steps stays stopped.
  void Play();
  // The current step's element when it belongs to PageKey; the outputs are emptied otherwise.
  bool GetStep(const WideString& PageKey, WideString& ElementTag, WideString& ElementType, WideString& ElementName,
               WideString& ElementValue) const;
  // Past the last step the playback stops.
  void NextStep();

  // Step count, then per step tag, type, name, value and page key; null when there are no steps.
  void SaveToVariant(TVariant& V) const;
  // Replaces the steps by those of V. A truncated or malformed stream raises (EReadError, or
  // EIntOverflow for a string length) and leaves the recorder empty. Steps loaded while playing
  // raise ERecorderException and leave it empty and playing.
  void LoadFromVariant(const TVariant& V);
  // Names a saved recording; empty without steps.
  void FirstPageKey(WideString& Key) const;

  TRecorderMode Mode() const { return FMode; }
  const TCollection<TRecordStep>& Steps() const { return FSteps; }

 private:
  TCollection<TRecordStep> FSteps;
  TRecorderMode FMode = rmStopped;
  // Index of the next step to perform while playing, -1 for none. An index checked against the
  // steps, not a reference to one, so that no way of removing steps can leave it dangling.
  int FCurrent = -1;
};

}  // namespace pel
