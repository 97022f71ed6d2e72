#pragma once
// The picture of a page on Windows: the browser's document draws itself (IViewObject, its content
// aspect) into a bitmap the size of its window, which the core scales and encodes as the page's
// thumbnail.

#include "platform/Services.h"

namespace pel::win32 {

class TComPageImages : public IPageImages {
public:
  bool Draw(const std::shared_ptr<IWebBrowser2>& Browser, TPageBitmap& Bitmap) const override;
};

}  // namespace pel::win32
