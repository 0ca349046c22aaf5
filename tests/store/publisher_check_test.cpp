// What the Wine runs cannot tell apart: no setting asks nothing, near misses of
// the name are refused, only a definite answer deletes, a chain the cache cannot
// build is asked again online, revocation unknown again without it, and the held
// handle goes before the file is deleted.

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
    OsResult<std::string> final_path() override { return std::string(INSTALLER); }
    OsResult<bool> is_at(const std::string&) override { return true; }

private:
    std::function<void()> on_release_;
};

Expected<std::string, UntrustedSignature> refused(std::uint32_t code, const char* call = "WinVerifyTrust") {
    return std::unexpected(UntrustedSignature{OsError::from_code(code, call)});
}
// TRUST_E_NOSIGNATURE and the last error that says why ("Example C Program: Verifying the Signature of a PE File").
Expected<std::string, UntrustedSignature> unsigned_as(std::uint32_t why) {
    return std::unexpected(UntrustedSignature{OsError::from_code(TRUST_CODE_NO_SIGNATURE, "WinVerifyTrust"), why});
}

// Windows' answers, from the cache, then online for a chain the cache cannot build
// ("WINTRUST_DATA structure": WTD_CACHE_ONLY_URL_RETRIEVAL), then without revocation,
// against what becomes of the installer.
TEST(PublisherCheckTest, OnlyADefiniteAnswerDeletesTheInstaller) {
    const std::uint32_t UNTRUSTED_ROOT = 0x800B0109, CHAINING = 0x800B010A, SYSTEM_ERROR = 0x80096001;
    FakeErrorTexts texts;
    texts.buffered[{UNTRUSTED_ROOT, MessageTable::System}] = u"No trusted root.\r\n";
    const std::string KEPT, DELETED(NOT_PUBLISHERS_TEXT), UNCHECKED = "Could not check the installer's publisher (";
    using enum RevocationCheck;
    const std::vector<RevocationCheck> ONLINE = {CachedOnly, Online}, ONLINE_THEN_NONE = {CachedOnly, Online, None};
    const struct {
        std::vector<Expected<std::string, UntrustedSignature>> answers;
        std::string message;                      // or its start; KEPT: the installer is handed back
        std::vector<RevocationCheck> asked = {};  // when not cached, then without revocation
    } cases[] = {
        {{"Pelorin Software Ltd"}, KEPT},
        {{"Pelorin Software"}, DELETED},
        {{"pelorin software ltd"}, DELETED},
        {{"Pelorin Software Ltd "}, DELETED},
        {{""}, DELETED},  // no common name
        {{unsigned_as(TRUST_CODE_NO_SIGNATURE)}, DELETED},
        {{unsigned_as(ERROR_CODE_SHARING_VIOLATION)}, UNCHECKED + "OS Error 32 "},  // it could not be read
        {{refused(TRUST_CODE_BAD_DIGEST)}, DELETED},
        {{refused(TRUST_CODE_CERT_REVOKED)}, DELETED},
        {{refused(TRUST_CODE_EXPLICIT_DISTRUST)}, DELETED},
        {{refused(UNTRUSTED_ROOT)}, UNCHECKED + "No trusted root. (os error -2146762487)).", ONLINE},
        {{refused(CHAINING)}, UNCHECKED + "OS Error -2146762486 ", ONLINE},
        {{refused(UNTRUSTED_ROOT), "Pelorin Software Ltd"}, KEPT, ONLINE},
        {{refused(CHAINING), refused(TRUST_CODE_REVOCATION_OFFLINE), "Pelorin Software Ltd"}, KEPT, ONLINE_THEN_NONE},
        {{refused(SYSTEM_ERROR)}, UNCHECKED + "OS Error -2146869247 "},
        {{refused(126, "LoadLibraryExW")}, UNCHECKED + "OS Error 126 "},
        {{refused(TRUST_CODE_REVOCATION_OFFLINE), "Pelorin Software Ltd"}, KEPT},
        {{refused(TRUST_CODE_REVOCATION_FAILURE), refused(TRUST_CODE_BAD_DIGEST)}, DELETED},
        {{refused(TRUST_CODE_NO_REVOCATION_CHECK), refused(UNTRUSTED_ROOT)}, UNCHECKED + "No trusted root."},
        {{refused(TRUST_CODE_REVOCATION_OFFLINE), refused(TRUST_CODE_REVOCATION_OFFLINE)}, UNCHECKED + "OS Error"},
    };
    const std::vector<RevocationCheck> in_turn = {RevocationCheck::CachedOnly, RevocationCheck::None};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message + " after " + std::to_string(c.answers.size()) + " answer(s)");
        const auto asked = c.asked.empty() ? std::vector(in_turn.begin(), in_turn.begin() + c.answers.size()) : c.asked;
        FakeFileSystem files;
        files.add_file(INSTALLER, "MZ", /*read_only=*/true);
        FakeInstallerSignature signature;
        signature.answers = c.answers;
        std::vector<bool> present_at_release;
        auto held = std::make_unique<WatchedFile>([&] { present_at_release.push_back(files.exists(INSTALLER)); });
        auto checked = check_installer_publisher({INSTALLER, std::move(held)}, {"Pelorin Software Ltd", &signature},
                                                 *files.held_folder("C:\\Temp\\Quarnet-setup"), "Setup.exe", texts);
        EXPECT_EQ(signature.asked, std::vector<std::string>(asked.size(), INSTALLER));
        EXPECT_EQ(signature.revocation_checks, asked);
        if (c.message == KEPT) {
            EXPECT_TRUE(checked.has_value() && checked->file != nullptr && present_at_release.empty());
            continue;
        }
        ASSERT_FALSE(checked.has_value());
        EXPECT_TRUE(checked.error().text().starts_with(c.message)) << checked.error().text();
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
