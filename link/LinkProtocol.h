// The transceiver's programming protocol as constants: control bytes, the
// frames the PC sends, answer lengths and time-outs. Portable (no windows.h),
// so tools that play the transceiver's side can share it.
#pragma once

#include <cstddef>

namespace LinkProtocol {

// Control bytes.
constexpr unsigned char STX = 0x02; // model name request
constexpr unsigned char ACK = 0x06;
constexpr unsigned char NAK = 0x15;
constexpr unsigned char SYN = 0x16; // first answer to a handshake

// Frames the PC sends (no length field, no terminator).
constexpr char kOldHandshake[] = "FLFM96K"; // 7 bytes, sent at 9600 baud
constexpr char kProgram[] = "PROGRAM";      // 7 bytes, sent at each scan rate
constexpr unsigned char kEnd = 0x45;        // "E": leave programming mode
constexpr unsigned char kIdentityRequest[3] = {0x55, 0x52, 0x4B};
constexpr unsigned char kVersionRequest = 0x50;
constexpr unsigned char kRecordRequest[3] = {0x55, 0x52, 0xCB};
constexpr unsigned char kRecordWrite[3] = {0x55, 0x57, 0xCB};
// The transceiver echoes this lead byte before the identity block and the record.
constexpr unsigned char kLeadByte = 0x55;

// Answer lengths.
constexpr std::size_t kIdentitySize = 32;
constexpr std::size_t kModelNameAnswerSize = 8; // the short model name request's answer
constexpr std::size_t kVersionSize = 10;
constexpr std::size_t kRecordSize = 50;
// The longest frame the PC sends: the record write with its record.
constexpr std::size_t kLongestFrame = sizeof(kRecordWrite) + kRecordSize;

// Baud rates of the "PROGRAM" scan, in the order they are tried; the last one
// (1200 baud) is slow enough to need a longer wait for the SYN.
constexpr const char* kScanRates[] = {"9600", "19200", "38400", "57600", "4800", "2400", "1200"};
constexpr std::size_t kScanRateCount = sizeof(kScanRates) / sizeof(kScanRates[0]);

// The rate a scan entry names, and the slowest of them: the slowest rate the
// link ever runs at, for which the write limit is sized.
constexpr unsigned RateOf(const char* text)
{
    unsigned rate = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        rate = rate * 10 + static_cast<unsigned>(*text - '0');
    }
    return rate;
}
constexpr unsigned SlowestScanRate()
{
    unsigned slowest = RateOf(kScanRates[0]);
    for (const char* rate : kScanRates) {
        slowest = RateOf(rate) < slowest ? RateOf(rate) : slowest;
    }
    return slowest;
}
constexpr unsigned kSlowestRate = SlowestScanRate();

constexpr const char* kOldRate = "9600";      // old transceivers, always
constexpr const char* kProgramRate = "19200"; // other transceivers in programming mode

// Read time-outs and waits, in milliseconds.
constexpr int kSynTimeout = 100;
constexpr int kSynTimeoutSlowest = 164;
constexpr int kOldAckTimeout = 500;
constexpr int kProgrammingTimeout = 10000;
constexpr int kModelNameWait = 50;
constexpr int kVersionWait = 55;

} // namespace LinkProtocol
