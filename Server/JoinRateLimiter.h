// Handshakes per address per minute. Checking a join password costs a bcrypt hash, so one
// address must not be able to make the main loop run it at will.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

class CJoinRateLimiter
{
public:
    using ClockFunction = uint64_t (*)();

    explicit CJoinRateLimiter(ClockFunction pClock = nullptr);

    // Handshakes allowed per address in any minute (a burst of this many, refilled evenly).
    void SetLimit(uint32_t uiPerMinute) { m_uiPerMinute = uiPerMinute; }
    uint32_t GetLimit() const { return m_uiPerMinute; }

    enum eResult
    {
        ALLOWED,
        REFUSED,        // over the limit; already reported for this run of refusals
        REFUSED_REPORT, // over the limit, the first refusal since the address was last allowed
    };
    // Counts one handshake from the address.
    eResult Check(const std::string& address);

    size_t GetTrackedCount() const { return m_Buckets.size(); }

private:
    struct tBucket
    {
        double m_dTokens = 0;
        uint64_t m_ullLast = 0;
        bool m_bReported = false;
    };

    void Refill(tBucket& bucket, uint64_t now) const;
    // Forgets addresses whose bucket is full again, so the table stays small.
    void Sweep(uint64_t now);

    ClockFunction m_pClock;
    uint32_t m_uiPerMinute = 30;
    uint64_t m_ullLastSweep = 0;
    std::unordered_map<std::string, tBucket> m_Buckets;
};
