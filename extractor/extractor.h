// RVL Extractor: unpacks the package at the end of its own file into the output folder, announces the
// data files to the reader's setup in the registry, runs that setup with "/RVLC", waits for it and
// withdraws the announcements.
#pragma once

// Lets the process load DLLs from the system folder only, so that a DLL planted beside the downloaded
// setup is never loaded. Must run before anything that loads a DLL.
void RestrictDllSearch();

// The whole run: everything after RestrictDllSearch.
void RunExtractor();
