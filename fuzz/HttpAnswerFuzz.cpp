// Arbitrary bytes as a server's answer to the tool: the status line and headers up to the first
// blank line, the body after it. The answer is read by the very function the tool's fetches use:
// it becomes a page, a redirect to an address that can be read again, or a refusal that says why;
// it never crashes or hangs.

#include <cstddef>
#include <cstdint>
#include <string>

#include "NetworkPageSource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string Input(reinterpret_cast<const char*>(Data), Size);
  size_t Split = Input.find("\r\n\r\n");
  size_t Skip = 4;
  if (Split == std::string::npos) {
    Split = Input.find("\n\n");
    Skip = 2;
  }
  const std::string Head = Split == std::string::npos ? Input : Input.substr(0, Split + Skip / 2);
  const std::string Body = Split == std::string::npos ? std::string() : Input.substr(Split + Skip);
  const pel::tool::TAnswer Answer = pel::tool::ReadAnswer(Head, Body, "http://example.test/dir/page?q=1");
  switch (Answer.Kind) {
    case pel::tool::TAnswer::Redirect: {
      // A redirect goes to an address the fetch loop can judge.
      pel::tool::TNetworkPageSource::TAddress Address;
      if (Answer.Location.empty() || !pel::tool::TNetworkPageSource::ParseAddress(Answer.Location, Address))
        __builtin_trap();
      if (Answer.Status < 300 || Answer.Status > 399) __builtin_trap();
      break;
    }
    case pel::tool::TAnswer::Refused:
      if (Answer.Error.empty()) __builtin_trap();
      break;
    case pel::tool::TAnswer::Page:
      if (Answer.Status >= 400) __builtin_trap();
      break;
  }
  return 0;
}
