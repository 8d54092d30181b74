// Microsecond stamps of the steps around a reaction time, for the timing
// bench: only a build configured with WORDTAP_STEP_TRACE records them; in
// every other build Mark is empty and inlined away.
#pragma once
#include <cstdint>

namespace StepTrace {

enum Step : int32_t {
    ClockRead = 1,    // value: the milliseconds returned
    PresentBegin,
    PresentDrawn,     // the frame is drawn, not yet handed over
    GridWoken,        // value: the grid point slept to, in ns
    PresentDone,
    WaitBegin,        // about to sleep on the input connection
    WaitWoken,        // value: 1 when something arrived, 0 on time-out
    SnapshotPumped,   // value: 1 while W is down; kept only when it changes
    PresentQueued,    // the present handed over; its completion not yet seen
};

#if defined(WORDTAP_STEP_TRACE)
// Takes no lock and allocates nothing: a fixed table, written out to the
// file named by the environment variable WORDTAP_STEP_TRACE at exit.
void Mark(Step step, int64_t value = 0);
#else
inline void Mark(Step, int64_t = 0) {}
#endif

}  // namespace StepTrace
