#include "tools/radiosim/RadioEngine.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace radiosim {

constexpr size_t kHandshakeSize = sizeof LinkProtocol::kOldHandshake - 1;

CRadioEngine::CRadioEngine(const RadioConfig& cfg)
    : m_cfg(cfg), m_record(cfg.record), m_badChecksLeft(cfg.badCheck)
{
}

void CRadioEngine::Reset()
{
    EnterIdle();
    m_out.clear();
}

void CRadioEngine::EndSession(uint64_t nowMs)
{
    if (m_identityAsked) {
        ++m_identifiedSessions;
        m_lastSessionEndMs = nowMs;
    }
    EnterIdle();
}

void CRadioEngine::EnterIdle()
{
    m_mode = Mode::Idle;
    m_identityAsked = false;
    m_frame = Frame::Command;
    m_heard.clear();
    m_data.clear();
}

unsigned CRadioEngine::ListenBaud() const
{
    bool old = m_cfg.kind == Kind::Old;
    if (m_mode == Mode::Programming)
        return old ? 9600 : 19200;
    return old ? 9600 : m_cfg.baud;
}

bool CRadioEngine::Hears(unsigned baud) const
{
    return m_mode != Mode::AwaitSwitch && baud == ListenBaud();
}

void CRadioEngine::Receive(const uint8_t* data, size_t n, unsigned baud, uint64_t nowMs)
{
    Tick(baud, nowMs);
    if (!Hears(baud)) {
        // Noise to the radio: whatever it had half-heard is lost too.
        m_heard.clear();
        return;
    }
    // Bytes after a hang-up never reach the radio.
    for (size_t i = 0; i < n && !m_hangUpDue; ++i)
        HearByte(data[i], nowMs);
}

void CRadioEngine::Tick(unsigned baud, uint64_t nowMs)
{
    if (m_mode == Mode::AwaitSwitch) {
        unsigned target = m_cfg.kind == Kind::Old ? 9600 : 19200;
        if (nowMs < m_synAt) {
            // The SYN itself is still held back by the configured delay.
        } else if (nowMs - m_synAt >= kSwitchWaitMs) {
            EnterIdle();
        } else if (baud == target && nowMs - m_synAt >= m_settleMs) {
            m_mode = Mode::Programming;
            m_frame = Frame::Command;
            m_lastHeard = nowMs;
            Answer({ACK}, nowMs);
        }
    } else if (m_mode == Mode::Programming && nowMs - m_lastHeard >= m_cfg.progTimeoutMs) {
        EndSession(nowMs);
    }
}

uint64_t CRadioEngine::NextWakeMs() const
{
    uint64_t wake = std::numeric_limits<uint64_t>::max();
    if (!m_out.empty())
        wake = m_out.front().dueMs;
    // The PC's rate switch can only be seen by looking, so look often.
    if (m_mode == Mode::AwaitSwitch)
        wake = 0;
    else if (m_mode == Mode::Programming)
        wake = std::min(wake, m_lastHeard + m_cfg.progTimeoutMs);
    return wake;
}

bool CRadioEngine::PopDue(uint64_t nowMs, Output& out)
{
    if (m_out.empty() || m_out.front().dueMs > nowMs)
        return false;
    out = std::move(m_out.front());
    m_out.pop_front();
    return true;
}

std::vector<WrittenRecord> CRadioEngine::TakeWrites()
{
    std::vector<WrittenRecord> w;
    w.swap(m_writes);
    return w;
}

void CRadioEngine::Answer(std::vector<uint8_t> bytes, uint64_t nowMs)
{
    // Answers keep their order even when a delay is configured.
    uint64_t due = nowMs + m_cfg.delayMs;
    if (!m_out.empty())
        due = std::max(due, m_out.back().dueMs);
    m_out.push_back({due, std::move(bytes)});
}

void CRadioEngine::HearByte(uint8_t b, uint64_t nowMs)
{
    if (m_mode == Mode::Idle) {
        if (m_heard.size() == kHandshakeSize)
            m_heard.erase(m_heard.begin());
        m_heard.push_back(b);
        const char* want = m_cfg.kind == Kind::Old ? LinkProtocol::kOldHandshake : LinkProtocol::kProgram;
        if (m_heard.size() == kHandshakeSize && std::memcmp(m_heard.data(), want, kHandshakeSize) == 0) {
            m_heard.clear();
            m_mode = Mode::AwaitSwitch;
            m_synAt = nowMs + m_cfg.delayMs;
            // A PC that switches rates proves by switching that it read the
            // SYN; one that stays at the rate gets a moment to read it.
            bool stays = m_cfg.kind == Kind::New && m_cfg.baud == 19200;
            m_settleMs = stays ? kAckSettleMs : 0;
            Answer({SYN}, nowMs);
        }
        return;
    }
    if (m_frame != Frame::Command && m_frame != Frame::AwaitAck && nowMs - m_lastHeard > kStaleFrameMs) {
        m_frame = Frame::Command;
        m_data.clear();
    }
    m_lastHeard = nowMs;
    switch (m_frame) {
    case Frame::Command:
        Command(b, nowMs);
        break;
    case Frame::U:
        if (b == 'R')
            m_frame = Frame::UR;
        else if (b == 'W')
            m_frame = Frame::UW;
        else {
            m_frame = Frame::Command;
            Command(b, nowMs);
        }
        break;
    case Frame::UR:
        if (b == 'K') {
            m_identityAsked = true;
            std::vector<uint8_t> a(1, 0x55);
            a.insert(a.end(), m_cfg.identity.begin(), m_cfg.identity.end());
            uint8_t sum = 0;
            for (uint8_t x : m_cfg.identity)
                sum = static_cast<uint8_t>(sum + x);
            if (m_badChecksLeft > 0) {
                --m_badChecksLeft;
                sum = static_cast<uint8_t>(sum + 1);
            }
            a.push_back(sum);
            Answer(std::move(a), nowMs);
            m_frame = Frame::AwaitAck;
        } else if (b == 0xCB) {
            std::vector<uint8_t> a(1, 0x55);
            a.insert(a.end(), m_record.begin(), m_record.end());
            Answer(std::move(a), nowMs);
            m_frame = Frame::AwaitAck;
        } else {
            m_frame = Frame::Command;
            Command(b, nowMs);
        }
        break;
    case Frame::UW:
        if (b == 0xCB) {
            m_frame = Frame::WriteData;
            m_data.clear();
        } else {
            m_frame = Frame::Command;
            Command(b, nowMs);
        }
        break;
    case Frame::WriteData:
        m_data.push_back(b);
        if (!m_hungUpInWrite && m_cfg.hangupInWrite >= 0 &&
            m_data.size() == static_cast<size_t>(m_cfg.hangupInWrite)) {
            m_hungUpInWrite = true;
            m_hangUpDue = true;
            EnterIdle();
            break;
        }
        if (m_data.size() == kRecordSize) {
            WrittenRecord w;
            std::copy(m_data.begin(), m_data.end(), w.record.begin());
            w.answer = m_cfg.writeAnswer;
            m_writes.push_back(w);
            m_data.clear();
            m_frame = Frame::Command;
            switch (m_cfg.writeAnswer) {
            case WriteAnswer::Ack:
                m_record = w.record;
                Answer({ACK}, nowMs);
                break;
            case WriteAnswer::Nak:
                Answer({NAK}, nowMs);
                break;
            case WriteAnswer::AckKeep: // acknowledged, never stored
                Answer({ACK}, nowMs);
                break;
            case WriteAnswer::Garbage:
                Answer({m_cfg.garbageByte}, nowMs);
                break;
            case WriteAnswer::Silent:
                break;
            }
        }
        break;
    case Frame::AwaitAck:
        m_frame = Frame::Command;
        // The PC closes each read with ACK (or NAK for a bad identity block);
        // the radio closes the exchange with ACK either way.
        if (b == ACK || b == NAK)
            Answer({ACK}, nowMs);
        else
            Command(b, nowMs);
        break;
    }
}

void CRadioEngine::Command(uint8_t b, uint64_t nowMs)
{
    switch (b) {
    case 'E':
        Answer({ACK}, nowMs);
        EndSession(nowMs);
        break;
    case 'U':
        m_frame = Frame::U;
        break;
    case STX:
        Answer(std::vector<uint8_t>(m_cfg.shortModel.begin(), m_cfg.shortModel.end()), nowMs);
        m_frame = Frame::AwaitAck;
        break;
    case 'P':
        Answer(std::vector<uint8_t>(m_cfg.version.begin(), m_cfg.version.end()), nowMs);
        m_frame = Frame::AwaitAck;
        break;
    default:
        break; // not a command: ignored
    }
}

CFaultFilter::Action CFaultFilter::Next(uint8_t& b)
{
    long index = m_count++;
    if (m_cfg.hangupAfter >= 0 && index == m_cfg.hangupAfter && !m_hungUp) {
        m_hungUp = true;
        return Action::HangUp;
    }
    if (m_cfg.silentAfter >= 0 && index >= m_cfg.silentAfter)
        return Action::Drop;
    if (index == m_cfg.garbageAt)
        b = m_cfg.garbageByte;
    return Action::Send;
}

} // namespace radiosim
