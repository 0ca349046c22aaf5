// Keys in a PKCS#11 token, through OpenSSL's pkcs11 engine (Debian's
// libengine-pkcs11-openssl): the engine reads the RFC 7512 address, logs in and
// signs inside the token, so the key is used like a key from a file and never
// leaves the token. tools/sign reaches the same engine through osslsigncode.
// OpenSSL 3 marks engines deprecated; Debian 12 has no PKCS#11 provider.
#define OPENSSL_SUPPRESS_DEPRECATED

#include <openssl/crypto.h>
#include <openssl/engine.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ui.h>

#include "signing.h"

namespace quarnet::publisher {
namespace {

std::string last_openssl_error() {
    const unsigned long code = ERR_peek_error();  // the first: the token's own reason
    const char* reason = code ? ERR_reason_error_string(code) : nullptr;
    ERR_clear_error();
    return reason ? reason : "no reason given";
}

// One engine for every key of a run, bound to the module and logged in with the PIN.
std::shared_ptr<ENGINE> logged_in_engine(const std::string& module, std::string pin, std::string& error) {
    std::shared_ptr<ENGINE> engine(ENGINE_by_id("pkcs11"), [](ENGINE* e) {
        if (e) ENGINE_free(e);
    });
    bool ready = engine && ENGINE_ctrl_cmd_string(engine.get(), "MODULE_PATH", module.c_str(), 0) == 1 &&
                 ENGINE_ctrl_cmd_string(engine.get(), "PIN", pin.c_str(), 0) == 1;
    OPENSSL_cleanse(pin.data(), pin.size());
    if (!engine) {
        error = "OpenSSL's pkcs11 engine is not installed (apt-get install libengine-pkcs11-openssl)";
    } else if (!ready || ENGINE_init(engine.get()) != 1) {
        error = "--pkcs11-module " + module + " did not load: " + last_openssl_error();
    } else {
        return {engine.get(), [engine](ENGINE* e) { ENGINE_finish(e); }};
    }
    return nullptr;
}

}  // namespace

std::optional<std::vector<std::shared_ptr<EVP_PKEY>>> open_token_keys(std::span<const std::string> addresses,
                                                                      const KeySources& sources, std::string& error) {
    std::vector<std::shared_ptr<EVP_PKEY>> keys;
    if (addresses.empty()) return keys;
    if (!sources.pkcs11_module || !sources.pin_file) {
        error = "--key " + addresses.front() + " needs --pkcs11-module (the token's PKCS#11 module) and --pin-file";
        return std::nullopt;
    }
    std::optional<std::string> pin = read_secret("--pin-file", *sources.pin_file, error);
    std::shared_ptr<ENGINE> engine = pin ? logged_in_engine(*sources.pkcs11_module, std::move(*pin), error) : nullptr;
    if (!engine) return std::nullopt;
    for (const std::string& address : addresses) {
        if (address.find("pin-value=") != std::string::npos) {
            error = "--key: give the PIN with --pin-file, not as pin-value in the address";
            return std::nullopt;
        }
        // UI_null: a token that wants its PIN once more gets nothing rather than a prompt.
        EVP_PKEY* key =
            ENGINE_load_private_key(engine.get(), address.c_str(), const_cast<UI_METHOD*>(UI_null()), nullptr);
        if (!key) {
            error = "--key " + address + ": the token gave no private key (" + last_openssl_error() + ")";
            return std::nullopt;
        }
        keys.emplace_back(key, [engine](EVP_PKEY* k) { EVP_PKEY_free(k); });
    }
    return keys;
}

}  // namespace quarnet::publisher
