#include "HtmlDom.h"

#include <gumbo.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <ext/atomicity.h>
#include <mutex>
#include <optional>
#include <string_view>
#include <typeinfo>
#include <unordered_map>

#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace pel::headless {

// The nodes the parser makes for one document, with their child and attribute lists, carved out of
// a few large blocks: a page of a few thousand nodes otherwise costs as many allocations and frees,
// as much as the parser's own work. A node may outlive its page, so the blocks go only when the
// last piece made from them does: every piece counts as a holder, and so does the parser while it
// builds. Nothing is reused before then; only the parser's nodes (and what grows their lists
// later) live here.
class TNodeArena {
public:
  static TNodeArena* Create() { return new TNodeArena(); }

  ~TNodeArena() {
    for (auto& Block : FBlocks)
      if (Block.Size == BlockSize) GiveBlock(std::move(Block.Bytes));
  }

  void* Allocate(size_t Size, size_t Align) {
    size_t At = (FUsed + Align - 1) & ~(Align - 1);
    if (FBlocks.empty() || At + Size > FBlocks.back().Size) {
      if (Size <= BlockSize)
        FBlocks.push_back({TakeBlock(), BlockSize});
      else
        FBlocks.push_back({std::unique_ptr<std::byte[]>(new std::byte[Size]), Size});
      At = 0;
    }
    FUsed = At + Size;
    __gnu_cxx::__atomic_add_dispatch(&FHolders, 1);
    return FBlocks.back().Bytes.get() + At;
  }

  void Release() {
    if (__gnu_cxx::__exchange_and_add_dispatch(&FHolders, -1) == 1) delete this;
  }

private:
  // Blocks stay below the size the allocator serves from fresh mappings, whose pages would be
  // faulted in anew for every document.
  static constexpr size_t BlockSize = 60 * 1024;
  // Blocks of pages that went wait for the next page, up to a few megabytes: a browser loads one
  // page after another, and handing blocks back to the heap costs it a sweep of its small free
  // chunks every time, as much as building a small page's nodes.
  static constexpr size_t SpareBlocks = 64;
  struct TBlock {
    std::unique_ptr<std::byte[]> Bytes;
    size_t Size;
  };
  static std::mutex& SpareLock() {
    static std::mutex Lock;
    return Lock;
  }
  static std::vector<std::unique_ptr<std::byte[]>>& Spares() {
    static auto* Blocks = new std::vector<std::unique_ptr<std::byte[]>>();  // never freed: nodes may go at exit
    return *Blocks;
  }
  static std::unique_ptr<std::byte[]> TakeBlock() {
    {
      std::lock_guard<std::mutex> Guard(SpareLock());
      if (!Spares().empty()) {
        auto Block = std::move(Spares().back());
        Spares().pop_back();
        return Block;
      }
    }
    return std::unique_ptr<std::byte[]>(new std::byte[BlockSize]);  // left uninitialised: nodes set what they use
  }
  static void GiveBlock(std::unique_ptr<std::byte[]> Block) {
    std::lock_guard<std::mutex> Guard(SpareLock());
    if (Spares().size() < SpareBlocks) Spares().push_back(std::move(Block));
  }

  TNodeArena() = default;
  // Counted as the library counts shared owners: with locked instructions only once the process
  // has a second thread (one per node and list would otherwise cost a tenth of what they save).
  _Atomic_word FHolders = 1;
  std::vector<TBlock> FBlocks;
  size_t FUsed = 0;
};

void* NodeArenaAllocate(TNodeArena& Arena, size_t Size, size_t Align) { return Arena.Allocate(Size, Align); }
void NodeArenaRelease(TNodeArena& Arena) { Arena.Release(); }

namespace {

WideString FromUtf8(const char* Data, size_t Length) {
  if (Length == 0) return {};
  // Names, values and the text between tags are mostly ASCII: widened directly, one unit a byte.
  size_t Ascii = 0;
  while (Ascii < Length && static_cast<unsigned char>(Data[Ascii]) < 0x80) ++Ascii;
  if (Ascii == Length) return WideString(Data, Data + Length);
  WideString Result(Length, u'\0');  // UTF-16 never needs more units than UTF-8 has bytes
  int32_t Written = 0;
  UErrorCode Status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(Result.data(), static_cast<int32_t>(Result.size()), &Written, Data, static_cast<int32_t>(Length),
                       0xFFFD, nullptr, &Status);
  if (U_FAILURE(Status)) throw Exception(AnsiString("Cannot decode UTF-8: ") + u_errorName(Status));
  Result.resize(static_cast<size_t>(Written));
  return Result;
}

WideString AsciiLower(WideString S) {
  for (WideChar& C : S)
    if (C >= u'A' && C <= u'Z') C = static_cast<WideChar>(C - u'A' + u'a');
  return S;
}

WideString AsciiUpper(WideString S) {
  for (WideChar& C : S)
    if (C >= u'a' && C <= u'z') C = static_cast<WideChar>(C - u'a' + u'A');
  return S;
}

// The controls a form's elements collection holds.
bool IsControl(const WideString& Tag) {
  return Tag == u"input" || Tag == u"select" || Tag == u"textarea" || Tag == u"button";
}

bool IsSpace(WideChar C) { return C == u' ' || C == u'\t' || C == u'\n' || C == u'\r' || C == u'\f'; }

WideString TrimSpaces(const WideString& S) {
  size_t B = 0, E = S.size();
  while (B < E && S[B] <= 32) ++B;
  while (E > B && S[E - 1] <= 32) --E;
  return S.substr(B, E - B);
}

class TElementCollection : public IHTMLElementCollection {
public:
  explicit TElementCollection(std::vector<std::shared_ptr<THtmlElement>> Items) : FItems(std::move(Items)) {}
  int32_t Length() override { return static_cast<int32_t>(FItems.size()); }
  TElementRef Item(int32_t Index) override {
    if (Index < 0 || Index >= Length()) return nullptr;
    return FItems[static_cast<size_t>(Index)];
  }
  TElementsRef Tags(const WideString& TagName) override {
    const WideString Wanted = AsciiLower(TagName);
    std::vector<std::shared_ptr<THtmlElement>> Result;
    for (const auto& E : FItems)
      if (E->Tag() == Wanted) Result.push_back(E);
    return std::make_shared<TElementCollection>(std::move(Result));
  }

private:
  std::vector<std::shared_ptr<THtmlElement>> FItems;
};

// Pre-order walk of the elements below (not including) Start, without recursion.
template <class TVisit>
void ForEachDescendant(const THtmlNode& Start, TVisit&& Visit) {
  std::vector<const THtmlNode*> Stack;
  for (auto It = Start.ChildNodes().rbegin(); It != Start.ChildNodes().rend(); ++It) Stack.push_back(It->get());
  while (!Stack.empty()) {
    const THtmlNode* N = Stack.back();
    Stack.pop_back();
    if (N->Kind() != THtmlNode::TKind::Element) continue;
    Visit(const_cast<THtmlElement&>(static_cast<const THtmlElement&>(*N)));
    for (auto It = N->ChildNodes().rbegin(); It != N->ChildNodes().rend(); ++It) Stack.push_back(It->get());
  }
}

std::vector<std::shared_ptr<THtmlElement>> Descendants(const THtmlNode& Start) {
  std::vector<std::shared_ptr<THtmlElement>> Result;
  ForEachDescendant(Start, [&](THtmlElement& E) { Result.push_back(E.SharedElement()); });
  return Result;
}

// ---- Rendering: the text a browser shows, with line breaks for blocks, as innerText and text
// ranges see it.

class TRenderer {
public:
  // Spans are wanted for the body's text, which text ranges measure; an element's innerText
  // needs none, and keeping them would cost a table entry per element inside it.
  TRenderer(TRenderedText& Out, bool KeepSpans) : FOut(Out), FKeepSpans(KeepSpans) {}

  void Render(const THtmlElement& Top) {
    if (Top.VisibilityHidden()) {
      // Its boxes stand and show nothing, so asked itself it answers nothing either; an element
      // hidden by display has no boxes, and the browser gives it its raw text instead.
      Open(Top);
      Close(Top);
      return;
    }
    struct TFrame {
      const THtmlNode* Node;
      bool Leaving;
    };
    std::vector<TFrame> Stack{{&Top, false}};
    while (!Stack.empty()) {
      const TFrame F = Stack.back();
      Stack.pop_back();
      if (F.Node->Kind() == THtmlNode::TKind::Text) {
        const auto& T = static_cast<const THtmlText&>(*F.Node);
        AddText(T.Text);
        continue;
      }
      const auto& E = static_cast<const THtmlElement&>(*F.Node);
      if (!F.Leaving && E.StyleHidden() && &E != &Top) {
        // Hidden by its own style: no text and no line breaks, an empty span where it stands.
        Open(E);
        Close(E);
        continue;
      }
      if (F.Leaving) {
        Close(E);
        if (--FPreDepth < 0) FPreDepth = 0;
        if (E.Is(TagPre)) --FPre;
        if (E.Is(TagBlock)) FBreak = true;
        continue;
      }
      if (E.Is(TagBlock) || E.Is(TagLineBreak)) FBreak = true;
      if (E.Is(TagCell)) FCell = true;
      Open(E);
      if (E.Is(TagLineBreak)) {
        // A line break is content: two in a row make an empty line.
        Flush(true);
        FOut.Text += u"\r\n";
        FBreak = false;
      }
      if (E.Is(TagSelect)) {
        // A list is a box of its own on the line: its option texts never run into the words
        // around it ("Age" before a list must not read as "Age18-30").
        FSpace = true;
        RenderSelect(E);
        Close(E);
        FSpace = true;
        continue;
      }
      if (E.Is(TagTextHidden) && &E != &Top) {
        Close(E);
        continue;
      }
      if (E.Is(TagPre)) ++FPre;
      ++FPreDepth;
      Stack.push_back({&E, true});
      for (auto It = E.ChildNodes().rbegin(); It != E.ChildNodes().rend(); ++It) Stack.push_back({It->get(), false});
    }
  }

private:
  void Open(const THtmlElement& E) {
    if (!FKeepSpans) return;
    FOut.Spans[static_cast<const IHTMLElement*>(&E)].first = static_cast<int32_t>(FOut.Text.size());
    FUnplaced.push_back(&E);
  }
  // An element without text of its own keeps an empty span where it stood.
  void Close(const THtmlElement& E) {
    if (!FKeepSpans) return;
    FOut.Spans[static_cast<const IHTMLElement*>(&E)].second = static_cast<int32_t>(FOut.Text.size());
    // Elements close innermost first, so an unplaced one is the last unplaced.
    if (!FUnplaced.empty() && FUnplaced.back() == &E) FUnplaced.pop_back();
  }

  // Pending separators are written only before more text, so nothing trails; an element whose
  // text starts after them begins after them too.
  void Flush(bool ForBreak) {
    if (FOut.Text.empty()) {
      FBreak = FCell = FSpace = false;
      FUnplaced.clear();
      return;
    }
    struct TPlace {
      TRenderer& R;
      ~TPlace() {
        for (const THtmlElement* E : R.FUnplaced)
          R.FOut.Spans[static_cast<const IHTMLElement*>(E)].first = static_cast<int32_t>(R.FOut.Text.size());
        R.FUnplaced.clear();
      }
    } Place{*this};
    if (FBreak && !ForBreak) {
      if (!EndsWithBreak()) FOut.Text += u"\r\n";
    } else if (FCell && !EndsWithBreak()) {
      FOut.Text += u"\t";
    } else if (FSpace && !EndsWithBreak() && FOut.Text.back() != u' ' && FOut.Text.back() != u'\t') {
      FOut.Text += u" ";
    }
    FBreak = FCell = FSpace = false;
  }
  bool EndsWithBreak() const {
    return FOut.Text.size() >= 2 && FOut.Text.compare(FOut.Text.size() - 2, 2, u"\r\n") == 0;
  }

  void AddText(const WideString& Text) {
    if (FPre > 0) {
      Flush(false);
      for (WideChar C : Text) {
        if (C == u'\n')
          FOut.Text += u"\r\n";
        else if (C != u'\r')
          FOut.Text += C;
      }
      return;
    }
    for (WideChar C : Text) {
      if (IsSpace(C)) {
        FSpace = true;
        continue;
      }
      Flush(false);
      FOut.Text += C;
    }
  }

  void RenderSelect(const THtmlElement& Select) {
    bool First = true;
    for (THtmlOption* O : static_cast<const THtmlSelect&>(Select).Options()) {
      if (!First) FSpace = true;
      First = false;
      const WideString Text = O->Text();
      for (WideChar C : Text) {
        if (IsSpace(C)) {
          FSpace = true;
          continue;
        }
        Flush(false);
        FOut.Text += C;
      }
    }
  }

  TRenderedText& FOut;
  const bool FKeepSpans;
  std::vector<const THtmlElement*> FUnplaced;
  bool FBreak = false, FCell = false, FSpace = false;
  int FPre = 0, FPreDepth = 0;
};

// ---- Serialising for innerHTML.

void EscapeInto(std::u16string& Out, const WideString& Text, bool InAttribute) {
  for (WideChar C : Text) {
    switch (C) {
      case u'&': Out += u"&amp;"; break;
      case u'<': Out += InAttribute ? u"<" : u"&lt;"; break;
      case u'>': Out += InAttribute ? u">" : u"&gt;"; break;
      case u'"': Out += InAttribute ? u"&quot;" : u"\""; break;
      case 0xA0: Out += u"&nbsp;"; break;
      default: Out += C;
    }
  }
}

// ---- What an element's own style attribute hides, read as the browser's style parser reads it:
// declaration by declaration, the last valid one of a property winning unless an earlier one is
// important. Pages write "display:none; display:block" (shown) and old browsers' hacks such as
// "*display:none" or "display:none !ie" (invalid, so ignored).

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

// ---- Form owners as the parser decides them.

// Elements whose content the tokenizer reads as text, where "</form>" is only text.
bool IsRawTextParent(GumboTag Tag) {
  return Tag == GUMBO_TAG_SCRIPT || Tag == GUMBO_TAG_STYLE || Tag == GUMBO_TAG_TEXTAREA || Tag == GUMBO_TAG_TITLE ||
         Tag == GUMBO_TAG_XMP || Tag == GUMBO_TAG_IFRAME || Tag == GUMBO_TAG_NOEMBED || Tag == GUMBO_TAG_NOFRAMES ||
         Tag == GUMBO_TAG_PLAINTEXT;
}

bool StartsWithNoCase(const std::string& Text, size_t At, const char* Lower) {
  const size_t N = std::strlen(Lower);
  if (At + N > Text.size()) return false;
  for (size_t I = 0; I < N; ++I) {
    char C = Text[At + I];
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
    if (C != Lower[I]) return false;
  }
  return true;
}

// Where an end tag of this name starts: "</name" followed by a blank, "/" or ">".
bool IsEndTagAt(const std::string& Text, size_t At, const char* LowerName) {
  if (!StartsWithNoCase(Text, At, "</") || !StartsWithNoCase(Text, At + 2, LowerName)) return false;
  const size_t After = At + 2 + std::strlen(LowerName);
  if (After >= Text.size()) return false;
  const char C = Text[After];
  return C == ' ' || C == '\t' || C == '\n' || C == '\r' || C == '\f' || C == '/' || C == '>';
}

std::vector<size_t> EndTagsIn(const std::string& Text, const char* LowerName) {
  std::vector<size_t> Found;
  for (size_t P = Text.find("</"); P != std::string::npos; P = Text.find("</", P + 2))
    if (IsEndTagAt(Text, P, LowerName)) Found.push_back(P);
  return Found;
}

bool InRanges(const std::vector<std::pair<size_t, size_t>>& Ranges, size_t At) {
  auto It = std::upper_bound(Ranges.begin(), Ranges.end(), std::make_pair(At, SIZE_MAX));
  return It != Ranges.begin() && At < std::prev(It)->second;
}

// The source of each noscript element's content, in source order: from the end of its start tag
// to its end tag or the end of the page. One inside another's content is text of the outer one.
std::vector<std::pair<size_t, size_t>> NoscriptRanges(const std::string& Html, const GumboNode* Root) {
  std::vector<std::pair<size_t, size_t>> Ranges;
  bool Any = false;
  for (size_t P = Html.find('<'); P != std::string::npos && !Any; P = Html.find('<', P + 1))
    Any = StartsWithNoCase(Html, P + 1, "noscript");
  if (!Any) return Ranges;
  std::vector<size_t> Starts;
  std::vector<const GumboNode*> Stack{Root};
  while (!Stack.empty()) {
    const GumboNode* N = Stack.back();
    Stack.pop_back();
    if (N->type != GUMBO_NODE_ELEMENT && N->type != GUMBO_NODE_TEMPLATE) continue;
    const GumboElement& E = N->v.element;
    if (E.tag == GUMBO_TAG_NOSCRIPT && E.original_tag.length > 0)
      Starts.push_back(E.start_pos.offset + E.original_tag.length);
    for (unsigned I = 0; I < E.children.length; ++I) Stack.push_back(static_cast<const GumboNode*>(E.children.data[I]));
  }
  std::sort(Starts.begin(), Starts.end());
  for (size_t From : Starts) {
    if (!Ranges.empty() && From < Ranges.back().second) continue;
    size_t End = Html.size();
    for (size_t P = Html.find("</", From); P != std::string::npos; P = Html.find("</", P + 2))
      if (IsEndTagAt(Html, P, "noscript")) {
        End = P;
        break;
      }
    Ranges.emplace_back(From, End);
  }
  return Ranges;
}

template <class T, class... TArgs>
std::shared_ptr<T> MakeNode(TNodeArena* Arena, TArgs&&... Args) {
  if (!Arena) return std::make_shared<T>(std::forward<TArgs>(Args)...);
  return std::allocate_shared<T>(TNodeAllocator<T>(Arena), std::forward<TArgs>(Args)...);
}

std::shared_ptr<THtmlElement> MakeElement(const TTagInfo& Tag, TNodeArena* Arena) {
  using C = TTagInfo::TClass;
  switch (Tag.Class) {
    case C::Form: return MakeNode<THtmlForm>(Arena, Tag);
    case C::Input: return MakeNode<THtmlInput>(Arena, Tag);
    case C::Select: return MakeNode<THtmlSelect>(Arena, Tag);
    case C::Option: return MakeNode<THtmlOption>(Arena, Tag);
    case C::TextArea: return MakeNode<THtmlTextArea>(Arena, Tag);
    case C::Button: return MakeNode<THtmlButton>(Arena, Tag);
    case C::Anchor: return MakeNode<THtmlAnchor>(Arena, Tag);
    case C::Area: return MakeNode<THtmlArea>(Arena, Tag);
    case C::Meta: return MakeNode<THtmlMeta>(Arena, Tag);
    case C::Body: return MakeNode<THtmlBody>(Arena, Tag);
    case C::Plain: break;
  }
  return MakeNode<THtmlElement>(Arena, Tag);
}

bool IsVoid(const WideString& Tag) {
  static const WideString Void[] = {u"area", u"base", u"br",    u"col",    u"embed", u"hr",  u"img",  u"input",
                                    u"link", u"meta", u"param", u"source", u"track", u"wbr", u"frame"};
  return std::find(std::begin(Void), std::end(Void), Tag) != std::end(Void);
}

}  // namespace

// ---- Nodes

THtmlNode::~THtmlNode() {
  // Deep pages must not unwind through one destructor call per level: children are taken over
  // here and released one by one; a child that someone else still holds keeps its own subtree.
  std::vector<std::shared_ptr<THtmlNode>> Stack(std::make_move_iterator(FChildren.begin()),
                                                std::make_move_iterator(FChildren.end()));
  FChildren.clear();
  while (!Stack.empty()) {
    std::shared_ptr<THtmlNode> N = std::move(Stack.back());
    Stack.pop_back();
    N->FParent = nullptr;
    if (N.use_count() == 1) {
      for (auto& C : N->FChildren) Stack.push_back(std::move(C));
      N->FChildren.clear();
    }
  }
}

void THtmlNode::AppendChild(std::shared_ptr<THtmlNode> Child) {
  if (!Child) return;
  if (Child->FParent) Child->FParent->RemoveChild(*Child);
  if (FKind != TKind::Element) throw Exception("Only elements have children");
  Child->FParent = static_cast<THtmlElement*>(this);
  // A control a script moves belongs to its new ancestor form, whatever the parser decided.
  std::vector<THtmlNode*> Stack{Child.get()};
  while (!Stack.empty()) {
    THtmlNode* N = Stack.back();
    Stack.pop_back();
    N->FDocument = FDocument;
    if (N->FKind == TKind::Element) static_cast<THtmlElement*>(N)->ResetParserForm();
    for (auto& C : N->FChildren) Stack.push_back(C.get());
  }
  FChildren.push_back(std::move(Child));
  if (auto Doc = FDocument.lock()) Doc->Changed();
}

void THtmlNode::RemoveChild(THtmlNode& Child) {
  auto It = std::find_if(FChildren.begin(), FChildren.end(), [&](const auto& C) { return C.get() == &Child; });
  if (It == FChildren.end()) throw Exception("Not a child of this element");
  Child.FParent = nullptr;
  std::vector<THtmlNode*> Stack{&Child};
  while (!Stack.empty()) {
    THtmlNode* N = Stack.back();
    Stack.pop_back();
    if (N->FKind == TKind::Element) static_cast<THtmlElement*>(N)->ResetParserForm();
    for (auto& C : N->FChildren) Stack.push_back(C.get());
  }
  FChildren.erase(It);
  if (auto Doc = FDocument.lock()) Doc->Changed();
}

// ---- Elements

std::shared_ptr<THtmlElement> THtmlElement::SharedElement() {
  return std::static_pointer_cast<THtmlElement>(shared_from_this());
}

namespace {
bool EqualsIgnoringAsciiCase(std::u16string_view A, std::u16string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I) {
    WideChar X = A[I], Y = B[I];
    if (X >= u'A' && X <= u'Z') X = static_cast<WideChar>(X - u'A' + u'a');
    if (Y >= u'A' && Y <= u'Z') Y = static_cast<WideChar>(Y - u'A' + u'a');
    if (X != Y) return false;
  }
  return true;
}

auto FindAttribute(TAttributeList& Attributes, std::u16string_view Name, int32_t Flags) {
  if (Flags & AttributeMatchCase)
    return std::find_if(Attributes.begin(), Attributes.end(), [&](const auto& A) { return A.first == Name; });
  return std::find_if(Attributes.begin(), Attributes.end(),
                      [&](const auto& A) { return EqualsIgnoringAsciiCase(A.first, Name); });
}
}  // namespace

WideString THtmlElement::AttributeText(std::u16string_view Name) const {
  auto& Attributes = const_cast<THtmlElement*>(this)->FAttributes;
  auto It = FindAttribute(Attributes, Name, AttributeIgnoreCase);
  return It == Attributes.end() ? WideString() : It->second.AsWideString();
}

bool THtmlElement::HasAttribute(std::u16string_view Name) const {
  auto& Attributes = const_cast<THtmlElement*>(this)->FAttributes;
  return FindAttribute(Attributes, Name, AttributeIgnoreCase) != Attributes.end();
}

WideString THtmlElement::TagName() { return FTag->UpperName; }

TElementRef THtmlElement::ParentElement() { return FParent ? FParent->SharedElement() : nullptr; }

TElementsRef THtmlElement::Children() {
  // Collections are snapshots that nobody can change, so one per version of the tree serves every
  // caller. An element outside any document has no version to key it by and is not cached.
  auto Doc = OwnerDocument();
  if (Doc && FExtras && FExtras->ChildElements && FExtras->ChildVersion == Doc->Version())
    return FExtras->ChildElements;
  std::vector<std::shared_ptr<THtmlElement>> Result;
  for (const auto& C : FChildren)
    if (C->Kind() == TKind::Element) Result.push_back(std::static_pointer_cast<THtmlElement>(C));
  auto Snapshot = std::make_shared<TElementCollection>(std::move(Result));
  if (Doc) {
    Extras().ChildElements = Snapshot;
    Extras().ChildVersion = Doc->Version();
  }
  return Snapshot;
}

TElementsRef THtmlElement::All() { return std::make_shared<TElementCollection>(Descendants(*this)); }

int32_t THtmlElement::SourceIndex() {
  auto Doc = OwnerDocument();
  return Doc ? Doc->SourceIndexOf(*this) : -1;
}

std::shared_ptr<IHTMLDocument2> THtmlElement::Document() { return OwnerDocument(); }

WideString THtmlElement::InnerText() {
  // A line break separates the text around it but holds none itself: a caption search that
  // stopped at it would never reach the label before it.
  if (Is(TagLineBreak)) return {};
  if (Is(TTagInfo::TClass::TextArea)) return static_cast<THtmlTextArea&>(*this).Value();
  // A caption search asks the same few ancestors of every control for their text.
  if (auto Doc = OwnerDocument()) return Doc->InnerTextOf(*this);
  TRenderedText R;
  TRenderer(R, false).Render(*this);
  return R.Text;
}

WideString THtmlElement::InnerHTML() {
  WideString Out;
  struct TFrame {
    const THtmlNode* Node;
    bool Leaving;
  };
  std::vector<TFrame> Stack;
  for (auto It = FChildren.rbegin(); It != FChildren.rend(); ++It) Stack.push_back({It->get(), false});
  while (!Stack.empty()) {
    const TFrame F = Stack.back();
    Stack.pop_back();
    if (F.Node->Kind() == TKind::Text) {
      const auto* Parent = F.Node->Parent();
      const bool Raw =
          Parent && (Parent->Tag() == u"script" || Parent->Tag() == u"style" || Parent->Tag() == u"noscript");
      if (Raw)
        Out += static_cast<const THtmlText&>(*F.Node).Text;
      else
        EscapeInto(Out, static_cast<const THtmlText&>(*F.Node).Text, false);
      continue;
    }
    const auto& E = static_cast<const THtmlElement&>(*F.Node);
    if (F.Leaving) {
      Out += u"</" + E.Tag() + u">";
      continue;
    }
    Out += u"<" + E.Tag();
    for (const auto& [Name, Value] : E.FAttributes) {
      Out += u" " + Name + u"=\"";
      EscapeInto(Out, Value.AsWideString(), true);
      Out += u"\"";
    }
    Out += u">";
    if (IsVoid(E.Tag())) continue;
    Stack.push_back({&E, true});
    for (auto It = E.FChildren.rbegin(); It != E.FChildren.rend(); ++It) Stack.push_back({It->get(), false});
  }
  return Out;
}

void THtmlElement::SetTitle(const WideString& Value) {
  SetAttribute(u"title", Value, AttributeIgnoreCase);
  PropertyChanged();
}

void THtmlElement::SetStyleBackgroundColor(const WideString& Value) {
  Extras().BackgroundColor = Value;
  PropertyChanged();
}

void THtmlElement::PropertyChanged() {
  if (Is(TTagInfo::TClass::Input))
    Events().Fire(DIID_HTMLInputTextElementEvents, DispIdOnPropertyChange);
  else if (Is(TTagInfo::TClass::TextArea))
    Events().Fire(DIID_HTMLTextContainerEvents, DispIdOnPropertyChange);
}

TVariant THtmlElement::GetAttribute(const WideString& Name, int32_t Flags) {
  auto It = FindAttribute(FAttributes, Name, Flags);
  return It == FAttributes.end() ? TVariant::Null() : It->second;
}

void THtmlElement::SetAttribute(const WideString& Name, const TVariant& Value, int32_t Flags) {
  auto It = FindAttribute(FAttributes, Name, Flags);
  if (It == FAttributes.end())
    FAttributes.emplace_back(Name, Value);
  else
    It->second = Value;
  AttributeChanged(Name);
}

bool THtmlElement::RemoveAttribute(const WideString& Name, int32_t Flags) {
  auto It = FindAttribute(FAttributes, Name, Flags);
  if (It == FAttributes.end()) return false;
  FAttributes.erase(It);
  AttributeChanged(Name);
  return true;
}

void THtmlElement::AttributeChanged(const WideString& Name) {
  // The document keeps radio groups by name and type; marks and other attributes the add-on
  // writes change nothing it keeps.
  const WideString Lower = AsciiLower(Name);
  if (Lower == u"style") SetStyleHiding(InlineStyleHiding(AttributeText(u"style")));
  if (Lower == u"name" || Lower == u"type" || Lower == u"style")
    if (auto Doc = OwnerDocument()) Doc->Changed();
}

TVariant THtmlElement::GetEventHandler(const WideString& Event) {
  if (!FExtras) return TVariant::Null();
  auto It = FExtras->Handlers.find(AsciiLower(Event));
  return It == FExtras->Handlers.end() ? TVariant::Null() : It->second;
}

void THtmlElement::SetEventHandler(const WideString& Event, const TVariant& Handler) {
  if (Handler.IsEmptyOrNull()) {
    if (FExtras) FExtras->Handlers.erase(AsciiLower(Event));
  } else {
    Extras().Handlers[AsciiLower(Event)] = Handler;
  }
}

void THtmlElement::RunHandler(const WideString& Event) {
  const TVariant Handler = GetEventHandler(Event);
  if (Handler.VarType() != TVarType::Object) return;
  if (auto Script = Supports<THeadlessScript>(Handler.AsObject())) Script->Run(*this);
}

void THtmlElement::Click() {
  auto Self = SharedElement();  // a script may remove the element while it is being clicked
  auto Doc = OwnerDocument();
  std::shared_ptr<THtmlWindow> Window = Doc ? Doc->Window() : nullptr;
  std::shared_ptr<IHTMLEventObj> Previous = Window ? Window->Event() : nullptr;
  if (Window) Window->SetEvent(std::make_shared<THtmlEventObj>(Self, u"click"));
  PreClickAction();
  // The click bubbles: the element's own script first, then its ancestors'.
  for (THtmlElement* E = this; E; E = E->Parent()) E->RunHandler(u"onclick");
  if (Doc) Doc->Events().Fire(DIID_HTMLDocumentEvents, DispIdOnClick);
  if (Window) Window->SetEvent(Previous);
  DefaultClickAction();
}

std::shared_ptr<IConnectionPoint> THtmlElement::FindConnectionPoint(const TGUID& EventIID) {
  return Events().FindConnectionPoint(EventIID);
}

TEventSource& THtmlElement::Events() {
  auto& Events = Extras().Events;
  if (!Events) {
    Events = std::make_unique<TEventSource>();
    for (const TGUID& IID : ElementEventInterfaces(Tag())) Events->AddConnectionPoint(IID);
  }
  return *Events;
}

THtmlElement* THtmlElement::OwnerForm() const {
  if (THtmlElement* Form = ParserForm()) return Form;
  for (THtmlElement* E = FParent; E; E = E->Parent())
    if (E->Is(TTagInfo::TClass::Form)) return E;
  return nullptr;
}

THtmlElement* THtmlElement::ParserForm() const {
  if (!FExtras) return nullptr;
  // The form's page may be gone while a script still holds this control.
  auto Form = FExtras->ParserForm.lock();
  return Form.get();
}

// ---- Forms and controls

TElementsRef THtmlForm::Elements() {
  auto Doc = OwnerDocument();
  if (Doc && Doc->SourceIndexOf(*this) >= 0) return Doc->FormControls(this);
  // A form outside its page has only the controls it holds.
  std::vector<std::shared_ptr<THtmlElement>> Result;
  ForEachDescendant(*this, [&](THtmlElement& E) {
    if (E.Is(TagControl) && E.OwnerForm() == this) Result.push_back(E.SharedElement());
  });
  return std::make_shared<TElementCollection>(std::move(Result));
}

// The controls are asked for among the form's own (which need not lie inside it), anything else
// among its descendants.
TElementsRef THtmlForm::Tags(const WideString& TagName) {
  return IsControl(AsciiLower(TagName)) ? Elements()->Tags(TagName) : All()->Tags(TagName);
}

void THtmlForm::Submit() {
  auto Doc = OwnerDocument();
  if (Doc && Doc->Host()) Doc->Host()->SubmitForm(*Doc, *this, nullptr);
}

namespace {
// A submission as a user's press of a submit control starts it: the form's onsubmit (the page's
// script, then the advised sinks), then the submission itself.
void SubmitAsUser(THtmlElement& Control) {
  THtmlElement* Form = Control.OwnerForm();
  if (!Form) return;
  auto Keep = Form->SharedElement();
  Form->RunHandler(u"onsubmit");
  Form->Events().Fire(DIID_HTMLFormElementEvents, DispIdOnSubmit);
  auto Doc = Form->OwnerDocument();
  if (Doc && Doc->Host()) Doc->Host()->SubmitForm(*Doc, *Form, &Control);
}

int32_t ParseNonNegative(const WideString& Text, int32_t Default) {
  const WideString T = TrimSpaces(Text);
  if (T.empty()) return Default;
  int64_t V = 0;
  for (WideChar C : T) {
    if (C < u'0' || C > u'9') return Default;
    V = V * 10 + (C - u'0');
    if (V > INT32_MAX) return Default;
  }
  return static_cast<int32_t>(V);
}
}  // namespace

void THtmlInput::InitState() {
  FValue = AttributeText(u"value");
  FChecked = HasAttribute(u"checked");
}

WideString THtmlInput::Type() {
  // The types of the browser the add-on runs in: those of HTML 4 and the few of HTML 5 it took
  // on (e-mail, telephone, address, number, range, search). It answers "text" for any other
  // (date, time, colour and the like, or a misspelling), and so does its form capture.
  static constexpr std::u16string_view Known[] = {u"text",   u"password", u"checkbox", u"radio",  u"submit", u"reset",
                                                  u"button", u"image",    u"file",     u"hidden", u"email",  u"tel",
                                                  u"url",    u"number",   u"range",    u"search"};
  const WideString Attribute = AttributeText(u"type");
  std::u16string_view T = Attribute;
  while (!T.empty() && T.front() <= 32) T.remove_prefix(1);
  while (!T.empty() && T.back() <= 32) T.remove_suffix(1);
  for (std::u16string_view Name : Known)
    if (EqualsIgnoringAsciiCase(Name, T)) return WideString(Name);
  return u"text";
}

void THtmlInput::SetValue(const WideString& Value) {
  if (FValue == Value) return;
  FValue = Value;
  PropertyChanged();
}

void THtmlInput::SetChecked(bool Value) {
  if (FChecked == Value) return;
  FChecked = Value;
  PropertyChanged();
  if (Value && Type() == u"radio") {
    // Checking one radio button unchecks the others of its group: same name, same form.
    const WideString GroupName = Name();
    auto Doc = OwnerDocument();
    if (!Doc || GroupName.empty() || SourceIndex() < 0) return;
    for (const auto& E : Doc->RadioGroup(OwnerForm(), GroupName))
      if (E.get() != this) static_cast<THtmlInput&>(*E).SetChecked(false);
  }
}

int32_t THtmlInput::MaxLength() { return ParseNonNegative(AttributeText(u"maxlength"), INT32_MAX); }

TElementRef THtmlInput::Form() {
  THtmlElement* F = OwnerForm();
  return F ? F->SharedElement() : nullptr;
}

void THtmlInput::PreClickAction() {
  const WideString T = Type();
  if (T == u"checkbox")
    SetChecked(!FChecked);
  else if (T == u"radio")
    SetChecked(true);
}

void THtmlInput::DefaultClickAction() {
  const WideString T = Type();
  if (T == u"submit" || T == u"image") SubmitAsUser(*this);
}

WideString THtmlButton::Type() {
  // A type the browser does not know is the default one.
  const WideString T = AsciiLower(TrimSpaces(AttributeText(u"type")));
  return T == u"button" || T == u"reset" ? T : u"submit";
}

void THtmlButton::DefaultClickAction() {
  if (Type() == u"submit") SubmitAsUser(*this);
}

THtmlSelect* THtmlOption::OwnerSelect() const {
  for (THtmlElement* E = Parent(); E; E = E->Parent())
    if (E->Is(TTagInfo::TClass::Select)) return static_cast<THtmlSelect*>(E);
  return nullptr;
}

void THtmlOption::SetSelected(bool Value) {
  FSelected = Value;
  if (Value)
    if (THtmlSelect* S = OwnerSelect()) S->OptionSelected(*this);
}

WideString THtmlOption::Text() {
  // The list shows the text with its blanks collapsed and none at either end.
  WideString Result;
  bool Space = false;
  auto Add = [&](const THtmlText& T) {
    for (WideChar C : T.Text) {
      if (IsSpace(C)) {
        Space = !Result.empty();
        continue;
      }
      if (Space) Result += u' ';
      Space = false;
      Result += C;
    }
  };
  // Almost every option holds one text node; a page list renders thousands of them.
  const auto& Children = ChildNodes();
  if (Children.size() == 1 && Children[0]->Kind() == TKind::Text) {
    Result.reserve(static_cast<const THtmlText&>(*Children[0]).Text.size());
    Add(static_cast<const THtmlText&>(*Children[0]));
    return Result;
  }
  std::vector<const THtmlNode*> Stack{this};
  while (!Stack.empty()) {
    const THtmlNode* N = Stack.back();
    Stack.pop_back();
    if (N->Kind() == TKind::Text) Add(static_cast<const THtmlText&>(*N));
    for (auto It = N->ChildNodes().rbegin(); It != N->ChildNodes().rend(); ++It) Stack.push_back(It->get());
  }
  return Result;
}

WideString THtmlOption::Value() { return AttributeText(u"value"); }

int32_t THtmlOption::Index() {
  THtmlSelect* S = OwnerSelect();
  if (!S) return 0;
  const auto& Options = S->Options();
  auto It = std::find(Options.begin(), Options.end(), this);
  return It == Options.end() ? 0 : static_cast<int32_t>(It - Options.begin());
}

const std::vector<THtmlOption*>& THtmlSelect::Options() const {
  // Outside a document there is no version to key the list by; it is made afresh.
  auto Doc = OwnerDocument();
  if (Doc && FOptionsVersion == Doc->Version()) return FOptions;
  FOptions.clear();
  ForEachDescendant(*this, [&](THtmlElement& E) {
    if (E.Is(TTagInfo::TClass::Option)) FOptions.push_back(static_cast<THtmlOption*>(&E));
  });
  FOptionsVersion = Doc ? Doc->Version() : ~uint64_t{0};
  return FOptions;
}

void THtmlSelect::InitState() {
  const auto& Options = this->Options();
  const bool Many = Multiple();
  THtmlOption* Last = nullptr;
  for (THtmlOption* O : Options) {
    O->FSelected = false;
    if (O->HasAttribute(u"selected")) {
      if (Many)
        O->FSelected = true;
      else
        Last = O;
    }
  }
  if (!Many) {
    // A drop-down list always shows one option: the last preselected one, else the first.
    const bool DropDown = ParseNonNegative(AttributeText(u"size"), 1) <= 1;
    if (!Last && DropDown && !Options.empty()) Last = Options.front();
    if (Last) Last->FSelected = true;
  }
}

TVariant THtmlSelect::GetAttribute(const WideString& Name, int32_t Flags) {
  const bool IgnoreCase = (Flags & AttributeMatchCase) == 0;
  if ((IgnoreCase ? AsciiLower(Name) : Name) == u"type") return Type();
  return THtmlElement::GetAttribute(Name, Flags);
}

int32_t THtmlSelect::SelectedIndex() {
  const auto& Options = this->Options();
  for (size_t I = 0; I < Options.size(); ++I)
    if (Options[I]->Selected()) return static_cast<int32_t>(I);
  return -1;
}

void THtmlSelect::SetSelectedIndex(int32_t Index) {
  const auto& Options = this->Options();
  for (size_t I = 0; I < Options.size(); ++I) Options[I]->FSelected = static_cast<int32_t>(I) == Index;
}

WideString THtmlSelect::Value() {
  for (THtmlOption* O : Options())
    if (O->Selected()) return O->Value();
  return {};
}

void THtmlSelect::SetValue(const WideString& Value) {
  bool Found = false;
  for (THtmlOption* O : Options()) {
    O->FSelected = !Found && O->Value() == Value;
    Found = Found || O->FSelected;
  }
}

TElementRef THtmlSelect::Item(int32_t Index) {
  const auto& Options = this->Options();
  if (Index < 0 || Index >= static_cast<int32_t>(Options.size())) return nullptr;
  return Options[static_cast<size_t>(Index)]->SharedElement();
}

TElementRef THtmlSelect::Form() {
  THtmlElement* F = OwnerForm();
  return F ? F->SharedElement() : nullptr;
}

void THtmlSelect::OptionSelected(THtmlOption& Option) {
  if (Multiple()) return;
  for (THtmlOption* O : Options())
    if (O != &Option) O->FSelected = false;
}

void THtmlTextArea::InitState() {
  FValue.clear();
  for (const auto& C : ChildNodes())
    if (C->Kind() == TKind::Text) FValue += static_cast<const THtmlText&>(*C).Text;
}

void THtmlTextArea::SetValue(const WideString& Value) {
  if (FValue == Value) return;
  FValue = Value;
  PropertyChanged();
}

TElementRef THtmlTextArea::Form() {
  THtmlElement* F = OwnerForm();
  return F ? F->SharedElement() : nullptr;
}

WideString THtmlElement::LinkHref() {
  if (!HasAttribute(u"href")) return {};
  auto Doc = OwnerDocument();
  return Doc ? Doc->ResolveURL(AttributeText(u"href")) : AttributeText(u"href");
}

void THtmlElement::FollowLink() {
  const WideString URL = LinkHref();
  auto Doc = OwnerDocument();
  if (!URL.empty() && Doc && Doc->Host()) Doc->Host()->NavigateFromDocument(*Doc, URL, AttributeText(u"target"));
}

// ---- Text ranges

namespace {
class THtmlTxtRange : public IHTMLTxtRange {
public:
  THtmlTxtRange(std::weak_ptr<THtmlDocument> Document, int32_t Start, int32_t End)
      : FDocument(std::move(Document)), FStart(Start), FEnd(End) {}

  std::shared_ptr<IHTMLTxtRange> Duplicate() override {
    return std::make_shared<THtmlTxtRange>(FDocument, FStart, FEnd);
  }
  WideString Text() override {
    const WideString& All = Doc().BodyText().Text;
    const int32_t S = Clamp(FStart, All), E = Clamp(FEnd, All);
    return E > S ? All.substr(static_cast<size_t>(S), static_cast<size_t>(E - S)) : WideString();
  }
  void MoveToElementText(const TElementRef& Element) override {
    if (!Element) throw EOleSysError("Invalid argument", HR_E_INVALIDARG);
    const TRenderedText& R = Doc().BodyText();
    auto It = R.Spans.find(Element.get());
    if (It == R.Spans.end()) throw EOleSysError("The element is not in the text of this document", HR_E_INVALIDARG);
    FStart = It->second.first;
    FEnd = It->second.second;
  }
  void SetEndPoint(const WideString& How, const std::shared_ptr<IHTMLTxtRange>& Source) override {
    // A caption search sets end points by the thousand: the exact type is checked rather than
    // cast through the interface's virtual base.
    if (!Source || typeid(*Source) != typeid(THtmlTxtRange)) throw EOleSysError("Invalid argument", HR_E_INVALIDARG);
    auto* Src = static_cast<THtmlTxtRange*>(Source.get());
    const bool FromStart = EqualsIgnoringAsciiCase(How, u"StartToStart") || EqualsIgnoringAsciiCase(How, u"EndToStart");
    if (!FromStart && !EqualsIgnoringAsciiCase(How, u"StartToEnd") && !EqualsIgnoringAsciiCase(How, u"EndToEnd"))
      throw EOleSysError("Invalid argument", HR_E_INVALIDARG);
    const int32_t Point = FromStart ? Src->FStart : Src->FEnd;
    // Which end of this range moves: the first word of one of the four names.
    if (How[0] == u's' || How[0] == u'S') {
      FStart = Point;
      if (FEnd < FStart) FEnd = FStart;
    } else {
      FEnd = Point;
      if (FStart > FEnd) FStart = FEnd;
    }
  }
  int32_t MoveStart(const WideString& Unit, int32_t Count) override {
    CheckUnit(Unit);
    const int32_t Length = static_cast<int32_t>(Doc().BodyText().Text.size());
    const int32_t Target = std::clamp<int64_t>(int64_t{FStart} + Count, 0, Length);
    const int32_t Moved = Target - FStart;
    FStart = Target;
    if (FEnd < FStart) FEnd = FStart;
    return Moved;
  }
  int32_t MoveEnd(const WideString& Unit, int32_t Count) override {
    CheckUnit(Unit);
    const int32_t Length = static_cast<int32_t>(Doc().BodyText().Text.size());
    const int32_t Target = std::clamp<int64_t>(int64_t{FEnd} + Count, 0, Length);
    const int32_t Moved = Target - FEnd;
    FEnd = Target;
    if (FStart > FEnd) FStart = FEnd;
    return Moved;
  }

private:
  THtmlDocument& Doc() {
    auto D = FDocument.lock();
    if (!D) throw Exception("The document of this text range is gone");
    FKeep = D;
    return *D;
  }
  static int32_t Clamp(int32_t P, const WideString& All) {
    return std::clamp<int32_t>(P, 0, static_cast<int32_t>(All.size()));
  }
  static void CheckUnit(const WideString& Unit) {
    if (AsciiLower(Unit) != u"character") throw EOleSysError("Only character moves are supported", HR_E_NOTIMPL);
  }
  std::weak_ptr<THtmlDocument> FDocument;
  std::shared_ptr<THtmlDocument> FKeep;
  int32_t FStart, FEnd;
};
}  // namespace

std::shared_ptr<IHTMLTxtRange> THtmlBody::CreateTextRange() {
  auto Doc = OwnerDocument();
  if (!Doc) throw Exception("The document of this body is gone");
  return std::make_shared<THtmlTxtRange>(Doc, 0, static_cast<int32_t>(Doc->BodyText().Text.size()));
}

// ---- Documents and windows

std::vector<TGUID> ElementEventInterfaces(const WideString& LowerTag) {
  if (LowerTag == u"form") return {DIID_HTMLFormElementEvents};
  if (LowerTag == u"input") return {DIID_HTMLInputTextElementEvents};
  if (LowerTag == u"textarea") return {DIID_HTMLTextContainerEvents};
  if (LowerTag == u"select") return {DIID_HTMLSelectElementEvents};
  return {};
}

const TTagInfo& InternTag(const WideString& LowerTag) {
  // Scripts of several pages may make elements at once; the table only grows and its entries never
  // move, so a reference handed out stays good.
  static std::mutex Lock;
  static std::unordered_map<WideString, std::unique_ptr<TTagInfo>> Tags;
  std::lock_guard<std::mutex> Guard(Lock);
  auto& Info = Tags[LowerTag];
  if (!Info) {
    using C = TTagInfo::TClass;
    static const std::pair<const char16_t*, C> Classes[] = {
        {u"form", C::Form},         {u"input", C::Input},   {u"select", C::Select}, {u"option", C::Option},
        {u"textarea", C::TextArea}, {u"button", C::Button}, {u"a", C::Anchor},      {u"area", C::Area},
        {u"meta", C::Meta},         {u"body", C::Body}};
    Info = std::make_unique<TTagInfo>(TTagInfo{LowerTag, TagFlags(LowerTag), C::Plain, AsciiUpper(LowerTag)});
    for (const auto& [Name, Class] : Classes)
      if (LowerTag == Name) Info->Class = Class;
  }
  return *Info;
}

uint8_t TagFlags(const WideString& LowerTag) {
  static const std::unordered_map<WideString, uint8_t> Flags = [] {
    std::unordered_map<WideString, uint8_t> M;
    for (const char16_t* T :
         {u"address", u"article",  u"aside",  u"blockquote", u"body",    u"center", u"dd",    u"div",   u"dl",
          u"dt",      u"fieldset", u"footer", u"form",       u"h1",      u"h2",     u"h3",    u"h4",    u"h5",
          u"h6",      u"header",   u"hr",     u"html",       u"li",      u"main",   u"nav",   u"ol",    u"p",
          u"section", u"table",    u"tr",     u"ul",         u"caption", u"tbody",  u"thead", u"tfoot", u"frameset"})
      M[T] |= TagBlock;
    M[u"pre"] |= TagBlock | TagPre;
    for (const char16_t* T : {u"head", u"script", u"style", u"title", u"template", u"noscript", u"input", u"textarea",
                              u"iframe", u"frame", u"option", u"select", u"img", u"meta", u"link"})
      M[T] |= TagTextHidden;
    M[u"br"] |= TagLineBreak;
    M[u"td"] |= TagCell;
    M[u"th"] |= TagCell;
    M[u"select"] |= TagSelect;
    for (const char16_t* T : {u"input", u"select", u"textarea", u"button"}) M[T] |= TagControl;
    return M;
  }();
  auto It = Flags.find(LowerTag);
  return It == Flags.end() ? 0 : It->second;
}

std::shared_ptr<THtmlElement> CreateElement(const WideString& LowerTag) { return CreateElement(InternTag(LowerTag)); }

std::shared_ptr<THtmlElement> CreateElement(const TTagInfo& Tag) { return MakeElement(Tag, nullptr); }

std::shared_ptr<THtmlDocument> THtmlDocument::Parse(const std::string& Utf8Html, const WideString& URL) {
  std::shared_ptr<THtmlDocument> Doc(new THtmlDocument());
  Doc->FURL = URL;
  Doc->FEvents.AddConnectionPoint(DIID_HTMLDocumentEvents);

  GumboOutput* Output = gumbo_parse_with_options(&kGumboDefaultOptions, Utf8Html.data(), Utf8Html.size());
  struct TGuard {
    GumboOutput* Output;
    TNodeArena* Arena = TNodeArena::Create();
    ~TGuard() {
      gumbo_destroy_output(&kGumboDefaultOptions, Output);
      Arena->Release();
    }
  } Guard{Output};
  TNodeArena* const Arena = Guard.Arena;

  // The known tags' entries, looked up once per tag a page uses rather than once per element.
  std::vector<const TTagInfo*> KnownTags(GUMBO_TAG_LAST + 1, nullptr);
  // Every element made, in document order: the state that starts from the markup is set from it
  // once the tree stands, and it is the document's first element list.
  std::vector<std::shared_ptr<THtmlElement>> Elements;
  auto ElementOf = [&KnownTags, &Elements, Arena](const GumboNode* Node) {
    const GumboElement& G = Node->v.element;
    const TTagInfo* Tag;
    if (G.tag == GUMBO_TAG_UNKNOWN || G.tag > GUMBO_TAG_LAST) {
      GumboStringPiece Name = G.original_tag;
      gumbo_tag_from_original_text(&Name);
      Tag = &InternTag(AsciiLower(FromUtf8(Name.data, Name.length)));
    } else if (!(Tag = KnownTags[G.tag])) {
      const char* Name = gumbo_normalized_tagname(G.tag);
      Tag = KnownTags[G.tag] = &InternTag(AsciiLower(FromUtf8(Name, std::strlen(Name))));
    }
    auto E = MakeElement(*Tag, Arena);
    E->FChildren = TNodeList(TNodeList::allocator_type(Arena));
    E->FAttributes = TAttributeList(TAttributeList::allocator_type(Arena));
    Elements.push_back(E);
    E->FAttributes.reserve(G.attributes.length);
    for (unsigned I = 0; I < G.attributes.length; ++I) {
      const auto* A = static_cast<const GumboAttribute*>(G.attributes.data[I]);
      E->FAttributes.emplace_back(FromUtf8(A->name, std::strlen(A->name)), FromUtf8(A->value, std::strlen(A->value)));
    }
    return E;
  };

  // Where each form and control stood in the source, for their owners below.
  std::vector<std::pair<size_t, THtmlElement*>> Forms, Controls;
  // Where "</form>" would not be a tag: in comments, raw text and attribute values. Text nodes
  // otherwise never hold one, though gumbo's may span a tag it ignored.
  std::vector<std::pair<size_t, size_t>> NotTags;

  // The browser runs scripts, so its tokenizer reads a noscript element's content as text up to
  // "</noscript>"; gumbo parses it as markup (and from the head lets it spill into the body).
  // What gumbo made of that source is left out and the noscript holds the text.
  const auto Noscripts = NoscriptRanges(Utf8Html, Output->root);
  auto InNoscript = [&](size_t At) { return !Noscripts.empty() && InRanges(Noscripts, At); };

  Doc->FRoot = ElementOf(Output->root);
  Doc->FRoot->FDocument = Doc;
  // Nodes are made in document order: a node's children wait on the stack, first on top.
  struct TPending {
    const GumboNode* Child;
    const GumboNode* Node;
    THtmlElement* Into;
  };
  std::vector<TPending> Stack;
  auto Expand = [&Stack](const GumboNode* Node, THtmlElement* Into) {
    const GumboVector& Children = Node->v.element.children;
    Into->FChildren.reserve(Children.length);
    for (unsigned I = Children.length; I-- > 0;)
      Stack.push_back({static_cast<const GumboNode*>(Children.data[I]), Node, Into});
  };
  Expand(Output->root, Doc->FRoot.get());
  while (!Stack.empty()) {
    const auto [Child, Node, Into] = Stack.back();
    Stack.pop_back();
    const bool RawText = IsRawTextParent(Node->v.element.tag);
    std::shared_ptr<THtmlNode> Made;
    if (Child->type == GUMBO_NODE_ELEMENT || Child->type == GUMBO_NODE_TEMPLATE) {
      const GumboElement& G = Child->v.element;
      // An element the parser made without a tag of its own (an implied body) stays.
      if (G.original_tag.length > 0 && InNoscript(G.start_pos.offset)) continue;
      auto E = ElementOf(Child);
      if (G.original_tag.length > 2 &&
          std::string_view(G.original_tag.data + 1, G.original_tag.length - 1).find("</") != std::string_view::npos)
        NotTags.emplace_back(G.start_pos.offset, G.start_pos.offset + G.original_tag.length);
      if (G.tag == GUMBO_TAG_NOSCRIPT && G.original_tag.length > 0) {
        const size_t From = G.start_pos.offset + G.original_tag.length;
        auto It = std::lower_bound(Noscripts.begin(), Noscripts.end(), std::make_pair(From, size_t{0}));
        if (It != Noscripts.end() && It->first == From && It->second > From) {
          auto Text = MakeNode<THtmlText>(Arena, FromUtf8(Utf8Html.data() + From, It->second - From));
          Text->FParent = E.get();
          Text->FDocument = Doc;
          E->FChildren.push_back(std::move(Text));
        }
        Made = std::move(E);
      } else if (E->Is(TTagInfo::TClass::Form) && G.original_tag.length > 0)
        Forms.emplace_back(G.start_pos.offset, E.get());
      else if (E->Is(TagControl))
        Controls.emplace_back(G.start_pos.offset, E.get());
      if (E) {
        Expand(Child, E.get());
        Made = std::move(E);
      }
    } else if (Child->type == GUMBO_NODE_TEXT || Child->type == GUMBO_NODE_WHITESPACE ||
               Child->type == GUMBO_NODE_CDATA) {
      if (InNoscript(Child->v.text.start_pos.offset)) continue;
      if (RawText)
        NotTags.emplace_back(Child->v.text.start_pos.offset,
                             Child->v.text.start_pos.offset + Child->v.text.original_text.length);
      Made = MakeNode<THtmlText>(Arena, FromUtf8(Child->v.text.text, std::strlen(Child->v.text.text)));
    } else {
      // Comments are not part of the page a user sees.
      if (Child->type == GUMBO_NODE_COMMENT)
        NotTags.emplace_back(Child->v.text.start_pos.offset,
                             Child->v.text.start_pos.offset + Child->v.text.original_text.length);
      continue;
    }
    Made->FParent = Into;
    Made->FDocument = Doc;
    Into->FChildren.push_back(std::move(Made));
  }
  // The parser keeps a pointer to the form it last opened until a "</form>" tag, even when the
  // form itself was closed earlier (opened between a table and its rows, or closed by the end tag
  // of an enclosing element): controls read meanwhile belong to it, wherever they lie.
  if (!Forms.empty() && !Controls.empty()) {
    std::vector<size_t> Ends = EndTagsIn(Utf8Html, "form");
    NotTags.insert(NotTags.end(), Noscripts.begin(), Noscripts.end());
    std::sort(NotTags.begin(), NotTags.end());
    std::erase_if(Ends, [&](size_t At) { return InRanges(NotTags, At); });
    std::stable_sort(Forms.begin(), Forms.end(), [](const auto& A, const auto& B) { return A.first < B.first; });
    std::stable_sort(Controls.begin(), Controls.end(), [](const auto& A, const auto& B) { return A.first < B.first; });
    size_t NextForm = 0, NextEnd = 0;
    THtmlElement* Open = nullptr;
    for (auto [At, Control] : Controls) {
      for (;;) {
        const size_t FormAt = NextForm < Forms.size() ? Forms[NextForm].first : SIZE_MAX;
        const size_t EndAt = NextEnd < Ends.size() ? Ends[NextEnd] : SIZE_MAX;
        if (std::min(FormAt, EndAt) > At) break;
        if (FormAt < EndAt) {
          Open = Forms[NextForm++].second;
        } else {
          Open = nullptr;
          ++NextEnd;
        }
      }
      if (!Open) continue;
      THtmlElement* Enclosing = Control->FParent;
      while (Enclosing && !Enclosing->Is(TTagInfo::TClass::Form)) Enclosing = Enclosing->FParent;
      if (Enclosing != Open) Control->Extras().ParserForm = Open->SharedElement();
    }
  }

  // Control state and the inline background colour start from the markup.
  for (const auto& E : Elements) {
    if (E->HasAttribute(u"style")) {
      const WideString Style = E->AttributeText(u"style");
      if (WideString Color = InlineBackgroundColor(Style); !Color.empty()) E->Extras().BackgroundColor = std::move(Color);
      E->SetStyleHiding(InlineStyleHiding(Style));
    }
    using C = TTagInfo::TClass;
    if (E->Is(C::Input))
      static_cast<THtmlInput&>(*E).InitState();
    else if (E->Is(C::Select))
      static_cast<THtmlSelect&>(*E).InitState();
    else if (E->Is(C::TextArea))
      static_cast<THtmlTextArea&>(*E).InitState();
  }
  // The last charset a meta element names wins, as the elements stand in the page.
  for (const auto& E : Elements) {
    if (!E->Is(TTagInfo::TClass::Meta)) continue;
    const WideString Charset = E->AttributeText(u"charset");
    if (!Charset.empty()) Doc->FCharset = AsciiLower(TrimSpaces(Charset));
  }
  Doc->FAll = std::move(Elements);
  Doc->FAllVersion = Doc->FVersion;
  return Doc;
}

THtmlDocument::~THtmlDocument() = default;

std::shared_ptr<THtmlElement> THtmlDocument::FindById(const WideString& Id) {
  for (const auto& E : AllElements())
    if (E->AttributeText(u"id") == Id) return E;
  return nullptr;
}

int32_t THtmlDocument::SourceIndexOf(const THtmlElement& Element) {
  // The positions belong to this document and this version of its tree: a table kept anywhere
  // else could outlive the document and answer for another one built at the same address.
  // Each element keeps its position with the stamp of the numbering that gave it, unique in the
  // process, so an element of another document, or one no longer in the tree, never matches.
  static std::atomic<uint64_t> LastStamp{0};
  const auto& All = AllElements();
  if (FIndexVersion != FVersion || FIndexStamp == 0) {
    FIndexStamp = LastStamp.fetch_add(1, std::memory_order_relaxed) + 1;
    for (size_t I = 0; I < All.size(); ++I) {
      All[I]->FIndexStamp = FIndexStamp;
      All[I]->FIndex = static_cast<int32_t>(I);
    }
    FIndexVersion = FVersion;
  }
  return Element.FIndexStamp == FIndexStamp ? Element.FIndex : -1;
}

const std::vector<std::shared_ptr<THtmlElement>>& THtmlDocument::AllElements() {
  if (FAllVersion != FVersion) {
    FAll.clear();
    if (FRoot) {
      FAll.push_back(FRoot);
      ForEachDescendant(*FRoot, [&](THtmlElement& E) { FAll.push_back(E.SharedElement()); });
    }
    FAllVersion = FVersion;
  }
  return FAll;
}

TElementsRef THtmlDocument::FormControls(const THtmlElement* Form) {
  if (FControlsVersion != FVersion) {
    // One walk sorts every control to its form; a fill asks its form again after every write that
    // may have run a script, and gets this snapshot back until the tree changes.
    std::unordered_map<const THtmlElement*, std::vector<std::shared_ptr<THtmlElement>>> Lists;
    std::vector<std::pair<const THtmlNode*, THtmlElement*>> Stack;
    if (FRoot) Stack.emplace_back(FRoot.get(), nullptr);
    while (!Stack.empty()) {
      auto [N, Enclosing] = Stack.back();
      Stack.pop_back();
      if (N->Kind() != THtmlNode::TKind::Element) continue;
      auto& E = const_cast<THtmlElement&>(static_cast<const THtmlElement&>(*N));
      if (E.Is(TagControl)) {
        THtmlElement* Parsed = E.ParserForm();
        Lists[Parsed ? Parsed : Enclosing].push_back(E.SharedElement());
      }
      THtmlElement* Inner = E.Is(TTagInfo::TClass::Form) ? &E : Enclosing;
      for (auto It = N->ChildNodes().rbegin(); It != N->ChildNodes().rend(); ++It) Stack.emplace_back(It->get(), Inner);
    }
    FControls.clear();
    for (auto& [Owner, List] : Lists) FControls[Owner] = std::make_shared<TElementCollection>(std::move(List));
    FControlsVersion = FVersion;
  }
  auto It = FControls.find(Form);
  if (It != FControls.end()) return It->second;
  auto Empty = std::make_shared<TElementCollection>(std::vector<std::shared_ptr<THtmlElement>>{});
  FControls[Form] = Empty;
  return Empty;
}

std::vector<std::shared_ptr<THtmlElement>> THtmlDocument::RadioGroup(const THtmlElement* Form, const WideString& Name) {
  if (FRadioVersion != FVersion) {
    FRadioGroups.clear();
    for (const auto& E : AllElements()) {
      if (!E->Is(TTagInfo::TClass::Input)) continue;
      auto& Input = static_cast<THtmlInput&>(*E);
      if (Input.Type() == u"radio" && !Input.Name().empty())
        FRadioGroups[{Input.OwnerForm(), Input.Name()}].push_back(E);
    }
    FRadioVersion = FVersion;
  }
  auto It = FRadioGroups.find({Form, Name});
  return It == FRadioGroups.end() ? std::vector<std::shared_ptr<THtmlElement>>{} : It->second;
}

const WideString& THtmlDocument::InnerTextOf(const THtmlElement& Element) {
  if (FInnerTextsVersion != FVersion) {
    FInnerTexts.clear();
    FInvisibleInside.clear();
    FInnerTextsVersion = FVersion;
  }
  auto [It, Added] = FInnerTexts.try_emplace(&Element);
  // Inside an element hidden by visibility the element has its boxes but shows nothing (its
  // own "visibility: visible" could show it again; pages rarely do that, and it is not modelled).
  if (Added && !InsideHiddenVisibility(Element)) {
    TRenderedText R;
    TRenderer(R, false).Render(Element);
    It->second = std::move(R.Text);
  }
  return It->second;
}

bool THtmlDocument::InsideHiddenVisibility(const THtmlElement& Element) {
  // Climb to the first ancestor whose answer is known (or to the top), then hand the answer
  // down the path, so a page asks each ancestor once per version of the tree however deep it is.
  std::vector<const THtmlElement*> Path;
  bool Hidden = false;
  for (const THtmlElement* P = Element.Parent(); P; P = P->Parent()) {
    if (auto Known = FInvisibleInside.find(P); Known != FInvisibleInside.end()) {
      Hidden = Known->second;
      break;
    }
    Path.push_back(P);
  }
  for (auto I = Path.rbegin(); I != Path.rend(); ++I) {
    Hidden = Hidden || (*I)->FVisibilityHidden;
    FInvisibleInside[*I] = Hidden;
  }
  return Hidden;
}

const TRenderedText& THtmlDocument::BodyText() {
  if (FTextVersion != FVersion) {
    FBodyText = {};
    if (auto B = std::dynamic_pointer_cast<THtmlElement>(Body())) {
      FBodyText.Spans.reserve(AllElements().size());
      TRenderer(FBodyText, true).Render(*B);
    }
    FTextVersion = FVersion;
  }
  return FBodyText;
}

WideString THtmlDocument::ResolveURL(const WideString& Relative) const {
  AnsiString Result;
  if (Url().CombineUrl(WideToAnsi(FURL), WideToAnsi(Relative), ICU_BROWSER_MODE, 2048, Result))
    return AnsiToWide(Result);
  return Relative;
}

std::shared_ptr<THtmlWindow> THtmlDocument::Window() {
  if (!FWindow) {
    FWindow = std::make_shared<THtmlWindow>(shared_from_this());
    FWindow->Events().AddConnectionPoint(DIID_HTMLWindowEvents);
  }
  return FWindow;
}

WideString THtmlDocument::Title() {
  for (const auto& E : AllElements())
    if (E->Tag() == u"title") {
      WideString Text;
      for (const auto& C : E->ChildNodes())
        if (C->Kind() == THtmlNode::TKind::Text) Text += static_cast<const THtmlText&>(*C).Text;
      // Blanks collapse in a title as in any text.
      WideString Out;
      bool Space = false;
      for (WideChar C : Text) {
        if (IsSpace(C)) {
          Space = !Out.empty();
          continue;
        }
        if (Space) Out += u' ';
        Space = false;
        Out += C;
      }
      return Out;
    }
  return {};
}

TElementsRef THtmlDocument::All() {
  // Snapshots nobody can change: one per version of the tree serves every caller.
  if (FAllCollectionVersion != FVersion) {
    FAllCollection = std::make_shared<TElementCollection>(AllElements());
    FAllCollectionVersion = FVersion;
  }
  return FAllCollection;
}

TElementsRef THtmlDocument::Forms() {
  // Read off the element list, not the collection of all elements: every rescan asks for the
  // forms, and a copy of the whole list was most of what that cost.
  if (FFormsVersion != FVersion) {
    std::vector<std::shared_ptr<THtmlElement>> Forms;
    for (const auto& E : AllElements())
      if (E->Is(TTagInfo::TClass::Form)) Forms.push_back(E);
    FFormsCollection = std::make_shared<TElementCollection>(std::move(Forms));
    FFormsVersion = FVersion;
  }
  return FFormsCollection;
}

TElementRef THtmlDocument::Body() {
  static const TTagInfo* const Frameset = &InternTag(u"frameset");
  for (const auto& E : AllElements())
    if (E->Is(TTagInfo::TClass::Body) || &E->TagInfo() == Frameset) return E;
  return nullptr;
}

TElementRef THtmlDocument::ActiveElement() {
  if (auto A = FActive.lock()) return A;
  return Body();
}

std::shared_ptr<IHTMLWindow2> THtmlDocument::ParentWindow() { return Window(); }

std::vector<std::shared_ptr<IInterface>> THtmlDocument::EnumObjects(uint32_t Flags) {
  if ((Flags & OLECONTF_EMBEDDINGS) == 0) return {};
  return FrameObjects;
}

std::shared_ptr<IConnectionPoint> THtmlDocument::FindConnectionPoint(const TGUID& EventIID) {
  return FEvents.FindConnectionPoint(EventIID);
}

std::shared_ptr<IHTMLDocument2> THtmlWindow::Document() { return FDocument.lock(); }

std::shared_ptr<IConnectionPoint> THtmlWindow::FindConnectionPoint(const TGUID& EventIID) {
  return FEvents.FindConnectionPoint(EventIID);
}

}  // namespace pel::headless
