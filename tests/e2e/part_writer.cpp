// Another program at the download, for the end-to-end runs: Wine enforces share
// modes only between Windows handles, so the "other program" must be one.
//   part_writer hold <path> <seconds>    opens <path> for writing (full sharing), keeps it open
//   part_writer lock <path> <seconds>    opens <path> for writing without any sharing, keeps it open
//   part_writer write <path> <seconds>   keeps trying to open <path> for writing and overwrite 16 bytes
//   part_writer move <path> <seconds>    keeps trying to move the folder <path> away (and back)
//   part_writer mutex <name> <seconds>   makes the mutex <name> first, with an empty DACL, and keeps it
//   part_writer mutex-held <name> <seconds>  the same with a DACL that admits everyone, and owns it
// Prints "opened N" (the opens or moves that succeeded) before it ends.

#include <cstdio>
#include <cwchar>

#include "platform/windows/windows_api.h"
// After windows_api.h, so the same settings hold for it.
#include <sddl.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) return 2;
    const bool owned = ::lstrcmpW(argv[1], L"mutex-held") == 0;
    if (owned || ::lstrcmpW(argv[1], L"mutex") == 0) {
        // "D:", an empty DACL, grants nothing; "D:(A;;GA;;;WD)" grants everyone everything.
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ::ConvertStringSecurityDescriptorToSecurityDescriptorW(owned ? L"D:(A;;GA;;;WD)" : L"D:", SDDL_REVISION_1,
                                                               &descriptor, nullptr);
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
        if (::CreateMutexW(&attributes, owned, argv[2]) == nullptr) return 1;
        std::printf("holding\n");
        std::fflush(stdout);
        ::Sleep(static_cast<DWORD>(_wtoi(argv[3])) * 1000);
        return 0;
    }
    const bool lock = ::lstrcmpW(argv[1], L"lock") == 0;
    const bool hold = lock || ::lstrcmpW(argv[1], L"hold") == 0;
    const bool move = ::lstrcmpW(argv[1], L"move") == 0;
    wchar_t moved[MAX_PATH];
    std::swprintf(moved, MAX_PATH, L"%ls-moved", argv[2]);
    const DWORD until = ::GetTickCount() + static_cast<DWORD>(_wtoi(argv[3])) * 1000;
    constexpr DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    int opened = 0;
    while (static_cast<LONG>(until - ::GetTickCount()) > 0) {
        if (move && ::MoveFileExW(argv[2], moved, 0)) {
            ++opened;
            ::MoveFileExW(moved, argv[2], 0);
        }
        HANDLE file = move ? INVALID_HANDLE_VALUE
                           : ::CreateFileW(argv[2], GENERIC_READ | GENERIC_WRITE, lock ? 0 : SHARE_ALL, nullptr,
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
