// The box through which a failed check reaches the user.
#pragma once
#include <cstdint>
#include <string_view>

// Modal box with one OK button over everything the program shows; the text
// also goes to standard error, which is all a user sees without a display.
// A non-empty `reason` (the system's, with the path) follows it there in
// brackets; the box keeps the text alone.
int32_t ShowErrorBox(const char* title, const char* text, std::string_view reason = {});
