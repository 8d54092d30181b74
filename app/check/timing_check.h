// The timing check, run instead of the experiment.
#pragma once

// `version` is wordtap's, for the report and its methods sentence. Every way
// out ends the process.
[[noreturn]] void RunTimingCheck(const char* version);
