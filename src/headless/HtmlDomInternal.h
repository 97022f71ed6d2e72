#pragma once
// What the files of the headless document share and nothing else needs: the parser's arena, small
// text helpers, the snapshot collection, the walk of a subtree and the renderer of text.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <ext/atomicity.h>
#include <mutex>
#include <string_view>
#include <vector>

#include "HtmlDom.h"
#include "platform/Exceptions.h"

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

WideString FromUtf8(const char* Data, size_t Length);
WideString AsciiLower(WideString S);
WideString AsciiUpper(WideString S);
// The controls a form's elements collection holds.
bool IsControl(const WideString& Tag);
bool IsSpace(WideChar C);
WideString TrimSpaces(const WideString& S);
bool EqualsIgnoringAsciiCase(std::u16string_view A, std::u16string_view B);

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

std::vector<std::shared_ptr<THtmlElement>> Descendants(const THtmlNode& Start);


// ---- Rendering: the text a browser shows, with line breaks for blocks, as innerText and text
// ranges see it.

class TRenderer {
public:
  // Spans are wanted for the body's text, which text ranges measure (the document numbers its
  // elements and sizes the tables by their count first); an element's innerText
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
    if (FPre > 0) FOut.InsidePre[static_cast<size_t>(E.FIndex)] = true;
    FOut.Spans[static_cast<size_t>(E.FIndex)].first = static_cast<int32_t>(FOut.Text.size());
    FUnplaced.push_back(&E);
  }
  // An element without text of its own keeps an empty span where it stood.
  void Close(const THtmlElement& E) {
    if (!FKeepSpans) return;
    FOut.Spans[static_cast<size_t>(E.FIndex)].second = static_cast<int32_t>(FOut.Text.size());
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
          R.FOut.Spans[static_cast<size_t>(E->FIndex)].first = static_cast<int32_t>(R.FOut.Text.size());
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

// Serialising for innerHTML.
void EscapeInto(std::u16string& Out, const WideString& Text, bool InAttribute);
bool IsVoid(const WideString& Tag);
// How an inline style hides the element's content.
TStyleHiding InlineStyleHiding(const WideString& Style);
// The background colour an inline style sets ("background-color: red; ..."), or empty.
WideString InlineBackgroundColor(const WideString& Style);


template <class T, class... TArgs>
std::shared_ptr<T> MakeNode(TNodeArena* Arena, TArgs&&... Args) {
  if (!Arena) return std::make_shared<T>(std::forward<TArgs>(Args)...);
  return std::allocate_shared<T>(TNodeAllocator<T>(Arena), std::forward<TArgs>(Args)...);
}

std::shared_ptr<THtmlElement> MakeElement(const TTagInfo& Tag, TNodeArena* Arena);

}  // namespace pel::headless
