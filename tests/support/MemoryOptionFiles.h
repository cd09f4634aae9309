// Option files in memory for the option logic's tests and fuzz target. Each path holds the
// contents its successive reads return (the last repeats), so a file can
// change, shrink or become unreadable between the steps of one run.
#pragma once

#include "upgrade/OptionLogic.h"

#include <map>
#include <string>
#include <vector>

class CMemoryOptionFiles : public COptionFileAccess {
public:
    using Bytes = std::vector<unsigned char>;

    void Put(const std::string& path, const Bytes& bytes) { m_files[path] = {Version{true, bytes}}; }
    void PutUnreadable(const std::string& path) { m_files[path] = {Version{false, {}}}; }
    // What the next reads of the path return, after what it returns now.
    void Then(const std::string& path, const Bytes& bytes) { m_files[path].push_back(Version{true, bytes}); }
    void ThenUnreadable(const std::string& path) { m_files[path].push_back(Version{false, {}}); }

    bool ReadOptionFile(const CString& path, std::size_t limit, Bytes& bytes) override
    {
        reads.push_back(path.str());
        auto it = m_files.find(path.str());
        if (it == m_files.end())
            return false;
        std::size_t& n = m_readCount[path.str()];
        const Version& v = it->second[n < it->second.size() ? n : it->second.size() - 1];
        ++n;
        if (!v.readable)
            return false;
        bytes = v.bytes;
        if (limit != kWholeFile && bytes.size() > limit)
            bytes.resize(limit);
        // An exact fit, so a read past the file's end is a heap overflow
        // under AddressSanitizer.
        bytes.shrink_to_fit();
        return true;
    }
    void BeginFileStep() override
    {
        ++open;
        ++begun;
    }
    void EndFileStep(bool read) override
    {
        --open;
        if (read)
            ++pauses;
    }

    std::vector<std::string> reads;
    int open = 0; // steps begun and not ended
    int begun = 0;
    int pauses = 0; // steps that ended after a successful read

private:
    struct Version {
        bool readable;
        Bytes bytes;
    };
    std::map<std::string, std::vector<Version>> m_files;
    std::map<std::string, std::size_t> m_readCount;
};
