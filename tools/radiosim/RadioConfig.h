// The simulated transceiver's settings: what it answers, at which baud rate,
// and which faults it injects; for a batch, which radios come one after
// another and when each comes and goes. Read from "key=value" lines (a file,
// or command-line flags of the same names).
#pragma once

#include "link/LinkProtocol.h"
#include "upgrade/OptionFormat.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace radiosim {

// The program's own sizes and offsets: both sides of the line agree by
// construction.
constexpr size_t kIdentitySize = LinkProtocol::kIdentitySize;
constexpr size_t kModelSize = ::kModelNameSize;
constexpr size_t kShortModelSize = LinkProtocol::kModelNameAnswerSize;
constexpr size_t kVersionSize = LinkProtocol::kVersionSize;
constexpr size_t kRecordSize = LinkProtocol::kRecordSize;

// Named offsets of the option record that tests most often set.
constexpr size_t kRecordModelOffset = OptionRecord::kModelName;
constexpr size_t kRecordCodeOffset = OptionRecord::kOptionCode;
constexpr size_t kRecordCodeSize = ::kOptionCodeSize;
constexpr size_t kRecordOptionsOffset = OptionRecord::kOptionBytes;
constexpr size_t kRecordOptionsSize = ::kOptionBytesSize;

using Identity = std::array<uint8_t, kIdentitySize>;
using Record = std::array<uint8_t, kRecordSize>;

enum class Kind { New, Old };
// AckKeep: a radio that lies, acknowledging a record it does not store.
enum class WriteAnswer { Ack, Nak, Silent, Garbage, AckKeep };

const char* WriteAnswerName(WriteAnswer a);

struct RadioConfig {
    std::string link;       // where the pty slave is linked
    std::string logPath;    // byte log (empty: none)
    std::string resultPath; // written records and the final record (empty: none)

    Kind kind = Kind::New;
    unsigned baud = 9600; // the one rate a new transceiver hears "PROGRAM" at

    Identity identity{};
    std::array<uint8_t, kShortModelSize> shortModel{};
    std::array<uint8_t, kVersionSize> version{};
    Record record{};
    WriteAnswer writeAnswer = WriteAnswer::Ack;

    // Faults. Byte counts run over everything sent since start; -1 is off.
    unsigned delayMs = 0;    // before each answer
    long silentAfter = -1;   // send nothing once this many bytes went out
    long hangupAfter = -1;   // hang up the line (once) when this many went out
    long hangupInWrite = -1; // hang up (once) when this many bytes of a record write arrived
    long garbageAt = -1;     // the byte with this index goes out as garbageByte
    uint8_t garbageByte = 0xA5;
    unsigned badCheck = 0; // this many identity answers carry a wrong check byte

    unsigned progTimeoutMs = 60000; // programming mode ends after this much silence
};

// When a radio of a batch leaves. Radios that leave on what the PC did, not
// on the clock, keep a test free of races with a slow PC.
enum class Leave {
    Never,    // stays until radiosim ends
    Sessions, // leaveMs after the end of its leaveSessions-th session that read its identity
    Time,     // leaveMs after it came, whatever the PC is doing
};

// When a radio of a batch comes and goes. It comes once both gaps have
// passed since the radio before it left (the first radio: since start).
struct RadioSchedule {
    // Connection attempts the PC made while no radio answered (an attempt
    // counts once its handshake scan has tried the slowest rate).
    unsigned gapAttempts = 0;
    // Milliseconds; for the first radio counted from the PC's first byte.
    unsigned gapMs = 0;
    Leave leave = Leave::Never;
    unsigned leaveSessions = 1;
    unsigned leaveMs = 0;
};

// One radio of a batch, numbered from 1 in the order they come.
struct FleetRadio {
    RadioConfig cfg; // its answers; the settings outside the radio (link, faults) are the run's
    // The earlier radio (1-based) this one is, plugged in again: it answers
    // with that radio's identity and keeps the record it got then. 0: none.
    unsigned sameAs = 0;
    RadioSchedule schedule;
};

// Collects settings in any order and builds the final config, so that a
// model name given after a full record still lands where it should.
class CConfigBuilder {
public:
    CConfigBuilder();

    // One "key=value" setting. On failure returns false and sets err.
    bool Set(const std::string& key, const std::string& value, std::string& err);
    // A whole file: blank lines and lines starting with '#' are skipped.
    bool LoadFile(const std::string& path, std::string& err);
    bool LoadText(const std::string& text, std::string& err);

    RadioConfig Build() const;
    // The radios in the order they come: the "radio.N.KEY" settings over the
    // plain ones, or the one plain radio that stays all run when there are
    // none. On an inconsistent batch returns false and sets err.
    bool BuildFleet(std::vector<FleetRadio>& fleet, std::string& err) const;
    // Whether any "radio.N.KEY" setting was given.
    bool IsBatch() const { return !m_radios.empty(); }

private:
    // A batch radio's settings as given, applied over the plain ones at build.
    struct PendingRadio {
        std::vector<std::pair<std::string, std::string>> settings;
        unsigned sameAs = 0;
        bool haveGapAttempts = false, haveLeave = false;
        RadioSchedule schedule;
    };

    bool SetRadio(const std::string& key, const std::string& value, std::string& err);

    RadioConfig m_cfg;
    std::array<uint8_t, kModelSize> m_model{};
    std::array<uint8_t, kIdentitySize - kModelSize> m_identityRest{};
    bool m_haveIdentity = false, m_haveShortModel = false, m_haveRecord = false;
    bool m_haveRecordModel = false, m_haveCode = false, m_haveOptions = false;
    std::array<uint8_t, kModelSize> m_recordModel{};
    std::array<uint8_t, kRecordCodeSize> m_code{};
    std::array<uint8_t, kRecordOptionsSize> m_options{};
    std::map<unsigned, PendingRadio> m_radios;
};

// The most radios a batch may name.
constexpr unsigned kMaxFleetRadios = 99;

// A field value: "hex:0a1b..." gives exact bytes; anything else is text
// (double quotes around it keep spaces). Both are padded with zero bytes up
// to the field width; longer values are refused.
bool ParseField(const std::string& value, uint8_t* out, size_t width, std::string& err);

std::string ToHex(const uint8_t* data, size_t n);

} // namespace radiosim
