#include "Startup.h"

#include <cstdio>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

std::string GetExecutableFolder()
{
    char szPath[4096];
    ssize_t length = -1;
    if (access("/proc", F_OK) == 0) {
        length = readlink("/proc/self/exe", szPath, sizeof(szPath) - 1);
        if (length < 0) {
            char szLink[64];
            snprintf(szLink, sizeof(szLink), "/proc/%llu/exe", static_cast<unsigned long long>(getpid()));
            length = readlink(szLink, szPath, sizeof(szPath) - 1);
        }
    }
    if (length <= 0)
        return std::string();
    std::string path(szPath, static_cast<size_t>(length));
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return std::string();
    return path.substr(0, slash + 1);
}

void WaitForKeyPress()
{
    printf("Press any key to continue ...");
    fflush(stdout);
    bool bTerminal = isatty(STDIN_FILENO);
    termios old{};
    if (bTerminal) {
        if (tcgetattr(STDIN_FILENO, &old) < 0)
            perror("tcsetattr()");
        termios raw = old;
        raw.c_lflag &= ~(ICANON | ECHO);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) < 0)
            perror("tcsetattr ICANON");
    }
    // A closed or exhausted stdin (service managers, tests) returns at once.
    char c;
    if (fcntl(STDIN_FILENO, F_GETFD) != -1 && read(STDIN_FILENO, &c, 1) < 0)
        perror("read()");
    if (bTerminal && tcsetattr(STDIN_FILENO, TCSADRAIN, &old) < 0)
        perror("tcsetattr ~ICANON");
    printf("\n");
    fflush(stdout);
}
