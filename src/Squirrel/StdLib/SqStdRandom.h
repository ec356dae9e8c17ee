// The random generator behind rand()/srand(): the same sequence as the C library's rand()
// on glibc, so that scripts seeded alike draw alike everywhere.
#pragma once

#include <cstdint>

namespace Torvane3D::Squirrel
{
    class CSqRandom
    {
    public:
        static constexpr int32_t MAX = 2147483647;

        CSqRandom() { Seed(1); }
        void Seed(uint32_t uSeed);
        // 0 .. MAX
        int32_t Next();

    private:
        static constexpr int DEGREE = 31;
        static constexpr int SEPARATION = 3;
        int32_t m_State[DEGREE];
        int m_iFront = 0;
        int m_iRear = 0;
    };
}
