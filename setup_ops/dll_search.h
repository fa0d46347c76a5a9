// The installer runs with administrator rights from wherever the user saved it, usually a download
// folder that may hold planted DLLs. Libraries are therefore looked up in the system directory only.
#pragma once

// Call first thing, before anything can load a library.
void RestrictDllSearchToSystemDirectory();
