// The radio's end of the cable: a pty master whose slave is linked at the
// path the PC side opens (a Wine COM port mapping).
#pragma once

#include <string>
#include <sys/types.h>

namespace radiosim {

class CPtyLine {
public:
    CPtyLine() = default;
    ~CPtyLine();
    CPtyLine(const CPtyLine&) = delete;
    CPtyLine& operator=(const CPtyLine&) = delete;

    // Opens a fresh pty and points linkPath at its slave (replacing whatever
    // is there). The slave becomes the controlling terminal of a small child
    // of ours, so no other session leader (the wineserver) adopts it and gets
    // a hang-up signal when we close the master.
    bool Open(const std::string& linkPath, std::string& err);
    // Closes the master (the PC side sees a hang-up) and ends the child.
    void Close();
    // Removes the link if it still points at our slave.
    void Unlink();

    int Fd() const { return m_master; }
    bool IsOpen() const { return m_master >= 0; }
    const std::string& SlavePath() const { return m_slave; }
    // The baud rate the PC side set, 0 if unknown.
    unsigned Speed() const;

private:
    int m_master = -1;
    pid_t m_child = -1;
    std::string m_slave, m_link;
};

} // namespace radiosim
