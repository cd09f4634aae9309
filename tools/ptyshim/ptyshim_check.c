/* Checks the shim from inside a process that has it preloaded: on a pty the
 * four modem-line requests succeed and agree with each other, and every
 * change lands in the log. Built for both bitnesses; the 32-bit build uses
 * 64-bit time like Debian's 32-bit Wine, so it goes through __ioctl_time64. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

static int failures;

static void check(int ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

static int lines(int fd)
{
    int v = -1;
    check(ioctl(fd, TIOCMGET, &v) == 0, "TIOCMGET succeeds");
    return v & (TIOCM_DTR | TIOCM_RTS);
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s LOGFILE\n", argv[0]);
        return 2;
    }
    unlink(argv[1]);
    setenv("ORVELLE_PTYSHIM_LOG", argv[1], 1);

    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return 2;
    int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    if (slave < 0)
        return 2;

    int dtr = TIOCM_DTR, rts = TIOCM_RTS, both = TIOCM_DTR | TIOCM_RTS, none = 0;
    check(lines(slave) == 0, "lines start low");
    check(ioctl(slave, TIOCMBIS, &dtr) == 0, "TIOCMBIS succeeds");
    check(lines(slave) == TIOCM_DTR, "DTR raised alone");
    check(ioctl(slave, TIOCMSET, &both) == 0, "TIOCMSET succeeds");
    check(lines(slave) == both, "both raised");
    check(ioctl(slave, TIOCMBIC, &rts) == 0, "TIOCMBIC succeeds");
    check(lines(slave) == TIOCM_DTR, "RTS dropped, DTR kept");

    /* The state belongs to the device, not to one descriptor. */
    int again = open(ptsname(master), O_RDWR | O_NOCTTY);
    check(again >= 0 && lines(again) == TIOCM_DTR, "second descriptor sees the same lines");
    check(ioctl(again, TIOCMSET, &none) == 0, "TIOCMSET to none");

    /* Requests the shim does not handle still fail as before on a non-pty. */
    int null = open("/dev/null", O_RDWR);
    check(ioctl(null, TIOCMBIS, &dtr) == -1, "non-pty still refused");

    FILE* log = fopen(argv[1], "r");
    check(log != NULL, "log written");
    if (log) {
        char buf[4096];
        size_t n = fread(buf, 1, sizeof buf - 1, log);
        buf[n] = 0;
        fclose(log);
        check(strstr(buf, "TIOCMBIS DTR=1 RTS=0\n") != NULL, "log has the DTR raise");
        check(strstr(buf, "TIOCMSET DTR=1 RTS=1\n") != NULL, "log has the RTS raise");
        check(strstr(buf, "TIOCMBIC DTR=1 RTS=0\n") != NULL, "log has the RTS drop");
        int count = 0;
        for (char* p = buf; (p = strchr(p, '\n')) != NULL; ++p)
            ++count;
        check(count == 4, "one line per change, none for reads");
    }
    if (failures == 0)
        printf("ptyshim: all checks passed (%d-bit)\n", (int)(8 * sizeof(void*)));
    return failures ? 1 : 0;
}
