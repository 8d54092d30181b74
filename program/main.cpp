#include <cstring>

#include "program/runtime.h"

// Everything a run needs comes from ./data; "--check" runs the timing check
// instead of the experiment.
int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--check") == 0) Runtime::RunCheck();
    Runtime::Run();
}
