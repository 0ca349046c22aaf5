#pragma once
// The files of the Windows file system: an open handle behind the File calls.

#include <algorithm>
#include <cstddef>
#include <utility>

#include "platform/file_system.h"
#include "platform/windows/file_calls.h"
#include "platform/windows/unique_handle.h"
#include "platform/windows/windows_api.h"

namespace quarnet::windows {

// ReadFile and WriteFile take a DWORD count; larger buffers go in pieces of this size.
inline constexpr std::size_t MAX_IO_PIECE = std::size_t{1} << 31;

// One class for every file it opens: only open_own hands one out as an OwnFile,
// with the folder it renames itself in.
class WindowsFile final : public OwnFile {
public:
    explicit WindowsFile(UniqueFileHandle handle, HANDLE folder = nullptr)
        : handle_(std::move(handle)), folder_(folder) {}

    OsResult<std::size_t> read(std::span<std::byte> buffer) override {
        auto count = static_cast<DWORD>(std::min(buffer.size(), MAX_IO_PIECE));
        DWORD done = 0;
        if (!::ReadFile(handle_.get(), buffer.data(), count, &done, nullptr)) return last_error(::GetLastError());
        return done;
    }

    OsResult<std::size_t> write(std::span<const std::byte> bytes) override {
        auto count = static_cast<DWORD>(std::min(bytes.size(), MAX_IO_PIECE));
        DWORD done = 0;
        if (!::WriteFile(handle_.get(), bytes.data(), count, &done, nullptr)) return last_error(::GetLastError());
        return done;
    }

    OsResult<void> truncate(std::uint64_t length) override {
        TRY(set_position(handle_.get(), length, FILE_BEGIN));
        if (!::SetEndOfFile(handle_.get())) return last_error(::GetLastError());
        return {};
    }

    OsResult<std::uint64_t> length() override {
        LARGE_INTEGER size;
        if (!::GetFileSizeEx(handle_.get(), &size)) return last_error(::GetLastError());
        return static_cast<std::uint64_t>(size.QuadPart);
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
