// The engine's module state: one definition, in the library that holds the
// reading code, so that a host linking that library keeps its own copy.
#include "engine_state.h"

namespace qel {

EngineState g_engine;

}  // namespace qel
