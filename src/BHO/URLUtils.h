#pragma once
// Address keys and small page-address routines. Stored cards, per-site settings and the loop
// guard all compare addresses in these forms, so changing a normalisation loses stored data.

#include <cstdint>

#include "platform/Collection.h"
#include "platform/Dom.h"
#include "platform/SysTypes.h"

namespace pel {

// Trimmed of characters up to U+0020, cut before the first "?", one trailing "/" dropped.
WideString NormalizeURL(const WideString& URL);
// "http://www." and "https://www." (any case) lose the "www."; the prefix comes out lower-case.
WideString StripWWW(const WideString& URL);
// The host of an address with its user part and port: scheme, "www." and path removed
// (case-sensitive; callers pass the address trimmed and lower-cased).
WideString ExtractHost(const WideString& URL);
// Relative resolved against Base as the browser does; callers pass ICU_BROWSER_MODE. Raises
// "Error in InternetCombineUrl!" when the address cannot be formed or is longer than 2047 bytes.
AnsiString CombineURL(const AnsiString& Base, const AnsiString& Relative, uint32_t Flags);
// The delay of a refresh instruction such as "0;URL=next.html" (1 when it has no address part,
// -1 when the delay is no number) and the address it names.
int32_t ParseRefreshContent(const AnsiString& Content, WideString& URL);

// True when the document asks for an immediate refresh (delay 0) in its first META element; URL
// is the address it names, possibly empty.
bool GetMetaRefresh(const std::shared_ptr<IHTMLDocument2>& Doc, WideString& URL);

// One link of a page: the element, what the user sees, the absolute address.
class THyperlink : public TCollectionItem {
public:
  explicit THyperlink(TCollectionBase* Collection = nullptr, int ID = 0) : TCollectionItem(Collection, ID) {}
  TElementRef Element;
  WideString Text;
  WideString Href;
};
using THyperlinks = TCollection<THyperlink>;

// Appends the links and image-map areas of the document and then of its frames, depth first.
void CollectHyperlinks(const std::shared_ptr<IHTMLDocument2>& Doc, THyperlinks& Links);

}  // namespace pel
