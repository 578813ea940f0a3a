#include "stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

namespace krvtool {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
volatile sig_atomic_t g_signal = 0;
std::atomic<bool> g_stop{false};
// [0] read by the commands' loops, [1] written by the handler.
int g_pipe[2] = {-1, -1};

extern "C" void OnStopSignal(int signal)
{
    const int saved = errno;
    if (g_signal == 0)
        g_signal = signal;
    g_stop.store(true, std::memory_order_relaxed);
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

void InstallStopSignals()
{
    if (g_pipe[0] >= 0 || pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals)
        sigaction(signal, &action, nullptr);
    // A mask inherited from the parent would hold them back; threads started
    // from here on inherit this one.
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kSignals)
        sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

int StopSignal()
{
    return g_signal;
}

int StopSignalFd()
{
    return g_pipe[0];
}

const std::atomic<bool>& StopFlag()
{
    return g_stop;
}

void RaiseStopSignal()
{
    const int signal = g_signal;
    if (signal == 0)
        return;
    std::fflush(stdout);
    std::fflush(stderr);
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    raise(signal);
}

} // namespace krvtool
