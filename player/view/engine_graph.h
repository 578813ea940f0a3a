// The engine's CDXGraph behind the deck's PlaybackGraph interface: panes become frame sinks.
#pragma once

#include <memory>

#include "view/playback_graph.h"

namespace vedra {

class CDXGraph;

// A graph on the engine. The CDXGraph is reachable for the engine's own operations
// (snapshots, export, audio devices).
std::unique_ptr<PlaybackGraph> MakeEngineGraph();
CDXGraph* EngineGraphOf(PlaybackGraph* graph);

} // namespace vedra
