// Helpers for the script value tests: byte encodings, structural comparison, log capture.
#pragma once

#include <Engine/Arguments.h>
#include <Engine/Context.h>
#include <Engine/Stream.h>

#include <cmath>
#include <string>
#include <vector>

namespace ArgumentTesting
{
    using namespace Torvane3D;
    using Bytes = std::vector<unsigned char>;

    // Collects the lines logged at one level while it lives.
    struct CLogCapture : ILogListener
    {
        explicit CLogCapture(eLogType level = LOG_WARN) : m_Level(level) { AddLogListener(this); }
        ~CLogCapture() override { RemoveLogListener(this); }
        void OnLogMessage(eLogType level, const char* szText) override
        {
            if (level == m_Level)
                m_Lines.emplace_back(szText);
        }
        eLogType m_Level;
        std::vector<std::string> m_Lines;
    };

    inline Bytes Contents(CUnlimitedStream* pStream)
    {
        return Bytes(pStream->GetData(), pStream->GetData() + pStream->GetSize());
    }

    // The payload alone, as Write produces it; false when Write fails.
    inline bool Payload(const CArgument* pValue, Bytes& bytes)
    {
        auto pStream = MakeStrong<CUnlimitedStream>();
        bool bResult = pValue->Write(pStream);
        bytes = Contents(pStream);
        return bResult;
    }

    template <class T>
    Strong<T> Decode(const Bytes& bytes, bool& bResult, INetObjectResolver* pResolver = nullptr)
    {
        auto pStream = Strong<CMemoryStream>::Adopt(new CMemoryStream(bytes.data(), bytes.size()));
        auto pValue = MakeStrong<T>();
        pValue->SetNetObjectResolver(pResolver);
        bResult = pValue->Read(pStream);
        return pValue;
    }

    inline Bytes Concat(std::initializer_list<Bytes> parts)
    {
        Bytes all;
        for (const Bytes& part : parts)
            all.insert(all.end(), part.begin(), part.end());
        return all;
    }

    // Structural equality: same code, same payload, containers element by element.
    inline bool SameValue(const CArgument* a, const CArgument* b)
    {
        if (!a || !b || a->GetType() != b->GetType())
            return false;
        switch (a->GetType()) {
        case ARGUMENT_ARRAY: {
            auto* x = static_cast<const CArgumentArray*>(a);
            auto* y = static_cast<const CArgumentArray*>(b);
            if (x->GetCount() != y->GetCount())
                return false;
            for (size_t i = 0; i < x->GetCount(); ++i) {
                if (!SameValue(x->Get(i), y->Get(i)))
                    return false;
            }
            return true;
        }
        case ARGUMENT_MAP: {
            auto* x = static_cast<const CArgumentMap*>(a);
            auto* y = static_cast<const CArgumentMap*>(b);
            if (x->GetCount() != y->GetCount())
                return false;
            for (const auto& [strKey, pValue] : x->GetEntries()) {
                if (!SameValue(pValue, y->Get(strKey)))
                    return false;
            }
            return true;
        }
        case ARGUMENT_FLOAT: {
            float fa = static_cast<const CArgumentFloat*>(a)->m_Value, fb = static_cast<const CArgumentFloat*>(b)->m_Value;
            return std::memcmp(&fa, &fb, 4) == 0; // NaN and -0 compare by their bits
        }
        case ARGUMENT_DOUBLE: {
            double da = static_cast<const CArgumentDouble*>(a)->m_Value, db = static_cast<const CArgumentDouble*>(b)->m_Value;
            return std::memcmp(&da, &db, 8) == 0;
        }
        case ARGUMENT_NETOBJECT:
            return static_cast<const CArgumentNetObject*>(a)->GetId() == static_cast<const CArgumentNetObject*>(b)->GetId();
        default: {
            Bytes pa, pb;
            return Payload(a, pa) && Payload(b, pb) && pa == pb;
        }
        }
    }
}
