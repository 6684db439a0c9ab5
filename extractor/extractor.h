// RVL Extractor: unpacks the package at the end of its own file into the output folder, announces the
// data files to the reader's setup in the registry, runs that setup with "/RVLC", waits for it and
// withdraws the announcements.
#pragma once

#include <string>
#include <vector>

// Lets the process load DLLs from the system folder only, so that a DLL planted beside the downloaded
// setup is never loaded. Must run before anything that loads a DLL.
void RestrictDllSearch();

// "RVLCustomizerOutput" under the temporary folder, created or reused; the temporary folder itself
// when it cannot be created. No trailing backslash in the first case, one in the second.
std::string PrepareOutputFolder();

// Extracts the package at the end of packagePath into folder; the stored names extracted completely
// are appended to extracted. Returns the reader's result (pkg::kSuccess, kNotPackage, kFileError...).
int ExtractPackage(const std::string& packagePath, const std::string& folder, std::vector<std::string>& extracted);

// The whole run: everything after RestrictDllSearch.
void RunExtractor();
