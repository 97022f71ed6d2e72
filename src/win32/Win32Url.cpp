#include "Win32Url.h"

#include <windows.h>
#include <wininet.h>

#include <vector>

namespace pel::win32 {

bool TWinInetUrlServices::CombineUrl(const AnsiString& Base, const AnsiString& Relative, uint32_t Flags,
                                     uint32_t BufferLength, AnsiString& Result) const {
  // One spare zero byte beyond the stated size, so the text always ends inside the buffer.
  std::vector<char> Buffer(static_cast<size_t>(BufferLength) + 1, '\0');
  DWORD Size = BufferLength;
  if (!InternetCombineUrlA(Base.c_str(), Relative.c_str(), Buffer.data(), &Size, Flags)) return false;
  Result = Buffer.data();
  return true;
}

}  // namespace pel::win32
