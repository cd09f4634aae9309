// The transceiver's side of the programming protocol, without any I/O: bytes
// heard from the PC (with the baud rate the PC's side was set to) go in,
// answers come out as timed chunks. The line rule of a real radio is kept:
// a byte sent at a rate the radio is not listening at is not heard.
#pragma once

#include "link/LinkProtocol.h"
#include "tools/radiosim/RadioConfig.h"

#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace radiosim {

using LinkProtocol::ACK;
using LinkProtocol::NAK;
using LinkProtocol::STX;
using LinkProtocol::SYN;

// How long a half-received frame may wait for its next byte before the radio
// forgets it; the PC sends each frame in one go.
constexpr uint64_t kStaleFrameMs = 500;
// When the programming rate equals the handshake rate, the ACK goes out this
// long after the SYN, so the PC has read the SYN before the ACK arrives.
constexpr uint64_t kAckSettleMs = 20;
// A PC that does not switch within this time after the SYN has given up.
constexpr uint64_t kSwitchWaitMs = 10000;

struct Output {
    uint64_t dueMs;
    std::vector<uint8_t> bytes;
};

struct WrittenRecord {
    Record record;
    WriteAnswer answer;
};

class CRadioEngine {
public:
    enum class Mode { Idle, AwaitSwitch, Programming };

    explicit CRadioEngine(const RadioConfig& cfg);

    // Power cycle: back to idle with the current record kept (a hang-up).
    void Reset();

    // Whether bytes sent at this rate reach the radio in its current mode.
    bool Hears(unsigned baud) const;
    // Bytes from the PC; those not heard at this rate are dropped here.
    void Receive(const uint8_t* data, size_t n, unsigned baud, uint64_t nowMs);
    // Time passes: the PC may have switched its rate, or gone quiet.
    void Tick(unsigned baud, uint64_t nowMs);
    // The earliest time Tick or an output needs attention (UINT64_MAX: none).
    uint64_t NextWakeMs() const;

    // Takes the next answer chunk due by now, if any.
    bool PopDue(uint64_t nowMs, Output& out);
    bool HasOutput() const { return !m_out.empty(); }

    // Every write frame received since the last call.
    std::vector<WrittenRecord> TakeWrites();
    // True once when the hang-up in a write frame is due: the line is to be
    // dropped, and the half-received record was not taken.
    bool TakeHangUp() { return std::exchange(m_hangUpDue, false); }

    // Programming-mode sessions that have ended (on E, or on the PC's
    // silence) after the PC asked for the identity in them, and when the
    // last of them ended: what a radio of a batch leaves on.
    unsigned IdentifiedSessions() const { return m_identifiedSessions; }
    uint64_t LastSessionEndMs() const { return m_lastSessionEndMs; }

    Mode GetMode() const { return m_mode; }
    const Record& CurrentRecord() const { return m_record; }
    unsigned ListenBaud() const;

private:
    enum class Frame { Command, U, UR, UW, WriteData, AwaitAck };

    void HearByte(uint8_t b, uint64_t nowMs);
    void Command(uint8_t b, uint64_t nowMs);
    void Answer(std::vector<uint8_t> bytes, uint64_t nowMs);
    void EnterIdle();
    // Programming mode ends, on E or on the PC's silence.
    void EndSession(uint64_t nowMs);

    RadioConfig m_cfg;
    Record m_record;
    Mode m_mode = Mode::Idle;
    Frame m_frame = Frame::Command;
    std::vector<uint8_t> m_heard; // handshake match, at most 7 bytes
    std::vector<uint8_t> m_data;  // write frame data, at most 50 bytes
    uint64_t m_synAt = 0, m_lastHeard = 0, m_settleMs = 0;
    unsigned m_badChecksLeft;
    std::deque<Output> m_out;
    std::vector<WrittenRecord> m_writes;
    bool m_hangUpDue = false;
    bool m_hungUpInWrite = false; // the hang-up in a write frame happens once
    bool m_identityAsked = false; // in this programming-mode session
    unsigned m_identifiedSessions = 0;
    uint64_t m_lastSessionEndMs = 0;
};

// The byte-count faults, applied to everything the radio sends.
class CFaultFilter {
public:
    enum class Action { Send, Drop, HangUp };

    explicit CFaultFilter(const RadioConfig& cfg) : m_cfg(cfg) {}
    // Decides the fate of the next outgoing byte, which it may replace.
    Action Next(uint8_t& b);
    long Sent() const { return m_count; }

private:
    RadioConfig m_cfg;
    long m_count = 0;
    bool m_hungUp = false;
};

} // namespace radiosim
