// Another program at the download, for the end-to-end runs: Wine enforces share
// modes only between Windows handles, so the "other program" must be one.
//   part_writer hold <path> <seconds>    opens <path> for writing (full sharing), keeps it open
//   part_writer write <path> <seconds>   keeps trying to open <path> for writing and overwrite 16 bytes
// Prints "opened N" (the opens that succeeded) before it ends.

#include <cstdio>

#include "platform/windows/windows_api.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) return 2;
    const bool hold = ::lstrcmpW(argv[1], L"hold") == 0;
    const DWORD until = ::GetTickCount() + static_cast<DWORD>(_wtoi(argv[3])) * 1000;
    constexpr DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    int opened = 0;
    while (static_cast<LONG>(until - ::GetTickCount()) > 0) {
        HANDLE file = ::CreateFileW(argv[2], GENERIC_READ | GENERIC_WRITE, SHARE_ALL, nullptr,
                                    hold ? OPEN_ALWAYS : OPEN_EXISTING, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            ++opened;
            if (hold) {
                std::printf("holding\n");
                std::fflush(stdout);
                ::Sleep(static_cast<DWORD>(until - ::GetTickCount()));
            } else {
                DWORD written = 0;
                ::WriteFile(file, "0123456789abcdef", 16, &written, nullptr);
            }
            ::CloseHandle(file);
        }
        ::Sleep(20);
    }
    std::printf("opened %d\n", opened);
    return 0;
}
