// Interrupt, terminate and hang-up only raise a flag: the run ends through
// the ordinary shutdown at the next place that checks it.
#include <csignal>
#include <initializer_list>

#include "support/process/process.h"

namespace {
volatile std::sig_atomic_t stopRequested = 0;

extern "C" void OnStopSignal(int) { stopRequested = 1; }
}  // namespace

namespace Process {
void InstallStopHandlers() {
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaction(signalNumber, &action, nullptr);
}

int32_t StopRequested() { return stopRequested != 0 ? 1 : 0; }

void RequestStop() { stopRequested = 1; }
}  // namespace Process
