#include "krv/krv_convert.h"

#include <algorithm>
#include <ctime>
#include <new>

#include "krv/krv_data_packets.h"
#include "krv/krv_messages.h"
#include "krv/krv_recording.h"
#include "krv/krv_workfolder.h"

KrvConversion krv_convert_recording(const std::string& path, bool avSync,
                                    const std::vector<std::filesystem::path>& workRoots, const KrvMessageSink* sink)
{
    KrvConversion c;
    c.result = path;
    try {
        // The reader's own messages (the "Warning" for a bad audio channel
        // definition) go to the user with the conversion's.
        KrvMessageSink collect;
        if (sink)
            collect.log = sink->log;
        collect.message = [&c](std::string_view text, std::string_view caption) {
            c.messages.push_back({std::string(text), std::string(caption)});
        };

        KrvFilePtr recording;
        int r = krv_open_recording(path, recording, &collect);
        if (r < 0) {
            c.messages.push_back({krv_error_message(r, KrvPhase::Open), ""});
            return c;
        }
        c.creationDate = recording->creationDate;
        if (krv_count_media_streams(*recording) < 2)
            return c; // played directly

        // A recording cut short (the recorder lost power) is split up to its
        // last whole packet; the user is still told that its data ends early.
        const KrvCutShort cut = krv_keep_whole_packets(recording.get(), krv_file_size(*recording));

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
        const KrvSplitOptions options{avSync, true, nullptr, &collect};
        const int s = krv_split(recording.get(), folder.string(), options, &failure, &c.files);
        recording.reset();
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
