// A DLL planted under a system DLL's name (PLANTED_NAME). When anything loads
// it, it leaves "<name>.loaded" beside itself and refuses to load, so it can
// only be seen, never used.

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t path[MAX_PATH + 16];
    DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return FALSE;
    while (length > 0 && path[length - 1] != L'\\') --length;
    lstrcpyW(path + length, PLANTED_NAME L".loaded");
    HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    return FALSE;
}
