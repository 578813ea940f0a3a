#include "evidence/signing_key.h"

#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "krv/krv_paths.h"

namespace vedra {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kKeyHeader = "vedra-signing-key-v1 ";
constexpr std::string_view kPublicPrefix = "ed25519:";
constexpr size_t kMaxKeyFile = 4096;

bool SodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

std::string Base64(const uint8_t* data, size_t size)
{
    std::string out(sodium_base64_encoded_len(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(out.data(), out.size(), data, size, sodium_base64_VARIANT_ORIGINAL);
    out.resize(std::strlen(out.c_str()));
    return out;
}

template <size_t N>
bool FromBase64(std::string_view text, std::array<uint8_t, N>& out)
{
    size_t length = 0;
    const char* end = nullptr;
    if (sodium_base642bin(out.data(), out.size(), text.data(), text.size(), nullptr, &length, &end,
                          sodium_base64_VARIANT_ORIGINAL) != 0)
        return false;
    return length == N && end == text.data() + text.size();
}

std::string Trimmed(std::string_view s)
{
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.remove_suffix(1);
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    return std::string(s);
}

std::optional<SigningKey> FromSeed(const std::array<uint8_t, 32>& seed)
{
    SigningKey key;
    if (crypto_sign_seed_keypair(key.publicKey.data(), key.secretKey.data(), seed.data()) != 0)
        return std::nullopt;
    return key;
}

// Reads the key file, refusing anything its owner alone could not have made.
std::optional<SigningKey> ReadKey(const fs::path& path, std::string& error)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = "cannot read the signing key " + path.string() + ": " + std::strerror(errno);
        return std::nullopt;
    }
    struct stat st {};
    std::string text;
    bool ok = fstat(fd, &st) == 0;
    if (ok && !S_ISREG(st.st_mode))
        error = "the signing key " + path.string() + " is not a file";
    else if (ok && st.st_uid != geteuid())
        error = "the signing key " + path.string() + " belongs to someone else";
    else if (ok && (st.st_mode & 077) != 0)
        error = "the signing key " + path.string() + " can be read by others (mode " +
                std::to_string((st.st_mode >> 6) & 7) + std::to_string((st.st_mode >> 3) & 7) +
                std::to_string(st.st_mode & 7) + "): make it 600 or remove it";
    else if (ok && st.st_size > off_t(kMaxKeyFile))
        error = "the signing key " + path.string() + " is not a key";
    if (ok && error.empty()) {
        text.resize(size_t(st.st_size));
        ok = read(fd, text.data(), text.size()) == ssize_t(text.size());
    }
    close(fd);
    if (!error.empty())
        return std::nullopt;
    std::array<uint8_t, 32> seed{};
    const std::string body = Trimmed(text);
    std::optional<SigningKey> key;
    if (ok && body.starts_with(kKeyHeader) && FromBase64(std::string_view(body).substr(kKeyHeader.size()), seed))
        key = FromSeed(seed);
    sodium_memzero(seed.data(), seed.size());
    if (!key)
        error = "the signing key " + path.string() + " is not a key";
    return key;
}

// A new key, written under a temporary name and linked into place so that a
// key file is whole or absent, and one made meanwhile by another process wins.
std::optional<SigningKey> CreateKey(const fs::path& path, std::string& error)
{
    if (!krv_make_private_folder(path.parent_path())) {
        error = "cannot make the folder " + path.parent_path().string() + " for the signing key";
        return std::nullopt;
    }
    std::array<uint8_t, 32> seed{};
    randombytes_buf(seed.data(), seed.size());
    std::optional<SigningKey> key = FromSeed(seed);
    const std::string text = std::string(kKeyHeader) + Base64(seed.data(), seed.size()) + "\n";
    sodium_memzero(seed.data(), seed.size());
    std::string temp = (path.parent_path() / ".signing.key.XXXXXX").string();
    const int fd = mkstemp(temp.data());
    if (fd < 0 || !key) {
        error = "cannot write the signing key " + path.string() + ": " + std::strerror(errno);
        return std::nullopt;
    }
    const bool written =
        fchmod(fd, 0600) == 0 && write(fd, text.data(), text.size()) == ssize_t(text.size()) && fsync(fd) == 0;
    close(fd);
    const bool linked = written && link(temp.c_str(), path.c_str()) == 0;
    const int linkError = errno;
    unlink(temp.c_str());
    if (!linked) {
        if (written && linkError == EEXIST)
            return ReadKey(path, error);
        error = "cannot write the signing key " + path.string() + ": " + std::strerror(linkError);
        return std::nullopt;
    }
    return key;
}

} // namespace

fs::path DefaultSigningKeyPath()
{
    const fs::path config = krv_config_home();
    return config.empty() ? fs::path() : config / kKrvAppFolder / "signing.key";
}

std::optional<SigningKey> LoadSigningKey(const fs::path& path, bool create, std::string& error)
{
    error.clear();
    if (!SodiumReady()) {
        error = "the signature library cannot start";
        return std::nullopt;
    }
    if (path.empty()) {
        error = "there is no folder for the signing key (no home folder)";
        return std::nullopt;
    }
    struct stat st {};
    if (create && lstat(path.c_str(), &st) != 0 && errno == ENOENT)
        return CreateKey(path, error);
    return ReadKey(path, error);
}

std::string PublicKeyText(const PublicKey& key)
{
    return std::string(kPublicPrefix) + Base64(key.data(), key.size());
}

std::optional<PublicKey> ParsePublicKey(std::string_view text)
{
    std::string t = Trimmed(text);
    std::string_view body = t;
    if (body.starts_with(kPublicPrefix))
        body.remove_prefix(kPublicPrefix.size());
    PublicKey key{};
    if (!SodiumReady() || !FromBase64(body, key))
        return std::nullopt;
    return key;
}

std::string KeyFingerprint(const PublicKey& key)
{
    uint8_t digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, key.data(), key.size());
    static const char hex[] = "0123456789abcdef";
    std::string s;
    for (int i = 0; i < 16; ++i) {
        if (i && i % 2 == 0)
            s += ':';
        s += hex[digest[i] >> 4];
        s += hex[digest[i] & 15];
    }
    return s;
}

std::string SignatureText(const Signature& signature)
{
    return Base64(signature.data(), signature.size()) + "\n";
}

std::optional<Signature> ParseSignature(std::string_view text)
{
    const std::string body = Trimmed(text);
    Signature sig{};
    if (!SodiumReady() || !FromBase64(std::string_view(body), sig))
        return std::nullopt;
    return sig;
}

Signature SignBytes(std::string_view bytes, const SigningKey& key)
{
    Signature sig{};
    crypto_sign_detached(sig.data(), nullptr, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                         key.secretKey.data());
    return sig;
}

bool VerifyBytes(std::string_view bytes, const Signature& signature, const PublicKey& key)
{
    return SodiumReady() &&
           crypto_sign_verify_detached(signature.data(), reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                       key.data()) == 0;
}

} // namespace vedra
