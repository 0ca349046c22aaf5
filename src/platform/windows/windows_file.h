#pragma once
// The files of the Windows file system: an open handle behind the File calls.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <utility>

#include "platform/file_system.h"
#include "platform/windows/file_calls.h"
#include "platform/windows/unique_handle.h"
#include "platform/windows/windows_api.h"

namespace quarnet::windows {

// ReadFile and WriteFile take a DWORD count; larger buffers go in pieces of this size.
inline constexpr std::size_t MAX_IO_PIECE = std::size_t{1} << 31;

// What a handle holds, as the volume's serial number and the file's id: the
// 128-bit id where the file system gives one (FileIdInfo; some file systems in
// user mode refuse it), else the 64-bit index of GetFileInformationByHandle.
inline OsResult<std::array<std::uint64_t, 3>> file_identity(HANDLE handle) {
    FILE_ID_INFO id;
    if (::GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id)) {
        std::array<std::uint64_t, 3> identity{id.VolumeSerialNumber};
        std::memcpy(&identity[1], id.FileId.Identifier, sizeof id.FileId.Identifier);
        return identity;
    }
    auto info = TRY(handle_info(handle));
    return std::array<std::uint64_t, 3>{info.dwVolumeSerialNumber,
                                        (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

// One class for every file it opens: only open_own hands one out as an OwnFile,
// with the folder it renames itself in.
class WindowsFile final : public OwnFile {
public:
    explicit WindowsFile(UniqueFileHandle handle, HANDLE folder = nullptr)
        : handle_(std::move(handle)), folder_(folder) {}

    OsResult<std::size_t> read(std::span<std::byte> buffer) override {
        auto count = static_cast<DWORD>(std::min(buffer.size(), MAX_IO_PIECE));
        DWORD done = 0;
        if (!::ReadFile(handle_.get(), buffer.data(), count, &done, nullptr)) return call_failed("ReadFile");
        return done;
    }

    OsResult<std::size_t> write(std::span<const std::byte> bytes) override {
        auto count = static_cast<DWORD>(std::min(bytes.size(), MAX_IO_PIECE));
        DWORD done = 0;
        if (!::WriteFile(handle_.get(), bytes.data(), count, &done, nullptr)) return call_failed("WriteFile");
        return done;
    }

    OsResult<void> truncate(std::uint64_t length) override {
        TRY(set_position(handle_.get(), length, FILE_BEGIN));
        if (!::SetEndOfFile(handle_.get())) return call_failed("SetEndOfFile");
        return {};
    }

    OsResult<std::uint64_t> length() override {
        LARGE_INTEGER size;
        if (!::GetFileSizeEx(handle_.get(), &size)) return call_failed("GetFileSizeEx");
        return static_cast<std::uint64_t>(size.QuadPart);
    }

    OsResult<std::string> final_path() override {
        std::wstring buffer(MAX_PATH, L'\0');
        for (;;) {
            DWORD length = ::GetFinalPathNameByHandleW(handle_.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
            if (length == 0) return call_failed("GetFinalPathNameByHandleW");
            if (length < buffer.size()) {
                buffer.resize(length);
                break;
            }
            buffer.assign(length, L'\0');  // too small: `length` is what it needs, NUL included
        }
        // A name Windows holds need not be valid UTF-16; such a path would not come back the same.
        auto path = to_utf8_strict(from_wide(buffer));
        if (!path) return call_failed("GetFinalPathNameByHandleW", ERROR_INVALID_NAME);
        return std::move(*path);
    }

    OsResult<bool> is_at(const std::string& path) override {
        auto other = TRY(create_file(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT));
        return TRY(file_identity(handle_.get())) == TRY(file_identity(other.get()));
    }

    OsResult<void> rename_replacing(const std::string& name) override;
    OsResult<void> rename_replacing_in_use(const std::string& name) override;

    HANDLE handle() const { return handle_.get(); }

private:
    UniqueFileHandle handle_;
    HANDLE folder_;  // the held folder of an own file, which outlives it; null for the others
};

// The handle behind a file of this file system, for checks that must look at the very
// file held open (a signature, say) rather than a name.
inline HANDLE native_handle(File& held) { return static_cast<WindowsFile&>(held).handle(); }

}  // namespace quarnet::windows
