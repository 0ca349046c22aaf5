#include <gtest/gtest.h>

#include "doubles/fake_environment.h"
#include "web/web_address.h"

namespace quarnet {
namespace {

TEST(DownloadBase, FromTheVariableOrTheDefault) {
    struct Case {
        const char* name;
        std::optional<std::string> variable;  // nothing: unset
        bool not_unicode;
        std::string base;
    };
    const std::string fallback = std::string("https://") + QUARNET_PRODUCT_HOST + "/downloads/";
    const Case cases[] = {
        {"unset", std::nullopt, false, fallback},
        {"not unicode", std::nullopt, true, fallback},
        {"no trailing slash", "http://localhost:8080/dl", false, "http://localhost:8080/dl/"},
        {"trailing slashes kept", "https://h//", false, "https://h//"},
        {"empty", "", false, "/"},
        {"not trimmed", " HTTPS://h", false, " HTTPS://h/"},
        {"query kept", "https://h/dl?x=1", false, "https://h/dl?x=1/"},
    };
    for (const auto& c : cases) {
        FakeEnvironment environment;
        if (c.variable) environment.set("QUARNET_SETUP_URL", *c.variable);
        if (c.not_unicode) environment.set_not_unicode("QUARNET_SETUP_URL");
        EXPECT_EQ(choose_download_base(environment), c.base) << c.name;
    }
}

TEST(DownloadBase, AddressesAreTheBaseFollowedByTheName) {
    EXPECT_EQ(installer_list_address("http://localhost:8080/dl/"), "http://localhost:8080/dl/latest.json");
    EXPECT_EQ(installer_address("https://h/d/", "Setup 1.EXE"), "https://h/d/Setup 1.EXE");
}

TEST(ParseWebAddress, AcceptedAndRefused) {
    using namespace std::string_literals;
    struct Case {
        std::string text;
        WebAddress address;   // when accepted
        std::string message;  // when refused
    };
    const std::string default_host = QUARNET_PRODUCT_HOST;
    const Case cases[] = {
        {"https://" + default_host + "/downloads/latest.json", {default_host, "/downloads/latest.json", 443, true}, ""},
        {"http://localhost:8080/dl/latest.json", {"localhost", "/dl/latest.json", 8080, false}, ""},
        {"https://latest.json", {"latest.json", "/", 443, true}, ""},
        {"http://127.0.0.1:1/x", {"127.0.0.1", "/x", 1, false}, ""},
        {"http://127.0.0.1/", {"127.0.0.1", "/", 80, false}, ""},
        {"https://h:65535/", {"h", "/", 65535, true}, ""},
        {"https://h:+443/", {"h", "/", 443, true}, ""},
        {"https://h:0080/", {"h", "/", 80, true}, ""},
        {"https://h:0/", {"h", "/", 0, true}, ""},
        {"https://[::1]:8443/a", {"[::1]", "/a", 8443, true}, ""},
        {"https:///p", {"", "/p", 443, true}, ""},
        {"https://user@h/p", {"user@h", "/p", 443, true}, ""},
        {"https://h/dl?x=1/latest.json", {"h", "/dl?x=1/latest.json", 443, true}, ""},
        {"https://H/%41/../a", {"H", "/%41/../a", 443, true}, ""},
        {"/latest.json", {}, "Not a web address: /latest.json"},
        {" https://h/latest.json", {}, "Not a web address:  https://h/latest.json"},
        {"HTTPS://h/latest.json", {}, "Not a web address: HTTPS://h/latest.json"},
        {"ftp://h/", {}, "Not a web address: ftp://h/"},
        {"https://h:65536/", {}, "Bad port in https://h:65536/"},
        {"https://h:-1/", {}, "Bad port in https://h:-1/"},
        {"https://h:+/", {}, "Bad port in https://h:+/"},
        {"https://h:/", {}, "Bad port in https://h:/"},
        {"https://h: 80/", {}, "Bad port in https://h: 80/"},
        {"https://h:99999999999999999999/", {}, "Bad port in https://h:99999999999999999999/"},
        {"https://[::1]/", {}, "Bad port in https://[::1]/"},
        {"https://user:secret@h/", {}, "Bad port in https://user:secret@h/"},
        {"http://localhost:abc/", {}, "Bad port in http://localhost:abc/"},
        {"http://example.com/", {}, "The download address must use https."},
        {"http://LOCALHOST/", {}, "The download address must use https."},
        {"http://127.0.0.2:80/", {}, "The download address must use https."},
        {"ftp://h\0x/"s, {}, "Not a web address: ftp://hx/"},  // quoted without the NUL
        {"https://h:8\0/"s, {}, "Bad port in https://h:8/"},
    };
    for (const auto& c : cases) {
        Result<WebAddress> parsed = parse_web_address(c.text);
        if (c.message.empty()) {
            ASSERT_TRUE(parsed) << c.text << ": " << parsed.error().text();
            EXPECT_EQ(*parsed, c.address) << c.text;
        } else {
            ASSERT_FALSE(parsed) << c.text;
            EXPECT_EQ(parsed.error().text(), c.message) << c.text;
        }
    }
}

}  // namespace
}  // namespace quarnet
