// Bus events of a CDXGraph. On the streaming thread the bus's sync handler
// only keeps end of stream and errors (a reference each) and announces them to
// the notify target; the graph's owner drains them in HandleGraphEvents, which
// also writes errors to stderr with the file they came from, so a user or a
// bug report can say why a channel stopped.
#include <algorithm>
#include <cstdio>

#include "cdxgraph.h"

namespace vedra {
namespace {

void LogBusError(GstMessage* msg, const std::string& file)
{
    GError* raw = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(msg, &raw, &debug);
    ErrorHandle error = ErrorHandle::Adopt(raw);
    GCharHandle details(debug);
    std::fprintf(stderr, "VedraPlayer: %s: %s\n", file.c_str(), error ? error->message : "stream error");
    if (debug != nullptr)
        std::fprintf(stderr, "VedraPlayer: %s: (%s)\n", file.c_str(), details.get());
}

} // namespace

void CDXGraph::SetNotifyWindow(INotifyTarget* target, uint32_t msg, intptr_t param)
{
    std::lock_guard lock(notifyMutex_);
    notifyTarget_ = target;
    notifyMsg_ = msg;
    notifyParam_ = param;
}

// Any thread. Everything but end of stream and errors is of no use to the
// player and is dropped; those two are kept as they are and handed over.
GstBusSyncReply CDXGraph::OnBusMessage(GstBus*, GstMessage* msg, gpointer data)
{
    auto* self = static_cast<CDXGraph*>(data);
    MessageHandle message = MessageHandle::Adopt(msg); // a dropped message is ours to release
    const GstMessageType type = GST_MESSAGE_TYPE(msg);
    if (type != GST_MESSAGE_EOS && type != GST_MESSAGE_ERROR)
        return GST_BUS_DROP;
    {
        std::lock_guard lock(self->eventMutex_);
        self->events_.push_back(std::move(message));
    }
    std::lock_guard lock(self->notifyMutex_);
    if (self->notifyTarget_)
        self->notifyTarget_->PostMessage(self->notifyMsg_, self->notifyParam_);
    return GST_BUS_DROP;
}

bool CDXGraph::HasQueuedError()
{
    std::lock_guard lock(eventMutex_);
    return std::any_of(events_.begin(), events_.end(),
                       [](const MessageHandle& m) { return GST_MESSAGE_TYPE(m.get()) == GST_MESSAGE_ERROR; });
}

std::optional<GstMessageType> CDXGraph::PopEvent()
{
    MessageHandle message;
    {
        std::lock_guard lock(eventMutex_);
        if (events_.empty())
            return std::nullopt;
        message = std::move(events_.front());
        events_.pop_front();
    }
    const GstMessageType type = GST_MESSAGE_TYPE(message.get());
    if (type == GST_MESSAGE_ERROR)
        LogBusError(message.get(), filePath);
    return type;
}

void CDXGraph::ClearEvents()
{
    std::lock_guard lock(eventMutex_);
    events_.clear();
}

int CDXGraph::HandleGraphEvents()
{
    if (!pipeline_)
        return 1;
    for (;;) {
        const auto event = PopEvent();
        if (!event)
            return 1;
        if (*event == GST_MESSAGE_EOS) {
            if (!IsPaused())
                Pause();
            SeekTo(0.0);
            return 2;
        }
        if (*event == GST_MESSAGE_ERROR) {
            SeekTo(0.0);
            if (!IsStopped())
                Stop();
            pendingSeek_ = 0.0;
            return 0;
        }
    }
}

} // namespace vedra
