// Drives a radio (one engine, or a fleet behind one line) on a clock of the
// test's own, as the PC would: bytes go in at a rate, time passes a
// millisecond at a time, and whatever fell due comes back.
#pragma once

#include "tools/radiosim/RadioEngine.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace radiosim {

using Bytes = std::vector<uint8_t>;

inline Bytes B(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

template <class Line> struct RadioClock {
    RadioClock(uint64_t start, Line l) : now(start), line(std::move(l)) {}

    // Sends bytes at a rate, lets time pass, and returns what came back.
    Bytes Send(const Bytes& b, unsigned rate, uint64_t afterMs = 30)
    {
        line.Receive(b.data(), b.size(), rate, now);
        return Wait(rate, afterMs);
    }
    Bytes Wait(unsigned rate, uint64_t ms)
    {
        Bytes got;
        for (uint64_t end = now + ms; now <= end; ++now) {
            line.Tick(rate, now);
            Output o;
            while (line.PopDue(now, o))
                got.insert(got.end(), o.bytes.begin(), o.bytes.end());
        }
        return got;
    }

    uint64_t now;
    Line line;
};

} // namespace radiosim
