#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "doubles/fake_file_system.h"
#include "store/download_files.h"

namespace quarnet {
namespace {

using Names = std::vector<std::string>;
constexpr const char* WORK = "C:\\Temp\\Quarnet-setup";

std::string in_work(const std::string& name) { return std::string(WORK) + "\\" + name; }

TEST(DownloadPaths, TheFileAndItsPartialName) {
    auto paths = download_paths("Setup.EXE");
    EXPECT_EQ(paths.installer, "Setup.EXE");
    EXPECT_EQ(paths.partial, "Setup.EXE.part");
}

class Sweep : public ::testing::Test {
protected:
    void add(const Names& names) {
        files.add_directory(WORK);
        for (const auto& name : names) files.add_file(in_work(name), name);
    }
    void sweep() { sweep_work_folder(*files.held_folder(WORK), paths); }

    FakeFileSystem files;
    DownloadPaths paths = download_paths("Setup.exe");
};

TEST_F(Sweep, KeepsTheTwoDownloadFilesAndFoldersOnly) {
    add({"Setup.exe", "Setup.exe.part", "setup.exe", "Setup.exe.part.old", "Setup.exe.part.", "Setup.exe ", "Older.exe",
         "last-error.txt"});
    files.add_directory(in_work("logs"));
    files.add_file(in_work("logs\\kept.txt"), "");
    sweep();
    EXPECT_EQ(files.names_in(WORK), (Names{"Setup.exe", "Setup.exe.part", "logs"}));
    EXPECT_TRUE(files.exists(in_work("logs\\kept.txt")));
}

TEST_F(Sweep, DeletesWhileListing) {
    add({"a", "b", "c"});
    sweep();
    // Each delete comes straight after its entry was listed, not after the listing.
    const auto& calls = files.calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0].op, FsOp::ListDirectory);
    EXPECT_EQ(calls[1].op, FsOp::Delete);
    EXPECT_TRUE(files.names_in(WORK).empty());
}

// Another program moves the folder away and puts another in its place between the
// check and the sweep: the held folder is swept wherever it went, the new one not at all.
TEST_F(Sweep, FollowsTheHeldFolderNotItsName) {
    add({"Setup.exe", "old.exe"});
    auto held = files.held_folder(WORK);
    files.move_tree(WORK, "C:\\Temp\\moved");
    files.add_file(in_work("precious.txt"), "someone else's");
    sweep_work_folder(*held, paths);
    EXPECT_EQ(files.names_in("C:\\Temp\\moved"), (Names{"Setup.exe"}));
    EXPECT_EQ(files.names_in(WORK), (Names{"precious.txt"}));
}

TEST_F(Sweep, DeletesReadOnlyStaleFiles) {
    add({"Setup.exe"});
    files.add_file(in_work("old.exe"), "x", true);
    sweep();
    EXPECT_EQ(files.names_in(WORK), (Names{"Setup.exe"}));
}

TEST_F(Sweep, LeavesFilesHeldOpenAndGoesOn) {
    add({"a-held", "b", "c-readonly-held"});
    files.hold_open(in_work("a-held"), Sharing{true, true, false});
    files.add_file(in_work("c-readonly-held"), "", true);
    files.hold_open(in_work("c-readonly-held"), Sharing{true, true, false});
    sweep();
    EXPECT_EQ(files.names_in(WORK), (Names{"a-held", "c-readonly-held"}));
}

TEST_F(Sweep, DropsEveryError) {
    add({"a", "b"});
    files.fail({FsOp::Delete, OsError::from_code(ERROR_CODE_ACCESS_DENIED), 1, in_work("a"), 0});
    sweep();
    EXPECT_EQ(files.names_in(WORK), (Names{"a"}));

    files.fail_next(FsOp::ListDirectory, OsError::from_code(ERROR_CODE_FILE_NOT_FOUND));
    sweep();
    EXPECT_EQ(files.names_in(WORK), (Names{"a"}));
}

TEST_F(Sweep, EmptyFolderDeletesNothing) {
    add({});
    sweep();
    EXPECT_TRUE(files.calls_of(FsOp::Delete).empty());
}

TEST(DeleteEvenReadOnly, ClearsTheAttributeOnlyWhenThatIsWhatRefused) {
    struct Case {
        const char* what;
        bool read_only;
        bool folder;
        std::optional<Sharing> held;
        std::optional<OsError> result;
        bool cleared;
    };
    const auto denied = OsError::from_code(ERROR_CODE_ACCESS_DENIED);
    const Case cases[] = {
        {"plain file", false, false, {}, {}, false},
        {"read-only file", true, false, {}, {}, true},
        {"folder", false, true, {}, denied, false},
        {"read-only, held without delete sharing", true, false, Sharing{true, true, false},
         OsError::from_code(ERROR_CODE_SHARING_VIOLATION), true},
    };
    for (const auto& c : cases) {
        FakeFileSystem files;
        const std::string path = in_work("x");
        if (c.folder) {
            files.add_directory(path);
        } else {
            files.add_file(path, "x", c.read_only);
        }
        if (c.held) files.hold_open(path, *c.held);
        auto result = delete_even_read_only(*files.held_folder(WORK), "x");
        if (c.result) {
            ASSERT_FALSE(result) << c.what;
            EXPECT_EQ(result.error(), *c.result) << c.what;
            EXPECT_TRUE(files.exists(path)) << c.what;
        } else {
            EXPECT_TRUE(result) << c.what;
            EXPECT_FALSE(files.exists(path)) << c.what;
        }
        EXPECT_EQ(files.calls_of(FsOp::ClearReadOnly).size(), c.cleared ? 1u : 0u) << c.what;
    }
}

}  // namespace
}  // namespace quarnet
