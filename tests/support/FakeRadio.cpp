// The fake's radio: the transceiver side of the programming protocol, its
// scripted replies and faults.
#include "tests/support/FakeTransceiver.h"
#include "tests/support/FakeParts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

using namespace FakeParts;

FakeTransceiver::Reply FakeTransceiver::Answer(Fault fault, DWORD delay)
{
    Reply r;
    r.fault = fault;
    r.delay = delay;
    return r;
}

FakeTransceiver::Reply FakeTransceiver::Raw(Bytes bytes, DWORD delay)
{
    Reply r;
    r.raw = true;
    r.bytes = std::move(bytes);
    r.delay = delay;
    return r;
}

void FakeTransceiver::Script(Command cmd, Reply reply)
{
    m_script[cmd].push_back(std::move(reply));
}

unsigned char FakeTransceiver::IdentityCheck() const
{
    unsigned char sum = 0;
    for (unsigned char c : identity) {
        sum = static_cast<unsigned char>(sum + c);
    }
    return sum;
}

// ---- The transceiver -------------------------------------------------------

DWORD FakeTransceiver::ProgrammingBaud() const
{
    return kind == Kind::Old ? kOldBaud : kProgramBaudNew;
}

void FakeTransceiver::Respond(Command cmd, const Bytes& normal, DWORD lastByteGap)
{
    if (onHeard) {
        onHeard(cmd);
    }
    Reply reply;
    reply.delay = answerDelay;
    auto it = m_script.find(cmd);
    if (it != m_script.end() && !it->second.empty()) {
        reply = it->second.front();
        it->second.pop_front();
    }
    Bytes out;
    if (reply.raw) {
        out = reply.bytes;
    } else {
        out = normal;
        switch (reply.fault) {
        case Fault::None:
            break;
        case Fault::Silence:
            out.clear();
            break;
        case Fault::Garbage:
            out = {kGarbage};
            break;
        case Fault::Short:
            if (!out.empty()) {
                out.pop_back();
            }
            break;
        case Fault::WrongLead:
            if (!out.empty()) {
                out.front() = static_cast<unsigned char>(out.front() ^ 0xFF);
            }
            break;
        case Fault::WrongCheck:
            if (!out.empty()) {
                out.back() = static_cast<unsigned char>(out.back() + 1);
            }
            break;
        case Fault::HangUp:
            out.resize(out.size() / 2);
            m_hungUp = true;
            break;
        }
    }
    Note("  transceiver answers " + Hex(out));
    if (reply.raw || reply.fault != Fault::None || out.size() < 2) {
        Send(out, reply.delay);
    } else {
        Send(Bytes(out.begin(), out.end() - 1), reply.delay);
        Send(Bytes(out.end() - 1, out.end()), reply.delay + lastByteGap);
    }

    // Only the normal answer moves the transceiver between its modes.
    if (reply.raw || reply.fault != Fault::None) {
        return;
    }
    switch (cmd) {
    case Command::OldHandshake:
    case Command::Switch:
        m_programming = true;
        break;
    case Command::Program:
        m_awaitingSwitch = true;
        break;
    case Command::End:
        m_programming = false;
        break;
    case Command::RecordWrite:
        if (writeAnswer == ACK) {
            record = recordsWritten.back();
        }
        break;
    default:
        break;
    }
}

void FakeTransceiver::Hear(const Bytes& chunk)
{
    if (m_hungUp || kind == Kind::None || chunk.empty()) {
        return;
    }
    const DWORD baud = m_dcb.BaudRate;
    m_awaitingSwitch = false;

    if (!m_programming) {
        if (kind == Kind::Old && baud == kOldBaud && chunk == Text("FLFM96K")) {
            Respond(Command::OldHandshake, {SYN, ACK}, oldAckDelay);
        } else if (kind == Kind::New && baud == scanBaud && chunk == Text("PROGRAM")) {
            Respond(Command::Program, {SYN});
        }
        return;
    }
    if (baud != ProgrammingBaud()) {
        return; // noise at the wrong rate
    }
    // The record of a write frame, whether it comes in the command's chunk
    // or in chunks of its own.
    const auto takeRecordBytes = [this](Bytes::const_iterator from, Bytes::const_iterator to) {
        m_recordIn.insert(m_recordIn.end(), from, to);
        if (m_recordIn.size() >= 50) {
            m_awaitingRecord = false;
            recordsWritten.push_back(Bytes(m_recordIn.begin(), m_recordIn.begin() + 50));
            Respond(Command::RecordWrite, {writeAnswer});
        }
    };
    if (m_awaitingRecord) {
        takeRecordBytes(chunk.begin(), chunk.end());
        return;
    }
    static const unsigned char urk[] = {0x55, 0x52, 0x4B}, urcb[] = {0x55, 0x52, 0xCB},
                               uwcb[] = {0x55, 0x57, 0xCB};
    if (chunk.size() > 3 && std::equal(uwcb, uwcb + 3, chunk.begin())) {
        m_awaitingRecord = true;
        m_recordIn.clear();
        takeRecordBytes(chunk.begin() + 3, chunk.end());
        return;
    }
    if (chunk == Bytes{0x45}) {
        Respond(Command::End, {ACK});
    } else if (Is(chunk, urk, 3)) {
        Bytes answer{0x55};
        answer.insert(answer.end(), identity.begin(), identity.end());
        answer.push_back(IdentityCheck());
        Respond(Command::Identity, answer);
    } else if (chunk == Bytes{STX}) {
        Respond(Command::ModelName, modelName);
    } else if (chunk == Bytes{0x50}) {
        Respond(Command::Version, version);
    } else if (Is(chunk, urcb, 3)) {
        Bytes answer{0x55};
        answer.insert(answer.end(), record.begin(), record.end());
        Respond(Command::RecordRead, answer);
    } else if (Is(chunk, uwcb, 3)) {
        m_awaitingRecord = true;
        m_recordIn.clear();
    } else if (chunk == Bytes{ACK}) {
        Respond(Command::Ack, {ACK});
    } else if (chunk == Bytes{NAK}) {
        Respond(Command::Nak, {NAK});
    }
}
