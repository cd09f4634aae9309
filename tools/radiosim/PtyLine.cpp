#include "tools/radiosim/PtyLine.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace radiosim {

CPtyLine::~CPtyLine()
{
    Close();
}

static std::string Errno(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

bool CPtyLine::Open(const std::string& linkPath, std::string& err)
{
    Close();
    int m = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m < 0) {
        err = Errno("posix_openpt");
        return false;
    }
    const char* name = (grantpt(m) == 0 && unlockpt(m) == 0) ? ptsname(m) : nullptr;
    if (!name) {
        err = Errno("pty setup");
        close(m);
        return false;
    }
    m_master = m;
    m_slave = name;

    // Raw line at 9600 until the PC sets its own: no echo, no translation.
    termios t{};
    if (tcgetattr(m, &t) == 0) {
        cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD | CSTOPB;
        cfsetspeed(&t, B9600);
        tcsetattr(m, TCSANOW, &t);
    }

    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        err = Errno("pipe");
        Close();
        return false;
    }
    pid_t pid = fork();
    if (pid < 0) {
        err = Errno("fork");
        close(ready[0]);
        close(ready[1]);
        Close();
        return false;
    }
    if (pid == 0) {
        // The child: a session of its own with the slave as its terminal.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        close(m); // only the parent may hold the master, or a close would not hang up
        close(ready[0]);
        signal(SIGTERM, SIG_DFL);
        signal(SIGINT, SIG_IGN);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        char ok = 0;
        if (setsid() >= 0) {
            int s = open(m_slave.c_str(), O_RDWR);
            if (s >= 0 && ioctl(s, TIOCSCTTY, 0) == 0)
                ok = 1;
        }
        if (write(ready[1], &ok, 1) != 1)
            _exit(1);
        if (!ok)
            _exit(1);
        for (;;)
            pause();
    }
    close(ready[1]);
    char ok = 0;
    ssize_t got;
    do
        got = read(ready[0], &ok, 1);
    while (got < 0 && errno == EINTR);
    close(ready[0]);
    m_child = pid;
    if (got != 1 || !ok) {
        err = "could not make the pty the child's controlling terminal";
        Close();
        return false;
    }

    // Replace the link in one step so the PC never sees a missing port.
    std::string tmp = linkPath + ".radiosim-new";
    unlink(tmp.c_str());
    if (symlink(m_slave.c_str(), tmp.c_str()) != 0 || rename(tmp.c_str(), linkPath.c_str()) != 0) {
        err = Errno(("linking " + linkPath).c_str());
        unlink(tmp.c_str());
        Close();
        return false;
    }
    m_link = linkPath;
    return true;
}

void CPtyLine::Close()
{
    if (m_master >= 0) {
        close(m_master);
        m_master = -1;
    }
    if (m_child > 0) {
        kill(m_child, SIGTERM);
        while (waitpid(m_child, nullptr, 0) < 0 && errno == EINTR) {
        }
        m_child = -1;
    }
}

void CPtyLine::Unlink()
{
    if (m_link.empty())
        return;
    char target[256];
    ssize_t n = readlink(m_link.c_str(), target, sizeof target - 1);
    if (n > 0) {
        target[n] = 0;
        if (m_slave == target)
            unlink(m_link.c_str());
    }
    m_link.clear();
}

unsigned CPtyLine::Speed() const
{
    termios t{};
    if (m_master < 0 || tcgetattr(m_master, &t) != 0)
        return 0;
    switch (cfgetospeed(&t)) {
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    default:
        return 0;
    }
}

} // namespace radiosim
