#include "BaseServer.h"

#include <Engine/Context.h>

#include <chrono>
#include <cstring>
#include <unistd.h>

using namespace Torvane3D;

CBaseServer* g_pServer = nullptr;

static constexpr uint32_t FRAME_SLEEP_ACTIVE_MS = 5;
static constexpr uint32_t FRAME_SLEEP_IDLE_MS = 100;
static constexpr size_t MAX_CONSOLE_LINE = 255; // line feed included

static uint64_t ReadFrameCounter()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

// `say`: a chat line from the issuing client.
class CSayCommandHandler : public CCommandHandler
{
public:
    explicit CSayCommandHandler(CBaseServer* pServer) : m_pServer(pServer) {}
    void Execute(const char*, const char* szArguments, CBaseObject* pSource) override
    {
        // Only a client (the console client for typed lines) can say something.
        if (CNetMachine* pClient = dynamic_cast<CNetMachine*>(pSource))
            m_pServer->UserChat(pClient, szArguments, strlen(szArguments));
    }

private:
    CBaseServer* m_pServer;
};

// `quit` and `exit`.
class CExitCommandHandler : public CCommandHandler
{
public:
    explicit CExitCommandHandler(CBaseServer* pServer) : m_pServer(pServer) {}
    void Execute(const char*, const char*, CBaseObject*) override
    {
        m_pServer->SetQuit();
        m_pServer->RaiseQuitSignal();
    }

private:
    CBaseServer* m_pServer;
};

// Unknown commands: answered only to the console (typed, the remote console, the command
// file, privileged scripts); clients are never told.
class CUnhandledCommandHandler2 : public CUnhandledCommandHandler
{
public:
    explicit CUnhandledCommandHandler2(CBaseServer* pServer) : m_pServer(pServer) {}
    void Execute(const char* szCommand, const char*, CBaseObject* pSource) override
    {
        if (pSource && pSource != m_pServer->GetConsoleMachine())
            return;
        GetOwner()->GetReplyLogger()->LogFormatted(LOG_ERROR,
            "'%s' is not recognized as an internal or external command, operable program or batch file.",
            szCommand);
    }

private:
    CBaseServer* m_pServer;
};

void CFrameTimer::Initialise(uint64_t ullCounter, uint64_t ullFrequency)
{
    m_dAccumulator = 0.0;
    m_ullFrequency = ullFrequency ? ullFrequency : 1;
    m_ullStartCounter = ullCounter;
    m_ullLastCounter = ullCounter;
}

void CFrameTimer::Advance(uint64_t ullCounter, FrameTimeInfo& info)
{
    uint64_t ullElapsed = ullCounter >= m_ullLastCounter ? ullCounter - m_ullLastCounter : 0;
    m_ullLastCounter = ullCounter;
    double dElapsed = static_cast<double>(ullElapsed) / static_cast<double>(m_ullFrequency);
    double dDelta = (dElapsed < info.m_dMaxDelta ? dElapsed : info.m_dMaxDelta) * info.m_dTimeScale;
    m_dAccumulator += dDelta;
    int32_t iSteps = static_cast<int32_t>(m_dAccumulator / info.m_dFixedStep);
    m_dAccumulator -= iSteps * info.m_dFixedStep;
    info.m_dDelta = dDelta;
    info.m_iStepCount = iSteps;
}

uint64_t CFrameTimer::GetMilliseconds(uint64_t ullCounter) const
{
    uint64_t ullTicks = ullCounter >= m_ullStartCounter ? ullCounter - m_ullStartCounter : 0;
    // Split so the multiplication cannot overflow on long runs.
    return ullTicks / m_ullFrequency * 1000 + ullTicks % m_ullFrequency * 1000 / m_ullFrequency;
}

CBaseServer::CBaseServer()
{
    m_pNetServer = std::make_unique<CENetServer>(this);
    m_Machines.SetNetServer(m_pNetServer.get());
    m_pCommandHandlers = std::make_unique<CCommandHandlers>();
    m_pCommandHandlers->SetPassSourceToScripts(true);
    // Seam: the resource manager with the scripting, event, define and timer registries.
    // Seam: the remote console, the listing announcer and the HTTP request manager.
    m_pConsoleQueue = std::make_shared<CPumpedEventLoop>();
    // Seam: the query-information block and the server's event types.
    m_pCommandHandlers->AddCommandHandler(new CSayCommandHandler(this), "say");
    m_pCommandHandlers->AddCommandHandler(new CExitCommandHandler(this), "quit");
    m_pCommandHandlers->AddCommandHandler(new CExitCommandHandler(this), "exit");
    // Seam: start, stop, stopall, restart, refresh (resources) and dumpdoc (documentation).
    m_pCommandHandlers->SetUnhandledCommandHandler(new CUnhandledCommandHandler2(this));
    // Seam: the server natives and the three script engines.
    InitialiseFrameTimer();
}

CBaseServer::~CBaseServer()
{
    StopInputThread();
    ClearConsoleInput();
    // Seam: stop the listing and the remote console, stop every resource, stop the HTTP
    // server. The elements go while the clients are still there to hear of it.
    if (m_pNetObjectMgr)
        m_pNetObjectMgr->Shutdown();
    m_pNetObjectMgr.reset();
    m_Machines.ClearAll();
    m_pConsoleMachine = nullptr;
    m_pCommandHandlers.reset();
    // The transport goes last.
    m_pNetServer.reset();
    if (g_pServer == this)
        g_pServer = nullptr;
}

void CBaseServer::InitialiseFrameTimer()
{
    m_FrameTime = FrameTimeInfo();
    m_FrameTimer.Initialise(ReadFrameCounter(), 1000000000);
}

bool CBaseServer::StartNetwork()
{
    CENetLimits limits;
    limits.m_uiMaxPeersPerAddress = m_uiMaxPeersPerAddress;
    m_pNetServer->SetLimits(limits);
    return m_pNetServer->Initialise(m_usPort, m_szBindIP, m_bMultithreaded);
}

bool CBaseServer::StartInputThread()
{
    if (m_pConsoleInput)
        return false;
    m_pConsoleInput = std::make_unique<CConsoleInput>(m_pConsoleQueue);
    if (!m_pConsoleInput->Start()) {
        m_pConsoleInput.reset();
        return false;
    }
    return true;
}

void CBaseServer::StopInputThread()
{
    m_pConsoleInput.reset();
}

void CBaseServer::ClearConsoleInput()
{
    m_pConsoleQueue->Clear();
}

void CBaseServer::PumpConsoleInput()
{
    std::vector<std::string> lines;
    if (!m_pConsoleQueue->Take(lines))
        return;
    for (const std::string& line : lines) {
        // Longer lines were never meant as one command; skipped without a word.
        if (line.empty() || line.size() > MAX_CONSOLE_LINE)
            continue;
        m_pCommandHandlers->ConsoleCommandOnly(line.c_str(), GetConsoleMachine(), true);
    }
}

void CBaseServer::OnProcess(const FrameTimeInfo*)
{
    // Seam: trigger "OnProcess" with the frame's delta once events exist.
}

bool CBaseServer::Frame()
{
    {
        CScopedLock lock(m_ServerLock);
        uint64_t ullCounter = ReadFrameCounter();
        m_FrameTimer.Advance(ullCounter, m_FrameTime);
        uint64_t ullNow = m_FrameTimer.GetMilliseconds(ullCounter);

        // Seam: deferred (latent) script events run here.
        // Seam: script timers advance by m_FrameTime.m_dDelta and the due ones fire.
        // Seam: the HTTP requests of scripts are driven here.
        // Seam: the remote console, when enabled and running, is polled without waiting.

        if (IsQuitRequested())
            return false;

        m_pNetServer->Update();
        ProcessSessions();

        if (m_bServerBrowser) {
            // Seam: the server listing's main-loop step (retry timer counted down by the delta).
        }

        if (m_iPlayerCount > 0) {
            if (m_StreamClock.Poll(ullNow, m_usStreamInterval))
                StreamElements();
            if (m_SyncMethod == SYNC_METHOD_INTERVAL && m_SyncClock.Poll(ullNow, m_usSyncInterval))
                SyncElements();
        }

        OnProcess(&m_FrameTime);

        CScopedLock queryLock(m_QueryInfoLock);
        // Seam: rebuild the query-information block.
    }
    // Typed lines run outside the server lock.
    PumpConsoleInput();
    return true;
}

uint32_t CBaseServer::GetFrameSleepMilliseconds() const
{
    // A peer still in its handshake counts too, so it is answered without idle delays.
    if (m_iPlayerCount > 0 || m_pNetServer->GetSystem().GetConnectedCount() > 0)
        return FRAME_SLEEP_ACTIVE_MS;
    return FRAME_SLEEP_IDLE_MS;
}

void CBaseServer::MainLoop()
{
    while (Frame())
        usleep(GetFrameSleepMilliseconds() * 1000);
}

bool CBaseServer::ReceiveDatagram(INetSocket*)
{
    // Seam: the query protocol answers datagrams that start with FF FF here.
    return false;
}
