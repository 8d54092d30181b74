// The headless display on a clock the test moves by hand: script events
// fire once `ScriptedDisplay::now` (microseconds) reaches them.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "display/backends/headless/headless.h"

namespace ScriptedDisplay {
using Event = Headless::ScriptEvent;
inline int64_t now = 0;
inline int64_t Now() { return now; }
inline void Configure(Headless::Config config = {}, std::vector<Event> script = {}) {
    now = 0;
    config.nowMicros = Now;
    if (!script.empty()) config.script = std::move(script);
    Headless::Configure(config);
}
}  // namespace ScriptedDisplay
