#pragma once
// Pages from the web for the tool's browser window: http and https through libcurl. Only what the
// window asks for is fetched (the page, its frames, its submissions); never pictures, scripts or
// styles. One run keeps its cookies; redirects are followed within bounds; a page is read in its
// character set and handed on as UTF-8.

#include <atomic>
#include <memory>
#include <set>
#include <string>

#include "headless/HeadlessBrowser.h"

struct Curl_URL;
typedef struct Curl_URL CURLU;

namespace pel::tool {

class TNetworkPageSource : public headless::TPageSource {
public:
  struct TLimits {
    // For the whole page: every redirect on the way to it counts against it.
    double TimeoutSeconds = 30;
    long MaxRedirects = 10;
    size_t MaxBytes = 20 * 1024 * 1024;
  };
  explicit TNetworkPageSource(TLimits Limits);
  TNetworkPageSource() : TNetworkPageSource(TLimits{}) {}
  ~TNetworkPageSource() override;

  // Only these hosts are contacted (lower case, without port): those the person named. Frames,
  // submissions and redirects to others are refused with an error saying which host it was.
  void AllowHost(const std::string& Host);
  // An address the person named: its host is allowed when it is http or https; a file is read
  // only when it is itself one of the named addresses.
  void AllowNamed(const WideString& Address);
  // A flag set when the person interrupts the run: a transfer under way is dropped at once and
  // nothing more is fetched.
  void SetInterrupt(const std::atomic<bool>* Interrupted) { FInterrupted = Interrupted; }

  // An address as the network library reads it: the one reading by which every address the window
  // asks for is judged and then contacted.
  struct TAddress {
    std::string Scheme;  // lower case
    std::string Host;    // lower case; empty for a file
    long Port = 0;
  };
  // False when the library cannot read it as an address at all.
  static bool ParseAddress(const std::string& URL, TAddress& Address);

protected:
  bool Admits(const WideString& URL, std::string& Error) override;
  bool FetchRemote(const WideString& URL, const std::string& PostData, std::string& Utf8Html, WideString& FinalURL,
                   std::string& Error) override;

private:
  struct TSession;
  std::unique_ptr<TSession> FSession;
  TLimits FLimits;
  // Reads URL as an address and says whether it may be loaded: http or https on a named host, or
  // (FileAllowed) a named file. Into holds the address as read.
  bool Judge(const std::string& URL, bool FileAllowed, CURLU* Into, std::string& Error) const;

  std::set<std::string> FHosts;
  const std::atomic<bool>* FInterrupted = nullptr;
  std::set<std::string> FFiles;  // the named files' addresses, without query or fragment
};

// The page's bytes as UTF-8: in the encoding its byte-order mark names (the mark dropped); else in
// Charset (from the answer's header); else in the page's own meta declaration; else, and for a
// label no converter knows, in Windows-1252, as browsers take pages that declare nothing.
std::string PageTextAsUtf8(const std::string& Bytes, std::string Charset);

// A server's answer as the window takes it: a page, a redirect to follow, or a refusal saying why.
struct TAnswer {
  enum TKind { Page, Redirect, Refused } Kind = Refused;
  long Status = 0;
  std::string Utf8Html;  // a page's text
  std::string Location;  // a redirect's new address, read against the one asked
  std::string Error;     // why it is refused
};
// Head: the status line and header lines as they came; Body: the bytes after them as the transfer
// delivered them (chunks joined, nothing decompressed); Address: the address asked.
TAnswer ReadAnswer(const std::string& Head, const std::string& Body, const std::string& Address);

}  // namespace pel::tool
