// The install run, from the consent question to the exit code.
#pragma once

#include "failure.h"

// The run in order: consent, notice, folder, copy, registration, zone settings, completion. Every
// path it handles itself ends in success; a failure it does not handle comes back to the caller.
Status RunInstall();

// The whole program: the run, and the report of a failure nothing handled. Answers the exit code.
int RunInstaller();
