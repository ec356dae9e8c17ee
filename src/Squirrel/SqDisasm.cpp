// Text listing of compiled functions, for looking at generated code.
#include "SqVM.h"

#include <cinttypes>
#include <cstdio>
#include <string>

namespace Torvane3D::Squirrel
{
    namespace
    {
        const char* const s_szOpNames[OP_COUNT] = {
            "MOVE", "LOADK", "LOADINT", "LOADFLOAT", "LOADBOOL", "LOADNULL", "LOADROOT", "GETOUTER", "SETOUTER", "GETBASE",
            "NEWTABLE", "NEWARRAY", "APPEND", "GET", "GETK", "SET", "SETK", "NEWSLOT", "NEWSLOTK", "DELETE",
            "ADD", "SUB", "MUL", "DIV", "MOD", "ADDK", "SUBK", "MULK", "DIVK", "MODK",
            "BAND", "BOR", "BXOR", "SHL", "SHR", "USHR", "UNM", "NOT", "BNOT",
            "EQ", "NE", "LT", "LE", "GT", "GE", "CMP3", "JMP", "JZ", "JNZ", "JCMP", "CALL", "PREPCALLK", "RETURN",
            "CLOSURE", "CLOSE", "TYPEOF", "CLONE", "INSTANCEOF", "IN", "FOREACH", "YIELD", "RESUME", "THROW",
            "PUSHTRAP", "POPTRAP", "CLASS", "NEWMEMBER", "CMPK", "JCMPK", "BANDK", "BORK", "BXORK", "SHLK", "SHRK", "USHRK", "FORLOOP",
        };

        void Dump(CSqThread* t, const CSqFuncProto* p, SqPrintFunction pPrint, int iDepth)
        {
            std::string strIndent(static_cast<size_t>(iDepth) * 2, ' ');
            const char* szName = p->m_Name.Type() == SQ_STRING ? p->m_Name.String()->Data() : "(anonymous)";
            pPrint(t, "%sfunction %s: %d params, %d registers, %zu constants\n", strIndent.c_str(), szName, p->m_nParams,
                   p->m_nStackSize, p->m_Constants.size());
            for (size_t i = 0; i < p->m_Code.size(); ++i) {
                const SqInstr& in = p->m_Code[i];
                pPrint(t, "%s  %4zu [%4d] %-10s %3d %3d %3d %d\n", strIndent.c_str(), i, p->LineOf(&in),
                       in.op < OP_COUNT ? s_szOpNames[in.op] : "?", in.a, in.b, in.c, in.d);
            }
            for (const SqValue& f : p->m_Functions)
                Dump(t, static_cast<const CSqFuncProto*>(f.m_pObj), pPrint, iDepth + 1);
        }
    }

    bool CSqVM::DumpFunction(int iIndex, SqPrintFunction pPrint)
    {
        CSqThread* t = CSqThread::From(this);
        if (!t->ValidIndex(iIndex) || t->ApiSlot(iIndex).Type() != SQ_CLOSURE || !pPrint)
            return false;
        Dump(t, t->ApiSlot(iIndex).Closure()->m_pProto, pPrint, 0);
        return true;
    }
}
