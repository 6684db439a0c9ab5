// RVL Extractor: unpacks the package at the end of its own file into the output folder, announces the
// data files to the reader's setup in the registry, runs that setup with "/RVLC", waits for it and
// withdraws the announcements.
#pragma once

// The exit code when the package was read but held no setup that could be started.
constexpr int kSetupNotStarted = 1;

// The whole run: everything after fw::RestrictDllSearch. Gives the exit code of the program: the reader
// setup's own when it ran; else the package reader's result (1001..1009) when the package could not
// be read or extracted in full, or kSetupNotStarted.
int RunExtractor();
