// The Win32 file system on real files, and the store on top of it: share modes,
// read-only files, listings and the work folder, each in a folder of its own.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/failure_message.h"
#include "platform/text.h"
#include "platform/windows/unique_handle.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"
#include "platform/windows/windows_platform.h"
#include "store/digest.h"
#include "store/download_files.h"
#include "store/earlier_download.h"
#include "store/file_writes.h"
#include "store/work_folder.h"

namespace quarnet {
namespace {

using windows::UniqueFileHandle;

std::wstring wide(const std::string& utf8) { return windows::to_wide(to_utf16(utf8)); }

std::span<const std::byte> bytes_of(std::string_view text) { return std::as_bytes(std::span(text)); }

class SilentDialog final : public ProgressDialog {
public:
    explicit SilentDialog(std::vector<std::string>& lines) : lines_(lines) {}
    bool set_title(const std::u16string&) override { return true; }
    bool start() override { return true; }
    void set_line(std::uint32_t line, const std::u16string& text) override {
        lines_.push_back(std::to_string(line) + " " + to_utf8_lossy(text));
    }
    void set_progress(std::uint64_t, std::uint64_t) override {}
    void reset_timer() override {}
    bool has_user_cancelled() override { return false; }
    void stop() override {}

private:
    std::vector<std::string>& lines_;
};

// Deletes a folder and everything below it, read-only files included.
void remove_tree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find =
        ::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = folder + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                remove_tree(path);
            } else {
                ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(path.c_str());
            }
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(folder.c_str());
}

class WindowsFiles : public ::testing::Test {
protected:
    void SetUp() override {
        auto temp = files->temp_directory();
        ASSERT_TRUE(temp);
        static int counter = 0;
        folder = join_path(
            *temp, "quarnet-store-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter));
        remove_tree(wide(folder));
        ASSERT_TRUE(files->create_directory(folder));
        auto opened = files->open_folder(folder, FolderUse::Hold);
        ASSERT_TRUE(opened);
        held = std::move(opened->folder);
    }
    void TearDown() override {
        held.reset();
        remove_tree(wide(folder));
    }

    std::string at(const std::string& name) const { return join_path(folder, name); }

    void write_file(const std::string& name, std::string_view content) {
        auto file = held->open_emptied(name);
        ASSERT_TRUE(file) << name;
        ASSERT_TRUE(write_all(**file, bytes_of(content)));
    }

    std::string read_file(const std::string& name) {
        auto file = held->open_held(name);
        if (!file) return "<" + std::to_string(file.error().code()) + ">";
        std::string content;
        char buffer[7];
        for (;;) {
            auto got = file->file->read(std::as_writable_bytes(std::span(buffer)));
            if (!got || *got == 0) break;
            content.append(buffer, *got);
        }
        return content;
    }

    // Opens the file the way another program might, with only the given sharing.
    UniqueFileHandle hold(const std::string& path, DWORD share) {
        return UniqueFileHandle(
            ::CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0, nullptr));
    }

    void make_read_only(const std::string& path) {
        ASSERT_TRUE(::SetFileAttributesW(wide(path).c_str(), FILE_ATTRIBUTE_READONLY));
    }

    std::vector<std::string> names() {
        std::vector<std::string> listed;
        auto listing = held->list();
        if (!listing) return listed;
        while (auto name = (*listing)->next()) {
            if (*name != "." && *name != "..") listed.push_back(*name);
        }
        std::sort(listed.begin(), listed.end());
        return listed;
    }

    std::unique_ptr<FileSystem> files = windows::make_file_system();
    std::unique_ptr<ErrorTexts> texts = windows::make_error_texts();
    std::string folder;
    std::unique_ptr<Folder> held;
};

TEST_F(WindowsFiles, ErrorsOfMissingAndRefusedPaths) {
    const auto code = [](std::uint32_t c) { return OsError::from_code(c); };
    write_file("file", "x");
    struct Case {
        const char* what;
        OsResult<void> result;
        OsError expected;
    };
    auto drop = [](auto result) -> OsResult<void> {
        if (!result) return std::unexpected(result.error());
        return {};
    };
    ASSERT_TRUE(files->create_directory(at("sub")));
    const Case cases[] = {
        {"read missing file", drop(held->open_held("missing")), code(ERROR_CODE_FILE_NOT_FOUND)},
        {"info of missing file", drop(files->file_info(at("missing"))), code(ERROR_CODE_FILE_NOT_FOUND)},
        {"a name that leads elsewhere", drop(held->open_held("sub\\x")), code(ERROR_INVALID_NAME)},
        {"create existing folder", files->create_directory(folder), code(ERROR_CODE_ALREADY_EXISTS)},
        {"create over a file", files->create_directory(at("file")), code(ERROR_CODE_ALREADY_EXISTS)},
        {"delete missing", held->delete_entry("missing"), code(ERROR_CODE_FILE_NOT_FOUND)},
        {"delete a folder", held->delete_entry("sub"), code(ERROR_CODE_ACCESS_DENIED)},
        {"delete the folder above", held->delete_entry(".."), code(ERROR_INVALID_NAME)},
        {"NUL in a name", held->delete_entry(std::string("fi\0le", 5)), OsError::interior_nul()},
    };
    for (const auto& c : cases) {
        ASSERT_FALSE(c.result) << c.what;
        EXPECT_EQ(c.result.error(), c.expected) << c.what << ": " << c.result.error().code();
    }
    EXPECT_EQ(read_file("file"), "x");
}

TEST_F(WindowsFiles, EmptiedAppendedTruncatedAndRead) {
    write_file("f", "something long");
    write_file("f", "hello");
    {
        auto file = held->open_own("f");
        ASSERT_TRUE(file);
        ASSERT_TRUE((*file)->truncate(5));  // and on from its end
        ASSERT_TRUE(write_all(**file, bytes_of(" world")));
        EXPECT_EQ((*file)->length(), 11u);
        ASSERT_TRUE((*file)->truncate(5));
        ASSERT_TRUE(write_all(**file, bytes_of("!")));
        EXPECT_EQ((*file)->length(), 6u);
    }
    EXPECT_EQ(read_file("f"), "hello!");
    auto info = files->file_info(at("f"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->length, 6u);
    EXPECT_FALSE(info->directory);
    auto folder_info = files->file_info(folder);
    ASSERT_TRUE(folder_info);
    EXPECT_TRUE(folder_info->directory);
}

TEST_F(WindowsFiles, AFileHeldWithoutSharingStillGivesItsInfo) {
    write_file("held", "abc");
    auto holder = hold(at("held"), 0);
    ASSERT_TRUE(holder.valid());
    auto info = held->entry_info("held");
    ASSERT_TRUE(info) << info.error().code();
    EXPECT_EQ(info->length, 3u);
    EXPECT_EQ(held->open_held("held").error(), OsError::from_code(ERROR_CODE_SHARING_VIOLATION));
    EXPECT_EQ(held->delete_entry("held").error(), OsError::from_code(ERROR_CODE_SHARING_VIOLATION));
}

TEST_F(WindowsFiles, ReadOnlyFilesAreRefusedUntilTheAttributeIsCleared) {
    write_file("ro", "r");
    make_read_only(at("ro"));
    auto info = files->file_info(at("ro"));
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->read_only);
    EXPECT_EQ(held->delete_entry("ro").error(), OsError::from_code(ERROR_CODE_ACCESS_DENIED));
    EXPECT_TRUE(delete_even_read_only(*held, "ro"));
    EXPECT_EQ(files->file_info(at("ro")).error(), OsError::from_code(ERROR_CODE_FILE_NOT_FOUND));
}

TEST_F(WindowsFiles, ListsDotsAndEntries) {
    write_file("b", "");
    write_file("a", "");
    ASSERT_TRUE(files->create_directory(at("sub")));
    auto listing = held->list();
    ASSERT_TRUE(listing);
    std::vector<std::string> all;
    while (auto name = (*listing)->next()) all.push_back(*name);
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, (std::vector<std::string>{".", "..", "a", "b", "sub"}));
    EXPECT_EQ(files->open_folder(at("none"), FolderUse::Hold).error(), OsError::from_code(ERROR_CODE_FILE_NOT_FOUND));
}

TEST_F(WindowsFiles, RenamesThroughTheHandleReplaceTheTarget) {
    write_file("to", "old");
    for (const char* content : {"new", "newer"}) {
        auto own = held->open_own("from");
        ASSERT_TRUE(own && write_all(**own, bytes_of(content)));
        auto renamed =
            content == std::string("new") ? (*own)->rename_replacing("to") : (*own)->rename_replacing_in_use("to");
        if (!renamed) {
            // Wine 8 has no FileRenameInformationEx (STATUS_NOT_IMPLEMENTED); nothing may have changed then.
            EXPECT_EQ(renamed.error(), OsError::from_code(ERROR_INVALID_FUNCTION));
            own->reset();
            EXPECT_EQ(read_file("from"), content);
            continue;
        }
        own->reset();
        EXPECT_EQ(read_file("to"), content);
        EXPECT_FALSE(held->entry_info("from"));
    }
}

TEST_F(WindowsFiles, TemporaryDirectoryFollowsTheEnvironment) {
    wchar_t expected[MAX_PATH + 1];
    DWORD length = ::GetTempPathW(MAX_PATH + 1, expected);
    ASSERT_GT(length, 0u);
    auto temp = files->temp_directory();
    ASSERT_TRUE(temp);
    EXPECT_EQ(*temp, to_utf8_lossy(windows::from_wide(std::wstring_view(expected, length))));
    EXPECT_EQ(temp->back(), '\\');
}

// The environment's TMP and TEMP point elsewhere for one test.
class TempRedirect {
public:
    explicit TempRedirect(const std::string& path) {
        for (const wchar_t* name : {L"TMP", L"TEMP"}) {
            wchar_t value[4096];
            DWORD length = ::GetEnvironmentVariableW(name, value, 4096);
            saved_.push_back(length > 0 ? std::optional(std::wstring(value, length)) : std::nullopt);
            ::SetEnvironmentVariableW(name, wide(path).c_str());
        }
    }
    ~TempRedirect() {
        const wchar_t* names[] = {L"TMP", L"TEMP"};
        for (std::size_t i = 0; i < 2; ++i)
            ::SetEnvironmentVariableW(names[i], saved_[i] ? saved_[i]->c_str() : nullptr);
    }

private:
    std::vector<std::optional<std::wstring>> saved_;
};

TEST_F(WindowsFiles, WorkFolderMadeWithEveryMissingLevel) {
    std::string temp = at("deeper\\still\\Temp");
    TempRedirect redirect(temp + "\\");
    auto work = open_work_folder(*files, *texts);
    ASSERT_TRUE(work) << work.error().text();
    EXPECT_EQ(work->path, temp + "\\Quarnet-setup");
    auto info = files->file_info(work->path);
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->directory);
    EXPECT_TRUE(open_work_folder(*files, *texts));  // and again, now that it exists
}

TEST_F(WindowsFiles, WorkFolderBlockedByAFile) {
    TempRedirect redirect(folder + "\\");
    write_file("Quarnet-setup", "in the way");
    auto work = open_work_folder(*files, *texts);
    ASSERT_FALSE(work);
    EXPECT_EQ(work.error().text(), "Could not make a folder for the download (File already exists. (os error 183)).");
    EXPECT_EQ(read_file("Quarnet-setup"), "in the way");
}

TEST_F(WindowsFiles, SweepKeepsTheDownloadFilesAndFolders) {
    for (const char* name : {"Setup.exe", "Setup.exe.part", "Setup.exe.part.old", "Older.exe", "last-error.txt",
                             "read-only.exe", "held.exe"}) {
        write_file(name, name);
    }
    make_read_only(at("read-only.exe"));
    ASSERT_TRUE(files->create_directory(at("logs")));
    auto holder = hold(at("held.exe"), FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(holder.valid());
    sweep_work_folder(*held, download_paths("Setup.exe"));
    EXPECT_EQ(names(), (std::vector<std::string>{"Setup.exe", "Setup.exe.part", "held.exe", "logs"}));
}

// On Wine, names that differ only in letter case can stand side by side when
// made from the Unix side, which a Windows program cannot do. QUARNET_CASE_FOLDER
// names such a folder holding Setup.exe, setup.exe, Setup.exe.part and
// setup.exe.PART; the sweep must delete exactly the lower- and upper-case twins.
TEST_F(WindowsFiles, SweepTellsLetterCaseApart) {
    wchar_t value[1024];
    DWORD length = ::GetEnvironmentVariableW(L"QUARNET_CASE_FOLDER", value, 1024);
    if (length == 0 || length >= 1024) GTEST_SKIP() << "QUARNET_CASE_FOLDER not set";
    std::string cased = to_utf8_lossy(windows::from_wide(std::wstring_view(value, length)));
    auto opened = files->open_folder(cased, FolderUse::Hold);
    ASSERT_TRUE(opened);
    sweep_work_folder(*opened->folder, download_paths("Setup.exe"));
    auto listing = opened->folder->list();
    ASSERT_TRUE(listing);
    std::vector<std::string> left;
    while (auto name = (*listing)->next()) {
        if (*name != "." && *name != "..") left.push_back(*name);
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"Setup.exe", "Setup.exe.part"}));
}

class WindowsEarlierDownload : public WindowsFiles {
protected:
    static std::string sha_of(std::string_view bytes) {
        DigestState state;
        state.update(bytes_of(bytes));
        return digest_text(state);
    }

    EarlierDownload check() {
        ProgressWindow window(std::make_unique<SilentDialog>(lines));
        WorkFolder work{folder, std::move(files->open_folder(folder, FolderUse::Hold)->folder)};
        return check_earlier_download(list, work, download_paths("Setup.exe"), window, *texts);
    }

    const std::string content = "a complete installer";
    InstallerList list{"2.4.1", "Setup.exe", sha_of(content), content.size()};
    std::vector<std::string> lines;
};

TEST_F(WindowsEarlierDownload, VerifiedCopyIsReused) {
    write_file("Setup.exe", content);
    write_file("Setup.exe.part", "a comp");
    auto outcome = check();
    ASSERT_TRUE(std::holds_alternative<Reuse>(outcome));
    EXPECT_EQ(std::get<Reuse>(outcome).installer.path, at("Setup.exe"));
    EXPECT_EQ(read_file("Setup.exe.part"), "a comp");
}

TEST_F(WindowsEarlierDownload, PartialFileIsHashedForTheResume) {
    write_file("Setup.exe", "a complete installeR");  // right size, wrong digest
    write_file("Setup.exe.part", "a comp");
    auto outcome = check();
    ASSERT_TRUE(std::holds_alternative<ResumePoint>(outcome));
    auto& point = std::get<ResumePoint>(outcome);
    EXPECT_EQ(point.offset, 6u);
    EXPECT_EQ(digest_text(point.digest), sha_of("a comp"));
    EXPECT_FALSE(files->file_info(at("Setup.exe")));
}

TEST_F(WindowsEarlierDownload, PartialFileHeldWithoutReadSharing) {
    write_file("Setup.exe.part", "a comp");
    auto holder = hold(at("Setup.exe.part"), FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    ASSERT_TRUE(holder.valid());
    auto outcome = check();
    ASSERT_TRUE(std::holds_alternative<FailureMessage>(outcome));
    EXPECT_EQ(std::get<FailureMessage>(outcome).text(),
              "Could not read the earlier download (Sharing violation. (os error 32)).");
}

}  // namespace
}  // namespace quarnet
