// Start-up and shutdown of every module in a fixed order.
#pragma once

namespace Runtime {
// Starts every module, runs the experiment, shuts down; never returns.
[[noreturn]] void Run();
}  // namespace Runtime
