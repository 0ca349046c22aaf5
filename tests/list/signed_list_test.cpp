// The signed list's rules, on envelopes signed here with OpenSSL (host only).
#include <gtest/gtest.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <string>
#include <vector>

#include "base/hex.h"
#include "list/list_key.h"
#include "list/signed_list.h"
#include "list/utc_time.h"

namespace quarnet {
namespace {

const std::string NOT_SIGNED = "The installer list on the website is not signed by Pelorin's publisher.";
const std::string UNREADABLE = "The installer list on the website could not be read.";
const std::string INCOMPLETE = "The installer list on the website is incomplete.";
const std::string TYPE(LIST_PAYLOAD_TYPE);

std::string base64(std::string_view bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                 reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

struct Signer {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    ListKey pinned = [this] {
        unsigned char* der = nullptr;
        int size = i2d_PUBKEY(key, &der);
        auto pinned_key = list_key_from_spki(std::span(der, static_cast<std::size_t>(size)));
        OPENSSL_free(der);
        return pinned_key.value();
    }();
    ~Signer() { EVP_PKEY_free(key); }

    // A signature entry over the payload's pre-authentication encoding, r||s or as OpenSSL writes it (DER).
    std::string entry(const std::string& payload, const std::string& type = TYPE, bool der = false) const {
        const std::string message = pre_authentication_encoding(type, payload);
        EVP_MD_CTX* context = EVP_MD_CTX_new();
        std::size_t size = 80;
        std::string sig(size, '\0');
        EVP_DigestSignInit(context, nullptr, EVP_sha256(), nullptr, key);
        EVP_DigestSign(context, reinterpret_cast<unsigned char*>(sig.data()), &size,
                       reinterpret_cast<const unsigned char*>(message.data()), message.size());
        EVP_MD_CTX_free(context);
        sig.resize(size);
        if (!der) {
            const unsigned char* at = reinterpret_cast<const unsigned char*>(sig.data());
            ECDSA_SIG* pair = d2i_ECDSA_SIG(nullptr, &at, static_cast<long>(size));
            sig.assign(64, '\0');
            BN_bn2binpad(ECDSA_SIG_get0_r(pair), reinterpret_cast<unsigned char*>(sig.data()), 32);
            BN_bn2binpad(ECDSA_SIG_get0_s(pair), reinterpret_cast<unsigned char*>(sig.data()) + 32, 32);
            ECDSA_SIG_free(pair);
        }
        return R"({"sig":")" + base64(sig) + "\"}";
    }
};

std::string payload(const std::string& version = "9.9.1", const std::string& expires = "\"2026-06-10T00:00:00Z\"") {
    return R"({"version":")" + version + R"(","file":"a.exe","size":1,"sha256":")" + std::string(64, 'a') +
           R"(","expires":)" + expires + "}";
}

std::string envelope(const std::string& list, const std::string& signatures, const std::string& type = TYPE) {
    return R"({"payloadType":")" + type + R"(","payload":")" + base64(list) + R"(","signatures":[)" + signatures + "]}";
}

TEST(SignedList, RulesOfTheEnvelopeAndItsList) {
    const Signer first, second, foreign;
    const ListKey pinned[] = {first.pinned, second.pinned};
    const std::string good = payload();
    auto with_keyid = [](std::string entry, std::string keyid) { return entry.insert(1, R"("keyid":)" + keyid + ","); };
    auto keyid_of = [](const Signer& s) { return "\"" + hex_text(s.pinned.id) + "\""; };
    const std::string expired =
        "The installer list on the website has expired (2026-05-30T23:59:59Z). "
        "Is the computer's date right?";
    const std::string older = "The website offers an older Pelorin (9.8.99) than this setup accepts.";
    const std::string b64 = base64(good);
    const std::string sig = first.entry(good);
    struct Case {
        const char* name;
        std::string body;
        std::string message;  // "" when the list is taken
    } cases[] = {
        {"first key", envelope(good, with_keyid(first.entry(good), keyid_of(first))), ""},
        {"second key alone, no keyid", envelope(good, second.entry(good)), ""},
        {"keyid of the other key", envelope(good, with_keyid(second.entry(good), keyid_of(first))), ""},
        {"a foreign signature, then a good one", envelope(good, foreign.entry(good) + "," + sig), ""},
        {"other keys ignored",
         R"({"x":[{}],"payloadType":")" + TYPE + R"(","payload":")" + b64 + R"(","signatures":[{"sig":)" +
             sig.substr(7, sig.size() - 8) + R"(,"x":1}]})",
         ""},
        {"foreign key", envelope(good, with_keyid(foreign.entry(good), keyid_of(first))), NOT_SIGNED},
        {"changed payload", envelope(payload("9.9.2"), sig), NOT_SIGNED},
        {"DER signature", envelope(good, first.entry(good, TYPE, true)), NOT_SIGNED},
        {"other payloadType", envelope(good, first.entry(good, "application/json"), "application/json"), NOT_SIGNED},
        {"no signatures", envelope(good, ""), NOT_SIGNED},
        {"signatures given twice, the last good", envelope(good, sig).insert(1, R"("signatures":[],)"), ""},
        {"signatures given twice, the last empty",
         envelope(good, sig).replace(envelope(good, sig).size() - 1, 1, R"(,"signatures":[]})"), NOT_SIGNED},
        {"not JSON", "{", UNREADABLE},
        {"an array", "[]", UNREADABLE},
        {"payload missing", R"({"payloadType":")" + TYPE + R"(","signatures":[]})", UNREADABLE},
        {"payloadType a number", R"({"payloadType":1,"payload":"","signatures":[]})", UNREADABLE},
        {"signatures an object", R"({"payloadType":"","payload":"","signatures":{}})", UNREADABLE},
        {"a signature no object", envelope(good, "\"x\""), UNREADABLE},
        {"sig missing", envelope(good, R"({"keyid":"00"})"), UNREADABLE},
        {"keyid a number", envelope(good, with_keyid(sig, "7")), UNREADABLE},
        {"sig not base64", envelope(good, R"({"sig":"*"})"), UNREADABLE},
        {"payload unpadded", R"({"payloadType":"","payload":"YQ","signatures":[]})", UNREADABLE},
        {"payload no JSON", envelope("{", first.entry("{")), UNREADABLE},
        {"payload incomplete", envelope("{}", first.entry("{}")), INCOMPLETE},
        {"expires a number", envelope(payload("9.9", "0"), first.entry(payload("9.9", "0"))), INCOMPLETE},
        {"expires not UTC",
         envelope(payload("9.9", "\"2026-06-10T00:00:00+00:00\""),
                  first.entry(payload("9.9", "\"2026-06-10T00:00:00+00:00\""))),
         INCOMPLETE},
        {"24 hours past expiry",
         envelope(payload("9.9", "\"2026-05-31T00:00:00Z\""), first.entry(payload("9.9", "\"2026-05-31T00:00:00Z\""))),
         ""},
        {"one second more",
         envelope(payload("9.9", "\"2026-05-30T23:59:59Z\""), first.entry(payload("9.9", "\"2026-05-30T23:59:59Z\""))),
         expired},
        {"older version", envelope(payload("9.8.99"), first.entry(payload("9.8.99"))), older},
        {"same version, four numbers", envelope(payload("9.9.0.0"), first.entry(payload("9.9.0.0"))), ""},
        {"newer version", envelope(payload("10"), first.entry(payload("10"))), ""},
        {"five numbers", envelope(payload("9.9.0.0.0"), first.entry(payload("9.9.0.0.0"))), INCOMPLETE},
    };
    const std::int64_t now = utc_time_of("2026-06-01T00:00:00Z").value();
    for (const Case& c : cases) {
        Result<std::string> opened = open_signed_list(c.body, pinned);
        Result<Release> list = opened ? check_signed_payload(*opened, "9.9", now) : std::unexpected(opened.error());
        EXPECT_EQ(list ? "" : list.error().text(), c.message) << c.name;
    }
}

}  // namespace
}  // namespace quarnet
