#pragma once
// Pages from the web for the tool's browser window: http and https through libcurl. Only what the
// window asks for is fetched (the page, its frames, its submissions); never pictures, scripts or
// styles. One run keeps its cookies; redirects are followed within bounds; a page is read in its
// character set and handed on as UTF-8.

#include <memory>
#include <set>
#include <string>

#include "headless/HeadlessBrowser.h"

namespace pel::tool {

class TNetworkPageSource : public headless::TPageSource {
public:
  struct TLimits {
    long TimeoutSeconds = 30;
    long MaxRedirects = 10;
    size_t MaxBytes = 20 * 1024 * 1024;
  };
  explicit TNetworkPageSource(TLimits Limits);
  TNetworkPageSource() : TNetworkPageSource(TLimits{}) {}
  ~TNetworkPageSource() override;

  // Only these hosts are contacted (lower case, without port): those the person named. Frames,
  // submissions and redirects to others are refused with an error saying which host it was.
  void AllowHost(const std::string& Host);
  static std::string HostOf(const std::string& URL);

protected:
  bool FetchRemote(const WideString& URL, const std::string& PostData, std::string& Utf8Html, WideString& FinalURL,
                   std::string& Error) override;

private:
  struct TSession;
  std::unique_ptr<TSession> FSession;
  TLimits FLimits;
  std::set<std::string> FHosts;
};

// The page's bytes as UTF-8, read in Charset (from the answer's header; else the page's own meta
// declaration; else Windows-1252, as browsers take pages that declare nothing).
std::string PageTextAsUtf8(const std::string& Bytes, std::string Charset);

}  // namespace pel::tool
