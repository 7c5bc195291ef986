// A library that holds nothing but a version resource (version_probe.rc).
#include <windows.h>

extern "C" __declspec(dllexport) int VersionProbe() { return 1; }
