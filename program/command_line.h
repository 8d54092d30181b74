// What the command line asks for. Decided before any module starts, so that
// asking for help or the version creates no folder and no results file.
#pragma once
#include <string>

namespace CommandLine {
enum What { Run, Check, Print, Refuse };

struct Decision {
    What what;
    std::string text;  // Print: for standard output; Refuse: for standard error
};

// No argument runs the experiment; an option of the table prints its text or
// runs the timing check; anything else is refused.
Decision Decide(int argc, const char* const* argv);

// Exit status of a refused command line, as usual for a usage error.
constexpr int UsageError = 2;
}  // namespace CommandLine
