#include "NetworkPageSource.h"

#include <curl/curl.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <sstream>
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

void TNetworkPageSource::AllowHost(const std::string& Host) {
  // No address has an empty host: allowing it would let "http:///elsewhere/" through a check that
  // read the address otherwise than the library does.
  if (!Host.empty()) FHosts.insert(Lower(Host));
}

namespace {

// An address in the text the network library is given: what is not ASCII cannot be sent as it is.
std::string AsciiOf(const WideString& URL) {
  std::string Address;
  for (char16_t C : URL) Address += C < 0x80 ? static_cast<char>(C) : '?';
  return Address;
}

struct TUrlHandle {
  TUrlHandle() : H(curl_url()) {
    if (!H) throw Exception("The network library could not start");
  }
  ~TUrlHandle() { curl_url_cleanup(H); }
  TUrlHandle(const TUrlHandle&) = delete;
  TUrlHandle& operator=(const TUrlHandle&) = delete;
  CURLU* H;
};

std::string Part(CURLU* H, CURLUPart Which, unsigned Flags = 0) {
  char* Text = nullptr;
  if (curl_url_get(H, Which, &Text, Flags) != CURLUE_OK || !Text) return std::string();
  std::string Out = Text;
  curl_free(Text);
  return Out;
}

// Reads URL into H with the library's own parser, so that what is judged is what gets contacted.
bool ReadAddress(const std::string& URL, TNetworkPageSource::TAddress& Address, CURLU* H) {
  // Any scheme is read, so that a refusal can name it; which ones are fetched is decided after.
  if (curl_url_set(H, CURLUPART_URL, URL.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) return false;
  Address.Scheme = Lower(Part(H, CURLUPART_SCHEME));
  Address.Host = Lower(Part(H, CURLUPART_HOST));
  Address.Port = std::atol(Part(H, CURLUPART_PORT, CURLU_DEFAULT_PORT).c_str());
  return !Address.Scheme.empty();
}

}  // namespace

bool TNetworkPageSource::ParseAddress(const std::string& URL, TAddress& Address) {
  TUrlHandle Url;
  return ReadAddress(URL, Address, Url.H);
}

void TNetworkPageSource::AllowNamed(const WideString& Named) {
  const std::string URL = AsciiOf(Named);
  TAddress Address;
  if (!ParseAddress(URL, Address)) return;
  if (Address.Scheme == "file")
    FFiles.insert(URL.substr(0, URL.find_first_of("?#")));
  else if (Address.Scheme == "http" || Address.Scheme == "https")
    AllowHost(Address.Host);
}

bool TNetworkPageSource::Judge(const std::string& URL, bool FileAllowed, CURLU* Into, std::string& Error) const {
  TAddress Address;
  if (!ReadAddress(URL, Address, Into)) {
    Error = "not contacted: \"" + URL + "\" is not an address";
    return false;
  }
  if (Address.Scheme == "file" && FileAllowed) {
    // Only the very address that was named: which files are read is this machine's choice, not
    // the page's.
    if (FFiles.count(URL.substr(0, URL.find_first_of("?#")))) return true;
    Error = "not read: the file was not named on the command line";
    return false;
  }
  if (Address.Scheme != "http" && Address.Scheme != "https") {
    Error = "not contacted: the address scheme \"" + Address.Scheme + "\" is neither http nor https";
    return false;
  }
  if (!FHosts.count(Address.Host)) {
    Error = "not contacted: the host " + Address.Host + " was not named on the command line";
    return false;
  }
  return true;
}

bool TNetworkPageSource::Admits(const WideString& URL, std::string& Error) {
  // What an empty frame shows: nothing is read for it.
  if (AsciiLowerCase(URL) == u"about:blank") return true;
  TUrlHandle Url;
  return Judge(AsciiOf(URL), true, Url.H, Error);
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

// Asked by the library while a transfer waits or moves: a set interrupt flag ends it.
int Progress(void* Interrupted, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return Interrupted && static_cast<const std::atomic<bool>*>(Interrupted)->load() ? 1 : 0;
}

}  // namespace

bool TNetworkPageSource::FetchRemote(const WideString& URL, const std::string& PostData, std::string& Utf8Html,
                                     WideString& FinalURL, std::string& Error) {
  CURL* H = FSession->Handle;
  TDownload Download;
  Download.Limit = FLimits.MaxBytes;
  std::string Current = AsciiOf(URL), Post = PostData;
  CURLcode Result = CURLE_OK;
  // Whatever gets past the checks below, the library itself speaks nothing but http and https.
  curl_easy_setopt(H, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(H, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  // Redirects are followed here, not by the library, so that each address is checked before it
  // is contacted. The address contacted is the one the check read, not a second reading of it.
  TUrlHandle Url;
  // One deadline for the page: a redirect does not start the time-out over.
  const auto Deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(static_cast<long long>(FLimits.TimeoutSeconds * 1000));
  bool ChainTimedOut = false;  // the time ran out between hops, not while waiting for one
  for (long Hop = 0;; ++Hop) {
    if (!Judge(Current, false, Url.H, Error)) return false;
    const auto Left =
        std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - std::chrono::steady_clock::now()).count();
    if (Left <= 0) {
      Result = CURLE_OPERATION_TIMEDOUT;
      ChainTimedOut = true;
      break;
    }
    if (FInterrupted && *FInterrupted) {
      Result = CURLE_ABORTED_BY_CALLBACK;
      break;
    }
    curl_easy_setopt(H, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(H, CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(H, CURLOPT_XFERINFODATA, FInterrupted);
    Download.Body.clear();
    curl_easy_setopt(H, CURLOPT_CURLU, Url.H);
    curl_easy_setopt(H, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(H, CURLOPT_TIMEOUT_MS, static_cast<long>(Left));
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
    curl_easy_setopt(H, CURLOPT_CURLU, nullptr);
    if (Result != CURLE_OK) break;
    char* Next = nullptr;
    curl_easy_getinfo(H, CURLINFO_REDIRECT_URL, &Next);
    if (!Next) break;
    if (Hop >= FLimits.MaxRedirects) {
      Result = CURLE_TOO_MANY_REDIRECTS;
      break;
    }
    Current = Next;
    // 307 and 308 ask for the same request at the new address, body and all; after 303, and (as
    // browsers do) after 301 and 302, the new address is fetched.
    long Status = 0;
    curl_easy_getinfo(H, CURLINFO_RESPONSE_CODE, &Status);
    if (Status != 307 && Status != 308) Post.clear();
  }
  if (Download.TooLarge) {
    Error = "the page is larger than " + std::to_string(FLimits.MaxBytes / (1024 * 1024)) + " MB";
    return false;
  }
  if (Result != CURLE_OK) {
    std::ostringstream Seconds;
    Seconds << FLimits.TimeoutSeconds;
    // Whether the time ran out before or after the server took the connection: the one is a
    // server that is not there (or a network that drops), the other a server that is slow.
    curl_off_t Connected = 0;
    curl_easy_getinfo(H, CURLINFO_CONNECT_TIME_T, &Connected);
    const std::string Wait = " within " + Seconds.str() + " s (time-out; --timeout gives it longer)";
    if (Result == CURLE_ABORTED_BY_CALLBACK)
      Error = "interrupted";
    else if (Result == CURLE_TOO_MANY_REDIRECTS)
      Error = "the address redirects too often (a redirect loop?)";
    else if (Result == CURLE_OPERATION_TIMEDOUT)
      Error = ChainTimedOut ? "the page did not arrive" + Wait
              : Connected > 0 ? "the server did not answer" + Wait
                              : "the server could not be reached" + Wait;
    else if (Result == CURLE_OUT_OF_MEMORY && Download.Body.empty())
      // What the library says when a header line of the answer is larger than it reads (100 KB).
      Error = "the server's answer was not read: its header is too large";
    else
      Error = std::string("cannot reach the address: ") + curl_easy_strerror(Result);
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
