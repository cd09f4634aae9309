// What the protocol and session tests say to and expect from the fake
// transceiver: its types by short names and the frames both suites check.
#pragma once

#include "tests/support/FakeTransceiver.h"

#include <cstring>

using Bytes = FakeTransceiver::Bytes;
using Command = FakeTransceiver::Command;
using Fault = FakeTransceiver::Fault;
using Kind = FakeTransceiver::Kind;
using Call = FakeTransceiver::Call;

// The bytes of a text, without its terminating zero.
inline Bytes B(const char* s)
{
    return Bytes(s, s + std::strlen(s));
}

inline const Bytes kUrk = {0x55, 0x52, 0x4B}, kUrcb = {0x55, 0x52, 0xCB}, kUwcb = {0x55, 0x57, 0xCB};
// A command followed by its data, as one WriteFile call sends them.
inline Bytes Frame(const Bytes& command, const Bytes& data)
{
    Bytes frame = command;
    frame.insert(frame.end(), data.begin(), data.end());
    return frame;
}

inline const Bytes kAck = {0x06}, kNak = {0x15}, kEnd = {0x45}, kStx = {0x02}, kP = {0x50};
