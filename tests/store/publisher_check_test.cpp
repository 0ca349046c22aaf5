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
constexpr unsigned TRUST_E_NOSIGNATURE_STATUS = 0x800B0100;

// Says when the held handle goes.
class HeldFile final : public File {
public:
    explicit HeldFile(std::function<void()> on_release) : on_release_(std::move(on_release)) {}
    ~HeldFile() override { on_release_(); }
    OsResult<std::size_t> read(std::span<std::byte>) override { return 0; }
    OsResult<std::size_t> write(std::span<const std::byte>) override { return 0; }
    OsResult<void> truncate(std::uint64_t) override { return {}; }
    OsResult<std::uint64_t> length() override { return 0; }

private:
    std::function<void()> on_release_;
};

class PublisherCheckTest : public ::testing::Test {
protected:
    PublisherCheckTest() { files.add_file(INSTALLER, "MZ signed bytes"); }

    Result<std::unique_ptr<File>> check(std::string_view name) {
        auto held = std::make_unique<HeldFile>(
            [this] { journal.push_back(files.exists(INSTALLER) ? "released, file there" : "released, file gone"); });
        return check_installer_publisher(std::move(held), INSTALLER, {name, &signature}, files);
    }

    std::vector<std::string> journal;
    FakeFileSystem files;
    FakeInstallerSignature signature;
};

TEST_F(PublisherCheckTest, NoPublisherNamedAsksNothing) {
    auto checked = check("");
    ASSERT_TRUE(checked.has_value());
    EXPECT_NE(*checked, nullptr);
    EXPECT_TRUE(signature.asked.empty());
    EXPECT_TRUE(files.calls().empty());
}

TEST_F(PublisherCheckTest, ThePublishersOwnSignatureKeepsTheHeldInstaller) {
    signature.answer = "Pelorin Software Ltd";
    auto checked = check("Pelorin Software Ltd");
    ASSERT_TRUE(checked.has_value());
    EXPECT_NE(*checked, nullptr);
    EXPECT_EQ(signature.asked, std::vector<std::string>{INSTALLER});
    EXPECT_TRUE(journal.empty());
    EXPECT_TRUE(files.exists(INSTALLER));
}

// Anything but an exact match of a trusted signer: released, then deleted, one message.
TEST_F(PublisherCheckTest, AnyOtherAnswerDeletesTheInstaller) {
    const std::expected<std::string, UntrustedSignature> answers[] = {
        std::unexpected(UntrustedSignature{"WinVerifyTrust", TRUST_E_NOSIGNATURE_STATUS}),
        std::unexpected(UntrustedSignature{"CertGetNameStringW", 0}),
        "Pelorin Software",
        "pelorin software ltd",
        "Pelorin Software Ltd ",
        "",
    };
    for (const auto& answer : answers) {
        SCOPED_TRACE(answer ? *answer : std::string(answer.error().step));
        files.add_file(INSTALLER, "MZ other bytes", /*read_only=*/true);
        journal.clear();
        signature.answer = answer;
        auto checked = check("Pelorin Software Ltd");
        ASSERT_FALSE(checked.has_value());
        EXPECT_EQ(checked.error().text(),
                  "The downloaded installer is not signed by Pelorin's publisher, so it was deleted.");
        EXPECT_EQ(journal, std::vector<std::string>{"released, file there"});
        EXPECT_FALSE(files.exists(INSTALLER));
    }
}

}  // namespace
}  // namespace quarnet
