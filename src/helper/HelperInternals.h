#pragma once
// What the helper's files share and nothing outside the helper uses: a few conversions, and the
// catch-all every command the agent, its dialogs or the browser call runs in. The catch-all is a
// template, so it has to be seen wherever such a command is defined.

#include <memory>
#include <utility>

#include "BrowserHelper.h"
#include "Common/Trace.h"

namespace pel {

namespace helper {

TVariant SetToVariant(const TTransitFormSet& Set);
std::shared_ptr<IHTMLDocument2> DocumentOf(const std::shared_ptr<IWebBrowser2>& Browser);
WideString LinesOf(const TWideStringList& List);

}  // namespace helper

// ---------------------------------------------------------------- conventions

template <class TBody>
void TKXBrowserHelperObject::EntryPoint(int Code, TBody&& Body) {
  try {
    Traced(Code, std::forward<TBody>(Body));
  } catch (const EBeforeNavigate&) {
    FNavigated = false;
  } catch (const Exception&) {
    // A command of the user that cannot be carried out leaves the page as it is.
  }
}

}  // namespace pel
