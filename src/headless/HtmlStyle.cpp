// What an element's own style attribute hides, read as the browser's style parser reads it:
// declaration by declaration, the last valid one of a property winning unless an earlier one is
// important. Pages write "display:none; display:block" (shown) and old browsers' hacks such as
// "*display:none" or "display:none !ie" (invalid, so ignored).

#include "HtmlDom.h"

#include <optional>
#include <string_view>
#include <vector>

#include "HtmlDomInternal.h"

namespace pel::headless {

namespace {

// The tokens that decide it: names and keywords (escapes decoded, lower-cased), ":", ";", "!",
// blanks, variable references, and anything else as one opaque token: a number, a string, a
// function or a bracketed block with all it holds, so that a ";" inside one never ends a
// declaration.
struct TCssToken {
  // Var: a "var()" reference, whose value the style sheets the model does not read may give.
  enum TKind { Ident, Colon, Semicolon, Bang, Blank, Var, Other } Kind;
  WideString Name;
};

class TCssTokenizer {
public:
  explicit TCssTokenizer(std::u16string_view Text) : S(Text) {}

  std::vector<TCssToken> Tokens() {
    std::vector<TCssToken> Out;
    while (I < S.size()) {
      if (SkipComment()) continue;
      const WideChar C = S[I];
      if (IsSpace(C)) {
        while (I < S.size() && IsSpace(S[I])) ++I;
        if (Out.empty() || Out.back().Kind != TCssToken::Blank) Out.push_back({TCssToken::Blank, {}});
      } else if (C == u':' || C == u';' || C == u'!') {
        ++I;
        Out.push_back({C == u':' ? TCssToken::Colon : C == u';' ? TCssToken::Semicolon : TCssToken::Bang, {}});
      } else if (StartsNumber()) {
        ++I;
        while (I < S.size() && (IsDigit(S[I]) || S[I] == u'.' || S[I] == u'%' || StartsName(I))) ConsumeNameChar();
        Out.push_back({TCssToken::Other, {}});
      } else if (StartsName(I)) {
        WideString Name;
        while (I < S.size() && StartsName(I, true)) Name += ConsumeNameChar();
        if (I < S.size() && S[I] == u'(') {
          Name = AsciiLower(std::move(Name));
          if (Name == u"url")
            ConsumeUrl();
          else
            ConsumeBlock();
          Out.push_back({Name == u"var" ? TCssToken::Var : TCssToken::Other, {}});
        } else {
          Out.push_back({TCssToken::Ident, AsciiLower(std::move(Name))});
        }
      } else if (C == u'"' || C == u'\'') {
        ConsumeString();
        Out.push_back({TCssToken::Other, {}});
      } else if (C == u'(' || C == u'[' || C == u'{') {
        ConsumeBlock();
        Out.push_back({TCssToken::Other, {}});
      } else {
        ++I;
        Out.push_back({TCssToken::Other, {}});
      }
    }
    return Out;
  }

private:
  static bool IsDigit(WideChar C) { return C >= u'0' && C <= u'9'; }
  static bool IsHex(WideChar C) { return IsDigit(C) || (C >= u'a' && C <= u'f') || (C >= u'A' && C <= u'F'); }
  static bool IsNameStart(WideChar C) {
    return (C >= u'a' && C <= u'z') || (C >= u'A' && C <= u'Z') || C == u'_' || C >= 0x80;
  }
  bool IsEscape(size_t At) const {
    return At < S.size() && S[At] == u'\\' && (At + 1 == S.size() || S[At + 1] != u'\n');
  }
  // Whether a name starts at At (or, Within a name, goes on there).
  bool StartsName(size_t At, bool Within = false) const {
    if (At >= S.size()) return false;
    const WideChar C = S[At];
    if (IsNameStart(C) || IsEscape(At)) return true;
    if (Within) return IsDigit(C) || C == u'-';
    return C == u'-' && At + 1 < S.size() && (IsNameStart(S[At + 1]) || S[At + 1] == u'-' || IsEscape(At + 1));
  }
  bool StartsNumber() const {
    size_t At = I;
    if (S[At] == u'+' || S[At] == u'-') ++At;
    if (At < S.size() && S[At] == u'.') ++At;
    return At < S.size() && IsDigit(S[At]);
  }
  bool SkipComment() {
    if (S.compare(I, 2, u"/*") != 0) return false;
    const size_t End = S.find(u"*/", I + 2);
    I = End == std::u16string_view::npos ? S.size() : End + 2;
    return true;
  }
  // One character of a name, an escape decoded: "n\one" is "none", "none\9" ends in a tab.
  WideString ConsumeNameChar() {
    if (S[I] != u'\\') return WideString(1, S[I++]);
    ++I;
    if (I == S.size()) return u"\uFFFD";
    if (!IsHex(S[I])) return WideString(1, S[I++]);
    char32_t Code = 0;
    for (int Digits = 0; Digits < 6 && I < S.size() && IsHex(S[I]); ++Digits, ++I)
      Code = Code * 16 + static_cast<char32_t>(IsDigit(S[I]) ? S[I] - u'0' : (S[I] | 0x20) - u'a' + 10);
    if (I < S.size() && IsSpace(S[I])) I += S.compare(I, 2, u"\r\n") == 0 ? 2 : 1;
    if (Code == 0 || (Code >= 0xD800 && Code <= 0xDFFF) || Code > 0x10FFFF) return u"\uFFFD";
    if (Code < 0x10000) return WideString(1, static_cast<WideChar>(Code));
    Code -= 0x10000;
    return {static_cast<WideChar>(0xD800 + (Code >> 10)), static_cast<WideChar>(0xDC00 + (Code & 0x3FF))};
  }
  void ConsumeString() {
    const WideChar Quote = S[I++];
    while (I < S.size() && S[I] != Quote && S[I] != u'\n') I += S[I] == u'\\' ? 2 : 1;
    if (I < S.size() && S[I] == Quote) ++I;
    if (I > S.size()) I = S.size();
  }
  // An unquoted address is read to its ")" whatever it holds; a quoted one is a function.
  void ConsumeUrl() {
    size_t At = I + 1;
    while (At < S.size() && IsSpace(S[At])) ++At;
    if (At < S.size() && (S[At] == u'"' || S[At] == u'\'')) return ConsumeBlock();
    I = At;
    while (I < S.size() && S[I] != u')') I += S[I] == u'\\' ? 2 : 1;
    I = std::min(I + 1, S.size());
  }
  // A bracketed block to its matching end, strings and comments inside skipped whole.
  void ConsumeBlock() {
    std::vector<WideChar> Ends;
    do {
      if (SkipComment()) continue;
      const WideChar C = S[I];
      if (C == u'"' || C == u'\'') {
        ConsumeString();
        continue;
      }
      if (C == u'(' || C == u'[' || C == u'{')
        Ends.push_back(C == u'(' ? u')' : C == u'[' ? u']' : u'}');
      else if (!Ends.empty() && C == Ends.back())
        Ends.pop_back();
      I += C == u'\\' ? 2 : 1;
    } while (I < S.size() && !Ends.empty());
    if (I > S.size()) I = S.size();
  }

  std::u16string_view S;
  size_t I = 0;
};

bool IsCssWideKeyword(const WideString& Word) {
  return Word == u"inherit" || Word == u"initial" || Word == u"unset" || Word == u"revert" || Word == u"revert-layer";
}

// A valid value of "display": whether it is "none", or nothing when the browser would drop it.
std::optional<bool> DisplayIsNone(const std::vector<WideString>& Words) {
  // The keywords that stand alone, each between blanks.
  static constexpr std::u16string_view Single =
      u" none contents block inline inline-block flow-root flex inline-flex grid inline-grid table inline-table "
      u"table-row-group table-header-group table-footer-group table-row table-cell table-column-group table-column "
      u"table-caption list-item ruby ruby-text math -webkit-box -webkit-inline-box -webkit-flex -webkit-inline-flex ";
  if (Words.size() == 1 && Words[0].find(u' ') == WideString::npos &&
      (Single.find(u' ' + Words[0] + u' ') != std::u16string_view::npos || IsCssWideKeyword(Words[0])))
    return Words[0] == u"none";
  // An outer or an inner display type or both ("flow", "inline flow-root"), or a list item with
  // either.
  if (Words.size() > 3) return std::nullopt;
  int Outer = 0, Inner = 0, ListItem = 0;
  bool FlowInner = true;
  for (const WideString& W : Words) {
    if (W == u"block" || W == u"inline")
      ++Outer;
    else if (W == u"list-item")
      ++ListItem;
    else if (W == u"flow" || W == u"flow-root" || W == u"table" || W == u"flex" || W == u"grid" || W == u"ruby" ||
             W == u"math") {
      ++Inner;
      FlowInner = W == u"flow" || W == u"flow-root";
    } else
      return std::nullopt;
  }
  if (Outer > 1 || Inner > 1 || ListItem > 1 || (ListItem && !FlowInner)) return std::nullopt;
  return false;
}

// A valid value of "visibility": whether it hides, or nothing when the browser would drop it.
std::optional<bool> VisibilityHides(const std::vector<WideString>& Words) {
  if (Words.size() != 1) return std::nullopt;
  const WideString& W = Words[0];
  if (W == u"hidden" || W == u"collapse") return true;
  if (W == u"visible" || IsCssWideKeyword(W)) return false;
  return std::nullopt;
}

bool ContainsIgnoringAsciiCase(std::u16string_view Text, std::u16string_view Lower) {
  if (Text.size() < Lower.size()) return false;
  for (size_t At = 0; At + Lower.size() <= Text.size(); ++At) {
    size_t K = 0;
    while (K < Lower.size() && (Text[At + K] | (Text[At + K] < 0x80 ? 0x20 : 0)) == Lower[K]) ++K;
    if (K == Lower.size()) return true;
  }
  return false;
}

}  // namespace

// How an inline style hides the element's content.
TStyleHiding InlineStyleHiding(const WideString& Style) {
  // Most styles a page writes set neither property: those are passed over without parsing. An
  // escape could spell either name, so a style with one is parsed.
  if (Style.find(u'\\') == WideString::npos && !ContainsIgnoringAsciiCase(Style, u"display") &&
      !ContainsIgnoringAsciiCase(Style, u"visibility"))
    return TStyleHiding::None;
  struct TWinner {
    bool Important = false;
    bool Hides = false;
    void Take(bool DeclaredImportant, bool DeclaredHides) {
      if (DeclaredImportant || !Important) *this = {DeclaredImportant, DeclaredHides};
    }
  } Display, Visibility;
  const std::vector<TCssToken> Tokens = TCssTokenizer(Style).Tokens();
  for (size_t B = 0; B < Tokens.size();) {
    size_t E = B;
    while (E < Tokens.size() && Tokens[E].Kind != TCssToken::Semicolon) ++E;
    // One declaration: a name, ":", the value, perhaps "!important", blanks anywhere between.
    std::vector<const TCssToken*> Parts;
    for (size_t K = B; K < E; ++K)
      if (Tokens[K].Kind != TCssToken::Blank) Parts.push_back(&Tokens[K]);
    B = E + 1;
    if (Parts.size() < 3 || Parts[0]->Kind != TCssToken::Ident || Parts[1]->Kind != TCssToken::Colon) continue;
    bool Important = false;
    if (Parts.size() >= 5 && Parts[Parts.size() - 2]->Kind == TCssToken::Bang &&
        Parts.back()->Kind == TCssToken::Ident && Parts.back()->Name == u"important") {
      Important = true;
      Parts.resize(Parts.size() - 2);
    }
    const WideString& Property = Parts[0]->Name;
    if (Property != u"display" && Property != u"visibility") continue;
    std::vector<WideString> Words;
    bool Keywords = true, Variable = false;
    for (size_t K = 2; K < Parts.size(); ++K) {
      Variable = Variable || Parts[K]->Kind == TCssToken::Var;
      Keywords = Keywords && Parts[K]->Kind == TCssToken::Ident;
      Words.push_back(Parts[K]->Name);
    }
    std::optional<bool> Hides;
    if (Variable)
      Hides = false;  // valid whatever it holds; without the sheets that define it, taken as showing
    else if (Keywords && !Words.empty())
      Hides = Property == u"display" ? DisplayIsNone(Words) : VisibilityHides(Words);
    if (Hides) (Property == u"display" ? Display : Visibility).Take(Important, *Hides);
  }
  if (Display.Hides) return TStyleHiding::Display;
  return Visibility.Hides ? TStyleHiding::Visibility : TStyleHiding::None;
}

// The background colour an inline style sets ("background-color: red; ..."), or empty.
WideString InlineBackgroundColor(const WideString& Style) {
  const WideString Lower = AsciiLower(Style);
  const WideString Key = u"background-color";
  size_t P = Lower.find(Key);
  if (P == WideString::npos) return {};
  P = Lower.find(u':', P + Key.size());
  if (P == WideString::npos) return {};
  const size_t End = Lower.find(u';', P + 1);
  return TrimSpaces(Style.substr(P + 1, End == WideString::npos ? WideString::npos : End - P - 1));
}

}  // namespace pel::headless
