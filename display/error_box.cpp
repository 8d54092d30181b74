#include "display/error_box.h"

#include <string>

#include "display/backend.h"
#include "support/process/process.h"

int32_t ShowErrorBox(const char* title, const char* text, std::string_view reason) {
    std::string line = text != nullptr ? text : "";
    if (!reason.empty()) line += " (" + std::string(reason) + ")";
    Process::WriteConsoleLine(Process::StandardError, line);
    return DisplayBackend::MessageBox(title != nullptr ? title : "", text != nullptr ? text : "");
}
