#pragma once
/* A browser object for the tests of the add-on's COM classes: it answers IWebBrowser2 with the
   few members the add-on uses (HWND, properties, the document a test gives it), a connection point for
   DWebBrowserEvents2 and IOleWindow when asked to. Beside it, the window object of its page: an
   IDispatch whose IServiceProvider gives the browser as the web browser application service. Every other slot is empty: a call the double does not expect crashes
   and so shows itself. */

#include <windows.h>

#include <oaidl.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TBrowserDouble TBrowserDouble;

/* Hwnd 0: the HWND property fails. OleWindow 0: no IOleWindow. One reference for the caller. */
TBrowserDouble* BrowserDoubleCreate(HWND Hwnd, HWND OleWindow);
IUnknown* BrowserDoubleUnknown(TBrowserDouble* Double);
/* The page's window object (no reference added). */
IDispatch* BrowserDoubleWindow(TBrowserDouble* Double);
/* The double's own reference count. */
LONG BrowserDoubleReferences(TBrowserDouble* Double);
/* The sink advised on the connection point (no reference added), or NULL. */
IDispatch* BrowserDoubleSink(TBrowserDouble* Double);
LONG BrowserDoubleAdvised(TBrowserDouble* Double);
/* The document the browser shows (a reference kept); NULL: none. */
void BrowserDoubleSetDocument(TBrowserDouble* Double, IDispatch* Document);
/* Empties the stored properties, letting go of what they hold. */
void BrowserDoubleClearProperties(TBrowserDouble* Double);

#ifdef __cplusplus
}
#endif
