#include "URLUtils.h"

#include "Common/Trace.h"
#include "Common/Words.h"

#include <type_traits>
#include "platform/Browser.h"
#include "platform/Services.h"

namespace pel {

namespace {

template <class TString>
TString Trim(const TString& S) {
  size_t B = 0, E = S.size();
  while (B < E && static_cast<uint32_t>(static_cast<std::make_unsigned_t<typename TString::value_type>>(S[B])) <= 32) ++B;
  while (E > B && static_cast<uint32_t>(static_cast<std::make_unsigned_t<typename TString::value_type>>(S[E - 1])) <= 32)
    --E;
  return S.substr(B, E - B);
}

bool StartsWithIgnoringAsciiCase(const WideString& S, const char* Prefix) {
  size_t I = 0;
  for (; Prefix[I]; ++I) {
    if (I >= S.size()) return false;
    WideChar C = S[I];
    if (C >= u'A' && C <= u'Z') C = static_cast<WideChar>(C - u'A' + u'a');
    if (C != static_cast<WideChar>(Prefix[I])) return false;
  }
  return true;
}

// Decimal integer with an optional sign, as the whole text; -1 for anything else.
int32_t StrToIntOrMinusOne(const AnsiString& S) {
  size_t I = 0;
  bool Negative = false;
  if (I < S.size() && (S[I] == '+' || S[I] == '-')) Negative = S[I++] == '-';
  if (I == S.size()) return -1;
  int64_t V = 0;
  for (; I < S.size(); ++I) {
    if (S[I] < '0' || S[I] > '9') return -1;
    V = V * 10 + (S[I] - '0');
    if (V > int64_t{0x80000000}) return -1;
  }
  V = Negative ? -V : V;
  return V > INT32_MAX ? -1 : static_cast<int32_t>(V);
}

}  // namespace

WideString NormalizeURL(const WideString& URL) {
  return Traced(1130, [&] {
    WideString R = Trim(URL);
    if (const size_t P = R.find(u'?'); P != WideString::npos) R.erase(P);
    if (!R.empty() && R.back() == u'/') R.pop_back();
    return R;
  });
}

WideString StripWWW(const WideString& URL) {
  return Traced(1515, [&] {
    if (StartsWithIgnoringAsciiCase(URL, "http://www.")) return u"http://" + URL.substr(11);
    if (StartsWithIgnoringAsciiCase(URL, "https://www.")) return u"https://" + URL.substr(12);
    return URL;
  });
}

WideString ExtractHost(const WideString& URL) {
  AnsiString S = WideToAnsi(URL);
  if (S.rfind("http://", 0) == 0)
    S.erase(0, 7);
  else if (S.rfind("https://", 0) == 0)
    S.erase(0, 8);
  if (S.rfind("www.", 0) == 0) S.erase(0, 4);
  if (const size_t P = S.find('/'); P != AnsiString::npos) S.erase(P);
  return AnsiToWide(S);
}

AnsiString CombineURL(const AnsiString& Base, const AnsiString& Relative, uint32_t Flags) {
  return Traced(1131, [&] {
    AnsiString Result;
    if (!Url().CombineUrl(Base, Relative, Flags, 2048, Result)) throw Exception("Error in InternetCombineUrl!");
    // The text ends at its first zero byte, as it would in the fixed buffer.
    if (const size_t Zero = Result.find('\0'); Zero != AnsiString::npos) Result.erase(Zero);
    return Result;
  });
}

int32_t ParseRefreshContent(const AnsiString& Content, WideString& URL) {
  URL.clear();
  TWords Pieces;
  Pieces.SetDelimiters(",;");
  Pieces.Split(Content);
  if (Pieces.Count() < 2) return 1;
  const int32_t Delay = StrToIntOrMinusOne(Trim(Pieces[0]));
  TWords Parts;
  Parts.SetDelimiters("=");
  Parts.Split(Pieces[1]);
  URL = AnsiToWide(Parts.Count() >= 2 ? Parts[1] : Pieces[1]);
  return Delay;
}

bool GetMetaRefresh(const std::shared_ptr<IHTMLDocument2>& Doc, WideString& URL) {
  URL.clear();
  if (!Doc) return false;
  TElementsRef Metas = Doc->All()->Tags(u"META");
  if (Metas->Length() < 1) return false;
  auto Meta = Supports<IHTMLMetaElement>(Metas->Item(0));
  if (!Meta) return false;
  if (AsciiLowerCase(Meta->HttpEquiv()) != u"refresh") return false;
  return ParseRefreshContent(WideToAnsi(Meta->Content()), URL) == 0;
}

namespace {
void CollectDocumentLinks(const std::shared_ptr<IHTMLDocument2>& Doc, THyperlinks& Links) {
  const TElementsRef All = Doc->All();
  const TElementsRef Anchors = All->Tags(u"a");
  for (int32_t I = 0; I < Anchors->Length(); ++I) {
    THyperlink& Link = Links.Add();
    try {  // a link that cannot be read keeps what was read of it
      Link.Element = Anchors->Item(I);
      if (auto Anchor = Supports<IHTMLAnchorElement>(Link.Element)) Link.Href = Anchor->Href();
      if (Link.Element) Link.Text = Link.Element->InnerText();
    } catch (const Exception&) {
    }
  }
  const TElementsRef Areas = All->Tags(u"area");
  for (int32_t I = 0; I < Areas->Length(); ++I) {
    THyperlink& Link = Links.Add();
    try {
      Link.Element = Areas->Item(I);
      if (auto Area = Supports<IHTMLAreaElement>(Link.Element)) {
        Link.Href = Area->Href();
        Link.Text = Area->Alt();
      }
    } catch (const Exception&) {
    }
  }
  auto Container = Supports<IOleContainer>(Doc);
  if (!Container) return;
  for (const std::shared_ptr<IInterface>& Object : Container->EnumObjects(OLECONTF_EMBEDDINGS)) {
    try {  // a frame that cannot be read is skipped
      auto Browser = Supports<IWebBrowser2>(Object);
      if (!Browser) continue;
      if (auto FrameDoc = Supports<IHTMLDocument2>(Browser->Document())) CollectDocumentLinks(FrameDoc, Links);
    } catch (const Exception&) {
    }
  }
}
}  // namespace

void CollectHyperlinks(const std::shared_ptr<IHTMLDocument2>& Doc, THyperlinks& Links) {
  Traced(1571, [&] {
    try {
      if (Doc) CollectDocumentLinks(Doc, Links);
    } catch (const Exception&) {
      // What was collected stays; the rest of the page is left out without a word.
    }
  });
}

}  // namespace pel
