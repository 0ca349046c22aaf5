#pragma once
// The publisher's side of the signed list: keys read from PEM files, envelopes
// signed with OpenSSL, and the files they come in.

#include <cstdint>
#include <filesystem>
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

struct SigningKey {
    std::shared_ptr<EVP_PKEY> key;
    ListKey pinned;  // its public half, as an exe pins it
};

// One ECDSA P-256 private key from each PEM file.
std::optional<std::vector<SigningKey>> read_private_keys(std::span<const std::string> paths, std::string& error);
// Every key of a PEM file of ECDSA P-256 public keys, as QUARNET_LIST_KEYS takes it.
std::optional<std::vector<ListKey>> read_public_keys(const std::filesystem::path& path, std::string& error);

// latest.signed.json for a payload, with one signature (and keyid) per key.
std::string signed_envelope(std::string_view payload, std::span<const SigningKey> keys);

std::string keyid_text(const ListKey& key);
std::string utc_text(std::int64_t seconds);  // YYYY-MM-DDTHH:MM:SSZ
std::int64_t utc_now();

}  // namespace quarnet::publisher
