// Stands in for the product's installer: records that it was started by
// creating the file QUARNET_PACKAGE_INSTALLER_MARKER names, then ends.

#include <windows.h>

int wmain(void) {
    wchar_t path[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"QUARNET_PACKAGE_INSTALLER_MARKER", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (marker == INVALID_HANDLE_VALUE) return 1;
    CloseHandle(marker);
    return 0;
}
