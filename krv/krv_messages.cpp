#include "krv_messages.h"

#include <array>
#include <cstring>

#include "krv/krv_types.h"

namespace {

struct NamedCode {
    int code;
    const char* name;
    bool namedWhileOpening; // the open phase names only the codes of the container itself
};

constexpr std::array<NamedCode, 15> kNamedCodes{{
    {-9000, "KRV_ERROR_FAIL_OPEN_FILE", true},
    {-9003, "KRV_ERROR_INVALID_PACKET_SIZE", true},
    {-9004, "KRV_ERROR_INVALID_MULTIPAYLOAD_SIZE", true},
    {-9005, "KRV_ERROR_INVALID_STREAM_NUMBER", true},
    {-9006, "KRV_ERROR_INVALID_PAYLOAD_COUNT", true},
    {-9007, "KRV_ERROR_INVALID_PAYLOAD_HEADER", true},
    {-300, "KRV_ERROR_INVALID_LENGTH", false},
    {-301, "KRV_ERROR_INVALID_VALUE", false},
    {-302, "KRV_ERROR_INVALID_OBJECT", false},
    {-303, "KRV_ERROR_INVALID_OBJECT_SIZE", false},
    {-100, "KRV_ERROR_INTERNAL", false},
    {-202, "KRV_ERROR_IO", false},
    {-101, "KRV_ERROR_OUTOFMEM", false},
    {-200, "KRV_ERROR_NEEDS_BYTES", false},
    {-201, "KRV_ERROR_EOF", false},
}};

} // namespace

std::string krv_error_message(int code, KrvPhase phase)
{
    if (code >= 0)
        return {};
    for (const NamedCode& row : kNamedCodes) {
        if (row.code != code)
            continue;
        if (phase == KrvPhase::Open && !row.namedWhileOpening)
            break;
        return std::string("The KRV File Parse Error (") + row.name + ").....";
    }
    return phase == KrvPhase::Open ? "The KRV File Parse Error (?]....." : "The KRV File Parse Error ( ? ).....";
}

std::string krv_error_name(int code)
{
    switch (code) {
    case KRV_ERROR_INTERNAL: return "KRV_ERROR_INTERNAL";
    case KRV_ERROR_OUTOFMEM: return "KRV_ERROR_OUTOFMEM";
    case KRV_ERROR_NEEDS_BYTES: return "KRV_ERROR_NEEDS_BYTES";
    case KRV_ERROR_EOF: return "KRV_ERROR_EOF";
    case KRV_ERROR_IO: return "KRV_ERROR_IO";
    case KRV_ERROR_INVALID_LENGTH: return "KRV_ERROR_INVALID_LENGTH";
    case KRV_ERROR_INVALID_VALUE: return "KRV_ERROR_INVALID_VALUE";
    case KRV_ERROR_INVALID_OBJECT: return "KRV_ERROR_INVALID_OBJECT";
    case KRV_ERROR_INVALID_OBJECT_SIZE: return "KRV_ERROR_INVALID_OBJECT_SIZE";
    case KRV_ERROR_SEEK: return "KRV_ERROR_SEEK";
    case KRV_ERROR_FAIL_OPEN_FILE: return "KRV_ERROR_FAIL_OPEN_FILE";
    case KRV_ERROR_INVALID_PACKET_SIZE: return "KRV_ERROR_INVALID_PACKET_SIZE";
    case KRV_ERROR_INVALID_MULTIPAYLOAD_SIZE: return "KRV_ERROR_INVALID_MULTIPAYLOAD_SIZE";
    case KRV_ERROR_INVALID_STREAM_NUMBER: return "KRV_ERROR_INVALID_STREAM_NUMBER";
    case KRV_ERROR_INVALID_PAYLOAD_COUNT: return "KRV_ERROR_INVALID_PAYLOAD_COUNT";
    case KRV_ERROR_INVALID_PAYLOAD_HEADER: return "KRV_ERROR_INVALID_PAYLOAD_HEADER";
    default: return std::to_string(code);
    }
}

std::string krv_failure_text(const KrvSplitFailure& failure)
{
    if (failure.systemError == 0)
        return {};
    std::string text = std::strerror(failure.systemError);
    if (!failure.path.empty())
        text += " (" + failure.path + ")";
    return text;
}
