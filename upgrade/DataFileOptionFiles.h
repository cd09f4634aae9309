// The option logic's file access in the programs: reads through CDataFile with
// an owner for every file-error box (the main dialog, or none), and after
// each file of a folder step runs the caller's pause, if any (the main
// dialog lets its messages through there).
#pragma once

#include "upgrade/OptionLogic.h"

#include <functional>

class CDataFile;
class CWnd;

class CDataFileOptionFiles : public COptionFileAccess {
public:
    // Option files are small; a larger file is judged by its first bytes up
    // to this size rather than by an allocation that may fail.
    static constexpr unsigned long kMaxOptionFileSize = 16ul * 1024 * 1024;

    CDataFileOptionFiles(CDataFile& dataFile, CWnd* owner, std::function<void()> pause)
        : m_dataFile(dataFile), m_owner(owner), m_pause(std::move(pause))
    {
    }

    bool ReadOptionFile(const CString& path, std::size_t limit, std::vector<unsigned char>& bytes) override;
    void EndFileStep(bool read) override;

protected:
    // The size a whole-file read asks for. Virtual so tests can measure a
    // file that then changes before it is read.
    virtual unsigned long MeasureFile(const CString& path);

private:
    CDataFile& m_dataFile;
    CWnd* m_owner;
    std::function<void()> m_pause;
};
