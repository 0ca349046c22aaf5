#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "doubles/fake_error_texts.h"
#include "doubles/fake_file_system.h"
#include "store/work_folder.h"

namespace quarnet {
namespace {

TEST(JoinPath, AddsOneSeparatorOnlyWhereNeeded) {
    struct Case {
        const char* left;
        const char* joined;
    };
    const Case cases[] = {
        {"C:\\Temp\\", "C:\\Temp\\Quarnet-setup"},
        {"C:\\Temp", "C:\\Temp\\Quarnet-setup"},
        {"C:/Temp/", "C:/Temp/Quarnet-setup"},
        {"\\\\server\\share\\", "\\\\server\\share\\Quarnet-setup"},
    };
    for (const auto& c : cases) EXPECT_EQ(join_path(c.left, WORK_FOLDER_NAME), c.joined) << c.left;
}

class WorkFolder : public ::testing::Test {
protected:
    WorkFolder() {
        texts.buffered[{ERROR_CODE_ALREADY_EXISTS, MessageTable::System}] = u"File already exists.\r\n";
        texts.buffered[{ERROR_CODE_PATH_NOT_FOUND, MessageTable::System}] = u"Path not found.\r\n";
        texts.buffered[{ERROR_CODE_ACCESS_DENIED, MessageTable::System}] = u"Access denied.\r\n";
    }

    std::vector<std::string> created() const {
        std::vector<std::string> paths;
        for (const auto& call : files.calls_of(FsOp::CreateDirectory)) paths.push_back(call.path);
        return paths;
    }

    FakeFileSystem files;
    FakeErrorTexts texts;
};

TEST_F(WorkFolder, TempDirectoryWithOrWithoutTrailingSeparator) {
    for (const char* temp : {"C:\\Temp\\", "C:\\Temp"}) {
        FakeFileSystem fresh;
        fresh.add_directory("C:\\Temp");
        fresh.set_temp_directory(temp);
        auto folder = open_work_folder(fresh, texts);
        ASSERT_TRUE(folder) << temp;
        EXPECT_EQ(folder->path, "C:\\Temp\\Quarnet-setup");
        EXPECT_TRUE(fresh.is_directory("C:\\Temp\\Quarnet-setup"));
    }
}

TEST_F(WorkFolder, ExistingFolderKeepsItsFiles) {
    files.set_temp_directory("C:\\Temp\\");
    files.add_file("C:\\Temp\\Quarnet-setup\\Setup.exe.part", "abc");
    auto folder = open_work_folder(files, texts);
    ASSERT_TRUE(folder);
    EXPECT_EQ(files.content("C:\\Temp\\Quarnet-setup\\Setup.exe.part"), "abc");
}

TEST_F(WorkFolder, MissingTemporaryDirectoryIsMadeLevelByLevel) {
    files.set_temp_directory("D:\\Users\\Ana\\Temp\\");
    auto folder = open_work_folder(files, texts);
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->path, "D:\\Users\\Ana\\Temp\\Quarnet-setup");
    EXPECT_TRUE(files.is_directory(folder->path));
    // Tried from the bottom, made from the top; the drive itself is never made.
    EXPECT_EQ(created(), (std::vector<std::string>{"D:\\Users\\Ana\\Temp\\Quarnet-setup", "D:\\Users\\Ana\\Temp",
                                                   "D:\\Users\\Ana", "D:\\Users", "D:\\Users\\Ana",
                                                   "D:\\Users\\Ana\\Temp", "D:\\Users\\Ana\\Temp\\Quarnet-setup"}));
}

TEST_F(WorkFolder, LinkAtTheFolderIsRemovedAsALinkAndAFolderMade) {
    files.set_temp_directory("C:\\Temp\\");
    files.add_link("C:\\Temp\\Quarnet-setup", true);
    auto folder = open_work_folder(files, texts);
    ASSERT_TRUE(folder);
    EXPECT_TRUE(files.is_directory(folder->path));
    EXPECT_FALSE(files.is_link(folder->path));

    files.add_link(folder->path, true);
    files.fail_next(FsOp::RemoveFolder, OsError::from_code(ERROR_CODE_ACCESS_DENIED));
    EXPECT_EQ(open_work_folder(files, texts).error().text(),
              "Could not make a folder for the download (Access denied. (os error 5)).");
    EXPECT_TRUE(files.is_link(folder->path));
}

// Only a real folder that the user (or SYSTEM, or the administrators) owns is
// used; it is made private, and a stranger's goes only when it is empty.
TEST_F(WorkFolder, WhatStandsThereMustBeOurOwn) {
    const std::string path = "C:\\Temp\\Quarnet-setup";
    struct Case {
        const char* what;
        std::function<void(FakeFileSystem&)> arrange;
        std::string error;  // empty: a folder of our own is held
        bool made_private = true;
    };
    const Case cases[] = {
        {"nothing there", [](FakeFileSystem&) {}, ""},
        {"a dangling link", [&](FakeFileSystem& f) { f.add_link(path, false); }, ""},
        {"another user's empty folder", [&](FakeFileSystem& f) { f.add_foreign_directory(path); }, ""},
        {"our own folder from before", [&](FakeFileSystem& f) { f.add_directory(path); }, ""},
        {"a folder on FAT, Everyone its owner", [&](FakeFileSystem& f) { f.add_directory_without_security(path); }, "",
         false},
        {"another user's folder holding a DLL",
         [&](FakeFileSystem& f) {
             f.add_foreign_directory(path);
             f.add_file(path + "\\version.dll", "MZ");
         },
         "Could not make a folder for the download (Access denied. (os error 5))."},
    };
    for (const auto& c : cases) {
        FakeFileSystem fresh;
        fresh.set_temp_directory("C:\\Temp\\");
        c.arrange(fresh);
        auto folder = open_work_folder(fresh, texts);
        EXPECT_EQ(folder ? "" : folder.error().text(), c.error) << c.what;
        EXPECT_EQ(fresh.is_private(path), c.error.empty() && c.made_private) << c.what;
        EXPECT_EQ(fresh.exists(path + "\\version.dll"), !c.error.empty()) << c.what;
    }
}

TEST_F(WorkFolder, RootsAreNeverMade) {
    struct Case {
        const char* temp;
        const char* top;  // the highest level that may be made
    };
    const Case cases[] = {
        {"Q:\\Temp\\", "Q:\\Temp"},
        {"\\\\server\\share\\Temp\\", "\\\\server\\share\\Temp"},
        {"\\\\?\\Q:\\Temp\\", "\\\\?\\Q:\\Temp"},
        {"\\\\?\\UNC\\server\\share\\Temp\\", "\\\\?\\UNC\\server\\share\\Temp"},
    };
    for (const auto& c : cases) {
        FakeFileSystem fresh;
        fresh.set_temp_directory(c.temp);
        fresh.fail({FsOp::CreateDirectory, OsError::from_code(ERROR_CODE_PATH_NOT_FOUND), 100, {}, 0});
        auto folder = open_work_folder(fresh, texts);
        ASSERT_FALSE(folder) << c.temp;
        EXPECT_EQ(folder.error().text(), "Could not make a folder for the download (Path not found. (os error 3)).");
        auto calls = fresh.calls_of(FsOp::CreateDirectory);
        ASSERT_EQ(calls.size(), 2u) << c.temp;
        EXPECT_EQ(calls.back().path, c.top);
    }
}

TEST_F(WorkFolder, RegularFileInTheWayFailsAndStays) {
    files.set_temp_directory("C:\\Temp\\");
    files.add_file("C:\\Temp\\Quarnet-setup", "not a folder");
    auto folder = open_work_folder(files, texts);
    ASSERT_FALSE(folder);
    EXPECT_EQ(folder.error().text(), "Could not make a folder for the download (File already exists. (os error 183)).");
    EXPECT_EQ(files.content("C:\\Temp\\Quarnet-setup"), "not a folder");
}

TEST_F(WorkFolder, FileInTheWayHigherUpFailsWithAlreadyExists) {
    files.add_file("C:\\Temp", "a file");
    files.set_temp_directory("C:\\Temp\\sub\\");
    auto folder = open_work_folder(files, texts);
    ASSERT_FALSE(folder);
    EXPECT_EQ(folder.error().text(), "Could not make a folder for the download (File already exists. (os error 183)).");
}

TEST_F(WorkFolder, FolderMadeByAnotherProcessMeanwhileIsAccepted) {
    // Either already-exists code counts, as long as a folder now stands there.
    for (std::uint32_t code : {ERROR_CODE_ALREADY_EXISTS, ERROR_CODE_FILE_EXISTS}) {
        FakeFileSystem fresh;
        fresh.set_temp_directory("C:\\Temp\\");
        fresh.add_directory("C:\\Temp\\Quarnet-setup");
        fresh.fail_next(FsOp::CreateDirectory, OsError::from_code(code));
        EXPECT_TRUE(open_work_folder(fresh, texts)) << code;
    }
}

TEST_F(WorkFolder, OtherErrorsEndTheCallWithTheirText) {
    files.set_temp_directory("C:\\Temp\\");
    files.fail_next(FsOp::CreateDirectory, OsError::from_code(ERROR_CODE_ACCESS_DENIED));
    auto denied = open_work_folder(files, texts);
    ASSERT_FALSE(denied);
    EXPECT_EQ(denied.error().text(), "Could not make a folder for the download (Access denied. (os error 5)).");

    files.set_temp_directory(std::string("C:\\Te\0mp", 8));
    auto nul = open_work_folder(files, texts);
    ASSERT_FALSE(nul);
    EXPECT_EQ(nul.error().text(),
              "Could not make a folder for the download (strings passed to WinAPI cannot contain NULs).");
}

TEST_F(WorkFolder, NoTemporaryDirectoryFailsWithTheSameMessage) {
    files.set_temp_directory_error(OsError::from_code(ERROR_CODE_ACCESS_DENIED));
    auto folder = open_work_folder(files, texts);
    ASSERT_FALSE(folder);
    EXPECT_EQ(folder.error().text(), "Could not make a folder for the download (Access denied. (os error 5)).");
}

}  // namespace
}  // namespace quarnet
