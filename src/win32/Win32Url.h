#pragma once
// Resolving relative addresses through WinINet.

#include "platform/Services.h"

namespace pel::win32 {

class TWinInetUrlServices : public IUrlServices {
public:
  bool CombineUrl(const AnsiString& Base, const AnsiString& Relative, uint32_t Flags, uint32_t BufferLength,
                  AnsiString& Result) const override;
};

}  // namespace pel::win32
