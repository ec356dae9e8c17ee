#include <Multiplayer/SafeText.h>

namespace Torvane3D
{
    std::string EscapeControlCharacters(std::string_view text)
    {
        static const char s_szHex[] = "0123456789ABCDEF";
        std::string out;
        out.reserve(text.size());
        for (char c : text) {
            unsigned char b = static_cast<unsigned char>(c);
            if (b < 0x20 || b == 0x7F) {
                out += "\\x";
                out += s_szHex[b >> 4];
                out += s_szHex[b & 15];
            } else {
                out += c;
            }
        }
        return out;
    }
}
