#include "tools/radiosim/RadioConfig.h"

#include "framework/Hex.h"
#include "upgrade/RadioBatch.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace radiosim {

const char* WriteAnswerName(WriteAnswer a)
{
    switch (a) {
    case WriteAnswer::Ack:
        return "ack";
    case WriteAnswer::Nak:
        return "nak";
    case WriteAnswer::Silent:
        return "silent";
    case WriteAnswer::Garbage:
        return "garbage";
    case WriteAnswer::AckKeep:
        return "ack-keep";
    }
    return "?";
}

std::string ToHex(const uint8_t* data, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        s += digits[data[i] >> 4];
        s += digits[data[i] & 15];
    }
    return s;
}

bool ParseField(const std::string& value, uint8_t* out, size_t width, std::string& err)
{
    std::memset(out, 0, width);
    if (value.compare(0, 4, "hex:") == 0) {
        std::string hex;
        for (char c : value.substr(4))
            if (c != ' ' && c != '\t')
                hex += c;
        if (hex.size() % 2 != 0) {
            err = "odd number of hex digits";
            return false;
        }
        if (hex.size() / 2 > width) {
            err = "more than " + std::to_string(width) + " bytes";
            return false;
        }
        for (size_t i = 0; i < hex.size(); i += 2) {
            const int byte = HexByte(hex[i], hex[i + 1]);
            if (byte < 0) {
                err = "not a hex digit";
                return false;
            }
            out[i / 2] = static_cast<uint8_t>(byte);
        }
        return true;
    }
    std::string text = value;
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    if (text.size() > width) {
        err = "longer than " + std::to_string(width) + " bytes";
        return false;
    }
    std::memcpy(out, text.data(), text.size());
    return true;
}

static bool ParseNumber(const std::string& value, long min, long max, long& out, std::string& err)
{
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(value.c_str(), &end, 0);
    if (value.empty() || *end != '\0' || errno != 0 || v < min || v > max) {
        err = "expected a number from " + std::to_string(min) + " to " + std::to_string(max);
        return false;
    }
    out = v;
    return true;
}

static bool IsKnownBaud(long b)
{
    for (long r : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200})
        if (b == r)
            return true;
    return false;
}

// The settings that make one radio what it is; a batch radio may set each of
// them ("radio.N.KEY"), the rest belong to the run.
static const char* const kRadioKeys[] = {
    "kind",   "baud",         "model",       "identity_rest", "identity", "short_model", "version",
    "record", "record_model", "option_code", "option_bytes",  "write",    "bad_check"};
// When a batch radio comes and goes.
static const char* const kScheduleKeys[] = {"same_as", "gap_attempts", "gap_ms", "leave", "leave_ms"};
constexpr long kMaxScheduleMs = 3600000;
constexpr long kMaxScheduleCount = 1000;

template <size_t N> static bool IsOneOf(const std::string& key, const char* const (&keys)[N])
{
    for (const char* k : keys)
        if (key == k)
            return true;
    return false;
}

template <size_t N> static std::string ListOf(const char* const (&keys)[N])
{
    std::string list;
    for (const char* k : keys)
        list += (list.empty() ? "" : " ") + std::string(k);
    return list;
}

CConfigBuilder::CConfigBuilder()
{
    std::string err;
    ParseField("QM-5200", m_model.data(), m_model.size(), err);
    ParseField("SN00012345", m_identityRest.data(), m_identityRest.size(), err);
    ParseField("1.01.00", m_cfg.version.data(), m_cfg.version.size(), err);
    // A plausible record: option code 1, every option byte set, type 1.
    m_cfg.record.fill(0);
    m_cfg.record[kRecordCodeOffset + 3] = 0x01;
    for (size_t i = 0; i < kRecordOptionsSize; ++i)
        m_cfg.record[kRecordOptionsOffset + i] = 0xFF;
    m_cfg.record[kRecordOptionsOffset] = 0x1F;
}

bool CConfigBuilder::Set(const std::string& key, const std::string& value, std::string& err)
{
    long n = 0;
    std::string why;
    auto fail = [&](const std::string& what) {
        err = key + "=" + value + ": " + what;
        return false;
    };
    auto field = [&](uint8_t* out, size_t width, bool* have) {
        if (!ParseField(value, out, width, why))
            return fail(why);
        if (have)
            *have = true;
        return true;
    };
    if (key.compare(0, 6, "radio.") == 0)
        return SetRadio(key, value, err);
    if (key == "link")
        m_cfg.link = value;
    else if (key == "log")
        m_cfg.logPath = value;
    else if (key == "result")
        m_cfg.resultPath = value;
    else if (key == "kind") {
        if (value == "new")
            m_cfg.kind = Kind::New;
        else if (value == "old")
            m_cfg.kind = Kind::Old;
        else
            return fail("expected new or old");
    } else if (key == "baud") {
        if (!ParseNumber(value, 1, 4000000, n, why) || !IsKnownBaud(n))
            return fail("expected one of 1200 2400 4800 9600 19200 38400 57600 115200");
        m_cfg.baud = static_cast<unsigned>(n);
    } else if (key == "model")
        return field(m_model.data(), m_model.size(), nullptr);
    else if (key == "identity_rest")
        return field(m_identityRest.data(), m_identityRest.size(), nullptr);
    else if (key == "identity")
        return field(m_cfg.identity.data(), m_cfg.identity.size(), &m_haveIdentity);
    else if (key == "short_model")
        return field(m_cfg.shortModel.data(), m_cfg.shortModel.size(), &m_haveShortModel);
    else if (key == "version")
        return field(m_cfg.version.data(), m_cfg.version.size(), nullptr);
    else if (key == "record")
        return field(m_cfg.record.data(), m_cfg.record.size(), &m_haveRecord);
    else if (key == "record_model")
        return field(m_recordModel.data(), m_recordModel.size(), &m_haveRecordModel);
    else if (key == "option_code")
        return field(m_code.data(), m_code.size(), &m_haveCode);
    else if (key == "option_bytes")
        return field(m_options.data(), m_options.size(), &m_haveOptions);
    else if (key == "write") {
        if (value == "ack")
            m_cfg.writeAnswer = WriteAnswer::Ack;
        else if (value == "nak")
            m_cfg.writeAnswer = WriteAnswer::Nak;
        else if (value == "silent")
            m_cfg.writeAnswer = WriteAnswer::Silent;
        else if (value == "garbage")
            m_cfg.writeAnswer = WriteAnswer::Garbage;
        else if (value == "ack-keep")
            m_cfg.writeAnswer = WriteAnswer::AckKeep;
        else
            return fail("expected ack, nak, silent, garbage or ack-keep");
    } else if (key == "delay_ms") {
        if (!ParseNumber(value, 0, 600000, n, why))
            return fail(why);
        m_cfg.delayMs = static_cast<unsigned>(n);
    } else if (key == "silent_after" || key == "hangup_after" || key == "garbage_at") {
        if (!ParseNumber(value, -1, 1L << 30, n, why))
            return fail(why);
        (key == "silent_after"   ? m_cfg.silentAfter
         : key == "hangup_after" ? m_cfg.hangupAfter
                                 : m_cfg.garbageAt) = n;
    } else if (key == "hangup_in_write") {
        if (!ParseNumber(value, -1, static_cast<long>(kRecordSize) - 1, n, why))
            return fail(why);
        m_cfg.hangupInWrite = n;
    } else if (key == "garbage_byte") {
        if (!ParseNumber(value, 0, 255, n, why))
            return fail(why);
        m_cfg.garbageByte = static_cast<uint8_t>(n);
    } else if (key == "bad_check") {
        if (!ParseNumber(value, 0, 1L << 30, n, why))
            return fail(why);
        m_cfg.badCheck = static_cast<unsigned>(n);
    } else if (key == "prog_timeout_ms") {
        if (!ParseNumber(value, 1, 3600000, n, why))
            return fail(why);
        m_cfg.progTimeoutMs = static_cast<unsigned>(n);
    } else {
        err = "unknown setting: " + key;
        return false;
    }
    return true;
}

bool CConfigBuilder::SetRadio(const std::string& key, const std::string& value, std::string& err)
{
    auto fail = [&](const std::string& what) {
        err = key + "=" + value + ": " + what;
        return false;
    };
    // radio.N.KEY
    const size_t dot = key.find('.', 6);
    long number = 0;
    std::string why;
    if (dot == std::string::npos || !ParseNumber(key.substr(6, dot - 6), 1, kMaxFleetRadios, number, why)) {
        err = "unknown setting: " + key + " (a batch radio's settings are radio.N.KEY, N from 1 to " +
              std::to_string(kMaxFleetRadios) + ")";
        return false;
    }
    const std::string name = key.substr(dot + 1);
    PendingRadio& radio = m_radios[static_cast<unsigned>(number)];
    long n = 0;
    if (IsOneOf(name, kRadioKeys)) {
        // Checked now, so the error names its line; applied at build, over
        // the plain settings whatever their order.
        CConfigBuilder scratch;
        if (!scratch.Set(name, value, why)) {
            err = key.substr(0, dot + 1) + why;
            return false;
        }
        radio.settings.emplace_back(name, value);
    } else if (name == "same_as") {
        if (!ParseNumber(value, 1, kMaxFleetRadios, n, why))
            return fail(why);
        radio.sameAs = static_cast<unsigned>(n);
    } else if (name == "gap_attempts") {
        if (!ParseNumber(value, 0, kMaxScheduleCount, n, why))
            return fail(why);
        radio.schedule.gapAttempts = static_cast<unsigned>(n);
        radio.haveGapAttempts = true;
    } else if (name == "gap_ms" || name == "leave_ms") {
        if (!ParseNumber(value, 0, kMaxScheduleMs, n, why))
            return fail(why);
        (name == "gap_ms" ? radio.schedule.gapMs : radio.schedule.leaveMs) = static_cast<unsigned>(n);
    } else if (name == "leave") {
        const size_t colon = value.find(':');
        const std::string how = value.substr(0, colon);
        const std::string count = colon == std::string::npos ? "" : value.substr(colon + 1);
        if (value == "never") {
            radio.schedule.leave = Leave::Never;
        } else if (how == "sessions" && ParseNumber(count, 1, kMaxScheduleCount, n, why)) {
            radio.schedule.leave = Leave::Sessions;
            radio.schedule.leaveSessions = static_cast<unsigned>(n);
        } else if (how == "ms" && ParseNumber(count, 1, kMaxScheduleMs, n, why)) {
            radio.schedule.leave = Leave::Time;
            radio.schedule.leaveMs = static_cast<unsigned>(n);
        } else {
            return fail("expected never, sessions:K (K from 1 to " + std::to_string(kMaxScheduleCount) +
                        ") or ms:T (T from 1 to " + std::to_string(kMaxScheduleMs) + ")");
        }
        radio.haveLeave = true;
    } else {
        err = "unknown setting: " + key + " (a batch radio takes " + ListOf(kRadioKeys) + " " +
              ListOf(kScheduleKeys) + ")";
        return false;
    }
    return true;
}

static std::string Trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return "";
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool CConfigBuilder::LoadText(const std::string& text, std::string& err)
{
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        line = Trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            err = "line " + std::to_string(number) + ": expected key=value";
            return false;
        }
        if (!Set(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)), err)) {
            err = "line " + std::to_string(number) + ": " + err;
            return false;
        }
    }
    return true;
}

bool CConfigBuilder::LoadFile(const std::string& path, std::string& err)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        err = "cannot read " + path;
        return false;
    }
    std::ostringstream text;
    text << f.rdbuf();
    if (!LoadText(text.str(), err)) {
        err = path + ": " + err;
        return false;
    }
    return true;
}

RadioConfig CConfigBuilder::Build() const
{
    RadioConfig cfg = m_cfg;
    if (!m_haveIdentity) {
        std::memcpy(cfg.identity.data(), m_model.data(), kModelSize);
        std::memcpy(cfg.identity.data() + kModelSize, m_identityRest.data(), m_identityRest.size());
    }
    if (!m_haveShortModel)
        std::memcpy(cfg.shortModel.data(), cfg.identity.data(), kShortModelSize);
    // The record carries the model name too; without a full record given it
    // follows the identity block's.
    if (m_haveRecordModel)
        std::memcpy(cfg.record.data() + kRecordModelOffset, m_recordModel.data(), kModelSize);
    else if (!m_haveRecord)
        std::memcpy(cfg.record.data() + kRecordModelOffset, cfg.identity.data(), kModelSize);
    if (m_haveCode)
        std::memcpy(cfg.record.data() + kRecordCodeOffset, m_code.data(), kRecordCodeSize);
    if (m_haveOptions)
        std::memcpy(cfg.record.data() + kRecordOptionsOffset, m_options.data(), kRecordOptionsSize);
    return cfg;
}

bool CConfigBuilder::BuildFleet(std::vector<FleetRadio>& fleet, std::string& err) const
{
    fleet.clear();
    if (m_radios.empty()) {
        fleet.push_back({Build(), 0, RadioSchedule{}});
        return true;
    }
    const unsigned count = static_cast<unsigned>(m_radios.size());
    for (unsigned number = 1; number <= count; ++number) {
        const std::string name = "radio." + std::to_string(number) + ".";
        auto found = m_radios.find(number);
        if (found == m_radios.end()) {
            err = "radio " + std::to_string(number) +
                  " is missing: radios are numbered 1, 2, 3 ... without gaps (" +
                  std::to_string(m_radios.rbegin()->first) + " was given)";
            return false;
        }
        const PendingRadio& pending = found->second;
        FleetRadio radio;
        radio.schedule = pending.schedule;
        // Whoever does not say otherwise comes when the PC has taken the one
        // before for gone, and goes once its first session is over.
        if (!pending.haveGapAttempts)
            radio.schedule.gapAttempts = number == 1 ? 0 : CRadioBatch::kGoneAfterMisses;
        if (!pending.haveLeave)
            radio.schedule.leave = Leave::Sessions;
        if (pending.sameAs != 0) {
            const std::string same = name + "same_as=" + std::to_string(pending.sameAs);
            if (pending.sameAs >= number) {
                err = same + ": names radio " + std::to_string(pending.sameAs) + ", not an earlier one";
                return false;
            }
            if (!pending.settings.empty()) {
                err = name + pending.settings.front().first + ": radio " + std::to_string(number) +
                      " is radio " + std::to_string(pending.sameAs) +
                      " plugged in again and answers as it; set this on radio " +
                      std::to_string(pending.sameAs);
                return false;
            }
            // Always the first of its kind, so every return shares one radio.
            const FleetRadio& earlier = fleet[pending.sameAs - 1];
            radio.sameAs = earlier.sameAs != 0 ? earlier.sameAs : pending.sameAs;
            radio.cfg = earlier.cfg;
        } else {
            CConfigBuilder own = *this;
            own.m_radios.clear();
            for (const auto& setting : pending.settings)
                if (!own.Set(setting.first, setting.second, err))
                    return false;
            radio.cfg = own.Build();
        }
        if (radio.schedule.leave == Leave::Never && number < count) {
            err = name + "leave=never: radio " + std::to_string(number + 1) + " would never come";
            return false;
        }
        fleet.push_back(std::move(radio));
    }
    return true;
}

} // namespace radiosim
