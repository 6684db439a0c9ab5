// RVL Extractor: unpacks the package at the end of its own file into a new private folder of the run,
// announces the data files to the reader's setup in the registry, runs that setup with "/RVLC" and the
// stub's own arguments, waits for it, withdraws the announcements and removes the folder.
#pragma once

// The exit code when no setup was started although the package could be read: the package held no
// setup, the setup could not be started, or another run was going.
constexpr int kSetupNotStarted = 1;

// The whole run: everything after fw::RestrictDllSearch. Gives the exit code of the program: the reader
// setup's own when it ran; else the package reader's result (1001..1009) when the package could not
// be read or extracted in full, or kSetupNotStarted. Whatever stops the run is told in a message box
// unless the arguments hold /SILENT, /VERYSILENT or /SUPPRESSMSGBOXES.
int RunExtractor();
