#include <string_view>

#include "program/command_line.h"
#include "program/runtime.h"
#include "support/process/process.h"
#include "wordtap_version.h"

namespace {
// Line by line through the console writer: on Windows that reaches the
// console the program was started from, and never waits for it.
void WriteLines(Process::ConsoleStream stream, std::string_view text) {
    while (!text.empty()) {
        const size_t end = text.find('\n');
        Process::WriteConsoleLine(stream, text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    Process::FinishConsoleLines();
}
}  // namespace

// Everything the run itself needs comes from ./data; the command line only
// asks for the timing check, help or the version.
int main(int argc, char** argv) {
    const CommandLine::Decision decision = CommandLine::Decide(argc, argv);
    if (decision.what == CommandLine::Run) Runtime::Run();
    if (decision.what == CommandLine::Check) Runtime::RunCheck(WT_VERSION_TEXT);
    // Attaches to the parent's console on Windows, where the program has none
    // of its own.
    Process::InstallStopHandlers();
    if (decision.what == CommandLine::Refuse) {
        WriteLines(Process::StandardError, decision.text);
        return CommandLine::UsageError;
    }
    WriteLines(Process::StandardOutput, decision.text);
    return 0;
}
