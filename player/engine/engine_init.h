// Process-wide set-up of the engine: GStreamer and our own elements.
#pragma once

namespace vedra {

// Initialises GStreamer (when the program has not) and registers the KRV
// source. Safe to call many times from the GUI thread; every graph calls it.
bool EngineInit();

} // namespace vedra
