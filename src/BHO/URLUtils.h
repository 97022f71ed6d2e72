#pragma once
// Address keys and small page-address routines. Stored cards, per-site settings and the loop
// guard all compare addresses in these forms, so changing a normalisation loses stored data.

#include <cstdint>

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

}  // namespace pel
