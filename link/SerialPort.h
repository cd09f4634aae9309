// CSerialPort: one Windows communications device with its port number, queue
// sizes, line settings (a mode string such as "9600,N,8,2") and read time-out.
// All I/O is synchronous and blocking; every platform call goes through the
// comm API table (link/CommApi.h). Results: 1 success, 0 failure.
#pragma once

#include "framework/CString.h"
#include "link/CommHandle.h"

class CSerialPort {
public:
    CSerialPort();
    // Closes the device if it is still open.
    virtual ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // 0 keeps the current number. An open port is closed and opened again.
    int SetPortNumber(BYTE number);
    BYTE GetPortNumber() const { return m_portNumber; }
    // 1 opens, 0 closes; 1 at once when already in that state.
    int SetPortOpen(int open);
    int IsPortOpen() const { return m_open; }
    // Why the last open failed (the system's error code); ERROR_SUCCESS after
    // one that worked.
    DWORD GetOpenError() const { return m_openError; }

    int SetInputBufferSize(WORD size);
    int SetOutputBufferSize(WORD size);

    // Stored without spaces; applied at once to an open port.
    int SetSettings(CString settings);
    CString GetSettings() const { return m_settings; }

    // The total time one read may take; applied at once to an open port.
    int SetReadTimeout(int milliseconds);
    int GetReadTimeout() const { return m_readTimeout; }

    // Each write first discards unread input, so a late answer to an earlier
    // command is never taken for the answer to this one.
    int WriteData(const unsigned char* data, WORD length);
    int WriteString(CString text);
    int WriteByte(BYTE value);

    // 1 only when all length bytes arrived within the read time-out.
    int ReadData(unsigned char* buffer, WORD length);
    int PurgeInput();

    // On an open port: 1 when the driver reports a true RS-232 port.
    int IsRs232Port();

    // Busy wait on the performance counter, never shorter than asked; does
    // not sleep or pump messages.
    void Delay(WORD milliseconds);

    // The device name CreateFileA gets for a port number.
    static CString DeviceName(BYTE number);

private:
    int Open();
    int Close();
    int ApplyQueueSizes();
    int ApplySettings();
    int ApplyReadTimeout();
    int Write(const void* data, DWORD length);
    // Acknowledges the port's line errors, so a driver that stops on an
    // error takes calls again; closes the port when its device is gone.
    void ClearErrors();

    CCommHandle m_handle;
    int m_open = 0;
    BYTE m_portNumber = 1;
    WORD m_inputQueueSize = 512;
    WORD m_outputQueueSize = 512;
    CString m_settings = "9600,N,8,2";
    int m_readTimeout = 1000;
    DWORD m_openError = ERROR_SUCCESS;
};
