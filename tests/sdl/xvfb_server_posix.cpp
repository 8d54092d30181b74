// Xvfb with -displayfd picks a free display number itself and writes it once
// it accepts connections: no guessed numbers, no race with other servers.
#include "tests/sdl/xvfb_server.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace XvfbServer {
namespace {
pid_t serverPid = -1;
std::string display;
}  // namespace

bool Start(const char* screen) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);  // a crashed or killed test leaves no server behind
        std::string fd = std::to_string(dup(fds[1]));  // the dup survives exec
        int devNull = open("/dev/null", O_RDWR);
        dup2(devNull, 1);
        dup2(devNull, 2);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp",
               "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    // A server that fails closes the pipe; the ctest timeout bounds one that hangs.
    for (char c; pid > 0 && read(fds[0], &c, 1) == 1 && c != '\n';) number.push_back(c);
    close(fds[0]);
    if (number.empty()) {
        if (pid > 0) kill(pid, SIGKILL);
        if (pid > 0) waitpid(pid, nullptr, 0);
        return false;
    }
    serverPid = pid;
    display = ":" + number;
    return setenv("DISPLAY", display.c_str(), 1) == 0;
}

void Stop() {
    if (serverPid <= 0) return;
    kill(serverPid, SIGTERM);
    waitpid(serverPid, nullptr, 0);
    serverPid = -1;
}

const std::string& DisplayName() { return display; }
}  // namespace XvfbServer
