#include "display/error_box.h"

#include "display/backend.h"
#include "support/process/process.h"

int32_t ShowErrorBox(const char* title, const char* text) {
    Process::WriteConsoleLine(Process::StandardError, text != nullptr ? text : "");
    return DisplayBackend::MessageBox(title != nullptr ? title : "", text != nullptr ? text : "");
}
