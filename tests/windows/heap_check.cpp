// A DLL that a test loads into a running program to learn whether the
// program's heap is whole: loading it fails when the heap does not
// validate, so the loader's result is the answer.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    return HeapValidate(GetProcessHeap(), 0, nullptr);
}
