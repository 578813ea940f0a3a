// Where graph notifications go: the dialog, krvtool's main loop, a test.
#pragma once

#include <cstdint>

namespace vedra {

// Graph notification message (WM_USER + 0x14); the parameter says which graph posted it.
inline constexpr uint32_t MsgGraphNotify = 1044;
// Parameter of the notifications of an AVI export.
inline constexpr intptr_t kExportNotifyParam = 123;

class INotifyTarget {
public:
    virtual ~INotifyTarget() = default;
    // Thread-safe: may be called from any thread (GStreamer streaming threads, the
    // export worker). Must only queue the message; the handler runs later on the
    // target's own (GUI) thread. `sender` says who has news: the parameter a graph was
    // given with SetNotifyWindow, or an export's own (kExportNotifyParam).
    virtual void PostMessage(uint32_t msg, intptr_t sender) = 0;
};

} // namespace vedra
