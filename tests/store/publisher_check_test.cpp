// What the Wine runs cannot tell apart: no setting asks nothing, near misses of
// the name are refused, and the held handle goes before the file is deleted.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "doubles/fake_file_system.h"
#include "doubles/fake_installer_signature.h"
#include "store/publisher_check.h"

namespace quarnet {
namespace {

constexpr const char* INSTALLER = "C:\\Temp\\Quarnet-setup\\Setup.exe";

class WatchedFile final : public File {
public:
    explicit WatchedFile(std::function<void()> on_release) : on_release_(std::move(on_release)) {}
    ~WatchedFile() override { on_release_(); }
    OsResult<std::size_t> read(std::span<std::byte>) override { return 0; }
    OsResult<std::size_t> write(std::span<const std::byte>) override { return 0; }
    OsResult<void> truncate(std::uint64_t) override { return {}; }
    OsResult<std::uint64_t> length() override { return 0; }
    OsResult<std::string> final_path() override { return std::string(INSTALLER); }

private:
    std::function<void()> on_release_;
};

TEST(PublisherCheckTest, OnlyTheExactNameOfATrustedSignerKeepsTheInstaller) {
    const std::expected<std::string, UntrustedSignature> answers[] = {
        std::unexpected(UntrustedSignature{"WinVerifyTrust", 0x800B0100}),
        "Pelorin Software",
        "pelorin software ltd",
        "Pelorin Software Ltd ",
        "",
        "Pelorin Software Ltd",
    };
    for (const auto& answer : answers) {
        SCOPED_TRACE(answer ? *answer : std::string(answer.error().step));
        FakeFileSystem files;
        files.add_file(INSTALLER, "MZ", /*read_only=*/true);
        FakeInstallerSignature signature;
        signature.answer = answer;
        std::vector<bool> present_at_release;
        auto held = std::make_unique<WatchedFile>([&] { present_at_release.push_back(files.exists(INSTALLER)); });
        auto checked = check_installer_publisher({INSTALLER, std::move(held)}, {"Pelorin Software Ltd", &signature},
                                                 *files.held_folder("C:\\Temp\\Quarnet-setup"), "Setup.exe");
        EXPECT_EQ(signature.asked, std::vector<std::string>{INSTALLER});
        if (answer && *answer == "Pelorin Software Ltd") {
            EXPECT_TRUE(checked.has_value() && checked->file != nullptr && present_at_release.empty());
            continue;
        }
        ASSERT_FALSE(checked.has_value());
        EXPECT_EQ(checked.error().text(), NOT_PUBLISHERS_TEXT);
        EXPECT_EQ(present_at_release, std::vector<bool>{true});
        EXPECT_FALSE(files.exists(INSTALLER));
    }
}

TEST(PublisherCheckTest, NoPublisherNamedAsksNothing) {
    FakeFileSystem files;
    files.add_directory("C:\\Temp\\Quarnet-setup");
    FakeInstallerSignature signature;
    auto checked = check_installer_publisher({INSTALLER, std::make_unique<WatchedFile>([] {})}, {"", &signature},
                                             *files.held_folder("C:\\Temp\\Quarnet-setup"), "Setup.exe");
    EXPECT_TRUE(checked.has_value() && checked->file != nullptr);
    EXPECT_TRUE(signature.asked.empty());
    EXPECT_TRUE(files.calls().empty());
}

}  // namespace
}  // namespace quarnet
