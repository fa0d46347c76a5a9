// Registry reads that trust nothing they find: the type and the size are checked, and nothing is
// read past what Windows returned.
#pragma once

#include <windows.h>

#include "bounded_text.h"
#include "failure.h"

// A REG_DWORD value of exactly four bytes.
Result<DWORD> ReadDword(HKEY key, const char *valueName);

Status WriteDword(HKEY key, const char *valueName, DWORD value);

// The longest command line Windows can start.
using RegistryText = BoundedText<32767>;

// A REG_SZ or REG_EXPAND_SZ value up to its first NUL, references left unexpanded. Values of any
// other type, or too long to be a command line, are failures.
Status ReadText(HKEY key, const char *valueName, RegistryText &text);
