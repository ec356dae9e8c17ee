#include "SqState.h"

namespace Torvane3D::Squirrel
{
    static const char* const s_szMetaNames[MT_COUNT] = {
        "_add", "_sub", "_mul", "_div", "_unm", "_modulo", "_set", "_get", "_typeof", "_nexti",
        "_cmp", "_call", "_cloned", "_newslot", "_delslot", "_tostring", "_newmember", "_inherited",
    };

    CSqSharedState::CSqSharedState()
    {
        m_nStringBuckets = 256;
        m_ppStrings = new CSqString*[m_nStringBuckets]();
        m_GcHead.m_pGcNext = m_GcHead.m_pGcPrev = &m_GcHead;
        for (int i = 0; i < MT_COUNT; ++i)
            m_MetaNames[i] = String(s_szMetaNames[i]);
        m_strConstructor = String("constructor");
        m_strThis = String("this");
        m_strVargv = String("vargv");
        m_ConstTable = SqValue(CSqTable::Create(this, 0));
        m_Registry = SqValue(CSqTable::Create(this, 0));
    }

    CSqSharedState::~CSqSharedState()
    {
        delete[] m_ppStrings;
    }
}
