#include "krv/krv_convert.h"

#include <algorithm>
#include <ctime>
#include <new>

#include "krv/krv_data_packets.h"
#include "krv/krv_log.h"
#include "krv/krv_messages.h"
#include "krv/krv_recording.h"
#include "krv/krv_workfolder.h"

namespace {

// Collects the reader's own messages (the "Warning" for a bad audio channel
// definition) for the caller while a conversion runs.
class MessageCollector {
public:
    explicit MessageCollector(std::vector<KrvUserMessage>& into)
        : previous_(krv_set_message_hook([&into](std::string_view text, std::string_view caption) {
              into.push_back({std::string(text), std::string(caption)});
          }))
    {
    }
    ~MessageCollector() { krv_set_message_hook(std::move(previous_)); }
    MessageCollector(const MessageCollector&) = delete;
    MessageCollector& operator=(const MessageCollector&) = delete;

private:
    KrvMessageHook previous_;
};

} // namespace

KrvConversion krv_convert_recording(const std::string& path, bool avSync,
                                    const std::vector<std::filesystem::path>& workRoots)
{
    KrvConversion c;
    c.result = path;
    try {
        MessageCollector collect(c.messages);

        int r = krv_open_recording(path);
        if (r < 0) {
            c.messages.push_back({krv_error_message(r, KrvPhase::Open), ""});
            return c;
        }
        if (const KrvFile* file = krv_current_recording())
            c.creationDate = file->creationDate;
        int count = 0;
        if (!krv_count_media_streams(count) || count < 2)
            return c; // played directly; the recording stays current until the next open

        // A recording cut short (the recorder lost power) is split up to its
        // last whole packet; the user is still told that its data ends early.
        KrvFile* recording = krv_current_recording();
        const KrvCutShort cut = krv_keep_whole_packets(recording, krv_file_size(*recording));

        std::filesystem::path folder;
        const std::time_t now = std::time(nullptr);
        const auto made = std::find_if(workRoots.begin(), workRoots.end(), [&](const std::filesystem::path& root) {
            return !root.empty() && krv_create_work_folder(root, now, folder);
        });
        if (made == workRoots.end()) {
            c.messages.push_back({kKrvCreateDirError, ""});
            return c;
        }

        KrvSplitFailure failure;
        const int s = krv_split_current(folder.string(), KrvSplitOptions{avSync, true}, &failure, &c.timeline);
        if (s > 0) {
            c.split = true;
            c.result = folder.string();
            if (cut.cut)
                c.messages.push_back({krv_error_message(KRV_ERROR_EOF, KrvPhase::Split), ""});
            return c;
        }
        krv_remove_owned_folder(folder);
        if (s < 0) {
            std::string text = krv_error_message(s, KrvPhase::Split);
            const std::string reason = krv_failure_text(failure);
            if (!reason.empty())
                text += "\n" + reason;
            c.messages.push_back({text, ""});
        }
    } catch (const std::bad_alloc&) {
        c.split = false;
        c.result = path;
    }
    return c;
}
