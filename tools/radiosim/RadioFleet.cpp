#include "tools/radiosim/RadioFleet.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace radiosim {

namespace {

constexpr uint64_t kNever = std::numeric_limits<uint64_t>::max();
// Every connection attempt of the PC ends its handshake scan at this rate.
constexpr unsigned kLastScanRate =
    LinkProtocol::RateOf(LinkProtocol::kScanRates[LinkProtocol::kScanRateCount - 1]);
constexpr size_t kProgramSize = sizeof LinkProtocol::kProgram - 1;

} // namespace

CRadioFleet::CRadioFleet(std::vector<FleetRadio> radios, uint64_t nowMs)
{
    if (radios.empty()) // the builder always gives one; a default radio all the same
        radios.push_back({RadioConfig{}, 0, RadioSchedule{}});
    for (FleetRadio& r : radios) {
        size_t engine = 0;
        if (r.sameAs != 0 && r.sameAs <= m_radios.size()) {
            engine = m_radios[r.sameAs - 1].engine;
        } else {
            r.sameAs = 0;
            engine = m_engines.size();
            m_engines.emplace_back(r.cfg);
        }
        m_radios.push_back({std::move(r.cfg), r.sameAs, r.schedule, engine});
    }
    m_goneMs = nowMs;
    Tick(0, nowMs);
}

bool CRadioFleet::Hears(unsigned baud) const
{
    return m_present && EngineOf(m_current).Hears(baud);
}

uint64_t CRadioFleet::ComeMs() const
{
    if (m_present || m_next >= m_radios.size())
        return kNever;
    const RadioSchedule& s = m_radios[m_next].schedule;
    if (m_missedAttempts < s.gapAttempts)
        return kNever;
    if (s.gapMs == 0)
        return 0;
    // The first radio's time runs from the PC's first byte, not from a
    // start the PC cannot see.
    if (m_next == 0 && !m_heardAny)
        return kNever;
    return m_goneMs + s.gapMs;
}

uint64_t CRadioFleet::LeaveMs() const
{
    if (!m_present)
        return kNever;
    const Entry& e = m_radios[m_current];
    const CRadioEngine& engine = EngineOf(m_current);
    switch (e.schedule.leave) {
    case Leave::Never:
        return kNever;
    case Leave::Time:
        return e.cameMs + e.schedule.leaveMs;
    case Leave::Sessions:
        if (engine.IdentifiedSessions() - e.sessionsAtCome < e.schedule.leaveSessions)
            return kNever;
        return engine.LastSessionEndMs() + e.schedule.leaveMs;
    }
    return kNever;
}

void CRadioFleet::Come(uint64_t nowMs)
{
    m_current = m_next++;
    Entry& e = m_radios[m_current];
    CRadioEngine& engine = EngineOf(m_current);
    // Plugged in, it starts idle.
    engine.Reset();
    e.state = State::Present;
    e.cameMs = nowMs;
    e.sessionsAtCome = engine.IdentifiedSessions();
    m_present = true;
    m_overheard.clear();
    std::string text = "radio " + std::to_string(m_current + 1) + " comes";
    if (e.sameAs != 0)
        text += " (radio " + std::to_string(e.sameAs) + " again)";
    if (m_missedAttempts != 0)
        text += " after " + std::to_string(m_missedAttempts) + " unanswered connection attempts";
    m_events.push_back(text);
}

void CRadioFleet::Go(uint64_t nowMs)
{
    Entry& e = m_radios[m_current];
    CRadioEngine& engine = EngineOf(m_current);
    // Its writes are its own, even if the next radio comes at once.
    for (WrittenRecord& w : engine.TakeWrites())
        m_writes.push_back({static_cast<unsigned>(m_current + 1), w});
    // Unplugged: whatever it was in the middle of is forgotten; the record stays.
    engine.Reset();
    e.state = State::Gone;
    e.sessionsAtGo = engine.IdentifiedSessions();
    e.recordAtGo = engine.CurrentRecord();
    m_present = false;
    m_goneMs = nowMs;
    m_missedAttempts = 0;
    m_overheard.clear();
    m_events.push_back("radio " + std::to_string(m_current + 1) + " goes after " +
                       std::to_string(e.sessionsAtGo - e.sessionsAtCome) + " identified sessions");
}

void CRadioFleet::Tick(unsigned baud, uint64_t nowMs)
{
    if (m_present) {
        CRadioEngine& engine = EngineOf(m_current);
        engine.Tick(baud, nowMs);
        // A radio leaving on the PC's sessions first sends its last answer
        // (the ACK to E); one leaving on the clock is pulled out mid-word.
        const bool time = m_radios[m_current].schedule.leave == Leave::Time;
        if (nowMs >= LeaveMs() && (time || !engine.HasOutput()))
            Go(nowMs);
    }
    if (!m_present && nowMs >= ComeMs())
        Come(nowMs);
}

void CRadioFleet::Overhear(const uint8_t* data, size_t n, unsigned baud)
{
    if (baud != m_overheardBaud)
        m_overheard.clear();
    m_overheardBaud = baud;
    for (size_t i = 0; i < n; ++i) {
        if (m_overheard.size() == kProgramSize)
            m_overheard.erase(m_overheard.begin());
        m_overheard.push_back(data[i]);
        if (baud == kLastScanRate && m_overheard.size() == kProgramSize &&
            std::memcmp(m_overheard.data(), LinkProtocol::kProgram, kProgramSize) == 0) {
            ++m_missedAttempts;
            m_overheard.clear();
        }
    }
}

void CRadioFleet::Receive(const uint8_t* data, size_t n, unsigned baud, uint64_t nowMs)
{
    if (!m_heardAny && !m_present && m_next == 0)
        m_goneMs = nowMs;
    m_heardAny = true;
    Tick(baud, nowMs);
    if (m_present) {
        EngineOf(m_current).Receive(data, n, baud, nowMs);
        return;
    }
    Overhear(data, n, baud);
    // The rest of this chunk went by before the radio came.
    if (nowMs >= ComeMs())
        Come(nowMs);
}

uint64_t CRadioFleet::NextWakeMs() const
{
    uint64_t wake = ComeMs();
    if (m_present) {
        const CRadioEngine& engine = EngineOf(m_current);
        wake = std::min(wake, engine.NextWakeMs());
        // Leaving waits for the last answer, whose time is the engine's.
        if (m_radios[m_current].schedule.leave == Leave::Time || !engine.HasOutput())
            wake = std::min(wake, LeaveMs());
    }
    return wake;
}

bool CRadioFleet::PopDue(uint64_t nowMs, Output& out)
{
    return m_present && EngineOf(m_current).PopDue(nowMs, out);
}

bool CRadioFleet::TakeHangUp()
{
    return m_present && EngineOf(m_current).TakeHangUp();
}

void CRadioFleet::Reset()
{
    if (m_present)
        EngineOf(m_current).Reset();
}

std::vector<FleetWrite> CRadioFleet::TakeWrites()
{
    if (m_present)
        for (WrittenRecord& w : EngineOf(m_current).TakeWrites())
            m_writes.push_back({static_cast<unsigned>(m_current + 1), w});
    std::vector<FleetWrite> w;
    w.swap(m_writes);
    return w;
}

std::vector<std::string> CRadioFleet::TakeEvents()
{
    std::vector<std::string> e;
    e.swap(m_events);
    return e;
}

const Record& CRadioFleet::RecordOf(unsigned radio) const
{
    const Entry& e = m_radios.at(radio - 1);
    return e.state == State::Gone ? e.recordAtGo : EngineOf(radio - 1).CurrentRecord();
}

unsigned CRadioFleet::SessionsOf(unsigned radio) const
{
    const Entry& e = m_radios.at(radio - 1);
    switch (e.state) {
    case State::Waiting:
        return 0;
    case State::Present:
        return EngineOf(radio - 1).IdentifiedSessions() - e.sessionsAtCome;
    case State::Gone:
        return e.sessionsAtGo - e.sessionsAtCome;
    }
    return 0;
}

} // namespace radiosim
