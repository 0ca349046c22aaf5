#include "platform/windows/nt_calls.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "platform/windows/file_calls.h"
#include "platform/windows/system_library.h"
// After windows_api.h, so the same settings hold for it.
#include <winternl.h>

namespace quarnet::windows {
namespace {

constexpr ULONG NT_SYNCHRONOUS_IO = 0x20;
constexpr ULONG NT_OPEN_REPARSE_POINT = 0x00200000;
constexpr ULONG NT_RENAME = 10;     // FileRenameInformation
constexpr ULONG NT_RENAME_EX = 65;  // FileRenameInformationEx, newer than the headers' FILE_INFORMATION_CLASS
constexpr ULONG RENAME_REPLACE_IF_EXISTS = 0x1;
constexpr ULONG RENAME_POSIX_SEMANTICS = 0x2;

// The class as a number: the headers' enum ends before FileRenameInformationEx.
using SetInformationFile = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);

constexpr ULONG NT_DIRECTORY_INFORMATION = 1;  // FileDirectoryInformation
using QueryDirectoryFile = NTSTATUS(NTAPI*)(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG,
                                            BOOLEAN, PUNICODE_STRING, BOOLEAN);

}  // namespace

std::unexpected<OsError> status_failed(const char* call, LONG status) {
    auto dos_error = SYSTEM_FUNCTION(ntdll_library, RtlNtStatusToDosError);
    return call_failed(call, dos_error != nullptr ? dos_error(status) : ERROR_INVALID_FUNCTION);
}

OsResult<UniqueFileHandle> open_relative(HANDLE folder, const std::string& name, ACCESS_MASK access, ULONG share,
                                         ULONG disposition, ULONG options) {
    auto create_file = SYSTEM_FUNCTION(ntdll_library, NtCreateFile);
    if (create_file == nullptr) return call_failed("NtCreateFile", ERROR_PROC_NOT_FOUND);
    auto wide = TRY(wide_name(name));
    UNICODE_STRING text;
    text.Buffer = wide.data();
    text.Length = static_cast<USHORT>(std::min<std::size_t>(wide.size() * sizeof(wchar_t), 0xFFFE));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE handle = nullptr;
    NTSTATUS status = create_file(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                                  share, disposition, options | NT_SYNCHRONOUS_IO | NT_OPEN_REPARSE_POINT, nullptr, 0);
    if (status < 0) return status_failed("NtCreateFile", status);
    return UniqueFileHandle(handle);
}

OsResult<void> rename_relative(HANDLE file, HANDLE folder, const std::string& name, RenameWay way) {
    auto set_information = SYSTEM_FUNCTION_OF_TYPE(ntdll_library, NtSetInformationFile, SetInformationFile);
    if (set_information == nullptr) return call_failed("NtSetInformationFile", ERROR_PROC_NOT_FOUND);
    auto wide = TRY(wide_name(name));
    // The information ends in the name, so it is built in a buffer of its own size.
    struct RenameInformation {
        ULONG flags;  // ReplaceIfExists, a BOOLEAN, in the plain class
        HANDLE root;
        ULONG name_length;
        wchar_t name[1];
    };
    const std::size_t name_bytes = wide.size() * sizeof(wchar_t);
    std::vector<std::uint64_t> buffer((offsetof(RenameInformation, name) + name_bytes) / sizeof(std::uint64_t) + 1);
    auto* information = reinterpret_cast<RenameInformation*>(buffer.data());
    const bool plain = way == RenameWay::Plain;
    information->flags = plain ? RENAME_REPLACE_IF_EXISTS : RENAME_REPLACE_IF_EXISTS | RENAME_POSIX_SEMANTICS;
    information->root = folder;
    information->name_length = static_cast<ULONG>(name_bytes);
    std::memcpy(information->name, wide.data(), name_bytes);
    IO_STATUS_BLOCK io{};
    NTSTATUS status = set_information(file, &io, information, static_cast<ULONG>(buffer.size() * sizeof(std::uint64_t)),
                                      plain ? NT_RENAME : NT_RENAME_EX);
    if (status < 0) return status_failed("NtSetInformationFile", status);
    return {};
}

OsResult<void> query_directory(HANDLE folder, std::span<std::uint64_t> buffer, bool restart) {
    auto query = SYSTEM_FUNCTION_OF_TYPE(ntdll_library, NtQueryDirectoryFile, QueryDirectoryFile);
    if (query == nullptr) return call_failed("NtQueryDirectoryFile", ERROR_PROC_NOT_FOUND);
    IO_STATUS_BLOCK io{};
    NTSTATUS status =
        query(folder, nullptr, nullptr, nullptr, &io, buffer.data(), static_cast<ULONG>(buffer.size_bytes()),
              NT_DIRECTORY_INFORMATION, FALSE, nullptr, restart ? TRUE : FALSE);
    if (status < 0) return status_failed("NtQueryDirectoryFile", status);
    return {};
}

}  // namespace quarnet::windows
