#include "engine_session.h"

#include <cstdio>
#include <ctime>
#include <set>
#include <sstream>

#include "krv/krv_config.h"
#include "krv/krv_convert.h"
#include "krv/krv_reader.h"
#include "krv/krv_workfolder.h"
#include "message_box.h"

namespace krvtool {
namespace fs = std::filesystem;

namespace {

// A channel file the split wrote for a channel that never started holds a header only.
bool HoldsPackets(const std::string& path)
{
    KrvFilePtr f(krv_open(path, true));
    return f && krv_init(f.get()) > 0 && f->dataPacketsCount > 0;
}

std::set<fs::path> WorkFolders(const fs::path& root)
{
    std::set<fs::path> folders;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(root, ec))
        if (entry.path().filename().string().rfind("tempFile", 0) == 0)
            folders.insert(entry.path());
    return folders;
}

}  // namespace

EngineSession::EngineSession()
{
    vedra::SetMessageBoxHook([](const std::string& text, const std::string& caption, void*) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    });
}

EngineSession::~EngineSession()
{
    if (!folder_.empty()) {
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
}

bool EngineSession::Open(const std::string& recording)
{
    std::error_code ec;
    if (!fs::is_regular_file(recording, ec)) {
        std::fprintf(stderr, "krvtool: cannot open %s\n", recording.c_str());
        return false;
    }
    const fs::path root = krv_work_root();
    const std::set<fs::path> before = WorkFolders(root);
    const KrvConversion c = krv_convert_recording(recording, krv_av_sync_enabled(), root);
    for (const KrvUserMessage& m : c.messages)
        std::fprintf(stderr, "%s: %s\n", m.caption.empty() ? vedra::kProgramName : m.caption.c_str(), m.text.c_str());
    if (!c.split) {
        // A split that failed half-way leaves its new working folder behind.
        for (const fs::path& folder : WorkFolders(root))
            if (!before.count(folder))
                fs::remove_all(folder, ec);
        // Fewer than two media streams: the file plays as it is, as one channel.
        if (!c.messages.empty())
            return false;
        channels_[1] = c.result;
        return true;
    }
    folder_ = c.result;
    for (const auto& entry : fs::directory_iterator(folder_, ec)) {
        const std::string name = entry.path().filename().string();
        const std::string path = entry.path().string();
        if (name == "Audio1.wav") {
            if (entry.file_size(ec) > 90)
                audio_ = path;
            continue;
        }
        // "Video%d.krv", or "<name>_Video%d.asf" in the A/V-sync mode.
        const auto at = name.rfind("Video");
        if (at == std::string::npos || at + 6 > name.size())
            continue;
        const int n = name[at + 5] - '0';
        if (n >= 1 && n <= 4 && HoldsPackets(path))
            channels_[n] = path;
    }
    if (channels_.empty()) {
        std::fprintf(stderr, "krvtool: %s holds no channel with pictures\n", recording.c_str());
        return false;
    }
    return true;
}

void MainLoopNotify::PostMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam)
{
    struct Call {
        MainLoopNotify* self;
        uint32_t msg;
        uintptr_t wParam;
        intptr_t lParam;
    };
    // Always queued, even when posted from the loop's own thread.
    auto* call = new Call{this, msg, wParam, lParam};
    GSource* source = g_idle_source_new();
    g_source_set_callback(
        source,
        [](gpointer data) -> gboolean {
            auto* c = static_cast<Call*>(data);
            c->self->handler_(c->msg, c->wParam, c->lParam);
            return G_SOURCE_REMOVE;
        },
        call, [](gpointer data) { delete static_cast<Call*>(data); });
    g_source_attach(source, g_main_loop_get_context(loop_));
    g_source_unref(source);
}

bool ParseChannelList(const std::string& text, std::vector<int>& channels)
{
    channels.clear();
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        if (item.size() != 1 || item[0] < '1' || item[0] > '4')
            return false;
        channels.push_back(item[0] - '0');
    }
    return !channels.empty();
}

}  // namespace krvtool
