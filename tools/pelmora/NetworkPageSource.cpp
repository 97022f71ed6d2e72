#include "NetworkPageSource.h"

#include <curl/curl.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <regex>
#include <sstream>
#include <string_view>

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

namespace {

// A label as a converter, or null when no converter of that name exists.
UConverter* Converter(const std::string& Label) {
  UErrorCode Status = U_ZERO_ERROR;
  UConverter* C = ucnv_open(Label.c_str(), &Status);
  if (U_FAILURE(Status)) {
    if (C) ucnv_close(C);
    return nullptr;
  }
  return C;
}

}  // namespace

std::string PageTextAsUtf8(const std::string& Bytes, std::string Charset) {
  // A byte-order mark names the encoding beyond any declaration, and is not part of the text.
  std::string_view Text(Bytes);
  if (Text.substr(0, 3) == "\xEF\xBB\xBF") {
    Text.remove_prefix(3);
    Charset = "utf-8";
  } else if (Text.substr(0, 2) == "\xFF\xFE") {
    Text.remove_prefix(2);
    Charset = "utf-16le";
  } else if (Text.substr(0, 2) == "\xFE\xFF") {
    Text.remove_prefix(2);
    Charset = "utf-16be";
  } else if (Charset.empty()) {
    // The page's own declaration, within its first bytes as browsers look for it.
    const std::string Head(Text.substr(0, 4096));
    static const std::regex Meta(R"(<meta[^>]+charset\s*=\s*["']?([A-Za-z0-9_.:-]+))", std::regex::icase);
    std::smatch M;
    if (std::regex_search(Head, M, Meta)) Charset = M[1].str();
  }
  Charset = Lower(Charset);
  if (Charset.empty() || Charset == "iso-8859-1" || Charset == "latin1" || Charset == "us-ascii")
    Charset = "windows-1252";
  if (Charset == "utf-8" || Charset == "utf8") return std::string(Text);
  // Declared without a mark, UTF-16 is taken in the byte order the web writes it in.
  if (Charset == "utf-16") Charset = "utf-16le";
  // A label nobody knows is read as the web reads a page that declares nothing.
  UConverter* From = Converter(Charset);
  if (!From) From = Converter("windows-1252");
  UConverter* To = Converter("UTF-8");
  std::string Out;
  if (From && To) {
    Out.resize(Text.size() * 3 + 16);
    for (;;) {
      UErrorCode Status = U_ZERO_ERROR;
      char* Target = Out.data();
      const char* Source = Text.data();
      ucnv_resetToUnicode(From);
      ucnv_resetFromUnicode(To);
      ucnv_convertEx(To, From, &Target, Out.data() + Out.size(), &Source, Text.data() + Text.size(), nullptr,
                     nullptr, nullptr, nullptr, true, true, &Status);
      if (Status == U_BUFFER_OVERFLOW_ERROR) {
        Out.resize(Out.size() * 2);
        continue;
      }
      Out.resize(U_SUCCESS(Status) ? static_cast<size_t>(Target - Out.data()) : 0);
      break;
    }
  }
  if (From) ucnv_close(From);
  if (To) ucnv_close(To);
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
  std::string Head;  // the last answer's status line and headers (an interim 100 Continue is dropped)
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

size_t CollectHead(char* Data, size_t Size, size_t Count, void* User) {
  auto& D = *static_cast<TDownload*>(User);
  const size_t Bytes = Size * Count;
  if (Bytes >= 5 && std::string_view(Data, 5) == "HTTP/") D.Head.clear();
  // Headers count against the page's size as its body does.
  if (D.Head.size() + Bytes > D.Limit) {
    D.TooLarge = true;
    return 0;
  }
  D.Head.append(Data, Bytes);
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
  TAnswer Answer;
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
    Download.Head.clear();
    Download.Body.clear();
    curl_easy_setopt(H, CURLOPT_CURLU, Url.H);
    curl_easy_setopt(H, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(H, CURLOPT_TIMEOUT_MS, static_cast<long>(Left));
    curl_easy_setopt(H, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(H, CURLOPT_WRITEDATA, &Download);
    curl_easy_setopt(H, CURLOPT_HEADERFUNCTION, CollectHead);
    curl_easy_setopt(H, CURLOPT_HEADERDATA, &Download);
    // The body comes as it was sent, whatever it says of its encoding: the answer's reading decides.
    curl_easy_setopt(H, CURLOPT_HTTP_CONTENT_DECODING, 0L);
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
    Answer = ReadAnswer(Download.Head, Download.Body, Current);
    if (Answer.Kind != TAnswer::Redirect) break;
    if (Hop >= FLimits.MaxRedirects) {
      Result = CURLE_TOO_MANY_REDIRECTS;
      break;
    }
    Current = Answer.Location;
    // 307 and 308 ask for the same request at the new address, body and all; after 303, and (as
    // browsers do) after 301 and 302, the new address is fetched.
    if (Answer.Status != 307 && Answer.Status != 308) Post.clear();
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
  if (Answer.Kind != TAnswer::Page) {
    Error = Answer.Error;
    return false;
  }
  FinalURL.clear();
  for (unsigned char C : Current) FinalURL += static_cast<char16_t>(C);
  Utf8Html = std::move(Answer.Utf8Html);
  return true;
}

namespace {

std::string Trimmed(std::string_view Text) {
  while (!Text.empty() && (Text.front() == ' ' || Text.front() == '\t')) Text.remove_prefix(1);
  while (!Text.empty() && (Text.back() == ' ' || Text.back() == '\t' || Text.back() == '\r' || Text.back() == '\n'))
    Text.remove_suffix(1);
  return std::string(Text);
}

}  // namespace

TAnswer ReadAnswer(const std::string& Head, const std::string& Body, const std::string& Address) {
  TAnswer Answer;
  // The status line: "HTTP/1.1 200 OK", "HTTP/2 302".
  const std::string_view All(Head);
  const size_t LineEnd = std::min(All.find('\n'), All.size());
  const std::string StatusLine = Trimmed(All.substr(0, LineEnd));
  const size_t Space = StatusLine.find(' ');
  if (StatusLine.compare(0, 5, "HTTP/") != 0 || Space == std::string::npos || StatusLine.size() < Space + 4 ||
      !std::all_of(StatusLine.begin() + Space + 1, StatusLine.begin() + Space + 4,
                   [](unsigned char C) { return std::isdigit(C); }) ||
      (StatusLine.size() > Space + 4 && StatusLine[Space + 4] != ' ')) {
    Answer.Error = "the server's answer is not HTTP";
    return Answer;
  }
  Answer.Status = std::stol(StatusLine.substr(Space + 1, 3));
  std::string ContentType, Location, Encoding;
  for (size_t At = LineEnd + 1; At < All.size();) {
    const size_t End = std::min(All.find('\n', At), All.size());
    const std::string_view Line = All.substr(At, End - At);
    At = End + 1;
    const size_t Colon = Line.find(':');
    if (Colon == std::string_view::npos || Colon == 0 || Line.front() == ' ' || Line.front() == '\t') continue;
    const std::string Name = Lower(std::string(Line.substr(0, Colon)));
    const std::string Value = Trimmed(Line.substr(Colon + 1));
    if (Name == "content-type")
      ContentType = Value;
    else if (Name == "location" && Location.empty())
      Location = Value;
    else if (Name == "content-encoding" && !Value.empty())
      Encoding += (Encoding.empty() ? "" : ", ") + Value;
  }
  const long S = Answer.Status;
  if ((S == 301 || S == 302 || S == 303 || S == 307 || S == 308) && !Location.empty()) {
    // The new address read against the one asked, by the parser that will judge and contact it.
    TUrlHandle Url;
    if (curl_url_set(Url.H, CURLUPART_URL, Address.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK ||
        curl_url_set(Url.H, CURLUPART_URL, Location.c_str(),
                     CURLU_NON_SUPPORT_SCHEME | CURLU_URLENCODE | CURLU_ALLOW_SPACE) != CURLUE_OK) {
      Answer.Error = "the server redirected to \"" + Location + "\", which is not an address";
      return Answer;
    }
    Answer.Location = Part(Url.H, CURLUPART_URL);
    // What the resolving let through (a blank in a fragment) must still read as an address where
    // the redirect is judged; one that does not is refused here, saying so.
    TNetworkPageSource::TAddress Target;
    if (!TNetworkPageSource::ParseAddress(Answer.Location, Target)) {
      Answer.Error = "the server redirected to \"" + Location + "\", which is not an address";
      return Answer;
    }
    Answer.Kind = TAnswer::Redirect;
    return Answer;
  }
  if (S >= 400) {
    Answer.Error = "the server answered HTTP " + std::to_string(S);
    return Answer;
  }
  // The tool asks for no content encoding: a compressed body read as markup would be a page with
  // nothing on it.
  if (!Encoding.empty() && Lower(Encoding) != "identity") {
    Answer.Error = "the page came in an encoding the tool did not ask for (" + Encoding + ")";
    return Answer;
  }
  const std::string Mime = Lower(Trimmed(ContentType.substr(0, ContentType.find(';'))));
  if (!Mime.empty() && Mime != "text/html" && Mime != "application/xhtml+xml") {
    Answer.Error = "the address is not an HTML page (" + Mime + ")";
    return Answer;
  }
  Answer.Utf8Html = PageTextAsUtf8(Body, CharsetOf(ContentType));
  Answer.Kind = TAnswer::Page;
  return Answer;
}

}  // namespace pel::tool
