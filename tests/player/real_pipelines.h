// Window tests on real pipelines: krvsynth recordings, the engine behind the window and the
// sample recording beside the program. Needs KRVSYNTH_PATH and SAMPLE_PATH.
#pragma once

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "player_fixture.h"
#include "shell/engine_setup.h"

namespace vedra::test {

// Writes fx.home/rec/<name> with krvsynth; empty when krvsynth fails.
inline QString Synth(PlayerFixture& fx, const QString& name, const QStringList& options)
{
    const QString path = fx.home.filePath("rec/" + name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QProcess synth;
    synth.start(QStringLiteral(KRVSYNTH_PATH), QStringList{path} + options);
    if (!synth.waitForFinished(60000) || synth.exitCode() != 0)
        return {};
    return path;
}

// A dialog on the engine, not yet initialised, with test.krv beside its program folder.
inline std::unique_ptr<CVedraPlayerDlg> MakeRealDialog(PlayerFixture& fx)
{
    auto d = fx.MakeDialog(false);
    SetUpEngine(*d);
    d->files().openPauseMs = 500;
    QFile::copy(QStringLiteral(SAMPLE_PATH), fx.home.filePath("prog/test.krv"));
    return d;
}

// A recording written with krvsynth and dropped on an initialised dialog on the engine;
// null when krvsynth or the dialog's initialisation fails.
inline std::unique_ptr<CVedraPlayerDlg> OpenRealRecording(PlayerFixture& fx, const QString& name,
                                                          const QStringList& options)
{
    const QString path = Synth(fx, name, options);
    if (path.isEmpty())
        return nullptr;
    auto d = MakeRealDialog(fx);
    if (!d->OnInitDialog())
        return nullptr;
    d->OnDropFiles({path});
    return d;
}

} // namespace vedra::test
