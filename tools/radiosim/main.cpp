// radiosim: the simulated transceiver. Links a pty slave at the given path
// (a Wine COM port) and plays the radio's side of the programming protocol,
// or a batch of radios one after another, until SIGTERM or SIGINT. See
// README.md.
#include "tools/radiosim/Journal.h"
#include "tools/radiosim/PtyLine.h"
#include "tools/radiosim/RadioFleet.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <time.h>
#include <unistd.h>
#include <vector>

using namespace radiosim;

namespace {

volatile sig_atomic_t g_stop = 0;

void OnSignal(int)
{
    g_stop = 1;
}

uint64_t NowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
}

void Usage()
{
    std::fputs(
        "usage: radiosim --link PATH [--config FILE] [--KEY VALUE | --KEY=VALUE]...\n"
        "Plays a transceiver on a pty whose slave is linked at PATH.\n"
        "Keys as in the config file: kind baud model identity_rest identity short_model\n"
        "version record record_model option_code option_bytes write delay_ms silent_after\n"
        "hangup_after hangup_in_write garbage_at garbage_byte bad_check prog_timeout_ms log result;\n"
        "radio.N.KEY for radio N of a batch (its own keys, same_as gap_attempts gap_ms leave leave_ms).\n"
        "Prints \"ready <slave>\" once the link is in place.\n",
        stderr);
}

bool ParseArgs(int argc, char** argv, RadioConfig& cfg, std::vector<FleetRadio>& fleet, bool& batch)
{
    CConfigBuilder b;
    std::string err;
    // The config file first, so flags override it wherever they stand.
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--config") == 0 && !b.LoadFile(argv[i + 1], err)) {
            std::fprintf(stderr, "radiosim: %s\n", err.c_str());
            return false;
        }
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h" || a.compare(0, 2, "--") != 0) {
            Usage();
            return false;
        }
        std::string key = a.substr(2), value;
        size_t eq = key.find('=');
        if (eq != std::string::npos) {
            value = key.substr(eq + 1);
            key = key.substr(0, eq);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            std::fprintf(stderr, "radiosim: %s needs a value\n", a.c_str());
            return false;
        }
        if (key == "config")
            continue;
        if (!b.Set(key, value, err)) {
            std::fprintf(stderr, "radiosim: %s\n", err.c_str());
            return false;
        }
    }
    cfg = b.Build();
    batch = b.IsBatch();
    if (!b.BuildFleet(fleet, err)) {
        std::fprintf(stderr, "radiosim: %s\n", err.c_str());
        return false;
    }
    if (cfg.link.empty()) {
        Usage();
        return false;
    }
    return true;
}

class CSimulator {
public:
    CSimulator(const RadioConfig& cfg, std::vector<FleetRadio> fleet, bool batch)
        : m_cfg(cfg), m_fleet(std::move(fleet), NowMs()), m_batch(batch), m_faults(cfg)
    {
    }

    int Run()
    {
        std::string err;
        if (!m_journal.Open(m_cfg.logPath, m_cfg.resultPath, err) || !OpenLine(err)) {
            std::fprintf(stderr, "radiosim: %s\n", err.c_str());
            return 1;
        }
        Collect();
        m_journal.Result(m_writes, m_fleet, m_batch);
        std::printf("ready %s\n", m_line.SlavePath().c_str());
        std::fflush(stdout);

        sigset_t open;
        sigemptyset(&open);
        while (!g_stop) {
            if (!m_line.IsOpen() && !OpenLine(err)) {
                std::fprintf(stderr, "radiosim: %s\n", err.c_str());
                return 1;
            }
            uint64_t now = NowMs(), wake = m_fleet.NextWakeMs();
            // Look at the PC's rate often while a switch is awaited; else sleep
            // until the next answer is due (or a second, to stay responsive).
            uint64_t waitMs = wake <= now ? 1 : std::min<uint64_t>(wake - now, 1000);
            timespec ts{static_cast<time_t>(waitMs / 1000), static_cast<long>(waitMs % 1000) * 1000000};
            pollfd p{m_line.Fd(), POLLIN, 0};
            int r = ppoll(&p, 1, &ts, &open);
            if (r < 0 && errno != EINTR) {
                std::perror("radiosim: poll");
                return 1;
            }
            unsigned baud = m_line.Speed();
            if (r > 0 && (p.revents & POLLIN))
                ReadLine(baud);
            else if (r > 0 && (p.revents & (POLLHUP | POLLERR)))
                HangUp("line hung up");
            m_fleet.Tick(baud, NowMs());
            SendDue(baud);
            Collect();
        }
        m_journal.Event("exit on signal");
        m_line.Unlink();
        m_line.Close();
        m_journal.Result(m_writes, m_fleet, m_batch);
        return 0;
    }

private:
    bool OpenLine(std::string& err)
    {
        if (!m_line.Open(m_cfg.link, err))
            return false;
        m_journal.Event("line " + m_line.SlavePath() + " linked at " + m_cfg.link);
        return true;
    }

    void HangUp(const std::string& why)
    {
        m_journal.Event("hang-up: " + why);
        m_line.Close();
        m_fleet.Reset();
    }

    void ReadLine(unsigned baud)
    {
        uint8_t buf[256];
        ssize_t n = read(m_line.Fd(), buf, sizeof buf);
        if (n > 0) {
            // A radio due by now is there to hear these bytes.
            const uint64_t now = NowMs();
            m_fleet.Tick(baud, now);
            bool heard = m_fleet.Hears(baud);
            m_journal.Bytes(heard ? "rx" : "rx-", baud, buf, static_cast<size_t>(n));
            m_fleet.Receive(buf, static_cast<size_t>(n), baud, now);
            if (m_fleet.TakeHangUp())
                HangUp("fault: hang-up in the record write, after " + std::to_string(m_cfg.hangupInWrite) +
                       " of its bytes");
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            HangUp(n == 0 ? "end of file" : std::strerror(errno));
        }
    }

    void SendDue(unsigned baud)
    {
        Output out;
        while (m_line.IsOpen() && m_fleet.PopDue(NowMs(), out)) {
            std::vector<uint8_t> wire;
            for (uint8_t b : out.bytes) {
                CFaultFilter::Action a = m_faults.Next(b);
                if (a == CFaultFilter::Action::HangUp) {
                    Write(baud, wire);
                    HangUp("fault: hang-up after " + std::to_string(m_faults.Sent() - 1) + " bytes");
                    return;
                }
                if (a == CFaultFilter::Action::Send)
                    wire.push_back(b);
                else
                    m_journal.Event("fault: silent, byte " + std::to_string(b) + " not sent");
            }
            Write(baud, wire);
        }
    }

    void Write(unsigned baud, const std::vector<uint8_t>& bytes)
    {
        size_t done = 0;
        while (done < bytes.size() && m_line.IsOpen()) {
            ssize_t n = write(m_line.Fd(), bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n < 0 && errno == EAGAIN) {
                // The PC is not reading; give it a moment, then drop the rest.
                pollfd p{m_line.Fd(), POLLOUT, 0};
                if (poll(&p, 1, 100) <= 0) {
                    m_journal.Event("line full: " + std::to_string(bytes.size() - done) + " bytes dropped");
                    break;
                }
            } else if (n < 0 && errno != EINTR) {
                HangUp(std::strerror(errno));
                break;
            }
        }
        m_journal.Bytes("tx", baud, bytes.data(), done);
    }

    // Logs the writes and comings and goings since the last call; the result
    // file follows each of them.
    void Collect()
    {
        std::vector<std::string> events = m_fleet.TakeEvents();
        std::vector<FleetWrite> w = m_fleet.TakeWrites();
        // One radio that stays all run keeps the log it always had.
        if (!m_batch)
            events.clear();
        for (const std::string& e : events)
            m_journal.Event(e);
        if (w.empty() && events.empty())
            return;
        for (const FleetWrite& r : w)
            m_journal.Event(std::string("record written") +
                            (m_batch ? " to radio " + std::to_string(r.radio) : std::string()) + ", answer " +
                            WriteAnswerName(r.write.answer));
        m_writes.insert(m_writes.end(), w.begin(), w.end());
        m_journal.Result(m_writes, m_fleet, m_batch);
    }

    RadioConfig m_cfg;
    CRadioFleet m_fleet;
    bool m_batch; // radio.N settings given: the result file tells per radio
    CFaultFilter m_faults;
    CPtyLine m_line;
    CJournal m_journal;
    std::vector<FleetWrite> m_writes;
};

} // namespace

int main(int argc, char** argv)
{
    RadioConfig cfg;
    std::vector<FleetRadio> fleet;
    bool batch = false;
    if (!ParseArgs(argc, argv, cfg, fleet, batch))
        return 2;

    // The signals are only let in while waiting, so none is lost between a
    // check of the flag and the wait.
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGTERM);
    sigaddset(&block, SIGINT);
    sigprocmask(SIG_BLOCK, &block, nullptr);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    CSimulator sim(cfg, std::move(fleet), batch);
    return sim.Run();
}
