#include <sys/utsname.h>
#include <unistd.h>

#include "support/process/process.h"

namespace Process {

std::string SystemDescription() {
    utsname name{};
    if (uname(&name) != 0) return "unknown";
    return std::string(name.nodename) + ", " + name.sysname + " " + name.release + " " +
           name.machine + ", " + std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " processors";
}

}  // namespace Process
