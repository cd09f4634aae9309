// CSerialPort: one Windows communications device with its port number, queue
// sizes, line settings (a mode string such as "9600,N,8,2") and read time-out.
// All I/O is synchronous and blocking; every platform call goes through the
// tables the port was given (link/CommApi.h). An observer, when set, hears of
// each open, setting, transfer, failure and close. Results: 1 success, 0
// failure.
#pragma once

#include "framework/CString.h"
#include "link/CommHandle.h"

class CPortObserver;

class CSerialPort {
public:
    // The tables must outlive the port.
    explicit CSerialPort(const PortApis& apis = PlatformPortApis());
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
    // command is never taken for the answer to this one. A read or write call
    // that fails (not one that only times out) closes the port: the handle
    // of a removed device never works again.
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

    // The tables the port calls; taken only while the port is closed (the
    // program's global link is put on a test's simulated device this way).
    // False, and nothing changed, on an open port.
    bool SetApis(const PortApis& apis);
    const PortApis& GetApis() const { return m_apis; }
    // Null: nobody watches. The observer must outlive its use; returns the
    // previous one.
    CPortObserver* SetObserver(CPortObserver* observer);

protected:
    // Who watches the line; null: nobody.
    CPortObserver* Observer() const { return m_observer; }

private:
    int Open();
    int Close();
    int ApplyQueueSizes();
    int ApplySettings();
    int ApplyReadTimeout();
    int Write(const void* data, DWORD length);
    // Acknowledges the port's line errors, so a driver that stops on an
    // error takes calls again; false when the handle no longer answers.
    bool ClearErrors();
    // After a read or write call that failed: closes the port (its device
    // may be gone), unless the call was only cut short.
    void Failed();
    // After a read or write call that succeeded with fewer bytes than asked:
    // a time-out, unless the port no longer answers at all (its device gone):
    // then it is closed as after a failed call.
    void TimedOut();
    // A device call's result, told to the observer when it failed; the
    // system's error code stays as the call left it.
    BOOL Checked(const char* call, BOOL ok);

    PortApis m_apis;
    CPortObserver* m_observer = nullptr;
    // Set by an open until its first line settings take: the observer hears
    // of the open with them.
    bool m_announceOpen = false;
    CCommHandle m_handle;
    int m_open = 0;
    BYTE m_portNumber = 1;
    WORD m_inputQueueSize = 512;
    WORD m_outputQueueSize = 512;
    CString m_settings = "9600,N,8,2";
    int m_readTimeout = 1000;
    DWORD m_openError = ERROR_SUCCESS;
};
