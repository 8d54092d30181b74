#include "support/process/process.h"

#include <cstdio>
#include <cstdlib>

namespace {
Process::EndSequence endSequence = nullptr;
int32_t ending = 0;
}  // namespace

namespace Process {
void SetEndSequence(EndSequence sequence) { endSequence = sequence; }

void End() {
    // A hook that fails and ends again must not run the sequence twice.
    if (ending == 0 && endSequence != nullptr) {
        ending = 1;
        endSequence();
    }
    FinishConsoleLines();
    std::fflush(nullptr);
    // Every way out ends with exit code 0, also after a failed check.
    std::exit(0);
}

void EndIfStopRequested() {
    if (StopRequested()) End();
}
}  // namespace Process
