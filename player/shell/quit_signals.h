// SIGTERM, SIGINT and SIGHUP (logout, kill, Ctrl+C) as a call on the GUI thread: the handler
// only writes the signal number into a socket pair, which a socket notifier reads in the
// Qt event loop.
#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace vedra {

class QuitSignals : public QObject {
public:
    // Installs the handlers; onSignal(signal number) runs on this object's thread. One at a time.
    explicit QuitSignals(std::function<void(int)> onSignal);
    // Restores the default actions.
    ~QuitSignals() override;

    bool installed() const { return notifier_ != nullptr; }

private:
    void OnReadable();

    std::function<void(int)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace vedra
