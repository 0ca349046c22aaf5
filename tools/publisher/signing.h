#pragma once
// The publisher's side of the signed list: the keys that sign it (PEM files,
// keys in a PKCS#11 token, a signing command), the envelopes they sign, and the
// files they come in.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "list/list_key.h"
#include "list/signed_list.h"

using EVP_PKEY = struct evp_pkey_st;

namespace quarnet::publisher {

// A whole regular file; the error is a sentence naming it (a folder, missing,
// unreadable, or empty when that is not allowed).
std::optional<std::string> read_file(const std::filesystem::path& path, std::string& error, bool allow_empty = true);

// The first line of a file that holds a secret (a pass phrase, a PIN), without its line end.
std::optional<std::string> read_secret(std::string_view option, const std::string& path, std::string& error);

// Where the keys of a signing command come from, as the command line names them.
struct KeySources {
    std::vector<std::string> keys;         // --key: a PEM file, or "pkcs11:..." for a key in a token
    std::vector<std::string> signers;      // --signer: a command that signs
    std::vector<std::string> signer_keys;  // --signer-key: the public key of each --signer, in order
    std::optional<std::string> pass_file;  // the pass phrase of encrypted PEM keys
    std::optional<std::string> pkcs11_module, pin_file;

    bool empty() const { return keys.empty() && signers.empty(); }
};

// One key that signs lists, wherever it is kept.
struct ListSigner {
    std::string name;  // as the command line gives it, for messages
    ListKey pinned;    // its public half, as an exe pins it; every signature is verified with it
    // A signature over `message` (ECDSA P-256 over its SHA-256), DER or r||s; nothing,
    // with the error set, when the key cannot sign.
    std::function<std::optional<std::string>(std::string_view message, std::string& error)> sign;
};

// Every key the sources name, each ready to sign; nothing when one of them is not.
std::optional<std::vector<ListSigner>> open_signers(const KeySources& sources, std::string& error);

// Every key of a PEM file of ECDSA P-256 public keys, as QUARNET_LIST_KEYS takes it.
std::optional<std::vector<ListKey>> read_public_keys(const std::filesystem::path& path, std::string& error);

// latest.signed.json for a payload, with one signature (and keyid) per key, each
// verified against its key; nothing, with the error naming the key, when one fails.
std::optional<std::string> signed_envelope(std::string_view payload, std::span<const ListSigner> signers,
                                           std::string& error);

// The key as an exe pins it; nothing for any key but an ECDSA P-256 one.
std::optional<ListKey> pinned_form(EVP_PKEY* key);

// The private keys at these addresses in a PKCS#11 token, reached through OpenSSL's
// pkcs11 engine with the module and PIN file of `sources`, in order (token.cpp).
std::optional<std::vector<std::shared_ptr<EVP_PKEY>>> open_token_keys(std::span<const std::string> addresses,
                                                                      const KeySources& sources, std::string& error);

// The standard output of `command` run by /bin/sh with `input` on its standard
// input, when it exits with 0; nothing, with the error set, otherwise (signer_command.cpp).
std::optional<std::string> run_signer_command(const std::string& command, std::string_view input, std::string& error);

std::string keyid_text(const ListKey& key);
std::string utc_text(std::int64_t seconds);  // YYYY-MM-DDTHH:MM:SSZ
std::int64_t utc_now();

}  // namespace quarnet::publisher
