// A library that stands in for the decoder's plug-ins and for the driver and
// runtime libraries in the demo archives: the installer only moves these
// files, so they need to be real DLLs of the right names and nothing more.
// Its one export names the library it stands for.
#include <windows.h>

extern "C" __declspec(dllexport) const char* standin_name() { return IMU_STANDIN_NAME; }

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
