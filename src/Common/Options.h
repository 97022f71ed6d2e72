#pragma once
// The agent's seven option bytes and their packed form, the integer the store keeps.

#include <cstdint>

namespace pel {

struct TBVOptions {
  uint8_t AutoFill = 1;      // "Auto fill of existing forms"
  uint8_t AutoSubmit = 0;    // "Auto submit existing forms"
  uint8_t AskConfirm = 0;    // "Ask confirmation if link or link text changed"
  uint8_t AutoShow = 1;      // "Auto show form cards selection dialog"
  uint8_t AutoFillNew = 1;   // "Auto fill of new forms"
  uint8_t AutoBind = 0;      // "Auto bind fields of new forms"
  uint8_t SubmitAction = 1;  // 0 nothing, 1 show the save dialog, 2 save silently

  friend bool operator==(const TBVOptions&, const TBVOptions&) = default;
};

// Bits 0-5 the six flags (set when the byte is non-zero), SubmitAction times 64 above them.
int32_t PackOptions(const TBVOptions& Options);
TBVOptions UnpackOptions(int32_t Value);

}  // namespace pel
