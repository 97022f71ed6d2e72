#include "NavigationRecorder.h"

#include <algorithm>
#include <array>
#include <vector>

#include "TransitForms.h"
#include "platform/MemoryStream.h"

namespace pel {

namespace {

AnsiString NeedModesMessage(std::initializer_list<TRecorderMode> Modes) {
  struct TModeWord {
    TRecorderMode Mode;
    const char* Word;
  };
  // The message lists the modes in this order whatever order the caller gave.
  static constexpr std::array<TModeWord, 3> Words = {
      {{rmStopped, "\"Stop\""}, {rmPlaying, "\"Play\""}, {rmRecording, "\"Record\""}}};
  AnsiString Message = "Need ";
  bool First = true;
  for (const TModeWord& W : Words) {
    if (std::find(Modes.begin(), Modes.end(), W.Mode) == Modes.end()) continue;
    if (!First) Message += " or ";
    Message += W.Word;
    First = false;
  }
  return Message + " mode for operation!";
}

[[noreturn]] void RaiseReadError() { throw EReadError("Stream read error"); }

void ReadStepString(TMemoryStream& S, WideString& Text) {
  if (!ReadWideString(S, Text)) RaiseReadError();
}

}  // namespace

ERecorderException::ERecorderException(std::initializer_list<TRecorderMode> Modes)
    : Exception(NeedModesMessage(Modes)) {}

void TNavigationRecorder::AddStep(const WideString& PageKey, const WideString& ElementTag,
                                  const WideString& ElementType, const WideString& ElementName,
                                  const WideString& ElementValue) {
  if (FMode == rmPlaying) throw ERecorderException({rmStopped, rmRecording});
  if (PageKey.empty()) return;
  TRecordStep& Step = FSteps.Add();
  Step.PageKey = PageKey;
  Step.ElementTag = ElementTag;
  Step.ElementType = ElementType;
  Step.ElementName = ElementName;
  Step.ElementValue = ElementValue;
}

// Clearing keeps the mode: loading a navigation during a playback must leave the recorder playing
// (and empty) when the first new step is refused. The playing position goes with the steps, so a
// playback that lost its steps finds none on any page rather than a removed or a newly added one.
void TNavigationRecorder::Clear() {
  FSteps.Clear();
  FCurrent = -1;
}

void TNavigationRecorder::StartRecording() {
  Clear();
  FMode = rmRecording;
}

void TNavigationRecorder::Stop() { FMode = rmStopped; }

void TNavigationRecorder::Play() {
  Stop();
  if (FSteps.Count() == 0) return;
  FCurrent = 0;
  FMode = rmPlaying;
}

bool TNavigationRecorder::GetStep(const WideString& PageKey, WideString& ElementTag, WideString& ElementType,
                                  WideString& ElementName, WideString& ElementValue) const {
  ElementTag.clear();
  ElementType.clear();
  ElementName.clear();
  ElementValue.clear();
  if (FCurrent < 0 || FCurrent >= FSteps.Count()) return false;
  const TRecordStep& Step = FSteps[FCurrent];
  if (Step.PageKey != PageKey) return false;
  ElementTag = Step.ElementTag;
  ElementType = Step.ElementType;
  ElementName = Step.ElementName;
  ElementValue = Step.ElementValue;
  return true;
}

// A playback left without a current step (past the last one, or after its steps were cleared) has
// nothing more to do and stops. A recording is never stopped from here: its end goes through Stop,
// where the agent saves it.
void TNavigationRecorder::NextStep() {
  if (FCurrent >= 0) {
    ++FCurrent;
    if (FCurrent >= FSteps.Count()) FCurrent = -1;
  }
  if (FCurrent < 0 && FMode == rmPlaying) Stop();
}

void TNavigationRecorder::SaveToVariant(TVariant& V) const {
  V = TVariant::Null();
  if (FSteps.Count() == 0) return;
  TMemoryStream S;
  S.WriteInt32(FSteps.Count());
  for (const TRecordStep& Step : FSteps) {
    WriteWideString(S, Step.ElementTag);
    WriteWideString(S, Step.ElementType);
    WriteWideString(S, Step.ElementName);
    WriteWideString(S, Step.ElementValue);
    WriteWideString(S, Step.PageKey);
  }
  StreamToVariant(S, V);
}

// No data at all (a null variant, which is what a recorder without steps saves to) loads no steps.
// Otherwise the stream must hold its count and that many complete steps: a recording cut short is
// refused whole with EReadError rather than played up to where the data happened to end, and a
// string length whose byte size overflows raises as ReadWideString does. Steps are collected
// before any is added, so a refused stream leaves the recorder empty, never holding part of it.
void TNavigationRecorder::LoadFromVariant(const TVariant& V) {
  Clear();
  TMemoryStream S;
  VariantToStream(V, S);
  S.SetPosition(0);
  if (S.Size() == 0) return;

  int32_t Count = 0;
  if (!S.TryReadInt32(Count) || Count < 0) RaiseReadError();
  struct TStepData {
    WideString PageKey, ElementTag, ElementType, ElementName, ElementValue;
  };
  std::vector<TStepData> Read;
  for (int32_t I = 0; I < Count; ++I) {
    // Every step takes at least its five 4-byte lengths, so a count far beyond the data ends here,
    // once the data is used up, instead of looping for each step it claims.
    if (S.Remaining() == 0) RaiseReadError();
    TStepData& Step = Read.emplace_back();
    ReadStepString(S, Step.ElementTag);
    ReadStepString(S, Step.ElementType);
    ReadStepString(S, Step.ElementName);
    ReadStepString(S, Step.ElementValue);
    ReadStepString(S, Step.PageKey);
  }
  for (const TStepData& Step : Read)
    AddStep(Step.PageKey, Step.ElementTag, Step.ElementType, Step.ElementName, Step.ElementValue);
}

void TNavigationRecorder::FirstPageKey(WideString& Key) const {
  Key = FSteps.Count() > 0 ? FSteps[0].PageKey : WideString();
}

}  // namespace pel
