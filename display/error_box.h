// The box through which a failed check reaches the user.
#pragma once
#include <cstdint>

// Modal box with one OK button over everything the program shows; the text
// also goes to standard error, which is all a user sees without a display.
int32_t ShowErrorBox(const char* title, const char* text);
