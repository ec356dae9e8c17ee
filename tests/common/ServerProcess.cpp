#include "ServerProcess.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace TestSupport
{
    CTempDir::CTempDir()
    {
        char szTemplate[] = "/tmp/osprel-test-XXXXXX";
        const char* p = mkdtemp(szTemplate);
        m_strPath = p ? p : "/tmp";
    }

    CTempDir::~CTempDir()
    {
        std::error_code ec;
        if (m_strPath != "/tmp")
            fs::remove_all(m_strPath, ec);
    }

    void CTempDir::Write(const std::string& name, const std::string& content) const
    {
        fs::path path = fs::path(m_strPath) / name;
        fs::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary);
        out << content;
    }

    unsigned short FindFreePort()
    {
        // Both a UDP and a TCP socket must be free on the port.
        for (int attempt = 0; attempt < 50; ++attempt) {
            int udp = socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in addr{};
            addr.sin_family = AF_INET;
            addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            addr.sin_port = 0;
            if (bind(udp, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
                close(udp);
                continue;
            }
            socklen_t len = sizeof(addr);
            getsockname(udp, reinterpret_cast<sockaddr*>(&addr), &len);
            int tcp = socket(AF_INET, SOCK_STREAM, 0);
            int one = 1;
            setsockopt(tcp, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
            bool ok = bind(tcp, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
            close(tcp);
            close(udp);
            if (ok)
                return ntohs(addr.sin_port);
        }
        return 0;
    }

    std::string ServerBinaryPath()
    {
        const char* szBuild = getenv("TORVANE_BUILD_DIR");
        if (szBuild)
            return std::string(szBuild) + "/Server/osprel-server";
#ifdef OSPREL_SERVER_PATH
        return OSPREL_SERVER_PATH;
#else
        return "osprel-server";
#endif
    }

    CServerProcess::CServerProcess(const CTempDir& root) : m_strRoot(root.Path())
    {
        m_strBinary = m_strRoot + "/osprel-server";
        std::error_code ec;
        fs::create_hard_link(ServerBinaryPath(), m_strBinary, ec);
        if (ec)
            fs::copy_file(ServerBinaryPath(), m_strBinary, fs::copy_options::overwrite_existing, ec);
    }

    CServerProcess::~CServerProcess()
    {
        if (m_Pid > 0 && !m_bExited) {
            kill(m_Pid, SIGKILL);
            int status;
            waitpid(m_Pid, &status, 0);
        }
        if (m_iStdin >= 0)
            close(m_iStdin);
        if (m_iStdout >= 0)
            close(m_iStdout);
    }

    bool CServerProcess::Start(const std::vector<std::string>& args, bool bCloseStdin)
    {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            return false;
        m_Pid = fork();
        if (m_Pid < 0)
            return false;
        if (m_Pid == 0) {
            if (chdir(m_strRoot.c_str()) != 0)
                _exit(127);
            if (bCloseStdin) {
                int devnull = open("/dev/null", O_RDONLY);
                dup2(devnull, 0);
            } else {
                dup2(in[0], 0);
            }
            dup2(out[1], 1);
            dup2(out[1], 2);
            close(in[0]);
            close(in[1]);
            close(out[0]);
            close(out[1]);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(m_strBinary.c_str()));
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(m_strBinary.c_str(), argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        m_iStdin = in[1];
        m_iStdout = out[0];
        fcntl(m_iStdout, F_SETFL, O_NONBLOCK);
        signal(SIGPIPE, SIG_IGN);
        if (bCloseStdin)
            CloseStdin();
        return true;
    }

    bool CServerProcess::WriteLine(const std::string& line)
    {
        if (m_iStdin < 0)
            return false;
        std::string data = line + "\n";
        return write(m_iStdin, data.data(), data.size()) == static_cast<ssize_t>(data.size());
    }

    void CServerProcess::CloseStdin()
    {
        if (m_iStdin >= 0)
            close(m_iStdin);
        m_iStdin = -1;
    }

    void CServerProcess::Signal(int sig)
    {
        if (m_Pid > 0 && !m_bExited)
            kill(m_Pid, sig);
    }

    void CServerProcess::Pump(int timeoutMs)
    {
        if (m_iStdout < 0)
            return;
        pollfd pfd{m_iStdout, POLLIN, 0};
        if (poll(&pfd, 1, timeoutMs) <= 0)
            return;
        char buf[4096];
        for (;;) {
            ssize_t n = read(m_iStdout, buf, sizeof(buf));
            if (n <= 0)
                break;
            m_strOutput.append(buf, static_cast<size_t>(n));
        }
    }

    int CServerProcess::Wait(std::chrono::milliseconds timeout)
    {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!m_bExited) {
            Pump(10);
            int status;
            pid_t r = waitpid(m_Pid, &status, WNOHANG);
            if (r == m_Pid) {
                m_bExited = true;
                m_iExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            if (std::chrono::steady_clock::now() > deadline)
                return -1;
        }
        Pump(0);
        return m_iExitStatus;
    }

    bool CServerProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout)
    {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (Output().find(text) != std::string::npos)
                return true;
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            Pump(20);
        }
    }

    std::string CServerProcess::Output()
    {
        Pump(0);
        std::string clean;
        clean.reserve(m_strOutput.size());
        for (size_t i = 0; i < m_strOutput.size(); ++i) {
            if (m_strOutput[i] == '\033') {
                size_t m = m_strOutput.find('m', i);
                if (m == std::string::npos)
                    break;
                i = m;
                continue;
            }
            clean += m_strOutput[i];
        }
        return clean;
    }
}
