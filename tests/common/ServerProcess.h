// Runs the real server binary from a temporary root folder and reads its console output.
// Used by the end-to-end tests; every instance kills and reaps its process.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include <sys/types.h>

namespace TestSupport
{
    // A temporary folder removed (recursively) at destruction.
    class CTempDir
    {
    public:
        CTempDir();
        ~CTempDir();
        const std::string& Path() const { return m_strPath; }
        std::string File(const std::string& name) const { return m_strPath + "/" + name; }
        void Write(const std::string& name, const std::string& content) const;

    private:
        std::string m_strPath;
    };

    // A free port on loopback for UDP and TCP (best effort: bound, then released).
    unsigned short FindFreePort();

    class CServerProcess
    {
    public:
        // Copies (hard-links where possible) the server binary into root.
        explicit CServerProcess(const CTempDir& root);
        ~CServerProcess();

        // Starts the binary in the root folder. stdin is a pipe unless bCloseStdin.
        bool Start(const std::vector<std::string>& args, bool bCloseStdin = false);
        // Writes a line to the server's stdin.
        bool WriteLine(const std::string& line);
        void CloseStdin();
        void Signal(int sig);
        // Waits for the process to end; returns its exit status, or -1 on timeout.
        int Wait(std::chrono::milliseconds timeout);
        // Waits until the output (colour sequences removed) contains text.
        bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout);
        // Console output so far, with colour sequences removed.
        std::string Output();
        pid_t Pid() const { return m_Pid; }

    private:
        void Pump(int timeoutMs);

        std::string m_strRoot;
        std::string m_strBinary;
        pid_t m_Pid = -1;
        int m_iStdin = -1;
        int m_iStdout = -1;
        int m_iExitStatus = -1;
        bool m_bExited = false;
        std::string m_strOutput;
    };

    // The server binary built with this tree.
    std::string ServerBinaryPath();
}
