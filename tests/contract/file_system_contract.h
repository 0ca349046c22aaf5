#pragma once
// What the file-system seam promises, as one typed suite that runs against the
// double on the host and against the Windows implementation under Wine, so the
// store's and the transfer's tests on the double stand on what Windows does.
//
// An environment type E gives: `FileSystem& files()`; `std::string new_folder()`,
// an empty folder of its own; `hold(path, Sharing)` and `release(path)`, another
// program's handle with those share flags; `make_read_only(path)`; and
// `bool make_link(path, target)`, a symbolic link to an existing file or folder
// (false where the environment cannot make one that Windows would show).
// Instantiate with INSTANTIATE_TYPED_TEST_SUITE_P(Name, FileSystemContract, E).

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "doubles/sharing.h"
#include "doubles/test_bytes.h"
#include "platform/file_system.h"
#include "store/file_writes.h"

namespace quarnet {

template <class Environment>
class FileSystemContract : public ::testing::Test {
protected:
    void SetUp() override {
        folder = env.new_folder();
        auto opened = env.files().open_folder(folder, FolderUse::Hold);
        ASSERT_TRUE(opened);
        held = std::move(opened->folder);
    }

    std::string at(const std::string& name) const { return folder + "\\" + name; }

    void write(const std::string& name, std::string_view content) {
        auto file = held->open_emptied(name);
        ASSERT_TRUE(file) << name;
        ASSERT_TRUE(write_all(**file, bytes_of(content)));
    }

    // The content, or "<code>" when it cannot be opened.
    std::string read(const std::string& name) {
        auto file = held->open_held(name);
        if (!file) return "<" + std::to_string(file.error().code()) + ">";
        return read_all(*file->file);
    }

    std::vector<std::string> names() {
        std::vector<std::string> listed;
        auto listing = held->list();
        if (!listing) return listed;
        while (auto name = (*listing)->next()) listed.push_back(*name);
        std::sort(listed.begin(), listed.end());
        return listed;
    }

    Environment env;
    std::string folder;
    std::unique_ptr<Folder> held;
};

TYPED_TEST_SUITE_P(FileSystemContract);

template <class Outcome>
OsResult<void> outcome_of(const Outcome& result) {
    if (!result) return std::unexpected(result.error());
    return {};
}

TYPED_TEST_P(FileSystemContract, RefusesAsWindowsDoes) {
    auto& files = this->env.files();
    auto& entries = *this->held;
    this->write("file", "x");
    ASSERT_TRUE(files.create_directory(this->at("sub")));
    const auto code = [](std::uint32_t c) { return OsError::from_code(c); };
    constexpr std::uint32_t INVALID_NAME = 123, DIR_NOT_EMPTY = 145;
    const struct {
        const char* what;
        OsResult<void> result;
        OsError expected;
    } cases[] = {
        {"open a missing file", outcome_of(entries.open_held("missing")), code(ERROR_CODE_FILE_NOT_FOUND)},
        {"info of a missing entry", outcome_of(entries.entry_info("missing")), code(ERROR_CODE_FILE_NOT_FOUND)},
        {"info by a missing path", outcome_of(files.file_info(this->at("missing"))), code(ERROR_CODE_FILE_NOT_FOUND)},
        {"a name that leads below", outcome_of(entries.open_held("sub\\x")), code(INVALID_NAME)},
        {"a name that leads above", entries.delete_entry(".."), code(INVALID_NAME)},
        {"a NUL in a name", entries.delete_entry(std::string("fi\0le", 5)), OsError::interior_nul()},
        {"delete a missing entry", entries.delete_entry("missing"), code(ERROR_CODE_FILE_NOT_FOUND)},
        {"delete a folder", entries.delete_entry("sub"), code(ERROR_CODE_ACCESS_DENIED)},
        {"make an existing folder", files.create_directory(this->folder), code(ERROR_CODE_ALREADY_EXISTS)},
        {"make a folder over a file", files.create_directory(this->at("file")), code(ERROR_CODE_ALREADY_EXISTS)},
        {"make below a missing folder", files.create_directory(this->at("none\\deeper")),
         code(ERROR_CODE_PATH_NOT_FOUND)},
        {"hold a missing folder", outcome_of(files.open_folder(this->at("none"), FolderUse::Hold)),
         code(ERROR_CODE_FILE_NOT_FOUND)},
        {"remove a held folder", outcome_of(files.open_folder(this->folder, FolderUse::Remove)),
         code(ERROR_CODE_SHARING_VIOLATION)},
    };
    for (const auto& c : cases) {
        ASSERT_FALSE(c.result) << c.what;
        EXPECT_EQ(c.result.error(), c.expected) << c.what << ": " << c.result.error().code();
    }
    auto removing = files.open_folder(this->at("sub"), FolderUse::Remove);
    ASSERT_TRUE(removing);
    EXPECT_TRUE(removing->directory && !removing->reparse_point);
    EXPECT_TRUE(removing->folder->remove());
    removing->folder.reset();  // gone once its handle closes
    EXPECT_EQ(this->names(), (std::vector<std::string>{".", "..", "file"}));
    ASSERT_TRUE(files.create_directory(this->at("full")));
    auto full = files.open_folder(this->at("full"), FolderUse::Remove);
    ASSERT_TRUE(full);
    auto child = full->folder->open_emptied("child");
    ASSERT_TRUE(child);
    child->reset();
    EXPECT_EQ(full->folder->remove().error(), code(DIR_NOT_EMPTY));
}

TYPED_TEST_P(FileSystemContract, SharingDecidesWhoMayDoWhat) {
    auto& entries = *this->held;
    this->write("other", "abc");
    this->env.hold(this->at("other"), Sharing{});
    auto info = entries.entry_info("other");  // no content asked for: answers even so
    ASSERT_TRUE(info);
    EXPECT_EQ(info->length, 3u);
    EXPECT_EQ(entries.open_held("other").error(), OsError::from_code(ERROR_CODE_SHARING_VIOLATION));
    EXPECT_EQ(entries.open_own("other").error(), OsError::from_code(ERROR_CODE_SHARING_VIOLATION));
    EXPECT_EQ(entries.delete_entry("other").error(), OsError::from_code(ERROR_CODE_SHARING_VIOLATION));
    this->env.release(this->at("other"));

    // Held by us, a file shares reading only.
    auto reading = entries.open_held("other");
    ASSERT_TRUE(reading);
    EXPECT_EQ(this->read("other"), "abc");
    EXPECT_EQ(entries.open_own("other").error(), OsError::from_code(ERROR_CODE_SHARING_VIOLATION));
    EXPECT_EQ(entries.delete_entry("other").error(), OsError::from_code(ERROR_CODE_SHARING_VIOLATION));
}

TYPED_TEST_P(FileSystemContract, AnOwnFileKeepsItsBytesAndRenamesItself) {
    auto& entries = *this->held;
    this->write("from", "something long");
    this->write("from", "hello");  // emptied first
    this->write("to", "old");
    auto own = entries.open_own("from");
    ASSERT_TRUE(own);
    EXPECT_EQ((*own)->length(), 5u);
    ASSERT_TRUE((*own)->truncate(5));  // and on from its end
    ASSERT_TRUE(write_all(**own, bytes_of(" world")));
    ASSERT_TRUE((*own)->truncate(6));
    ASSERT_TRUE(write_all(**own, bytes_of("!")));
    EXPECT_EQ((*own)->length(), 7u);
    ASSERT_TRUE((*own)->rename_replacing("to"));
    own->reset();
    EXPECT_EQ(this->read("to"), "hello !");
    EXPECT_FALSE(entries.entry_info("from"));
}

TYPED_TEST_P(FileSystemContract, AnOwnFileRenamesItselfTheSecondWay) {
    auto& entries = *this->held;
    this->write("to", "older");
    auto again = entries.open_own("again");  // made when missing
    ASSERT_TRUE(again && write_all(**again, bytes_of("newer")));
    auto renamed = (*again)->rename_replacing_in_use("to");
    again->reset();
    if (!renamed) {  // Wine 8 has no FileRenameInformationEx; nothing has changed then
        EXPECT_EQ(renamed.error(), OsError::from_code(ERROR_CODE_INVALID_FUNCTION));
        EXPECT_EQ(this->read("again"), "newer");
        GTEST_SKIP() << "FileRenameInformationEx is refused here";
    }
    EXPECT_EQ(this->read("to"), "newer");
}

TYPED_TEST_P(FileSystemContract, NamesAreTakenExactly) {
    auto& entries = *this->held;
    this->write("Setup.exe.", "dot");
    this->write("Setup.exe ", "space");
    EXPECT_EQ(this->names(), (std::vector<std::string>{".", "..", "Setup.exe ", "Setup.exe."}));
    EXPECT_EQ(entries.entry_info("Setup.exe").error(), OsError::from_code(ERROR_CODE_FILE_NOT_FOUND));
    EXPECT_EQ(this->read("Setup.exe."), "dot");
    EXPECT_EQ(this->read("Setup.exe "), "space");
    ASSERT_TRUE(entries.delete_entry("Setup.exe."));
    EXPECT_EQ(this->read("Setup.exe "), "space");
}

TYPED_TEST_P(FileSystemContract, ReadOnlyUntilTheAttributeIsCleared) {
    auto& entries = *this->held;
    this->write("ro", "r");
    this->env.make_read_only(this->at("ro"));
    auto info = entries.entry_info("ro");
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->read_only);
    EXPECT_EQ(entries.delete_entry("ro").error(), OsError::from_code(ERROR_CODE_ACCESS_DENIED));
    ASSERT_TRUE(entries.clear_read_only("ro"));
    EXPECT_TRUE(entries.delete_entry("ro"));
}

TYPED_TEST_P(FileSystemContract, LinksAreNeverFollowed) {
    auto& files = this->env.files();
    auto& entries = *this->held;
    ASSERT_TRUE(files.create_directory(this->at("folder")));
    ASSERT_TRUE(this->env.make_link(this->at("folder-link"), this->at("folder")));
    auto info = entries.entry_info("folder-link");
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->reparse_point);
    // Deleted as a link, or refused as a folder would be: never the folder it points to.
    auto deleted = entries.delete_entry("folder-link");
    if (!deleted) {
        EXPECT_EQ(deleted.error(), OsError::from_code(ERROR_CODE_ACCESS_DENIED));
    }
    EXPECT_TRUE(files.file_info(this->at("folder")).value().directory);
    if (deleted) {
        ASSERT_TRUE(this->env.make_link(this->at("folder-link"), this->at("folder")));
    }
    // Removed as a link, or refused where the link cannot be told from its handle (Wine's).
    auto opened = files.open_folder(this->at("folder-link"), FolderUse::Remove);
    ASSERT_TRUE(opened);
    EXPECT_TRUE(opened->reparse_point);
    auto removed = opened->folder->remove();
    opened->folder.reset();
    if (removed) {
        EXPECT_FALSE(entries.entry_info("folder-link"));
    } else {
        EXPECT_EQ(removed.error(), OsError::from_code(ERROR_CODE_ALREADY_EXISTS));
    }
    EXPECT_TRUE(files.file_info(this->at("folder")).value().directory);
}

TYPED_TEST_P(FileSystemContract, ALinkToAFileIsReplacedNeverWrittenThrough) {
    auto& entries = *this->held;
    this->write("target", "keep");
    if (!this->env.make_link(this->at("file-link"), this->at("target"))) {
        GTEST_SKIP() << "no link to a file can be made here (Wine shows a Unix one as the file itself)";
    }
    EXPECT_TRUE(entries.entry_info("file-link").value().reparse_point);
    if (auto own = entries.open_own("file-link")) {  // replaced by a file of its own, or refused
        ASSERT_TRUE(write_all(**own, bytes_of("mine")));
        own->reset();
        EXPECT_FALSE(entries.entry_info("file-link").value().reparse_point);
    }
    EXPECT_EQ(this->read("target"), "keep");
    if (entries.entry_info("file-link").value().reparse_point) {
        ASSERT_TRUE(entries.delete_entry("file-link"));
    }
    EXPECT_EQ(this->read("target"), "keep");
}

REGISTER_TYPED_TEST_SUITE_P(FileSystemContract, RefusesAsWindowsDoes, SharingDecidesWhoMayDoWhat,
                            AnOwnFileKeepsItsBytesAndRenamesItself, AnOwnFileRenamesItselfTheSecondWay,
                            NamesAreTakenExactly, ReadOnlyUntilTheAttributeIsCleared, LinksAreNeverFollowed,
                            ALinkToAFileIsReplacedNeverWrittenThrough);

}  // namespace quarnet
