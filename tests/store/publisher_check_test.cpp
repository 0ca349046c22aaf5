// What the Wine runs cannot tell apart: no setting asks nothing, near misses of
// the name are refused, only a definite answer deletes, revocation unknown is
// asked again without it, and the held handle goes before the file is deleted.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "doubles/fake_error_texts.h"
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

private:
    std::function<void()> on_release_;
};

std::expected<std::string, UntrustedSignature> refused(std::uint32_t code, const char* step = "WinVerifyTrust") {
    return std::unexpected(UntrustedSignature{step, OsError::from_code(code)});
}

// Windows' answers, in order, against what becomes of the installer.
TEST(PublisherCheckTest, OnlyADefiniteAnswerDeletesTheInstaller) {
    const std::uint32_t UNTRUSTED_ROOT = 0x800B0109, CHAINING = 0x800B010A, SYSTEM_ERROR = 0x80096001;
    FakeErrorTexts texts;
    texts.buffered[{UNTRUSTED_ROOT, MessageTable::System}] = u"No trusted root.\r\n";
    texts.buffered[{126, MessageTable::System}] = u"Module not found.\r\n";
    auto unchecked = [&](std::uint32_t code) {
        return "Could not check the installer's publisher (" + os_error_text(OsError::from_code(code), texts) + ").";
    };
    const std::string KEPT = "", DELETED(NOT_PUBLISHERS_TEXT);
    const RevocationCheck CACHED = RevocationCheck::CachedOnly, NONE = RevocationCheck::None;
    const struct {
        std::vector<std::expected<std::string, UntrustedSignature>> answers;
        std::string message;  // KEPT: the installer is handed back
        std::vector<RevocationCheck> asked;
    } cases[] = {
        {{"Pelorin Software Ltd"}, KEPT, {CACHED}},
        {{"Pelorin Software"}, DELETED, {CACHED}},
        {{"pelorin software ltd"}, DELETED, {CACHED}},
        {{"Pelorin Software Ltd "}, DELETED, {CACHED}},
        {{""}, DELETED, {CACHED}},  // no common name
        {{refused(TRUST_CODE_NO_SIGNATURE)}, DELETED, {CACHED}},
        {{refused(TRUST_CODE_BAD_DIGEST)}, DELETED, {CACHED}},
        {{refused(TRUST_CODE_CERT_REVOKED)}, DELETED, {CACHED}},
        {{refused(TRUST_CODE_EXPLICIT_DISTRUST)}, DELETED, {CACHED}},
        {{refused(UNTRUSTED_ROOT)},
         "Could not check the installer's publisher (No trusted root. (os error -2146762487)).",
         {CACHED}},
        {{refused(CHAINING)}, unchecked(CHAINING), {CACHED}},
        {{refused(SYSTEM_ERROR)}, unchecked(SYSTEM_ERROR), {CACHED}},
        {{refused(126, "LoadLibraryExW")},
         "Could not check the installer's publisher (Module not found. (os error 126)).",
         {CACHED}},
        {{refused(TRUST_CODE_REVOCATION_OFFLINE), "Pelorin Software Ltd"}, KEPT, {CACHED, NONE}},
        {{refused(TRUST_CODE_REVOCATION_FAILURE), refused(TRUST_CODE_BAD_DIGEST)}, DELETED, {CACHED, NONE}},
        {{refused(TRUST_CODE_NO_REVOCATION_CHECK), refused(UNTRUSTED_ROOT)}, unchecked(UNTRUSTED_ROOT), {CACHED, NONE}},
        {{refused(TRUST_CODE_REVOCATION_OFFLINE)}, unchecked(TRUST_CODE_REVOCATION_OFFLINE), {CACHED, NONE}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message + " after " + std::to_string(c.answers.size()) + " answer(s)");
        FakeFileSystem files;
        files.add_file(INSTALLER, "MZ", /*read_only=*/true);
        FakeInstallerSignature signature;
        signature.answers = c.answers;
        std::vector<bool> present_at_release;
        auto held = std::make_unique<WatchedFile>([&] { present_at_release.push_back(files.exists(INSTALLER)); });
        auto checked = check_installer_publisher({INSTALLER, std::move(held)}, {"Pelorin Software Ltd", &signature},
                                                 *files.held_folder("C:\\Temp\\Quarnet-setup"), "Setup.exe", texts);
        EXPECT_EQ(signature.asked, std::vector<std::string>(c.asked.size(), INSTALLER));
        EXPECT_EQ(signature.revocation_checks, c.asked);
        if (c.message == KEPT) {
            EXPECT_TRUE(checked.has_value() && checked->file != nullptr && present_at_release.empty());
            continue;
        }
        ASSERT_FALSE(checked.has_value());
        EXPECT_EQ(checked.error().text(), c.message);
        EXPECT_EQ(files.exists(INSTALLER), c.message != DELETED);
        EXPECT_EQ(present_at_release, std::vector<bool>{true});  // let go before any delete
    }
}

TEST(PublisherCheckTest, NoPublisherNamedAsksNothing) {
    FakeFileSystem files;
    files.add_directory("C:\\Temp\\Quarnet-setup");
    FakeInstallerSignature signature;
    FakeErrorTexts texts;
    auto checked = check_installer_publisher({INSTALLER, std::make_unique<WatchedFile>([] {})}, {"", &signature},
                                             *files.held_folder("C:\\Temp\\Quarnet-setup"), "Setup.exe", texts);
    EXPECT_TRUE(checked.has_value() && checked->file != nullptr);
    EXPECT_TRUE(signature.asked.empty());
    EXPECT_TRUE(files.calls().empty());
}

}  // namespace
}  // namespace quarnet
