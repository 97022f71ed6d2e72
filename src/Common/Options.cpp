#include "Options.h"

namespace pel {

int32_t PackOptions(const TBVOptions& O) {
  const uint8_t Flags[6] = {O.AutoFill, O.AutoSubmit, O.AskConfirm, O.AutoShow, O.AutoFillNew, O.AutoBind};
  int32_t Result = 0;
  for (int Bit = 0; Bit < 6; ++Bit)
    if (Flags[Bit] != 0) Result |= 1 << Bit;
  return Result + O.SubmitAction * 64;
}

TBVOptions UnpackOptions(int32_t Value) {
  auto Bit = [&](int N) { return static_cast<uint8_t>((Value >> N) & 1); };
  TBVOptions O;
  O.AutoFill = Bit(0);
  O.AutoSubmit = Bit(1);
  O.AskConfirm = Bit(2);
  O.AutoShow = Bit(3);
  O.AutoFillNew = Bit(4);
  O.AutoBind = Bit(5);
  O.SubmitAction = static_cast<uint8_t>((Value >> 6) & 3);
  return O;
}

}  // namespace pel
