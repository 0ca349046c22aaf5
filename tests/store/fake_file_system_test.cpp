// The double stands in for Windows in every store and transfer test, so the
// answers those tests rely on are pinned down here.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "doubles/fake_file_system.h"

namespace quarnet {
namespace {

std::span<const std::byte> bytes_of(std::string_view text) { return std::as_bytes(std::span(text)); }

constexpr const char* DIR = "C:\\Work";
constexpr const char* FILE_PATH = "C:\\Work\\a.bin";

TEST(FakeFileSystem, RefusesLikeWindows) {
    struct Case {
        const char* what;
        std::function<OsResult<void>(FakeFileSystem&)> call;
        OsError expected;
    };
    auto open_read = [](const std::string& path) {
        return [path](FakeFileSystem& fs) -> OsResult<void> {
            auto file = fs.open_for_reading(path);
            if (!file) return std::unexpected(file.error());
            return {};
        };
    };
    const Case cases[] = {
        {"missing file", open_read("C:\\Work\\missing"), OsError::from_code(ERROR_CODE_FILE_NOT_FOUND)},
        {"missing folder", open_read("C:\\Nowhere\\x"), OsError::from_code(ERROR_CODE_PATH_NOT_FOUND)},
        {"NUL in path", open_read(std::string("C:\\Work\\a\0b", 11)), OsError::interior_nul()},
        {"folder opened as file", open_read(DIR), OsError::from_code(ERROR_CODE_ACCESS_DENIED)},
        {"held without read sharing", open_read("C:\\Work\\held"), OsError::from_code(ERROR_CODE_SHARING_VIOLATION)},
        {"delete read-only", [](FakeFileSystem& fs) { return fs.delete_file("C:\\Work\\ro"); },
         OsError::from_code(ERROR_CODE_ACCESS_DENIED)},
        {"delete folder", [](FakeFileSystem& fs) { return fs.delete_file(DIR); },
         OsError::from_code(ERROR_CODE_ACCESS_DENIED)},
        {"delete held", [](FakeFileSystem& fs) { return fs.delete_file("C:\\Work\\held"); },
         OsError::from_code(ERROR_CODE_SHARING_VIOLATION)},
        {"create existing", [](FakeFileSystem& fs) { return fs.create_directory(FILE_PATH); },
         OsError::from_code(ERROR_CODE_ALREADY_EXISTS)},
        {"create below missing", [](FakeFileSystem& fs) { return fs.create_directory("C:\\No\\Deeper"); },
         OsError::from_code(ERROR_CODE_PATH_NOT_FOUND)},
    };
    for (const auto& c : cases) {
        FakeFileSystem fs;
        fs.add_file(FILE_PATH, "x");
        fs.add_file("C:\\Work\\ro", "r", true);
        fs.add_file("C:\\Work\\held", "h");
        fs.hold_open("C:\\Work\\held", Sharing{false, true, false});
        auto result = c.call(fs);
        ASSERT_FALSE(result) << c.what;
        EXPECT_EQ(result.error(), c.expected) << c.what;
    }
}

TEST(FakeFileSystem, HeldFileStillGivesItsInfo) {
    FakeFileSystem fs;
    fs.add_file(FILE_PATH, "abc");
    fs.hold_open(FILE_PATH, Sharing{});
    auto info = fs.file_info(FILE_PATH);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->length, 3u);
    EXPECT_FALSE(info->directory);
}

TEST(FakeFileSystem, AppendHandleWritesAtTheEndAndIsNotRenamedWhileHeld) {
    FakeFileSystem fs;
    fs.add_file(FILE_PATH, "abc");
    auto file = fs.open_for_appending(FILE_PATH);
    ASSERT_TRUE(file);
    ASSERT_TRUE((*file)->truncate(1));
    ASSERT_EQ((*file)->write(bytes_of("XY")), 2u);
    EXPECT_EQ(fs.move_replacing(FILE_PATH, "C:\\Work\\b.bin").error(),
              OsError::from_code(ERROR_CODE_SHARING_VIOLATION));
    ASSERT_EQ((*file)->write(bytes_of("Z")), 1u);
    file->reset();
    ASSERT_TRUE(fs.move_replacing(FILE_PATH, "C:\\Work\\b.bin"));
    EXPECT_EQ(fs.content("C:\\Work\\b.bin"), "aXYZ");
}

TEST(FakeFileSystem, ShortWritesAndAFullDisk) {
    for (auto mode : {DiskFullMode::Error, DiskFullMode::WriteZero}) {
        FakeFileSystem fs;
        fs.add_file("C:\\Work\\other", "12");
        fs.set_capacity(6, mode);
        fs.set_write_limit(3);
        auto file = fs.open_for_appending(FILE_PATH);
        ASSERT_TRUE(file);
        EXPECT_EQ((*file)->write(bytes_of("abcdef")), 3u);
        EXPECT_EQ((*file)->write(bytes_of("def")), 1u);
        auto full = (*file)->write(bytes_of("ef"));
        if (mode == DiskFullMode::Error) {
            EXPECT_EQ(full, std::unexpected(OsError::from_code(ERROR_CODE_DISK_FULL)));
        } else {
            EXPECT_EQ(full, 0u);
        }
        EXPECT_EQ(fs.content(FILE_PATH), "abcd");
    }
}

TEST(FakeFileSystem, ScriptedFailuresSkipThenFailThenPass) {
    FakeFileSystem fs;
    fs.add_file(FILE_PATH, "abc");
    fs.fail({FsOp::Read, OsError::from_code(ERROR_CODE_ACCESS_DENIED), 1, FILE_PATH, 1});
    auto file = fs.open_for_reading(FILE_PATH);
    ASSERT_TRUE(file);
    std::byte buffer[1];
    EXPECT_EQ((*file)->read(buffer), 1u);
    EXPECT_FALSE((*file)->read(buffer));
    EXPECT_EQ((*file)->read(buffer), 1u);
    EXPECT_EQ(fs.read_sizes(FILE_PATH), (std::vector<std::uint64_t>{1, 1, 1}));
}

TEST(FakeFileSystem, ListingSeesDeletionsMadeWhileListing) {
    FakeFileSystem fs;
    for (const char* name : {"b", "a", "c"}) fs.add_file(std::string(DIR) + "\\" + name, "");
    fs.add_file("C:\\Work\\sub\\deep", "");
    auto listing = fs.list_directory(DIR);
    ASSERT_TRUE(listing);
    std::vector<std::string> seen;
    while (auto name = (*listing)->next()) {
        seen.push_back(*name);
        if (*name == "a") {
            ASSERT_TRUE(fs.delete_file("C:\\Work\\b"));
        }
    }
    EXPECT_EQ(seen, (std::vector<std::string>{".", "..", "a", "c", "sub"}));
}

}  // namespace
}  // namespace quarnet
