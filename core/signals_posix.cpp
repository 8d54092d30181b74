// Termination signals only raise a flag; the response wait notices it and the
// run ends through the ordinary shutdown, so no answered line is lost.
#include <csignal>
#include <initializer_list>

#include "core/runtime.h"

namespace {
volatile std::sig_atomic_t stopRequested = 0;

extern "C" void OnStopSignal(int) { stopRequested = 1; }
}  // namespace

namespace Runtime {
void InstallStopSignals() {
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaction(signalNumber, &action, nullptr);
}

int32_t StopRequested() { return stopRequested != 0 ? 1 : 0; }
}  // namespace Runtime
