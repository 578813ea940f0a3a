// The engine commands live in krvtool-engine beside krvtool: krvtool hands
// them over to it whole, so that its own commands start without Qt and
// GStreamer.
#pragma once

namespace krvtool {

// Replaces this process with krvtool-engine, given the same arguments.
// Returns only when that cannot be done, after saying why: kExitFailed.
int handOverToEngine(char** argv);

} // namespace krvtool
