// The control for the planting check: loads each name the way a careless
// program would (the default search order, the exe's folder first), to show
// that a planted DLL there is picked up when nothing guards against it.

#include <windows.h>

int wmain(void) {
    static const wchar_t* const NAMES[] = {L"winhttp.dll", L"bcrypt.dll", L"version.dll", L"uxtheme.dll"};
    for (unsigned i = 0; i < sizeof NAMES / sizeof NAMES[0]; ++i) {
        HMODULE module = LoadLibraryW(NAMES[i]);
        if (module) FreeLibrary(module);
    }
    return 0;
}
