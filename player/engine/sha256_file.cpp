#include "sha256_file.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace vedra {
namespace {

constexpr size_t kChunk = 1 << 20;

struct DigestFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
struct FileClose {
    void operator()(FILE* f) const { std::fclose(f); }
};

} // namespace

std::string Sha256OfFile(const std::string& path, std::stop_token stop, std::string& error)
{
    std::unique_ptr<FILE, FileClose> in(std::fopen(path.c_str(), "rb"));
    if (!in) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return {};
    }
    std::unique_ptr<EVP_MD_CTX, DigestFree> ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) {
        error = "no SHA-256";
        return {};
    }
    std::vector<unsigned char> buffer(kChunk);
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0) {
        if (stop.stop_requested()) {
            error = "cancelled";
            return {};
        }
        EVP_DigestUpdate(ctx.get(), buffer.data(), n);
    }
    if (std::ferror(in.get())) {
        error = "cannot read " + path;
        return {};
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(ctx.get(), digest, &length);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

std::string Sha256Line(const std::string& digest, const std::string& name)
{
    return digest + "  " + name + "\n";
}

} // namespace vedra
