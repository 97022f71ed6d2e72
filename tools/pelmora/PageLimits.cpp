#include "PageLimits.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace pel::tool {

namespace {

char Lower(char C) { return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C; }

bool IsNameChar(char C) {
  return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') || C == '-' || C == ':' ||
         C == '_';
}

// What a tag name means to the measure, looked up once per tag in one table.
enum TTagTrait : uint8_t {
  Void = 1,             // never has content
  RawText = 2,          // its content is text up to its own end tag (noscript too: scripts run)
  ClosesParagraph = 4,  // its start tag ends an open paragraph
};

struct TTagInfo {
  uint8_t Traits = 0;
  // The group of elements a start tag of this name closes when one is open right above it:
  // 1 list items, 2 definition terms, 3 options, 4 cells, 5 rows, 6 table sections.
  uint8_t Group = 0;
};

TTagInfo InfoOf(const std::string& Name) {
  static const std::unordered_map<std::string, TTagInfo> Table = [] {
    std::unordered_map<std::string, TTagInfo> T;
    for (const char* N : {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "param", "source",
                          "track", "wbr", "frame", "keygen", "basefont", "bgsound", "image"})
      T[N].Traits |= Void;
    for (const char* N : {"script", "style", "textarea", "title", "xmp", "iframe", "noembed", "noframes", "noscript"})
      T[N].Traits |= RawText;
    for (const char* N : {"p", "div", "ul", "ol", "dl", "table", "form", "h1", "h2", "h3", "h4", "h5", "h6", "pre",
                          "section", "article", "aside", "header", "footer", "nav", "main", "address", "blockquote",
                          "fieldset", "figure", "hr", "menu", "details", "center", "listing", "dir"})
      T[N].Traits |= ClosesParagraph;
    T["li"].Group = 1;
    T["dt"].Group = T["dd"].Group = 2;
    T["option"].Group = T["optgroup"].Group = 3;
    T["td"].Group = T["th"].Group = 4;
    T["tr"].Group = 5;
    T["thead"].Group = T["tbody"].Group = T["tfoot"].Group = 6;
    return T;
  }();
  auto It = Table.find(Name);
  return It == Table.end() ? TTagInfo{} : It->second;
}

}  // namespace

TMarkupCost MeasureMarkup(std::string_view Html) {
  TMarkupCost Cost;
  std::vector<std::string> Open;
  const size_t Size = Html.size();
  size_t I = 0;
  while ((I = Html.find('<', I)) != std::string_view::npos) {
    if (Html.compare(I, 4, "<!--") == 0) {
      const size_t End = Html.find("-->", I + 4);
      if (End == std::string_view::npos) break;
      I = End + 3;
      continue;
    }
    if (I + 1 < Size && (Html[I + 1] == '!' || Html[I + 1] == '?')) {
      const size_t End = Html.find('>', I + 2);
      if (End == std::string_view::npos) break;
      I = End + 1;
      continue;
    }
    const bool Closing = I + 1 < Size && Html[I + 1] == '/';
    size_t N = I + (Closing ? 2 : 1);
    if (N >= Size || !((Html[N] >= 'a' && Html[N] <= 'z') || (Html[N] >= 'A' && Html[N] <= 'Z'))) {
      ++I;
      continue;
    }
    std::string Name;
    while (N < Size && IsNameChar(Html[N])) Name += Lower(Html[N++]);
    // The tag ends at the first ">" outside a quoted attribute value.
    char Quote = 0;
    while (N < Size && (Quote || Html[N] != '>')) {
      if (Quote) {
        if (Html[N] == Quote) Quote = 0;
      } else if (Html[N] == '"' || Html[N] == '\'') {
        Quote = Html[N];
      }
      ++N;
    }
    I = N + 1;
    if (Closing) {
      // Only a near enough match is popped to: a stray end tag of something far below leaves the
      // tree as it is, as the parser mostly does, and the search stays cheap.
      const size_t Reach = std::min<size_t>(Open.size(), 64);
      for (size_t K = 0; K < Reach; ++K)
        if (Open[Open.size() - 1 - K] == Name) {
          Open.resize(Open.size() - 1 - K);
          break;
        }
      continue;
    }
    ++Cost.Elements;
    const TTagInfo Info = InfoOf(Name);
    if (Info.Traits & Void) continue;
    if ((Info.Traits & ClosesParagraph) && !Open.empty() && Open.back() == "p") Open.pop_back();
    if (const int Group = Info.Group) {
      // A cell closes an open cell, a row an open cell and row, a section all three.
      for (;;) {
        if (Open.empty()) break;
        const int Top = InfoOf(Open.back()).Group;
        if (Top == 0 || Top > Group || (Top != Group && Group < 4)) break;
        Open.pop_back();
      }
    }
    if (Info.Traits & RawText) {
      // Up to the element's own end tag; nothing inside is markup.
      const std::string EndTag = "</" + Name;
      size_t K = I;
      for (;;) {
        K = Html.find("</", K);
        if (K == std::string_view::npos) break;
        bool Match = K + EndTag.size() <= Size;
        for (size_t J = 2; Match && J < EndTag.size(); ++J) Match = Lower(Html[K + J]) == EndTag[J];
        if (Match) break;
        K += 2;
      }
      I = K == std::string_view::npos ? Size : K;
      Cost.Depth = std::max(Cost.Depth, Open.size() + 1);
      continue;
    }
    Open.push_back(std::move(Name));
    Cost.Depth = std::max(Cost.Depth, Open.size());
  }
  return Cost;
}

bool AdmitPage(std::string_view Html, const TPageLimits& Limits, std::string& Why) {
  const TMarkupCost Cost = MeasureMarkup(Html);
  if (Cost.Elements > Limits.MaxElements) {
    Why = "the page has more than " + std::to_string(Limits.MaxElements) + " elements (" +
          std::to_string(Cost.Elements) + "); it is not loaded";
    return false;
  }
  if (Cost.Depth > Limits.MaxDepth) {
    Why = "the page nests elements more than " + std::to_string(Limits.MaxDepth) + " deep (" +
          std::to_string(Cost.Depth) + "); it is not loaded";
    return false;
  }
  return true;
}

void LimitPageCost(headless::TPageSource& Pages, TPageLimits Limits) {
  Pages.AdmitMarkup = [Limits](const std::string& Html, std::string& Why) { return AdmitPage(Html, Limits, Why); };
}

}  // namespace pel::tool
