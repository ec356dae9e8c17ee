// The one lock of the log: console lines, file lines, opening and closing the file, listeners.
#pragma once

#include <mutex>

namespace Torvane3D
{
    std::recursive_mutex& GetLogMutex();
}
