// Start-up and shutdown of every module in a fixed order.
#pragma once

namespace Runtime {
// Starts every module, runs the experiment, shuts down; never returns.
[[noreturn]] void Run();
// The same with the timing check in place of the experiment; `version` is
// wordtap's, for its report.
[[noreturn]] void RunCheck(const char* version);
}  // namespace Runtime
