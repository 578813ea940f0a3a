// Shared set-up of the window tests: a private XDG home, recorded message boxes, scripted
// graphs and a scripted split that writes the named files into a fresh working folder.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "fake_graph.h"
#include "krv/krv_workfolder.h"
#include "shell/VedraPlayerDlg.h"
#include "shell/app_paths.h"
#include "shell/message_box.h"

namespace vedra::test {

// Starts the player program (or another) as a user would, on the offscreen platform.
inline void StartOffscreen(QProcess& process, const QString& program, const QStringList& args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(env);
    process.start(program, args);
}

class PlayerFixture {
public:
    PlayerFixture()
    {
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
        qputenv("XDG_RUNTIME_DIR", home.filePath("run").toUtf8());
        qputenv("XDG_PICTURES_DIR", home.filePath("pictures").toUtf8());
        qputenv("XDG_CACHE_HOME", home.filePath("cache").toUtf8()); // the folder's catalog
        QDir().mkpath(home.filePath("prog"));
        QDir().mkpath(home.filePath("rec"));
        world.files["test.krv"] = {};
        previous = SetMessageBoxHook(
            [this](const std::string& text, const std::string&, void*) { messages << QString::fromStdString(text); });
    }
    ~PlayerFixture() { SetMessageBoxHook(previous); }

    std::unique_ptr<CVedraPlayerDlg> MakeDialog(bool init = true)
    {
        auto dialog = std::make_unique<CVedraPlayerDlg>();
        dialog->files().graphFactory = MakeFactory(&world);
        dialog->programFolder = home.filePath("prog").toStdString();
        dialog->files().openPauseMs = 0;
        dialog->files().convertRecording = [this](const std::string& path) {
            ConversionOutcome out{path, splitMessages, {}, creationDate};
            if (splitFiles.empty())
                return out;
            const QString folder =
                QString::fromStdString(WorkRoot()) + QString("/tempFile2026010100%1").arg(++splits, 4, 10, QChar('0'));
            // Made as a conversion makes it: owned by this process, so closing may remove it.
            krv_make_private_folder(WorkRoot());
            krv_create_owned_folder(folder.toStdString());
            out.files.folder = folder.toStdString();
            for (const std::string& name : splitFiles) {
                QFile f(folder + "/" + QString::fromStdString(name));
                f.open(QIODevice::WriteOnly);
                out.files.files.push_back(SplitFileNamed(out.files, name));
            }
            // In channel order, as a split reports them.
            std::stable_sort(out.files.files.begin(), out.files.files.end(),
                             [](const KrvSplitFile& a, const KrvSplitFile& b) { return a.output < b.output; });
            out.result = folder.toStdString();
            return out;
        };
        if (init)
            dialog->OnInitDialog();
        return dialog;
    }

    // A recording file of 700 bytes whose audio channel definition (byte 649) is given.
    QString MakeRecording(const QString& name, unsigned char audioDefinition = 0)
    {
        const QString path = home.filePath("rec/" + name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QByteArray bytes(700, '\0');
        bytes[649] = static_cast<char>(audioDefinition);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }

    // What the split reports for a file it wrote under one of the splitter's names: "Audio1.wav",
    // "VideoN.krv", or "<name>_VideoN.asf" of the A/V-sync mode.
    static KrvSplitFile SplitFileNamed(KrvSplitFiles& files, const std::string& name)
    {
        KrvSplitFile file;
        file.path = files.folder + "/" + name;
        const size_t video = name.rfind("Video");
        if (video != std::string::npos && video + 5 < name.size())
            file.output = name[video + 5] - '0';
        files.avSync = files.avSync || name.ends_with(".asf");
        return file;
    }

    // The split writes these names; each renders as world.files says.
    void Channels(const std::vector<std::string>& names) { splitFiles = names; }
    // A recording whose split writes one channel file that renders.
    void OneChannel()
    {
        world.files["Video1.krv"] = {};
        Channels({"Video1.krv"});
    }

    QTemporaryDir home;
    FakeWorld world;
    QStringList messages;
    std::vector<std::string> splitFiles;
    std::vector<std::string> splitMessages;
    uint64_t creationDate = 0; // what the scripted split reports
    int splits = 0;
    MessageBoxHook previous;
};

// The file the window title names (the recorder's time follows it).
inline QString TitleFile(const CVedraPlayerDlg& d)
{
    return d.windowTitle().section(QStringLiteral("  \u2014  "), 0, 0);
}

} // namespace vedra::test
