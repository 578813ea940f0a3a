// SIGTERM, SIGINT and SIGHUP end krvtool's long commands through their normal
// clean-up: the handler only records the signal, raises the stop flag a
// running split watches and makes a descriptor readable; the commands poll StopSignal() or watch the
// descriptor, clean up as on any exit, and main then ends the process by the
// signal that arrived.
#pragma once

#include <atomic>

namespace krvtool {

// Installs the handlers (once). Called by the commands that clean up.
void InstallStopSignals();

// The signal that arrived, 0 while none did.
int StopSignal();

// Readable once a signal arrived.
int StopSignalFd();

// True once a signal arrived: the stop flag for KrvSplitOptions.
const std::atomic<bool>& StopFlag();

// Ends the process by the signal that arrived (its default action), after
// flushing stdout and stderr. Returns only when none arrived.
void RaiseStopSignal();

} // namespace krvtool
