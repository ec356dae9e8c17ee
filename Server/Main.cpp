// Process entry: start-up in a fixed order, the main loop, then shut-down.
#include "CommandLine.h"
#include "GTAServer.h"
#include "ServerConfiguration.h"
#include "Startup.h"

#include <Engine/Assert.h>
#include <Engine/BuiltinArchive.h>
#include <Engine/Clock.h>
#include <Engine/Context.h>
#include <Engine/ElementChunk.h>
#include <Engine/MountedPath.h>
#include <Engine/TARArchive.h>

#include <curl/curl.h>
#include <enet/enet.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <memory>
#include <sys/utsname.h>

using namespace Torvane3D;

static void sigint_handler(int)
{
    // Only an atomic store: anything that locks could deadlock inside a signal handler.
    // Later interrupts change nothing once the flag is up.
    if (g_pServer)
        g_pServer->RaiseQuitSignal();
}

static void InstallInterruptHandler()
{
    struct sigaction action = {};
    action.sa_handler = sigint_handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
}

static void AddUserAgentPieces(Context& context)
{
    char szPiece[512];
    snprintf(szPiece, sizeof(szPiece), "Torvane3D/%d.%d.%d", ENGINE_VERSION_MAJOR, ENGINE_VERSION_MINOR,
        ENGINE_VERSION_PATCH);
    context.AddUserAgent(szPiece);
    utsname name = {};
    uname(&name);
    snprintf(szPiece, sizeof(szPiece), " (%s %s)", name.sysname, name.machine);
    context.AddUserAgent(szPiece);
    context.AddUserAgent("OsprelServer/" SERVER_VERSION_TEXT);
}

// The executable's folder first, so that a file beside the program replaces the built-in one.
static void MountFileSystem(Context& context)
{
    Strong<CFileSystem> pFileSystem = MakeStrong<CFileSystem>();
    std::string strFolder = GetExecutableFolder();
    if (!strFolder.empty())
        pFileSystem->Mount(MakeStrong<CMountedPath>(strFolder.c_str()));
    Strong<CTARArchive> pArchive = MakeStrong<CTARArchive>();
    if (pArchive->Read(MakeStrong<CMemoryStream>(g_BuiltinArchive, g_BuiltinArchiveSize)))
        pFileSystem->Mount(pArchive);
    context.SetFileSystem(pFileSystem);
}

// Start-up after the configuration is in place, then the main loop; the exit status.
static int StartAndRunServer(Context& context, CGTAServer& server, const CCommandLineOverrides& overrides)
{
    context.Log("Server is starting...");
    context.Log(server.m_bMultithreaded ? "Multithreading: enabled" : "Multithreading: disabled");
    server.InitialiseFrameTimer();

    if (!server.StartNetwork()) {
        context.LogError("Failed to start the server!");
        return 1;
    }
    context.Log("Server is now listening on port %hu max players %d...", server.m_usPort, server.m_iMaxPlayers);

    // Seam: the remote console ("Failed to start the RCon server!") and the HTTP server
    // ("Failed to start the HTTP server!") start here when enabled.
    server.CreateConsoleMachine();
    // Seam: the configured resources start ("Starting resources..."), then "OnServerStart".
    // Seam: "/commandline.txt" and, with -dumpdoc, "/dumpdoc" run here.

    // Without a console thread the server still runs; it just takes no typed input.
    if (!overrides.m_bNoInput)
        server.StartInputThread();

    server.MainLoop();
    return 0;
}

// Reads the configuration file (named "server.xml" in the messages whatever its path), parses
// it and applies the command-line switches over it. False when start-up must fail.
static bool LoadConfiguration(Context& context, CGTAServer& server, const CCommandLineOverrides& overrides)
{
    FILE* pFile = fopen(overrides.m_strConfigPath.c_str(), "rb");
    if (!pFile) {
        context.LogError("I can't start because server.xml doesn't exist...");
        return false;
    }
    std::unique_ptr<CElementChunk> pDocument;
    {
        Strong<CStandardStream> pStream = Strong<CStandardStream>::Adopt(new CStandardStream(pFile));
        pDocument = CElementChunk::Load(pStream);
    }
    if (!pDocument) {
        context.LogError("I can't start because server.xml failed to parse...");
        return false;
    }
    CElementChunkConfig root(*pDocument);
    return server.ParseConfig(CServerConfiguration(root)) && server.ApplyOverrides(overrides);
}

// Runs start-up and the main loop; returns the process's exit status.
static int RunServer(int argc, char** argv, Context& context, std::unique_ptr<CGTAServer>& pServer)
{
    MountFileSystem(context);
    AddUserAgentPieces(context);

    pServer = std::make_unique<CGTAServer>();
    g_pServer = pServer.get();
    InstallInterruptHandler();

    CCommandLineOverrides overrides;
    std::string strError;
    if (!ParseCommandLine(argc, argv, overrides, strError)) {
        context.LogError("%s", strError.c_str());
        return 1;
    }

    if (!LoadConfiguration(context, *pServer, overrides))
        return 1;

    return StartAndRunServer(context, *pServer, overrides);
}

int main(int argc, char** argv)
{
    SetAssertionsEnabled(false);
    curl_global_init(CURL_GLOBAL_ALL);
    atexit(curl_global_cleanup);
    atexit(enet_deinitialize);

    auto pContext = std::make_unique<Context>();
    InitClock();
    g_pContext = pContext.get();
    srand(static_cast<unsigned>(time(nullptr)));

    std::unique_ptr<CGTAServer> pServer;
    int iStatus;
    try {
        iStatus = RunServer(argc, argv, *pContext, pServer);
    } catch (const std::exception& e) {
        pContext->LogError("Unhandled exception: %s", e.what());
        iStatus = 1;
        pServer.reset();
        pContext.reset();
        return iStatus;
    }

    if (iStatus != 0) {
        WaitForKeyPress();
        pServer.reset();
        pContext.reset();
        return iStatus;
    }

    // The input thread is let go, not waited for: it may be blocked reading standard input.
    pServer->StopInputThread();
    pContext->Log("Server shutting down...");
    pServer->ClearConsoleInput();
    pServer.reset();
    pContext.reset();
    return 0;
}
