// The browser host's Internet Explorer mode: COM on the page thread, the
// add-ons found through the registry's Browser Helper Objects key and given
// the top-level browser as their site, one object model and script engine
// per frame (the page and its iframe elements), the browser's events, and
// each document's end in a browser's order.
#pragma once

#include "browser.h"

namespace browser {

int RunIePage(const Options& options);

}  // namespace browser
