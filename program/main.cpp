#include "program/runtime.h"

// No arguments: everything the run needs comes from ./data.
int main() { Runtime::Run(); }
