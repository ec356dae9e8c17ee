#include "JoinRateLimiter.h"

#include <Engine/Clock.h>

#include <algorithm>

static constexpr uint64_t MINUTE_MS = 60000;

CJoinRateLimiter::CJoinRateLimiter(ClockFunction pClock) : m_pClock(pClock ? pClock : &Torvane3D::GetTickCount64) {}

void CJoinRateLimiter::Refill(tBucket& bucket, uint64_t now) const
{
    uint64_t elapsed = now - bucket.m_ullLast;
    bucket.m_ullLast = now;
    double capacity = m_uiPerMinute;
    bucket.m_dTokens = std::min(capacity, bucket.m_dTokens + capacity * static_cast<double>(elapsed) / MINUTE_MS);
}

void CJoinRateLimiter::Sweep(uint64_t now)
{
    m_ullLastSweep = now;
    for (auto it = m_Buckets.begin(); it != m_Buckets.end();) {
        Refill(it->second, now);
        if (it->second.m_dTokens >= m_uiPerMinute)
            it = m_Buckets.erase(it);
        else
            ++it;
    }
}

CJoinRateLimiter::eResult CJoinRateLimiter::Check(const std::string& address)
{
    if (m_uiPerMinute == 0)
        return ALLOWED;
    uint64_t now = m_pClock();
    if (now - m_ullLastSweep >= MINUTE_MS)
        Sweep(now);

    auto [it, bNew] = m_Buckets.try_emplace(address);
    tBucket& bucket = it->second;
    if (bNew) {
        bucket.m_dTokens = m_uiPerMinute;
        bucket.m_ullLast = now;
    } else {
        Refill(bucket, now);
    }
    if (bucket.m_dTokens >= 1.0) {
        bucket.m_dTokens -= 1.0;
        bucket.m_bReported = false;
        return ALLOWED;
    }
    if (bucket.m_bReported)
        return REFUSED;
    bucket.m_bReported = true;
    return REFUSED_REPORT;
}
