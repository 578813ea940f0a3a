// The thread snapshots are converted, encoded and written on, so a streaming thread that
// takes a frame for a snapshot only hands it over and goes on decoding.
#pragma once

#include <functional>

namespace vedra {

// Any thread. Runs `job` on the snapshot thread, after the jobs posted before it; the jobs
// still queued when the process ends are run before it exits.
void PostSnapshotJob(std::function<void()> job);

} // namespace vedra
