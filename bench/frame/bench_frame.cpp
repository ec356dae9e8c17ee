// Measures what one main-loop frame costs with N connected, idle ENet peers, and how much
// of a core the running loop (with its sleeps) uses, single-threaded and with the network
// thread. Usage: bench_frame [seconds per loop run, default 3]
#include "BaseServer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <pthread.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace Torvane3D;
using Clock = std::chrono::steady_clock;

namespace
{
    double ProcessCpuSeconds()
    {
        timespec ts;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return ts.tv_sec + ts.tv_nsec / 1e9;
    }

    // N peers on one client host, kept alive from a thread of their own.
    class CIdleClients
    {
    public:
        explicit CIdleClients(size_t count) : m_Count(count)
        {
            m_pHost = enet_host_create(nullptr, count ? count : 1, 255, 0, 0);
            enet_host_compress_with_range_coder(m_pHost);
        }
        ~CIdleClients()
        {
            Stop();
            enet_host_destroy(m_pHost);
        }
        bool Connect(CBaseServer& server)
        {
            ENetAddress address;
            enet_address_set_host_ip(&address, "127.0.0.1");
            address.port = server.GetNetServer()->GetSystem().GetPort();
            for (size_t i = 0; i < m_Count; ++i)
                enet_host_connect(m_pHost, &address, 255, 0);
            auto deadline = Clock::now() + std::chrono::seconds(20);
            while (server.GetNetServer()->GetSystem().GetConnectedCount() < static_cast<int>(m_Count)) {
                if (Clock::now() > deadline)
                    return false;
                Service(1);
                server.Frame();
            }
            return true;
        }
        void StartKeepAlive()
        {
            m_Thread = std::thread([this] {
                while (!m_bStop)
                    Service(5);
            });
            pthread_getcpuclockid(m_Thread.native_handle(), &m_CpuClock);
        }
        void Stop()
        {
            m_bStop = true;
            if (m_Thread.joinable())
                m_Thread.join();
        }
        // CPU time the keep-alive thread has used so far.
        double GetCpu() const
        {
            timespec ts;
            clock_gettime(m_CpuClock, &ts);
            return ts.tv_sec + ts.tv_nsec / 1e9;
        }

    private:
        void Service(uint32_t uiTimeout)
        {
            ENetEvent event;
            if (enet_host_service(m_pHost, &event, uiTimeout) > 0 && event.type == ENET_EVENT_TYPE_RECEIVE)
                enet_packet_destroy(event.packet);
            while (enet_host_check_events(m_pHost, &event) > 0)
                if (event.type == ENET_EVENT_TYPE_RECEIVE)
                    enet_packet_destroy(event.packet);
        }

        size_t m_Count;
        ENetHost* m_pHost;
        std::thread m_Thread;
        std::atomic<bool> m_bStop{false};
        clockid_t m_CpuClock = CLOCK_THREAD_CPUTIME_ID;
    };

    double Percentile(std::vector<double> values, double p)
    {
        if (values.empty())
            return 0.0;
        std::sort(values.begin(), values.end());
        return values[static_cast<size_t>(p * (values.size() - 1))];
    }

    void Run(bool bMultithreaded, size_t peers, double dSeconds)
    {
        CBaseServer server;
        server.m_usPort = 0;
        strcpy(server.m_szBindIP, "127.0.0.1");
        server.m_bMultithreaded = bMultithreaded;
        server.m_uiMaxPeersPerAddress = static_cast<uint32_t>(peers + 1);
        if (!server.StartNetwork()) {
            printf("cannot start the transport\n");
            return;
        }
        CIdleClients clients(peers);
        if (!clients.Connect(server)) {
            printf("%-8s %6zu peers: could not connect them all\n", bMultithreaded ? "threaded" : "single", peers);
            return;
        }
        clients.StartKeepAlive();

        // Frame overhead: frames back to back, sleeps left out.
        std::vector<double> frames;
        for (int i = 0; i < 2000; ++i) {
            auto start = Clock::now();
            server.Frame();
            frames.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
            usleep(500);
        }

        // The real loop with its sleeps, for its share of a core.
        double dProcessStart = ProcessCpuSeconds();
        double dClientStart = clients.GetCpu();
        auto wallStart = Clock::now();
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::duration<double>(dSeconds));
            server.RaiseQuitSignal();
        });
        server.MainLoop();
        stopper.join();
        double dWall = std::chrono::duration<double>(Clock::now() - wallStart).count();
        double dLoopCpu = ProcessCpuSeconds() - dProcessStart - (clients.GetCpu() - dClientStart);
        clients.Stop();

        printf("%-8s %6zu %12.1f %12.1f %12.1f %10.3f%%\n", bMultithreaded ? "threaded" : "single", peers,
            Percentile(frames, 0.5), Percentile(frames, 0.99), Percentile(frames, 0.999), 100.0 * dLoopCpu / dWall);
    }
}

int main(int argc, char** argv)
{
    double dSeconds = argc > 1 ? atof(argv[1]) : 3.0;
    if (dSeconds <= 0)
        dSeconds = 3.0;
    printf("Frame overhead (microseconds, one frame without its sleep) and CPU of the running loop\n");
    printf("(%% of one core over %.1f s, client keep-alive thread excluded)\n\n", dSeconds);
    printf("%-8s %6s %12s %12s %12s %11s\n", "mode", "peers", "median", "p99", "p99.9", "loop CPU");
    for (bool bMultithreaded : {false, true})
        for (size_t peers : {0, 16, 64, 127, 256})
            Run(bMultithreaded, peers, dSeconds);
    return 0;
}
