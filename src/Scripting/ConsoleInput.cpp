#include <Scripting/ConsoleInput.h>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace Torvane3D
{
    void CPumpedEventLoop::Post(std::string line)
    {
        CScopedLock lock(m_Lock);
        m_Pending.push_back(std::move(line));
        m_Signal.Signal();
    }

    bool CPumpedEventLoop::Take(std::vector<std::string>& lines)
    {
        if (!m_Signal.IsSignalled())
            return false;
        CScopedLock lock(m_Lock);
        lines.clear();
        lines.swap(m_Pending);
        m_Signal.Reset();
        return !lines.empty();
    }

    void CPumpedEventLoop::Clear()
    {
        CScopedLock lock(m_Lock);
        m_Pending.clear();
        m_Signal.Reset();
    }

    void CInputLineAssembler::Feed(const char* pData, size_t length, std::vector<std::string>& lines)
    {
        while (length > 0) {
            const char* pEnd = static_cast<const char*>(memchr(pData, '\n', length));
            size_t piece = pEnd ? static_cast<size_t>(pEnd - pData) + 1 : length;
            if (!m_bDiscarding) {
                if (m_strLine.size() + piece > BUFFER_SIZE - 1) {
                    m_strLine.clear();
                    m_bDiscarding = true;
                } else {
                    m_strLine.append(pData, piece);
                }
            }
            if (pEnd) {
                if (!m_bDiscarding)
                    lines.push_back(std::move(m_strLine));
                m_strLine.clear();
                m_bDiscarding = false;
            }
            pData += piece;
            length -= piece;
        }
    }

    void CInputLineAssembler::Finish(std::vector<std::string>& lines)
    {
        if (!m_bDiscarding && !m_strLine.empty())
            lines.push_back(std::move(m_strLine));
        m_strLine.clear();
        m_bDiscarding = false;
    }

    CConsoleInput::CConsoleInput(std::shared_ptr<CPumpedEventLoop> pQueue, int iFd)
        : m_pState(std::make_shared<CState>())
    {
        m_pState->m_pQueue = std::move(pQueue);
        m_pState->m_iFd = iFd;
    }

    CConsoleInput::~CConsoleInput()
    {
        Stop();
        if (m_pThread)
            m_pThread->Detach();
    }

    bool CConsoleInput::Start()
    {
        if (m_pThread)
            return false;
        m_pThread = std::make_unique<Thread>("InputThread");
        std::shared_ptr<CState> pState = m_pState;
        if (!m_pThread->Start([pState] { InputThread(pState); })) {
            m_pThread.reset();
            return false;
        }
        return true;
    }

    void CConsoleInput::Stop()
    {
        m_pState->m_Stop.Signal();
    }

    void CConsoleInput::InputThread(std::shared_ptr<CState> pState)
    {
        // Reads the descriptor itself rather than through stdio: a thread blocked inside
        // fgets holds the stream's lock, which the process's exit may want.
        CInputLineAssembler assembler;
        std::vector<std::string> lines;
        char buffer[CInputLineAssembler::BUFFER_SIZE];
        while (!pState->m_Stop.IsSignalled()) {
            pollfd pfd{pState->m_iFd, POLLIN, 0};
            int iReady = poll(&pfd, 1, POLL_MS);
            if (iReady == 0 || (iReady < 0 && errno == EINTR))
                continue;
            ssize_t n = iReady > 0 ? read(pState->m_iFd, buffer, sizeof(buffer)) : -1;
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            lines.clear();
            if (n <= 0)
                assembler.Finish(lines);
            else
                assembler.Feed(buffer, static_cast<size_t>(n), lines);
            for (std::string& line : lines) {
                if (pState->m_Stop.IsSignalled())
                    return;
                pState->m_pQueue->Post(std::move(line));
                pState->m_Stop.Wait(LINE_PAUSE_MS);
            }
            if (n <= 0)
                pState->m_Stop.Wait(IDLE_PAUSE_MS);
        }
    }
}
