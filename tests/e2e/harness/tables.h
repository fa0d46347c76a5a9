// The scenario tables.
#pragma once

#include <vector>

#include "scenario.h"

namespace e2e {

// The installer, from the consent dialog to its exit, in every setting it must handle.
const std::vector<Scenario>& InstallerScenarios();
// The driver and its helper programs, against a stand-in that shows chosen message boxes.
const std::vector<Scenario>& DriverScenarios();

}  // namespace e2e
