// Launches Xvfb with -displayfd, which picks a free display number itself
// and writes it to the pipe once the server accepts connections: no guessing
// of numbers, no race with other servers started at the same time.
#include "tests/sdl/xvfb_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace XvfbServer {
namespace {
pid_t serverPid = -1;
std::string display;
}  // namespace

bool Start(const char* screen) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        // A test program that crashes or is killed on a timeout must not
        // leave its server behind.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        // The write end must survive exec; everything else may close.
        int writeFd = dup(fds[1]);
        int devNull = open("/dev/null", O_RDWR);
        dup2(devNull, 1);
        dup2(devNull, 2);
        std::string fd = std::to_string(writeFd);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten",
               "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (poll(&p, 1, 20000) > 0) {
        char c;
        if (read(fds[0], &c, 1) != 1 || c == '\n') break;
        number.push_back(c);
    }
    close(fds[0]);
    if (number.empty()) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return false;
    }
    serverPid = pid;
    display = ":" + number;
    setenv("DISPLAY", display.c_str(), 1);
    return true;
}

void Stop() {
    if (serverPid <= 0) return;
    kill(serverPid, SIGTERM);
    waitpid(serverPid, nullptr, 0);
    serverPid = -1;
}

const std::string& DisplayName() { return display; }
}  // namespace XvfbServer
