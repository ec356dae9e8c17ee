#include "ServerProcess.h"

#include <Engine/Context.h>
#include <Engine/MountedPath.h>

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <thread>
#include <sys/utsname.h>
#include <unistd.h>

using namespace Torvane3D;
using namespace TestSupport;

namespace
{
    std::string ReadFile(const std::string& strPath)
    {
        std::ifstream in(strPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::vector<std::string> SplitCRLF(const std::string& strText)
    {
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t end; (end = strText.find("\r\n", start)) != std::string::npos; start = end + 2)
            lines.push_back(strText.substr(start, end - start));
        EXPECT_EQ(start, strText.size()) << "text after the last CR LF";
        return lines;
    }

    // Captures what the process writes to standard output while it lives.
    class CStdoutCapture
    {
    public:
        CStdoutCapture()
        {
            fflush(stdout);
            m_iSaved = dup(STDOUT_FILENO);
            m_pFile = tmpfile();
            dup2(fileno(m_pFile), STDOUT_FILENO);
        }
        std::string Finish()
        {
            fflush(stdout);
            dup2(m_iSaved, STDOUT_FILENO);
            close(m_iSaved);
            std::string strOut;
            rewind(m_pFile);
            char buf[4096];
            while (size_t n = fread(buf, 1, sizeof(buf), m_pFile))
                strOut.append(buf, n);
            fclose(m_pFile);
            return strOut;
        }

    private:
        int m_iSaved;
        FILE* m_pFile;
    };

    const std::string RULE(60, '-');

    struct CQuietConsole
    {
        CQuietConsole() { SetConsoleLogging(false); }
        ~CQuietConsole() { SetConsoleLogging(true); }
    };
}

TEST(FileLog, TwoContextLifetimesAppendToOneFile)
{
    CQuietConsole quiet;
    CTempDir dir;
    std::string strPath = dir.File("ServerLog.log");
    {
        Context context;
        context.SetLogTimestampFormat("");
        ASSERT_TRUE(context.OpenLogFile(strPath.c_str()));
        context.Log("first run");
        context.LogWarn("a warning\n");
        context.LogError("two feeds\n\n");
        context.LogMessage(LOG_CRITICAL, "critical");
        context.LogMessage(LOG_VERBOSE, "verbose");
        context.LogMessage(LOG_DEBUG, "debug");
        context.LogMessage(LOG_NONE, "plain");
    }
    {
        Context context; // the default timestamp format
        ASSERT_TRUE(context.OpenLogFile(strPath.c_str()));
        context.Log("second run");
    }
    std::string strFile = ReadFile(strPath);
    ASSERT_EQ(strFile.compare(0, 3, "\xEF\xBB\xBF"), 0);
    EXPECT_EQ(strFile.find("\xEF\xBB\xBF", 3), std::string::npos);
    std::vector<std::string> lines = SplitCRLF(strFile.substr(3));
    struct utsname name = {};
    uname(&name);
    const std::vector<std::string> header = {RULE, "--------------------- Logging Started ----------------------", RULE,
        "Torvane 1.2.0", "Platform: Linux", std::string(name.sysname) + " " + name.machine, RULE};
    const std::vector<std::string> footer = {RULE, "---------------------- Logging Ended -----------------------", RULE};
    std::vector<std::string> expected = header;
    for (const char* szLine : {"[INFO]    first run", "[WARN]    a warning", "[ERROR]   two feeds\n",
             "[CRITICAL]critical", "[VERBOSE] verbose", "[DEBUG]   debug", "plain"})
        expected.push_back(szLine);
    expected.insert(expected.end(), footer.begin(), footer.end());
    ASSERT_EQ(lines.size(), expected.size() + header.size() + 1 + footer.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + static_cast<long>(expected.size())), expected);

    // The second run carries timestamps: "<dd/mm/yyyy - hh:mm:ss> ".
    const std::regex stamped(R"(<\d\d/\d\d/\d{4} - \d\d:\d\d:\d\d> (.*))");
    std::vector<std::string> second;
    for (size_t i = expected.size(); i < lines.size(); i++) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(lines[i], match, stamped)) << lines[i];
        second.push_back(match[1]);
    }
    std::vector<std::string> expectedSecond = header;
    expectedSecond.push_back("[INFO]    second run");
    expectedSecond.insert(expectedSecond.end(), footer.begin(), footer.end());
    EXPECT_EQ(second, expectedSecond);
}

TEST(FileLog, LongMessagesAndMissingFiles)
{
    CQuietConsole quiet;
    CTempDir dir;
    std::string strPath = dir.File("log.txt");
    {
        Context context;
        context.SetLogTimestampFormat("");
        EXPECT_FALSE(context.OpenLogFile(dir.File("no/such/folder/x.log").c_str()));
        context.Log("console only"); // goes on without a file
        ASSERT_TRUE(context.OpenLogFile(strPath.c_str()));
        std::string strLong(10000, 'x');
        context.Log("%s", strLong.c_str());
        context.Log("after");
    }
    std::vector<std::string> lines = SplitCRLF(ReadFile(strPath).substr(3));
    ASSERT_EQ(lines.size(), 7u + 2 + 3);
    EXPECT_EQ(lines[7], "[INFO]    " + std::string(4095, 'x')); // cut, and still ends its line
    EXPECT_EQ(lines[8], "[INFO]    after");
}

TEST(FileLog, OpenedThroughTheFileSystemAsAnOwnerPath)
{
    CQuietConsole quiet;
    CTempDir dir;
    Context context;
    auto pFileSystem = MakeStrong<CFileSystem>();
    pFileSystem->Mount(MakeStrong<CMountedPath>(dir.File("root").c_str()));
    context.SetFileSystem(pFileSystem);
    // A log folder beside the server root, made when missing.
    ASSERT_TRUE(context.OpenLogFile("../logs/ServerLog.log"));
    context.Log("through the file system");
    context.CloseLogFile();
    EXPECT_NE(ReadFile(dir.File("logs/ServerLog.log")).find("through the file system"), std::string::npos);
}

TEST(Log, ConsoleLinesCarryColoursAndNoTags)
{
    Context context;
    CStdoutCapture capture;
    context.Log("info");
    context.LogWarn("warn\n");
    context.LogError("error");
    context.LogMessage(LOG_CRITICAL, "critical");
    context.LogMessage(LOG_DEBUG, "debug");
    EXPECT_EQ(capture.Finish(), "\033[32;1minfo\033[0;0m\n"
                                "\033[33;1mwarn\033[0;0m\n"
                                "\033[31;1merror\033[0;0m\n"
                                "\033[37;41mcritical\033[0;0m\n"
                                "\033[32;1mdebug\033[0;0m\n");
}

TEST(Log, LoggerAndLogFormatted)
{
    struct CCapture : Logger
    {
        void Log(eLogType level, const char* szText) override { m_Lines.emplace_back(level, szText); }
        std::vector<std::pair<eLogType, std::string>> m_Lines;
    } capture;
    const char* szClientText = "%s%n%x";
    capture.LogFormatted(LOG_WARN, "reply %d: %s", 7, szClientText);
    ASSERT_EQ(capture.m_Lines.size(), 1u);
    EXPECT_EQ(capture.m_Lines[0].first, LOG_WARN);
    EXPECT_EQ(capture.m_Lines[0].second, "reply 7: %s%n%x");

    struct CListener : ILogListener
    {
        void OnLogMessage(eLogType level, const char* szText) override { m_Lines.emplace_back(level, szText); }
        std::vector<std::pair<eLogType, std::string>> m_Lines;
    } listener;
    AddLogListener(&listener);
    SetConsoleLogging(false);
    Logger base;
    base.Log(LOG_ERROR, "100% plain %s");
    base.LogFormatted(LOG_INFO, "%d", 42);
    SetConsoleLogging(true);
    RemoveLogListener(&listener);
    ASSERT_EQ(listener.m_Lines.size(), 2u);
    EXPECT_EQ(listener.m_Lines[0], std::make_pair(LOG_ERROR, std::string("100% plain %s")));
    EXPECT_EQ(listener.m_Lines[1], std::make_pair(LOG_INFO, std::string("42")));
}

TEST(Log, LinesFromManyThreadsStayWhole)
{
    CTempDir dir;
    std::string strPath = dir.File("threads.log");
    {
        Context context;
        context.SetLogTimestampFormat("");
        ASSERT_TRUE(context.OpenLogFile(strPath.c_str()));
        Context* pSaved = g_pContext;
        g_pContext = &context;
        CQuietConsole quiet;
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; t++) {
            threads.emplace_back([t] {
                for (int i = 0; i < 500; i++)
                    LogMessage(LOG_INFO, "thread %d line %d %s", t, i, std::string(100, 'a' + t).c_str());
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        g_pContext = pSaved;
    }
    std::vector<std::string> lines = SplitCRLF(ReadFile(strPath).substr(3));
    ASSERT_EQ(lines.size(), 7u + 2000 + 3);
    const std::regex whole(R"(\[INFO\]    thread (\d) line \d+ ([a-d])\2{99})");
    for (size_t i = 7; i < 2007; i++) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(lines[i], match, whole)) << lines[i];
        EXPECT_EQ(match[1].str()[0] - '0', match[2].str()[0] - 'a');
    }
}

TEST(Log, EscapeControlCharacters)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"plain text", "plain text"},
        {"two\nlines\r\n", "two\\nlines\\r\\n"},
        {"tab\there", "tab\\there"},
        {"\x1b[31mred", "\\x1b[31mred"},
        {std::string("nul\0byte", 8), "nul\\x00byte"},
        {"del\x7f", "del\\x7f"},
        {"\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"csi\xC2\x9b" "2J", "csi\\u009b2J"},     // a C1 control in UTF-8
        {"raw\x9b" "2J", "raw\\x9b2J"},            // a lone byte that is not UTF-8
        {"cut\xE2\x82", "cut\\xe2\\x82"},          // a sequence cut short
        {"over\xC0\xAF", "over\\xc0\\xaf"},        // an overlong form
        {"sur\xED\xA0\x80", "sur\\xed\\xa0\\x80"}, // a surrogate
        {"100% %s", "100% %s"},
    };
    for (const auto& [strIn, strOut] : cases)
        EXPECT_EQ(EscapeControlCharacters(strIn), strOut) << strIn;
}
