#include "tool_report.h"

#include <cstdio>

#include "krv/krv_types.h"

namespace krvtool {

std::string errorName(int code)
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

namespace {

void printContainerError(int code, const std::string& message, const std::string& reason)
{
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fprintf(stderr, "krvtool: error %d (%s)%s%s\n", code, errorName(code).c_str(), reason.empty() ? "" : ": ",
                 reason.c_str());
}

} // namespace

void reportContainerError(int code, KrvPhase phase, const std::string& reason)
{
    printContainerError(code, krv_error_message(code, phase), reason);
}

void reportContainerError(int code, const std::string& message)
{
    printContainerError(code, message, {});
}

void reportError(const std::string& text)
{
    std::fprintf(stderr, "krvtool: %s\n", text.c_str());
}

} // namespace krvtool
