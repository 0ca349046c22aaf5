#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "doubles/fake_file_system.h"
#include "doubles/test_bytes.h"
#include "store/digest.h"

namespace quarnet {
namespace {

constexpr const char* PATH = "C:\\Work\\Setup.exe.part";

// The file opened afresh, as a held one is handed to the hash.
OsResult<HashedPrefix> hash_file_prefix(FakeFileSystem& files, const std::string& path, std::uint64_t limit) {
    return hash_open_file(*files.open_for_reading(path).value(), limit);
}

TEST(HashFilePrefix, CoversExactlyTheLimitAndNeverReadsPastIt) {
    struct Case {
        std::uint64_t limit;
        std::string_view covered;
        std::vector<std::uint64_t> reads;
    };
    const std::string content = "hello world";
    const Case cases[] = {
        {0, "", {}},
        {5, "hello", {5}},
        {11, "hello world", {11}},
        {100, "hello world", {100, 89}},  // the second read finds the end
    };
    for (const auto& c : cases) {
        FakeFileSystem files;
        files.add_file(PATH, content);
        auto hashed = hash_file_prefix(files, PATH, c.limit);
        ASSERT_TRUE(hashed) << c.limit;
        EXPECT_EQ(hashed->length, c.covered.size()) << c.limit;
        EXPECT_EQ(digest_text(hashed->digest), sha256_of(c.covered)) << c.limit;
        EXPECT_EQ(files.read_sizes(PATH), c.reads) << c.limit;
    }
}

TEST(HashFilePrefix, AFileOneByteLongerThanTheBufferTakesTwoReads) {
    std::string content(HASH_BUFFER_SIZE + 1, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 4096);
    FakeFileSystem files;
    files.add_file(PATH, content);
    auto hashed = hash_file_prefix(files, PATH, content.size());
    ASSERT_TRUE(hashed);
    EXPECT_EQ(digest_text(hashed->digest), sha256_of(content));
    EXPECT_EQ(files.read_sizes(PATH), (std::vector<std::uint64_t>{1'048'576, 1}));
}

TEST(HashFilePrefix, ReportsTheReadError) {
    FakeFileSystem files;
    files.add_file(PATH, std::string(HASH_BUFFER_SIZE + 10, 'x'));
    files.fail({FsOp::Read, OsError::from_code(23), 1, PATH, 1});
    auto broken = hash_file_prefix(files, PATH, HASH_BUFFER_SIZE + 10);
    ASSERT_FALSE(broken);
    EXPECT_EQ(broken.error(), OsError::from_code(23));
}

}  // namespace
}  // namespace quarnet
