// Client-chosen text on its way to the log: control characters become visible escapes,
// so a nickname or chat line can neither forge log lines nor drive the terminal.
#pragma once

#include <string>
#include <string_view>

namespace Torvane3D
{
    // Bytes 0x00 to 0x1F and 0x7F become "\xNN"; everything else is kept.
    std::string EscapeControlCharacters(std::string_view text);
}
