#include "display/error_box.h"

#include <cstdio>

#include "display/backend.h"

int32_t ShowErrorBox(const char* title, const char* text) {
    std::fprintf(stderr, "%s\n", text != nullptr ? text : "");
    std::fflush(stderr);
    return DisplayBackend::MessageBox(title != nullptr ? title : "", text != nullptr ? text : "");
}
