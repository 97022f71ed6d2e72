#pragma once
// What one page may cost the tool. The page model's cost is a cost per element, but the HTML
// parser's own grows with the square of the nesting on some markup (10,000 nested tables take it
// gigabytes, 100,000 nested blocks half a minute), and a page of bare tags is millions of
// elements in a few megabytes: such a page is refused with a message before it is parsed, rather
// than the tool being killed by the system or hanging.

#include <cstddef>
#include <string>
#include <string_view>

#include "headless/HeadlessBrowser.h"

namespace pel::tool {

struct TMarkupCost {
  size_t Elements = 0;  // start tags
  size_t Depth = 0;     // the deepest nesting of open elements, as a parser would keep them open
};

// One pass over the markup, without building anything: tags, comments and raw text are told
// apart, void elements and end tags close what they close, and the elements a parser closes by
// themselves (a paragraph before a block, a list item before the next, cells and rows, options)
// are closed likewise, so an ordinary page's depth is its real depth or a little more.
TMarkupCost MeasureMarkup(std::string_view Html);

struct TPageLimits {
  size_t MaxElements = 1000000;
  size_t MaxDepth = 2000;
};

// True when the page is within the limits; else Why says which it passes.
bool AdmitPage(std::string_view Html, const TPageLimits& Limits, std::string& Why);

// Every page Pages hands on must be within Limits; one that is not fails to load with the reason.
void LimitPageCost(headless::TPageSource& Pages, TPageLimits Limits = {});

}  // namespace pel::tool
