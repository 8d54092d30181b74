#include <cstdio>

#include "program/command_line.h"
#include "program/runtime.h"

// Everything the run itself needs comes from ./data; the command line only
// asks for the timing check, help or the version.
int main(int argc, char** argv) {
    const CommandLine::Decision decision = CommandLine::Decide(argc, argv);
    if (decision.what == CommandLine::Run) Runtime::Run();
    if (decision.what == CommandLine::Check) Runtime::RunCheck();
    if (decision.what == CommandLine::Refuse) {
        std::fputs(decision.text.c_str(), stderr);
        return CommandLine::UsageError;
    }
    std::fputs(decision.text.c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;  // a full disk or a closed pipe
}
