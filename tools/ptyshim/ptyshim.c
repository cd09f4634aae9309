/* Test support: an LD_PRELOAD library that gives pseudo-terminals the modem
 * lines they lack. Linux answers TIOCMGET, TIOCMBIS, TIOCMBIC and TIOCMSET
 * with ENOTTY on a pty, so Wine's EscapeCommFunction (and the DTR/RTS part of
 * SetCommState) fails on the simulated transceiver's line. For pty
 * descriptors only, and only when the kernel refuses, this library keeps DTR
 * and RTS itself, per device, and answers those four requests from that
 * state. Every other request goes straight to the C library.
 *
 * If ORVELLE_PTYSHIM_LOG names a file, every change request is appended to it
 * as one line: "<pid> <major>:<minor> <request> DTR=<0|1> RTS=<0|1>", the
 * state after the request. Tests read it to see what the program did with
 * the lines (a raised RTS keys the transmitter on many programming cables).
 *
 * 32-bit processes built with 64-bit time (Debian's 32-bit Wine) call
 * __ioctl_time64 instead of ioctl, so both are wrapped there. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

typedef int (*ioctl_fn)(int, unsigned long, ...);

/* Unix98 pty slaves use majors 136..143; the multiplexer /dev/ptmx is 5:2. */
static int is_pty(int fd, dev_t* dev)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return 0;
    unsigned maj = major(st.st_rdev);
    if ((maj >= 136 && maj <= 143) || (maj == 5 && minor(st.st_rdev) == 2)) {
        *dev = st.st_rdev;
        return 1;
    }
    return 0;
}

/* A small table is plenty: a test has a handful of ptys. When it is full the
 * oldest slot is reused. */
#define SLOTS 32
static struct {
    dev_t dev;
    int used;
    int lines;
} g_slots[SLOTS];
static int g_next_slot;
static volatile int g_lock;

static void lock(void)
{
    while (__sync_lock_test_and_set(&g_lock, 1))
        ;
}

static void unlock(void)
{
    __sync_lock_release(&g_lock);
}

static int* lines_of(dev_t dev)
{
    for (int i = 0; i < SLOTS; ++i)
        if (g_slots[i].used && g_slots[i].dev == dev)
            return &g_slots[i].lines;
    int i = g_next_slot;
    g_next_slot = (g_next_slot + 1) % SLOTS;
    g_slots[i].used = 1;
    g_slots[i].dev = dev;
    g_slots[i].lines = 0;
    return &g_slots[i].lines;
}

static const char* request_name(unsigned long request)
{
    switch (request) {
    case TIOCMBIS:
        return "TIOCMBIS";
    case TIOCMBIC:
        return "TIOCMBIC";
    default:
        return "TIOCMSET";
    }
}

static void log_change(dev_t dev, unsigned long request, int lines)
{
    const char* path = getenv("ORVELLE_PTYSHIM_LOG");
    if (!path || !*path)
        return;
    char line[160];
    int n =
        snprintf(line, sizeof line, "%ld %u:%u %s DTR=%d RTS=%d\n", (long)getpid(), major(dev), minor(dev),
                 request_name(request), (lines & TIOCM_DTR) ? 1 : 0, (lines & TIOCM_RTS) ? 1 : 0);
    int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    /* One write per line: O_APPEND keeps lines of several processes whole. */
    if (write(fd, line, (size_t)n) < 0) {
        /* Nothing to do: the log is a test aid. */
    }
    close(fd);
}

/* Returns 1 and sets *result when the request was answered here. */
static int emulate(int fd, unsigned long request, void* arg, int* result)
{
    if (request != TIOCMGET && request != TIOCMBIS && request != TIOCMBIC && request != TIOCMSET)
        return 0;
    dev_t dev;
    if (!arg || !is_pty(fd, &dev))
        return 0;
    const int mask = TIOCM_DTR | TIOCM_RTS;
    lock();
    int* lines = lines_of(dev);
    int value = 0;
    if (request == TIOCMGET) {
        value = *lines;
    } else {
        int bits;
        memcpy(&bits, arg, sizeof bits);
        if (request == TIOCMBIS)
            *lines |= bits & mask;
        else if (request == TIOCMBIC)
            *lines &= ~(bits & mask);
        else
            *lines = bits & mask;
        value = *lines;
    }
    unlock();
    if (request == TIOCMGET)
        memcpy(arg, &value, sizeof value);
    else
        log_change(dev, request, value);
    *result = 0;
    return 1;
}

static int wrapped(ioctl_fn real, int fd, unsigned long request, void* arg)
{
    if (!real) {
        errno = ENOSYS;
        return -1;
    }
    int saved = errno;
    int r = real(fd, request, arg);
    if (r == -1 && (errno == ENOTTY || errno == EINVAL)) {
        int emulated;
        if (emulate(fd, request, arg, &emulated)) {
            errno = saved;
            return emulated;
        }
    }
    return r;
}

int ioctl(int fd, unsigned long request, ...)
{
    static ioctl_fn real;
    if (!real)
        real = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    return wrapped(real, fd, request, arg);
}

#if !defined(__LP64__)
int __ioctl_time64(int fd, unsigned long request, ...);

int __ioctl_time64(int fd, unsigned long request, ...)
{
    static ioctl_fn real;
    if (!real)
        real = (ioctl_fn)dlsym(RTLD_NEXT, "__ioctl_time64");
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    return wrapped(real, fd, request, arg);
}
#endif
