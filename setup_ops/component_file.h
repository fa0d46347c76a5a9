// Where the component goes and how it gets there: the choice of the downloaded-controls folder and
// the writing of the library the installer carries.
#pragma once

#include <windows.h>

#include <optional>

#include "failure.h"
#include "texts.h"

// The component file's full path: a downloaded-controls folder followed by the file name.
using ComponentPath = BoundedText<MAX_PATH - 1>;

// The first downloaded-controls folder that exists, Windows' own before the older winnt one.
std::optional<Text> FindDownloadedControlsFolder();

// The folder's text followed directly by the component's file name (the folder ends in '\').
Result<ComponentPath> ComponentPathIn(const Text &folder);

// Writes the program's RCDATA resource `resourceName` to `fileName`. The bytes go to a staging file
// beside it first, so that a failed copy leaves neither a partial file nor a spoiled earlier one.
Status ExtractResourceToFile(const char *resourceName, const ComponentPath &fileName);
