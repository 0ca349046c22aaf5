// The least a download can do with the same platform calls as the setup exe:
// WinHTTP GET with 256 KiB reads, WriteFile, BCrypt SHA-256, then the one
// read-back of the finished file (1 MiB reads, hashed again). Prints the digest,
// the time (and the read-back's share of it) and the peak working set, for
// comparison with quarnet-setup.exe.
//   quarnet_plain_download <port> <path> <output file>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/windows/windows_api.h"
// Order matters: these need the types of <windows.h>.
#include <bcrypt.h>
#include <psapi.h>
#include <winhttp.h>

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: quarnet_plain_download <port> <path> <output file>\n");
        return 2;
    }
    const auto port = static_cast<INTERNET_PORT>(std::wcstoul(argv[1], nullptr, 10));
    LARGE_INTEGER frequency, began, ended;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&began);

    HINTERNET session = ::WinHttpOpen(L"plain", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, nullptr, nullptr, 0);
    HINTERNET connection = session ? ::WinHttpConnect(session, L"127.0.0.1", port, 0) : nullptr;
    HINTERNET request =
        connection ? ::WinHttpOpenRequest(connection, L"GET", argv[2], nullptr, nullptr, nullptr, 0) : nullptr;
    if (!request || !::WinHttpSendRequest(request, nullptr, 0, nullptr, 0, 0, 0) ||
        !::WinHttpReceiveResponse(request, nullptr)) {
        std::fprintf(stderr, "request failed: %lu\n", ::GetLastError());
        return 1;
    }
    HANDLE file = ::CreateFileW(argv[3], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;

    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    ::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    ::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);

    constexpr DWORD CHUNK = 262'144;
    auto buffer = std::make_unique<unsigned char[]>(CHUNK);
    unsigned long long total = 0;
    for (;;) {
        DWORD count = 0;
        if (!::WinHttpReadData(request, buffer.get(), CHUNK, &count)) return 1;
        if (count == 0) break;
        DWORD written = 0;
        if (!::WriteFile(file, buffer.get(), count, &written, nullptr) || written != count) return 1;
        ::BCryptHashData(hash, buffer.get(), count, 0);
        total += count;
    }
    unsigned char digest[32];
    ::BCryptFinishHash(hash, digest, sizeof digest, 0);
    ::BCryptDestroyHash(hash);
    ::CloseHandle(file);
    ::WinHttpCloseHandle(request);
    ::WinHttpCloseHandle(connection);
    ::WinHttpCloseHandle(session);

    // The read-back: the file opened again, shared for reading only, and hashed whole.
    LARGE_INTEGER read_back;
    ::QueryPerformanceCounter(&read_back);
    file = ::CreateFileW(argv[3], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    ::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);
    constexpr DWORD READ_BACK_CHUNK = 1'048'576;
    auto read_buffer = std::make_unique<unsigned char[]>(READ_BACK_CHUNK);
    for (;;) {
        DWORD count = 0;
        if (!::ReadFile(file, read_buffer.get(), READ_BACK_CHUNK, &count, nullptr)) return 1;
        if (count == 0) break;
        ::BCryptHashData(hash, read_buffer.get(), count, 0);
    }
    unsigned char again[32];
    ::BCryptFinishHash(hash, again, sizeof again, 0);
    ::CloseHandle(file);
    if (std::memcmp(digest, again, sizeof digest) != 0) return 1;
    ::QueryPerformanceCounter(&ended);

    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    ::K32GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
    const double seconds =
        static_cast<double>(ended.QuadPart - began.QuadPart) / static_cast<double>(frequency.QuadPart);
    const double read_back_seconds =
        static_cast<double>(ended.QuadPart - read_back.QuadPart) / static_cast<double>(frequency.QuadPart);
    std::printf("bytes %llu seconds %.3f readback_seconds %.3f peak_working_set %llu digest ", total, seconds,
                read_back_seconds, static_cast<unsigned long long>(memory.PeakWorkingSetSize));
    for (unsigned char byte : digest) std::printf("%02x", byte);
    std::printf("\n");
    return 0;
}
