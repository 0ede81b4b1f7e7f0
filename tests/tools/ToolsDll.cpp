// A DLL that does nothing: loaded by the holder so that its file is in use as a module.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
