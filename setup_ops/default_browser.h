// The end of the run: whether Internet Explorer opens web pages, the success report, and the home
// page.
#pragma once

#include "registry.h"

// The command line that opens an HTML document; empty when it cannot be read.
RegistryText ReadDefaultBrowserCommand();
bool IsIEDefaultBrowser();

// Warns when another browser opens web pages, reports success, and opens the home page in Internet
// Explorer when it is the browser.
void RunCompletionStage();
