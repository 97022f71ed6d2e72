#pragma once
// Resolving relative addresses on Linux with the results the browser's own resolver gives for
// the addresses pages contain.

#include "platform/Services.h"

namespace pel::headless {

class THeadlessUrlServices : public IUrlServices {
public:
  bool CombineUrl(const AnsiString& Base, const AnsiString& Relative, uint32_t Flags, uint32_t BufferLength,
                  AnsiString& Result) const override;
};

}  // namespace pel::headless
