// The user's signing key for exported evidence (Ed25519, libsodium): made at
// first use in a file only its owner can read, never printed; what others
// get is the public key and its fingerprint.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vedra {

using PublicKey = std::array<uint8_t, 32>;
using Signature = std::array<uint8_t, 64>;

struct SigningKey {
    PublicKey publicKey{};
    std::array<uint8_t, 64> secretKey{}; // libsodium's: the seed, then the public key
};

// <XDG config home>/Vedra Media Player/signing.key; empty without a home.
std::filesystem::path DefaultSigningKeyPath();

// Reads the key at `path`; with `create`, makes one there first when there is
// none (its folder 0700, the file 0600, written whole or not at all). Refuses,
// with `error` saying why, a file that is a link, someone else's, readable by
// others, or not a key.
std::optional<SigningKey> LoadSigningKey(const std::filesystem::path& path, bool create, std::string& error);

// "ed25519:" and the key in base64, the form `krvtool key` prints and --key reads.
std::string PublicKeyText(const PublicKey& key);
// The printed form, or the bare base64; a file holding it is read by the caller.
std::optional<PublicKey> ParsePublicKey(std::string_view text);

// SHA-256 of the public key, the first 16 bytes as hex in groups of four
// ("1a2b:3c4d:..."): what a manifest names its signer by.
std::string KeyFingerprint(const PublicKey& key);

// A signature file's text: the 64 bytes in base64 and a line break; and back.
std::string SignatureText(const Signature& signature);
std::optional<Signature> ParseSignature(std::string_view text);

Signature SignBytes(std::string_view bytes, const SigningKey& key);
bool VerifyBytes(std::string_view bytes, const Signature& signature, const PublicKey& key);

} // namespace vedra
