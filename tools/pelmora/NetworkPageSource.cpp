#include "NetworkPageSource.h"

#include <curl/curl.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <cctype>
#include <regex>

#include "platform/Exceptions.h"

namespace pel::tool {

namespace {

std::string Lower(std::string Text) {
  std::transform(Text.begin(), Text.end(), Text.begin(), [](unsigned char C) { return std::tolower(C); });
  return Text;
}

// The charset named in a Content-Type value, or empty.
std::string CharsetOf(const std::string& ContentType) {
  static const std::regex Charset(R"(charset\s*=\s*["']?([A-Za-z0-9_.:-]+))", std::regex::icase);
  std::smatch M;
  return std::regex_search(ContentType, M, Charset) ? M[1].str() : std::string();
}

struct TCurlGlobal {
  TCurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
  ~TCurlGlobal() { curl_global_cleanup(); }
};

}  // namespace

std::string PageTextAsUtf8(const std::string& Bytes, std::string Charset) {
  if (Charset.empty()) {
    // The page's own declaration, within its first bytes as browsers look for it.
    const std::string Head = Bytes.substr(0, 4096);
    static const std::regex Meta(R"(<meta[^>]+charset\s*=\s*["']?([A-Za-z0-9_.:-]+))", std::regex::icase);
    std::smatch M;
    if (std::regex_search(Head, M, Meta)) Charset = M[1].str();
  }
  Charset = Lower(Charset);
  if (Charset.empty() || Charset == "iso-8859-1" || Charset == "latin1" || Charset == "us-ascii")
    Charset = "windows-1252";
  if (Charset == "utf-8" || Charset == "utf8") return Bytes;
  UErrorCode Status = U_ZERO_ERROR;
  std::string Out(Bytes.size() * 3 + 16, '\0');
  const int32_t Length = ucnv_convert("UTF-8", Charset.c_str(), Out.data(), static_cast<int32_t>(Out.size()),
                                      Bytes.data(), static_cast<int32_t>(Bytes.size()), &Status);
  // A character set nobody knows: the bytes are taken as they are.
  if (U_FAILURE(Status)) return Bytes;
  Out.resize(static_cast<size_t>(Length));
  return Out;
}

struct TNetworkPageSource::TSession {
  TSession() {
    static TCurlGlobal Global;
    Handle = curl_easy_init();
    if (!Handle) throw Exception("The network library could not start");
    // An empty cookie file turns the cookie engine on: cookies set by one page go with the next
    // request of the run.
    curl_easy_setopt(Handle, CURLOPT_COOKIEFILE, "");
  }
  ~TSession() { curl_easy_cleanup(Handle); }
  CURL* Handle = nullptr;
};

TNetworkPageSource::TNetworkPageSource(TLimits Limits) : FSession(std::make_unique<TSession>()), FLimits(Limits) {}

TNetworkPageSource::~TNetworkPageSource() = default;

void TNetworkPageSource::AllowHost(const std::string& Host) { FHosts.insert(Lower(Host)); }

std::string TNetworkPageSource::HostOf(const std::string& URL) {
  size_t Start = URL.find("://");
  if (Start == std::string::npos) return std::string();
  Start += 3;
  size_t End = URL.find_first_of("/?#", Start);
  std::string Authority = URL.substr(Start, End == std::string::npos ? std::string::npos : End - Start);
  if (const size_t At = Authority.rfind('@'); At != std::string::npos) Authority.erase(0, At + 1);
  if (!Authority.empty() && Authority[0] == '[') return Lower(Authority.substr(0, Authority.find(']') + 1));
  return Lower(Authority.substr(0, Authority.find(':')));
}

namespace {

struct TDownload {
  std::string Body;
  size_t Limit = 0;
  bool TooLarge = false;
};

size_t Collect(char* Data, size_t Size, size_t Count, void* User) {
  auto& D = *static_cast<TDownload*>(User);
  const size_t Bytes = Size * Count;
  if (D.Body.size() + Bytes > D.Limit) {
    D.TooLarge = true;
    return 0;  // ends the transfer
  }
  D.Body.append(Data, Bytes);
  return Bytes;
}

}  // namespace

bool TNetworkPageSource::FetchRemote(const WideString& URL, const std::string& PostData, std::string& Utf8Html,
                                     WideString& FinalURL, std::string& Error) {
  std::string Address;
  for (char16_t C : URL) Address += C < 0x80 ? static_cast<char>(C) : '?';
  const std::string Scheme = Lower(Address.substr(0, Address.find(':')));
  if (Scheme != "http" && Scheme != "https") {
    Error = "unsupported address scheme \"" + Scheme + "\" (http, https and files are read)";
    return false;
  }
  CURL* H = FSession->Handle;
  TDownload Download;
  Download.Limit = FLimits.MaxBytes;
  std::string Current = Address, Post = PostData;
  CURLcode Result = CURLE_OK;
  // Redirects are followed here, not by the library, so that each address is checked before it
  // is contacted.
  for (long Hop = 0;; ++Hop) {
    if (!FHosts.empty() && !FHosts.count(HostOf(Current))) {
      Error = "not contacted: the host " + HostOf(Current) + " was not named on the command line";
      return false;
    }
    Download.Body.clear();
    curl_easy_setopt(H, CURLOPT_URL, Current.c_str());
    curl_easy_setopt(H, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(H, CURLOPT_TIMEOUT, FLimits.TimeoutSeconds);
    curl_easy_setopt(H, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(H, CURLOPT_WRITEDATA, &Download);
    curl_easy_setopt(H, CURLOPT_USERAGENT, "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1) pelmora");
    if (Post.empty()) {
      curl_easy_setopt(H, CURLOPT_HTTPGET, 1L);
    } else {
      curl_easy_setopt(H, CURLOPT_POSTFIELDSIZE, static_cast<long>(Post.size()));
      curl_easy_setopt(H, CURLOPT_COPYPOSTFIELDS, Post.c_str());
    }
    Result = curl_easy_perform(H);
    if (Result != CURLE_OK) break;
    char* Next = nullptr;
    curl_easy_getinfo(H, CURLINFO_REDIRECT_URL, &Next);
    if (!Next) break;
    if (Hop >= FLimits.MaxRedirects) {
      Result = CURLE_TOO_MANY_REDIRECTS;
      break;
    }
    Current = Next;
    // A redirected submission is fetched, as browsers do for 301, 302 and 303.
    Post.clear();
  }
  if (Download.TooLarge) {
    Error = "the page is larger than " + std::to_string(FLimits.MaxBytes / (1024 * 1024)) + " MB";
    return false;
  }
  if (Result != CURLE_OK) {
    Error = Result == CURLE_TOO_MANY_REDIRECTS ? "the address redirects too often (a redirect loop?)"
                                               : std::string("cannot reach the address: ") + curl_easy_strerror(Result);
    return false;
  }
  long Status = 0;
  curl_easy_getinfo(H, CURLINFO_RESPONSE_CODE, &Status);
  if (Status >= 400) {
    Error = "the server answered HTTP " + std::to_string(Status);
    return false;
  }
  char* Type = nullptr;
  curl_easy_getinfo(H, CURLINFO_CONTENT_TYPE, &Type);
  const std::string ContentType = Type ? Type : "";
  const std::string Mime = Lower(ContentType.substr(0, ContentType.find(';')));
  if (!Mime.empty() && Mime != "text/html" && Mime != "application/xhtml+xml") {
    Error = "the address is not an HTML page (" + Mime + ")";
    return false;
  }
  FinalURL.clear();
  for (unsigned char C : Current) FinalURL += static_cast<char16_t>(C);
  Utf8Html = PageTextAsUtf8(Download.Body, CharsetOf(ContentType));
  return true;
}

}  // namespace pel::tool
