// Banned addresses, in memory only: empty at start-up, never read from or written to a file.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

class CBanList
{
public:
    struct tEntry
    {
        std::string m_strAddress;
        // Milliseconds on the 64-bit process clock; 0 means permanent. The 32-bit clock
        // wraps after about 49.7 days, so expiries are kept on the clock that does not.
        uint64_t m_ullExpiry = 0;
    };

    using ClockFunction = uint64_t (*)();

    // The clock defaults to the engine's 64-bit millisecond clock; tests give their own.
    explicit CBanList(ClockFunction pClock = nullptr);

    // True while the address has an unexpired entry; an expired entry is removed here.
    bool IsBanned(const std::string& address);
    // Replaces any entry of the address. A duration of 0 bans for good.
    void Ban(const std::string& address, uint32_t uiDurationMs);
    // True when an entry (expired or not) was removed.
    bool Unban(const std::string& address);
    void UnbanAll() { m_Entries.clear(); }
    size_t GetCount() const { return m_Entries.size(); }

private:
    uint64_t Now() const;

    ClockFunction m_pClock;
    // Keyed by the address exactly as given (byte equality).
    std::unordered_map<std::string, tEntry> m_Entries;
};
