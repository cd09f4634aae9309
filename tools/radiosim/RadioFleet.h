// Radio after radio on one line: the radios of a batch come and go in their
// order, and while none is there nothing answers and nothing the PC sends is
// heard. A radio that comes back (same_as) is the same engine, so it keeps
// the record it was given and only forgets its programming mode, as a radio
// unplugged does. No I/O here either: the simulator feeds it bytes and time.
#pragma once

#include "tools/radiosim/RadioEngine.h"

#include <string>
#include <vector>

namespace radiosim {

struct FleetWrite {
    unsigned radio; // 1-based
    WrittenRecord write;
};

class CRadioFleet {
public:
    // What happened to one radio of the batch so far.
    enum class State { Waiting, Present, Gone };

    // The radios as the builder gave them (one at least); those due at once
    // come now.
    CRadioFleet(std::vector<FleetRadio> radios, uint64_t nowMs);

    size_t Count() const { return m_radios.size(); }
    // The radio answering now (1-based); 0 while none does.
    unsigned Present() const { return m_present ? m_current + 1 : 0; }

    // As CRadioEngine's, for whichever radio is there; with none there
    // nothing is heard and nothing answers.
    bool Hears(unsigned baud) const;
    void Receive(const uint8_t* data, size_t n, unsigned baud, uint64_t nowMs);
    void Tick(unsigned baud, uint64_t nowMs);
    uint64_t NextWakeMs() const;
    bool PopDue(uint64_t nowMs, Output& out);
    bool TakeHangUp();
    // The line hung up: the radio there goes idle, but stays.
    void Reset();

    // Every write frame received since the last call, with its radio.
    std::vector<FleetWrite> TakeWrites();
    // Radios that came or went since the last call, as log text.
    std::vector<std::string> TakeEvents();

    State StateOf(unsigned radio) const { return m_radios.at(radio - 1).state; }
    // Sessions that read its identity while this radio (entry) was there.
    unsigned SessionsOf(unsigned radio) const;
    const Identity& IdentityOf(unsigned radio) const { return m_radios.at(radio - 1).cfg.identity; }
    // The record this radio left with; while it is there, or before it came,
    // the physical radio's record now (a radio plugged in again comes with
    // the one it was given earlier).
    const Record& RecordOf(unsigned radio) const;
    unsigned SameAsOf(unsigned radio) const { return m_radios.at(radio - 1).sameAs; }
    // The record of the radio there now, or of the last one that was.
    const Record& CurrentRecord() const { return EngineOf(m_current).CurrentRecord(); }
    // Connection attempts the PC has made since the last radio went (or start).
    unsigned MissedAttempts() const { return m_missedAttempts; }

private:
    struct Entry {
        RadioConfig cfg;
        unsigned sameAs;
        RadioSchedule schedule;
        size_t engine; // index into m_engines
        State state = State::Waiting;
        uint64_t cameMs = 0;
        unsigned sessionsAtCome = 0, sessionsAtGo = 0;
        Record recordAtGo{};
    };

    CRadioEngine& EngineOf(size_t entry) { return m_engines[m_radios[entry].engine]; }
    const CRadioEngine& EngineOf(size_t entry) const { return m_engines[m_radios[entry].engine]; }
    // The time the next radio may come by its gap_ms, once its attempts are
    // made (UINT64_MAX: not yet known).
    uint64_t ComeMs() const;
    // The time the radio there is due to leave (UINT64_MAX: not yet known).
    uint64_t LeaveMs() const;
    void Come(uint64_t nowMs);
    void Go(uint64_t nowMs);
    // Counts the PC's connection attempts in bytes nobody hears.
    void Overhear(const uint8_t* data, size_t n, unsigned baud);

    std::vector<Entry> m_radios;
    std::vector<CRadioEngine> m_engines; // one per physical radio
    size_t m_current = 0;                // the radio there, or the last that was (or the first)
    size_t m_next = 0;                   // the radio to come next
    bool m_present = false;
    bool m_heardAny = false;
    uint64_t m_goneMs = 0; // when the last radio went, or the PC's first byte
    unsigned m_missedAttempts = 0;
    std::vector<uint8_t> m_overheard; // the last bytes nobody heard, at one rate
    unsigned m_overheardBaud = 0;
    std::vector<std::string> m_events;
    std::vector<FleetWrite> m_writes; // taken from a radio as it went
};

} // namespace radiosim
