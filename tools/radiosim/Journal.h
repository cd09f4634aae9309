// What radiosim leaves behind for a test to check: the byte log (every byte
// both ways with its time and baud rate, plus events) and the result file
// (every record written to the radio, and its record now; for a batch, the
// same per radio).
#pragma once

#include "tools/radiosim/RadioFleet.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace radiosim {

class CJournal {
public:
    CJournal() = default;
    ~CJournal();
    CJournal(const CJournal&) = delete;
    CJournal& operator=(const CJournal&) = delete;

    bool Open(const std::string& logPath, const std::string& resultPath, std::string& err);

    // Log lines: "<seconds> <what> <baud> <hex bytes>"; what is rx (heard from
    // the PC), rx- (sent by the PC at a rate the radio was not listening at),
    // tx (sent by the radio); "<seconds> ev <text>" for events.
    void Bytes(const char* what, unsigned baud, const uint8_t* data, size_t n);
    void Event(const std::string& text);

    // Rewrites the result file: one "written <hex> <answer>" line per write
    // frame received so far, then "final <hex>", the radio's record now (of
    // the radio there, or the last one that was). For a batch, then per
    // radio "radio <n> <waiting|present|gone> sessions <k> identity <hex>
    // [same_as <m>]", its "radio <n> written <hex> <answer>" lines and
    // "radio <n> final <hex>" (the record it left with, or has now).
    void Result(const std::vector<FleetWrite>& writes, const CRadioFleet& fleet, bool batch);

private:
    double Seconds() const;

    FILE* m_log = nullptr;
    std::string m_resultPath;
};

} // namespace radiosim
