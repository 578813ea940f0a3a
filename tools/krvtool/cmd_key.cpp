// krvtool key [--key-file FILE]: the public key that signs exported evidence
// and its fingerprint, making the key at first use. The secret key is never printed.
#include <cstdio>
#include <string>

#include "commands.h"
#include "evidence/signing_key.h"
#include "tool_report.h"

namespace krvtool {
namespace {

constexpr const char* kKeyUsage = "usage: krvtool key [--key-file FILE]\n"
                                  "  the public key that signs exports (made at first use in\n"
                                  "  ~/.config/Vedra Media Player/signing.key, 0600) and its fingerprint\n";

} // namespace

int runKey(std::span<char* const> args)
{
    std::filesystem::path file = vedra::DefaultSigningKeyPath();
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string a = args[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kKeyUsage, stdout);
            return kExitOk;
        }
        if (a == "--key-file" && i + 1 < args.size()) {
            file = args[++i];
            continue;
        }
        reportError(a == "--key-file" ? "--key-file needs a file" : "unknown argument " + a);
        std::fputs(kKeyUsage, stderr);
        return kExitUsage;
    }
    std::string error;
    const std::optional<vedra::SigningKey> key = vedra::LoadSigningKey(file, true, error);
    if (!key) {
        reportError(error);
        return kExitFailed;
    }
    std::printf("Public key:  %s\nFingerprint: %s\nKey file:    %s\n", vedra::PublicKeyText(key->publicKey).c_str(),
                vedra::KeyFingerprint(key->publicKey).c_str(), file.c_str());
    return kExitOk;
}

} // namespace krvtool
