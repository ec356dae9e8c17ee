#include <Scripting/ConsoleInput.h>

#include <gtest/gtest.h>

#include <chrono>
#include <dirent.h>
#include <fstream>
#include <thread>
#include <unistd.h>

using namespace Torvane3D;
using namespace std::chrono_literals;

namespace
{
    int CountThreadsNamed(const std::string& name)
    {
        int iCount = 0;
        DIR* pDir = opendir("/proc/self/task");
        while (dirent* pEntry = pDir ? readdir(pDir) : nullptr) {
            if (pEntry->d_name[0] == '.')
                continue;
            std::ifstream comm(std::string("/proc/self/task/") + pEntry->d_name + "/comm");
            std::string line;
            if (std::getline(comm, line) && line == name)
                ++iCount;
        }
        if (pDir)
            closedir(pDir);
        return iCount;
    }

    template <class Predicate>
    bool WaitFor(Predicate done, std::chrono::milliseconds timeout = 5s)
    {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(10ms);
        }
        return true;
    }
}

TEST(InputLineAssembler, OverlongLinesAreDroppedWhole)
{
    const std::string filler4094(4094, 'f');
    const std::string filler4095(4095, 'f');
    struct CCase
    {
        const char* m_szName;
        std::vector<std::string> m_Chunks;
        bool m_bFinish;
        std::vector<std::string> m_Expected;
    };
    const std::vector<CCase> cases = {
        {"two lines", {"a\nbb\n"}, false, {"a\n", "bb\n"}},
        {"split across reads", {"qu", "it", "\nex", "it\n"}, false, {"quit\n", "exit\n"}},
        {"empty line", {"\n"}, false, {"\n"}},
        {"longest that fits", {filler4094 + "\n"}, false, {filler4094 + "\n"}},
        {"one byte too long", {filler4095 + "\n"}, false, {}},
        {"filler then exit", {filler4095 + "exit\n", "exit\n"}, false, {"exit\n"}},
        {"filler then exit in pieces", {filler4095, "ex", "it\n", "exit\n"}, false, {"exit\n"}},
        {"overlong over many reads", {filler4095, filler4095, filler4095, "x\nok\n"}, false, {"ok\n"}},
        {"last line without a line feed", {"quit"}, true, {"quit"}},
        {"overlong last line", {filler4095 + "exit"}, true, {}},
        {"unfinished line waits", {"qu"}, false, {}},
    };
    for (const CCase& c : cases) {
        CInputLineAssembler assembler;
        std::vector<std::string> lines;
        for (const std::string& chunk : c.m_Chunks)
            assembler.Feed(chunk.data(), chunk.size(), lines);
        if (c.m_bFinish)
            assembler.Finish(lines);
        EXPECT_EQ(lines, c.m_Expected) << c.m_szName;
    }
}

TEST(PumpedEventLoop, LinesComeOutInOrderOncePerBatch)
{
    CPumpedEventLoop queue;
    std::vector<std::string> lines{"stale"};
    EXPECT_FALSE(queue.Take(lines));
    queue.Post("one\n");
    queue.Post("two\n");
    ASSERT_TRUE(queue.Take(lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"one\n", "two\n"}));
    EXPECT_FALSE(queue.Take(lines));
    queue.Post("three\n");
    queue.Clear();
    EXPECT_FALSE(queue.Take(lines));
}

TEST(ConsoleInput, ThreadQueuesWholeLinesAndIsLetGoSafely)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    auto pQueue = std::make_shared<CPumpedEventLoop>();
    auto pInput = std::make_unique<CConsoleInput>(pQueue, fds[0]);
    ASSERT_TRUE(pInput->Start());
    EXPECT_TRUE(WaitFor([] { return CountThreadsNamed("InputThread") == 1; }));

    std::string data = std::string(4095, 'f') + "exit\n" + "status\n";
    ASSERT_EQ(write(fds[1], data.data(), data.size()), static_cast<ssize_t>(data.size()));
    std::vector<std::string> received;
    ASSERT_TRUE(WaitFor([&] {
        std::vector<std::string> lines;
        if (pQueue->Take(lines))
            received.insert(received.end(), lines.begin(), lines.end());
        return !received.empty();
    }));
    std::this_thread::sleep_for(300ms);
    std::vector<std::string> rest;
    if (pQueue->Take(rest))
        received.insert(received.end(), rest.begin(), rest.end());
    EXPECT_EQ(received, (std::vector<std::string>{"status\n"}));

    // The owner goes (as at shut-down) while the thread waits in its read: the thread owns
    // its state and the queue, ends on its own, and nothing it touches is freed under it.
    pInput.reset();
    pQueue.reset();
    const char szMore[] = "late\n";
    ASSERT_EQ(write(fds[1], szMore, 5), 5);
    EXPECT_TRUE(WaitFor([] { return CountThreadsNamed("InputThread") == 0; }));
    close(fds[1]);
    close(fds[0]);
}

TEST(ConsoleInput, EndOfInputDeliversTheLastLineAndKeepsWaiting)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    auto pQueue = std::make_shared<CPumpedEventLoop>();
    CConsoleInput input(pQueue, fds[0]);
    ASSERT_TRUE(input.Start());
    ASSERT_EQ(write(fds[1], "a\nquit", 6), 6);
    close(fds[1]);
    std::vector<std::string> received;
    ASSERT_TRUE(WaitFor([&] {
        std::vector<std::string> lines;
        if (pQueue->Take(lines))
            received.insert(received.end(), lines.begin(), lines.end());
        return received.size() >= 2;
    }));
    EXPECT_EQ(received, (std::vector<std::string>{"a\n", "quit"}));
    input.Stop();
    EXPECT_TRUE(WaitFor([] { return CountThreadsNamed("InputThread") == 0; }));
    close(fds[0]);
}
