// A stand-in installer: when started it leaves a marker file, so a test or the
// main job can tell that the setup program launched what it downloaded. The
// marker goes to QUARNET_SAMPLE_MARKER when that is set, else beside the exe as
// "<its own path>.started". It holds the path the installer was started from.

#include "platform/windows/windows_api.h"

namespace {

constexpr DWORD PATH_ROOM = 32'768;
wchar_t own_path[PATH_ROOM];
wchar_t marker_path[PATH_ROOM + 16];
char marker_text[PATH_ROOM * 3];

bool choose_marker_path() {
    DWORD length = ::GetEnvironmentVariableW(L"QUARNET_SAMPLE_MARKER", marker_path, PATH_ROOM);
    if (length > 0 && length < PATH_ROOM) return true;
    length = ::GetModuleFileNameW(nullptr, marker_path, PATH_ROOM);
    if (length == 0 || length >= PATH_ROOM) return false;
    ::lstrcpyW(marker_path + length, L".started");
    return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    DWORD own_length = ::GetModuleFileNameW(nullptr, own_path, PATH_ROOM);
    if (own_length == 0 || own_length >= PATH_ROOM || !choose_marker_path()) return 1;
    int text_length = ::WideCharToMultiByte(CP_UTF8, 0, own_path, static_cast<int>(own_length), marker_text,
                                            static_cast<int>(sizeof marker_text), nullptr, nullptr);
    HANDLE file = ::CreateFileW(marker_path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    BOOL ok = ::WriteFile(file, marker_text, static_cast<DWORD>(text_length), &written, nullptr);
    ::CloseHandle(file);
    return ok ? 0 : 1;
}
