// The tour: choose every render plugin from the library's menu in turn, exactly as a
// user's click would, and save what reached the screen for each, plus a contact sheet.
#pragma once

#include "demo_app.h"
#include "options.h"

// Returns the process exit code: 0 when every capture was saved.
int RunTour(DemoApp& app, const Options& options);
