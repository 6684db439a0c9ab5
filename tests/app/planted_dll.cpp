// A DLL that a test puts beside a copy of the wizard under the names of system DLLs, as an attacker
// would plant one in the Downloads folder. It does nothing; the test only looks where the wizard's
// modules were loaded from.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
