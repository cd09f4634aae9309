#include "tools/radiosim/Journal.h"

#include <cerrno>
#include <cstring>
#include <time.h>

namespace radiosim {

CJournal::~CJournal()
{
    if (m_log)
        std::fclose(m_log);
}

bool CJournal::Open(const std::string& logPath, const std::string& resultPath, std::string& err)
{
    if (!logPath.empty()) {
        m_log = std::fopen(logPath.c_str(), "w");
        if (!m_log) {
            err = logPath + ": " + std::strerror(errno);
            return false;
        }
        setvbuf(m_log, nullptr, _IOLBF, 0);
    }
    m_resultPath = resultPath;
    return true;
}

double CJournal::Seconds() const
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

void CJournal::Bytes(const char* what, unsigned baud, const uint8_t* data, size_t n)
{
    if (!m_log || n == 0)
        return;
    std::string line;
    line.reserve(n * 3 + 40);
    char head[64];
    std::snprintf(head, sizeof head, "%.6f %s %u", Seconds(), what, baud);
    line = head;
    for (size_t i = 0; i < n; ++i) {
        char b[4];
        std::snprintf(b, sizeof b, " %02x", data[i]);
        line += b;
    }
    line += '\n';
    std::fputs(line.c_str(), m_log);
}

void CJournal::Event(const std::string& text)
{
    if (m_log)
        std::fprintf(m_log, "%.6f ev %s\n", Seconds(), text.c_str());
}

static const char* StateName(CRadioFleet::State state)
{
    switch (state) {
    case CRadioFleet::State::Waiting:
        return "waiting";
    case CRadioFleet::State::Present:
        return "present";
    case CRadioFleet::State::Gone:
        return "gone";
    }
    return "?";
}

void CJournal::Result(const std::vector<FleetWrite>& writes, const CRadioFleet& fleet, bool batch)
{
    if (m_resultPath.empty())
        return;
    // Written aside and renamed, so a reader never sees half a file.
    std::string tmp = m_resultPath + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "w");
    if (!f)
        return;
    for (const FleetWrite& w : writes)
        std::fprintf(f, "written %s %s\n", ToHex(w.write.record.data(), w.write.record.size()).c_str(),
                     WriteAnswerName(w.write.answer));
    const Record& current = fleet.CurrentRecord();
    std::fprintf(f, "final %s\n", ToHex(current.data(), current.size()).c_str());
    for (unsigned radio = 1; batch && radio <= fleet.Count(); ++radio) {
        const Identity& id = fleet.IdentityOf(radio);
        std::fprintf(f, "radio %u %s sessions %u identity %s", radio, StateName(fleet.StateOf(radio)),
                     fleet.SessionsOf(radio), ToHex(id.data(), id.size()).c_str());
        if (fleet.SameAsOf(radio) != 0)
            std::fprintf(f, " same_as %u", fleet.SameAsOf(radio));
        std::fputc('\n', f);
        for (const FleetWrite& w : writes)
            if (w.radio == radio)
                std::fprintf(f, "radio %u written %s %s\n", radio,
                             ToHex(w.write.record.data(), w.write.record.size()).c_str(),
                             WriteAnswerName(w.write.answer));
        const Record& record = fleet.RecordOf(radio);
        std::fprintf(f, "radio %u final %s\n", radio, ToHex(record.data(), record.size()).c_str());
    }
    bool ok = std::fflush(f) == 0;
    ok = std::fclose(f) == 0 && ok;
    if (ok)
        std::rename(tmp.c_str(), m_resultPath.c_str());
}

} // namespace radiosim
