// The interpreter loop. Script-to-script calls stay in the loop (no C recursion); natives,
// metamethods and generator resumes enter it again, bounded by MAX_NATIVE_DEPTH.
#include "SqVM.h"

#include <bit>
#include <cmath>

namespace Torvane3D::Squirrel
{
    namespace
    {
        inline SqInteger WrapAdd(SqInteger a, SqInteger b) { return static_cast<SqInteger>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b)); }
        inline SqInteger WrapSub(SqInteger a, SqInteger b) { return static_cast<SqInteger>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b)); }
        inline SqInteger WrapMul(SqInteger a, SqInteger b) { return static_cast<SqInteger>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b)); }
    }

    void CSqThread::PopFrame()
    {
        int iFrame = static_cast<int>(m_Frames.size()) - 1;
        const SqCallInfo& f = m_Frames.back();
        int iBase = f.m_iBase;
        while (!m_Traps.empty() && m_Traps.back().m_iFrame >= iFrame)
            m_Traps.pop_back();
        if (m_pOpenOuters)
            CloseOuters(iBase);
        int iEnd = std::min(std::max(static_cast<int>(f.m_iTop), m_iTop), m_iStackSize);
        for (SqValue *p = m_pStack + iBase, *pEnd = m_pStack + iEnd; p < pEnd; ++p)
            p->SetNull();
        m_Frames.pop_back();
        m_iTop = iBase;
    }

    SqValue CSqThread::RootOf(const CSqRefObj* pClosure) const
    {
        CSqWeakRef* pRoot = nullptr;
        if (pClosure && pClosure->m_eType == SQ_CLOSURE)
            pRoot = static_cast<const CSqClosure*>(pClosure)->m_pRoot;
        else if (pClosure && pClosure->m_eType == SQ_NATIVECLOSURE)
            pRoot = static_cast<const CSqNativeClosure*>(pClosure)->m_pRoot;
        if (pRoot && pRoot->m_pTarget)
            return SqValue(pRoot->m_pTarget);
        return m_RootTable;
    }

    eSqExecResult CSqThread::Execute(int iEntryFrame, bool bThrow)
    {
        CSqSharedState* S = m_pState;
        if (S->m_iNativeDepth >= MAX_NATIVE_DEPTH) {
            if (!bThrow)
                Raise("Native stack overflow");
            while (static_cast<int>(m_Frames.size()) > iEntryFrame)
                PopFrame();
            return EXEC_ERROR;
        }
        ++S->m_iNativeDepth;
        ++m_iNestedExecutes;

        SqCallInfo* ci;
        const SqInstr* pc;
        SqValue* base;
        CSqClosure* cl;
        const SqValue* K;
        SqInstr i;
        eSqExecResult eResult = EXEC_ERROR;

#define LOAD_FRAME()                                           \
    do {                                                       \
        ci = &m_Frames.back();                                 \
        pc = ci->m_pPc;                                        \
        base = m_pStack + ci->m_iBase;                         \
        cl = static_cast<CSqClosure*>(ci->m_pClosure);         \
        K = cl->m_pProto->m_Constants.data();                  \
    } while (0)
#define RELOAD()                                               \
    do {                                                       \
        ci = &m_Frames.back();                                 \
        base = m_pStack + ci->m_iBase;                         \
    } while (0)
#define SAVE_PC() (ci->m_pPc = pc)
#define FAIL()                                                 \
    do {                                                       \
        RELOAD();                                              \
        goto on_error;                                         \
    } while (0)

        // Hot instructions jump straight to the next one; the others go through the switch.
        // NEXT() is a computed goto, which runs no destructors: no SqValue may be alive there.
#define CASE(OP) \
    case OP:     \
    L_##OP:
#define NEXT()                              \
    do {                                    \
        i = *pc++;                          \
        goto* s_pDispatch[i.op];            \
    } while (0)
        static void* const s_pDispatch[OP_COUNT] = {
            &&L_OP_MOVE, &&L_OP_LOADK, &&L_OP_LOADINT, &&L_SWITCH, &&L_SWITCH, &&L_SWITCH, &&L_SWITCH,
            &&L_OP_GETOUTER, &&L_OP_SETOUTER, &&L_SWITCH, &&L_SWITCH, &&L_SWITCH, &&L_SWITCH,
            &&L_OP_GET, &&L_OP_GETK, &&L_OP_SET, &&L_OP_SETK, &&L_SWITCH, &&L_SWITCH, &&L_SWITCH,
            &&L_OP_ADD, &&L_OP_SUB, &&L_OP_MUL, &&L_OP_DIV, &&L_OP_MOD,
            &&L_OP_ADDK, &&L_OP_SUBK, &&L_OP_MULK, &&L_OP_DIVK, &&L_OP_MODK,
            &&L_SWITCH, &&L_SWITCH, &&L_SWITCH, &&L_SWITCH, &&L_SWITCH, &&L_SWITCH,
            &&L_SWITCH, &&L_SWITCH, &&L_SWITCH,
            &&L_SWITCH, &&L_SWITCH, &&L_SWITCH, &&L_SWITCH, &&L_SWITCH, &&L_SWITCH, &&L_SWITCH,
            &&L_OP_JMP, &&L_OP_JZ, &&L_OP_JNZ, &&L_OP_JCMP, &&L_OP_CALL, &&L_OP_PREPCALLK, &&L_OP_RETURN,
            &&L_SWITCH, &&L_SWITCH, &&L_SWITCH, &&L_SWITCH, &&L_SWITCH, &&L_SWITCH, &&L_OP_FOREACH,
            &&L_SWITCH, &&L_SWITCH, &&L_SWITCH, &&L_SWITCH, &&L_SWITCH, &&L_SWITCH, &&L_SWITCH,
            &&L_SWITCH, &&L_OP_JCMPK,
            &&L_OP_BANDK, &&L_SWITCH, &&L_SWITCH, &&L_SWITCH, &&L_SWITCH, &&L_SWITCH, &&L_OP_FORLOOP,
        };
        static_assert(OP_JCMPK == 68 && OP_COUNT == 76, "update the dispatch table with the instruction set");

        LOAD_FRAME();
        if (bThrow)
            goto on_error;
        for (;;) {
            i = *pc++;
        L_SWITCH:
            switch (i.op) {
            CASE(OP_MOVE)
                base[i.a] = base[i.b];
                NEXT();
            CASE(OP_LOADK)
                base[i.a] = K[i.d];
                NEXT();
            CASE(OP_LOADINT)
                base[i.a].SetInteger(i.d);
                NEXT();
            case OP_LOADFLOAT:
                base[i.a].SetFloat(std::bit_cast<float>(i.d));
                break;
            case OP_LOADBOOL:
                base[i.a].SetBool(i.b != 0);
                break;
            case OP_LOADNULL:
                for (int k = 0; k < i.b; ++k)
                    base[i.a + k].SetNull();
                break;
            case OP_LOADROOT:
                base[i.a] = RootOf(cl);
                break;
            CASE(OP_GETOUTER)
                base[i.a] = *cl->m_Outers[static_cast<size_t>(i.d)]->m_pValue;
                NEXT();
            CASE(OP_SETOUTER)
                *cl->m_Outers[static_cast<size_t>(i.d)]->m_pValue = base[i.a];
                NEXT();
            case OP_GETBASE:
                if (cl->m_pBase)
                    base[i.a].SetObject(cl->m_pBase);
                else
                    base[i.a].SetNull();
                break;
            case OP_NEWTABLE:
                base[i.a] = SqValue(CSqTable::Create(S, static_cast<size_t>(i.d)));
                break;
            case OP_NEWARRAY: {
                CSqArray* a = CSqArray::Create(S, 0);
                a->m_Values.reserve(static_cast<size_t>(i.d));
                base[i.a] = SqValue(a);
                break;
            }
            case OP_APPEND:
                base[i.a].Array()->m_Values.push_back(base[i.b]);
                break;

            CASE(OP_GETK) {
                const SqValue& o = base[i.b];
                if (o.m_eType == SQ_TABLE) {
                    if (SqNode* n = o.Table()->Find(K[i.d])) {
                        SqAssignReal(base[i.a], n->m_Value);
                        NEXT();
                    }
                } else if (o.m_eType == SQ_INSTANCE) {
                    CSqInstance* inst = o.Instance();
                    if (SqNode* n = inst->m_pClass->m_pMembers->Find(K[i.d])) {
                        SqInteger m = n->m_Value.m_iValue;
                        size_t idx = static_cast<size_t>(m >> 2);
                        if ((m & 3) == MEMBER_FIELD)
                            SqAssignReal(base[i.a], inst->m_Values[idx]);
                        else
                            base[i.a] = inst->m_pClass->m_Methods[idx].m_Value;
                        NEXT();
                    }
                }
                SAVE_PC();
                SqValue obj = o, out;
                if (!Get(obj, K[i.d], out, i.c & 1))
                    FAIL();
                RELOAD();
                base[i.a] = std::move(out);
                break;
            }
            CASE(OP_GET) {
                const SqValue& o = base[i.b];
                const SqValue& key = base[i.c];
                if (o.m_eType == SQ_ARRAY && key.m_eType == SQ_INTEGER) {
                    std::vector<SqValue>& v = o.Array()->m_Values;
                    if (key.m_iValue >= 0 && static_cast<uint64_t>(key.m_iValue) < v.size()) {
                        SqAssignReal(base[i.a], v[static_cast<size_t>(key.m_iValue)]);
                        NEXT();
                    }
                } else if (o.m_eType == SQ_TABLE) {
                    if (SqNode* n = o.Table()->Find(key)) {
                        SqAssignReal(base[i.a], n->m_Value);
                        NEXT();
                    }
                }
                SAVE_PC();
                SqValue obj = o, k = key, out;
                if (!Get(obj, k, out, false))
                    FAIL();
                RELOAD();
                base[i.a] = std::move(out);
                break;
            }
            CASE(OP_SETK) {
                const SqValue& o = base[i.a];
                if (o.m_eType == SQ_TABLE) {
                    if (SqNode* n = o.Table()->Find(K[i.d])) {
                        n->m_Value = base[i.c];
                        NEXT();
                    }
                } else if (o.m_eType == SQ_INSTANCE) {
                    if (o.Instance()->Set(K[i.d], base[i.c]))
                        NEXT();
                }
                SAVE_PC();
                SqValue obj = o, v = base[i.c];
                if (!Set(obj, K[i.d], v, i.b & 1))
                    FAIL();
                RELOAD();
                break;
            }
            CASE(OP_SET) {
                const SqValue& o = base[i.a];
                const SqValue& key = base[i.b];
                if (o.m_eType == SQ_ARRAY && key.m_eType == SQ_INTEGER) {
                    std::vector<SqValue>& v = o.Array()->m_Values;
                    if (key.m_iValue >= 0 && static_cast<uint64_t>(key.m_iValue) < v.size()) {
                        v[static_cast<size_t>(key.m_iValue)] = base[i.c];
                        NEXT();
                    }
                } else if (o.m_eType == SQ_TABLE) {
                    if (SqNode* n = o.Table()->Find(key)) {
                        n->m_Value = base[i.c];
                        NEXT();
                    }
                }
                SAVE_PC();
                SqValue obj = o, k = key, v = base[i.c];
                if (!Set(obj, k, v, false))
                    FAIL();
                RELOAD();
                break;
            }
            case OP_NEWSLOTK: {
                SAVE_PC();
                const SqValue& o = base[i.a];
                if (o.m_eType == SQ_TABLE && !o.Table()->m_pDelegate) {
                    o.Table()->NewSlot(K[i.d], base[i.c]);
                    break;
                }
                SqValue obj = o, v = base[i.c];
                if (!NewSlot(obj, K[i.d], v, false))
                    FAIL();
                RELOAD();
                break;
            }
            case OP_NEWSLOT: {
                SAVE_PC();
                SqValue obj = base[i.a], k = base[i.b], v = base[i.c];
                if (!NewSlot(obj, k, v, false))
                    FAIL();
                RELOAD();
                break;
            }
            case OP_DELETE: {
                SAVE_PC();
                SqValue obj = base[i.b], k = base[i.c], out;
                if (!DeleteSlot(obj, k, out))
                    FAIL();
                RELOAD();
                base[i.a] = std::move(out);
                break;
            }

#define ARITH_BODY(Y, CH, INTEXPR, FLTEXPR, CHECK)                                          \
    {                                                                                          \
        const SqValue& x = base[i.b];                                                          \
        const SqValue& y = Y;                                                                  \
        if (x.m_eType == SQ_INTEGER && y.m_eType == SQ_INTEGER) {                              \
            SqInteger a = x.m_iValue, b = y.m_iValue;                                          \
            CHECK                                                                              \
            base[i.a].SetInteger(INTEXPR);                                                     \
            NEXT();                                                                            \
        }                                                                                      \
        if ((x.m_eType == SQ_INTEGER || x.m_eType == SQ_FLOAT) && (y.m_eType == SQ_INTEGER || y.m_eType == SQ_FLOAT)) { \
            SqFloat a = x.ToFloat(), b = y.ToFloat();                                          \
            base[i.a].SetFloat(FLTEXPR);                                                       \
            NEXT();                                                                            \
        }                                                                                      \
        SAVE_PC();                                                                             \
        {   /* objects must be gone before NEXT(): a computed goto runs no destructors */      \
            SqValue va = x, vb = y, out;                                                       \
            if (!Arith(CH, va, vb, out))                                                       \
                FAIL();                                                                        \
            RELOAD();                                                                          \
            base[i.a] = std::move(out);                                                        \
        }                                                                                      \
        NEXT();                                                                                \
    }
#define ARITH_CASE(OPC, OPK, CH, INTEXPR, FLTEXPR, CHECK)                                      \
    CASE(OPC) ARITH_BODY(base[i.c], CH, INTEXPR, FLTEXPR, CHECK)                               \
    CASE(OPK) ARITH_BODY(K[i.d], CH, INTEXPR, FLTEXPR, CHECK)
            ARITH_CASE(OP_ADD, OP_ADDK, '+', WrapAdd(a, b), a + b, )
            ARITH_CASE(OP_SUB, OP_SUBK, '-', WrapSub(a, b), a - b, )
            ARITH_CASE(OP_MUL, OP_MULK, '*', WrapMul(a, b), a * b, )
            ARITH_CASE(OP_DIV, OP_DIVK, '/', a / b, a / b,
                       if (b == 0 || (b == -1 && a == INT64_MIN)) {
                           SAVE_PC();
                           b == 0 ? Raise("division by zero") : Raise("integer overflow");
                           FAIL();
                       })
            ARITH_CASE(OP_MOD, OP_MODK, '%', b == -1 ? 0 : a % b, std::fmod(a, b),
                       if (b == 0) {
                           SAVE_PC();
                           Raise("modulo by zero");
                           FAIL();
                       })
#undef ARITH_CASE
#undef ARITH_BODY

            case OP_BAND:
            case OP_BOR:
            case OP_BXOR:
            case OP_SHL:
            case OP_SHR:
            case OP_USHR:
            CASE(OP_BANDK)
            case OP_BORK:
            case OP_BXORK:
            case OP_SHLK:
            case OP_SHRK:
            case OP_USHRK: {
                bool bK = i.op >= OP_BANDK;
                int iOp = bK ? i.op - OP_BANDK + OP_BAND : i.op;
                const SqValue& x = base[i.b];
                const SqValue& y = bK ? K[i.d] : base[i.c];
                if (x.m_eType == SQ_INTEGER && y.m_eType == SQ_INTEGER) {
                    SqInteger a = x.m_iValue, b = y.m_iValue, r;
                    unsigned s = static_cast<unsigned>(b & 63);
                    switch (iOp) {
                    case OP_BAND: r = a & b; break;
                    case OP_BOR: r = a | b; break;
                    case OP_BXOR: r = a ^ b; break;
                    case OP_SHL: r = static_cast<SqInteger>(static_cast<uint64_t>(a) << s); break;
                    case OP_SHR: r = a >> s; break;
                    default: r = static_cast<SqInteger>(static_cast<uint64_t>(a) >> s); break;
                    }
                    base[i.a].SetInteger(r);
                    NEXT();
                }
                SAVE_PC();
                SqValue va = x, vb = y, out;
                if (!BitOp(iOp, va, vb, out))
                    FAIL();
                RELOAD();
                base[i.a] = std::move(out);
                break;
            }
            case OP_UNM: {
                const SqValue& x = base[i.b];
                if (x.m_eType == SQ_INTEGER) {
                    base[i.a].SetInteger(WrapSub(0, x.m_iValue));
                    break;
                }
                if (x.m_eType == SQ_FLOAT) {
                    base[i.a].SetFloat(-x.m_fValue);
                    break;
                }
                SAVE_PC();
                SqValue va = x, out;
                if (!Negate(va, out))
                    FAIL();
                RELOAD();
                base[i.a] = std::move(out);
                break;
            }
            case OP_NOT:
                base[i.a].SetBool(base[i.b].IsFalse());
                break;
            case OP_BNOT: {
                const SqValue& x = base[i.b];
                if (x.m_eType != SQ_INTEGER) {
                    SAVE_PC();
                    Raise("attempt to perform a bitwise op on a %s", SqTypeName(x.Type()));
                    FAIL();
                }
                base[i.a].SetInteger(~x.m_iValue);
                break;
            }
            case OP_EQ:
            case OP_NE: {
                bool r = Equals(base[i.b], base[i.c]);
                base[i.a].SetBool(i.op == OP_EQ ? r : !r);
                break;
            }
            case OP_LT:
            case OP_LE:
            case OP_GT:
            case OP_GE: {
                const SqValue& x = base[i.b];
                const SqValue& y = base[i.c];
                int iCmp = CMP_LT + (i.op - OP_LT);
                bool r;
                if (x.m_eType == SQ_INTEGER && y.m_eType == SQ_INTEGER) {
                    SqInteger a = x.m_iValue, b = y.m_iValue;
                    r = iCmp == CMP_LT ? a < b : iCmp == CMP_LE ? a <= b : iCmp == CMP_GT ? a > b : a >= b;
                } else {
                    SAVE_PC();
                    SqValue va = x, vb = y;
                    if (!CompareOp(iCmp, va, vb, &r))
                        FAIL();
                    RELOAD();
                }
                base[i.a].SetBool(r);
                break;
            }
            case OP_CMP3: {
                if (base[i.b].m_eType == SQ_INTEGER && base[i.c].m_eType == SQ_INTEGER) {
                    SqInteger x = base[i.b].m_iValue, y = base[i.c].m_iValue;
                    base[i.a].SetInteger(x < y ? -1 : (x > y ? 1 : 0));
                    break;
                }
                SAVE_PC();
                SqValue va = base[i.b], vb = base[i.c];
                int r;
                if (!Compare(va, vb, &r))
                    FAIL();
                RELOAD();
                base[i.a].SetInteger(r);
                break;
            }

            CASE(OP_JMP)
                if (i.a)
                    CloseOuters(ci->m_iBase + i.a - 1);
                pc += i.d;
                NEXT();
            CASE(OP_JZ)
                if (base[i.a].IsFalse())
                    pc += i.d;
                NEXT();
            CASE(OP_JNZ)
                if (!base[i.a].IsFalse())
                    pc += i.d;
                NEXT();
            CASE(OP_JCMP) {
                const SqValue& x = base[i.b];
                const SqValue& y = base[i.c];
                bool r;
                if (x.m_eType == SQ_INTEGER && y.m_eType == SQ_INTEGER) {
                    SqInteger a = x.m_iValue, b = y.m_iValue;
                    switch (i.a) {
                    case CMP_LT: r = a < b; break;
                    case CMP_LE: r = a <= b; break;
                    case CMP_GT: r = a > b; break;
                    case CMP_GE: r = a >= b; break;
                    case CMP_EQ: r = a == b; break;
                    default: r = a != b; break;
                    }
                } else if (i.a == CMP_EQ || i.a == CMP_NE) {
                    r = Equals(x, y) == (i.a == CMP_EQ);
                } else {
                    SAVE_PC();
                    SqValue va = x, vb = y;
                    if (!CompareOp(i.a, va, vb, &r))
                        FAIL();
                    RELOAD();
                }
                if (!r)
                    pc += i.d;
                NEXT();
            }

            CASE(OP_FORLOOP) {
                SqValue& x = base[i.a];
                const SqValue& step = K[static_cast<uint32_t>(i.d) >> 16];
                const SqValue& limit = (i.b & 8) ? K[i.c] : base[i.c];
                int iCmp = i.b & 7;
                int iJump = static_cast<int16_t>(i.d & 0xFFFF);
                if (x.m_eType == SQ_INTEGER && limit.m_eType == SQ_INTEGER) {
                    SqInteger v = (i.b & 16) ? WrapSub(x.m_iValue, step.m_iValue) : WrapAdd(x.m_iValue, step.m_iValue);
                    x.m_iValue = v;
                    SqInteger n = limit.m_iValue;
                    bool r = iCmp == CMP_LT ? v < n : iCmp == CMP_LE ? v <= n : iCmp == CMP_GT ? v > n : v >= n;
                    if (r)
                        pc += iJump;
                    NEXT();
                }
                SAVE_PC();
                {
                    SqValue va = x, vb = step, out;
                    if (!Arith((i.b & 16) ? '-' : '+', va, vb, out))
                        FAIL();
                    RELOAD();
                    base[i.a] = out;
                    SqValue lim = (i.b & 8) ? K[i.c] : base[i.c];
                    bool r;
                    if (!CompareOp(iCmp, out, lim, &r))
                        FAIL();
                    RELOAD();
                    if (r)
                        pc += iJump;
                }
                NEXT();
            }
            case OP_CMPK:
            CASE(OP_JCMPK) {
                const SqValue& x = base[i.b];
                const SqValue& y = K[i.c];
                int iCmp = i.op == OP_CMPK ? i.d : i.a;
                bool r;
                if (x.m_eType == SQ_INTEGER && y.m_eType == SQ_INTEGER) {
                    SqInteger a = x.m_iValue, b = y.m_iValue;
                    switch (iCmp) {
                    case CMP_LT: r = a < b; break;
                    case CMP_LE: r = a <= b; break;
                    case CMP_GT: r = a > b; break;
                    case CMP_GE: r = a >= b; break;
                    case CMP_EQ: r = a == b; break;
                    default: r = a != b; break;
                    }
                } else if (iCmp == CMP_EQ || iCmp == CMP_NE) {
                    r = Equals(x, y) == (iCmp == CMP_EQ);
                } else {
                    SAVE_PC();
                    SqValue va = x, vb = y;
                    if (!CompareOp(iCmp, va, vb, &r))
                        FAIL();
                    RELOAD();
                }
                if (i.op == OP_CMPK)
                    base[i.a].SetBool(r);
                else if (!r)
                    pc += i.d;
                NEXT();
            }
            CASE(OP_PREPCALLK) {
              {
                const SqValue& o = base[i.b];
                SqValue fn;
                bool bFound = false;
                if (o.m_eType == SQ_TABLE) {
                    if (SqNode* n = o.Table()->Find(K[i.d])) {
                        SqAssignReal(fn, n->m_Value);
                        bFound = true;
                    }
                } else if (o.m_eType == SQ_INSTANCE) {
                    bFound = o.Instance()->Get(K[i.d], fn);
                }
                if (!bFound) {
                    SAVE_PC();
                    SqValue obj = o;
                    if (!Get(obj, K[i.d], fn, i.c & 1))
                        FAIL();
                    RELOAD();
                }
                SqValue self = (i.c & 2) ? base[0] : base[i.b];
                base[i.a + 1] = std::move(self);
                base[i.a] = std::move(fn);
              }
                NEXT();
            }
            CASE(OP_CALL) {
                SAVE_PC();
                int iFunc = ci->m_iBase + i.a;
                int nArgs = i.b;
                SqValue& fn = base[i.a];
                if (fn.m_eType == SQ_CLOSURE) {
                    CSqClosure* c = fn.Closure();
                    if (c->m_iFastArgs == nArgs) {
                        // Plain call: the frame is set up right here.
                        int iBase = iFunc + 1;
                        int iTop = iBase + c->m_iStackSize;
                        if (iTop < m_iStackSize && static_cast<int>(m_Frames.size()) < MAX_CALL_DEPTH) {
                            SqCallInfo& n = m_Frames.push();
                            n.m_pPc = c->m_pCode;
                            n.m_pClosure = c;
                            n.m_iBase = iBase;
                            n.m_iTop = iTop;
                            m_iTop = iTop;
                            ci = &n;
                            pc = c->m_pCode;
                            base = m_pStack + iBase;
                            cl = c;
                            K = c->m_pConstants;
                            NEXT();
                        }
                    }
                    if (c->m_pProto->m_bGenerator) {
                        if (!MakeGenerator(c, iFunc, nArgs))
                            FAIL();
                        RELOAD();
                        break;
                    }
                    if (!PushScriptFrame(c, iFunc, nArgs, false))
                        FAIL();
                    LOAD_FRAME();
                    break;
                }
                if (fn.m_eType == SQ_NATIVECLOSURE) {
                    bool bSuspended = false;
                    if (!CallNative(fn.NativeClosure(), iFunc, nArgs, &bSuspended))
                        FAIL();
                    RELOAD();
                    m_iTop = ci->m_iTop;
                    if (bSuspended) {
                        if (m_bGenerator || m_iNestedExecutes > 1) {
                            Raise("cannot suspend through native calls");
                            FAIL();
                        }
                        m_iSuspendTarget = iFunc;
                        m_iSuspendEntryFrame = iEntryFrame;
                        eResult = EXEC_SUSPENDED;
                        goto leave;
                    }
                    break;
                }
                if (fn.m_eType == SQ_CLASS) {
                    CSqClass* pClass = fn.Class();
                    SqValue inst;
                    if (!CreateInstanceOf(pClass, inst))
                        FAIL();
                    SqValue ctor = pClass->m_Constructor;
                    if (ctor.m_eType == SQ_CLOSURE && !ctor.Closure()->m_pProto->m_bGenerator) {
                        base[i.a + 1] = inst;
                        base[i.a] = ctor;
                        if (!PushScriptFrame(ctor.Closure(), iFunc, nArgs, false))
                            FAIL();
                        m_Frames.back().m_bConstructor = 1;
                        LOAD_FRAME();
                        break;
                    }
                    if (!ctor.IsNull()) {
                        base[i.a + 1] = inst;
                        base[i.a] = ctor;
                        if (!CallAt(iFunc, nArgs))
                            FAIL();
                        RELOAD();
                    }
                    base[i.a] = std::move(inst);
                    for (int k = 1; k <= nArgs; ++k)
                        base[i.a + k].SetNull();
                    m_iTop = ci->m_iTop;
                    break;
                }
                if (!CallAt(iFunc, nArgs))
                    FAIL();
                RELOAD();
                m_iTop = ci->m_iTop;
                break;
            }
            CASE(OP_RETURN) {
                if (!ci->m_bConstructor && !ci->m_bRoot) {
                    // Plain return into the calling script frame.
                    int iBase = ci->m_iBase;
                    if (m_pOpenOuters && m_pOpenOuters->m_iStackIndex >= iBase)
                        CloseOuters(iBase);
                    if (!m_Traps.empty() && m_Traps.back().m_iFrame >= static_cast<int32_t>(m_Frames.size()) - 1) {
                        while (!m_Traps.empty() && m_Traps.back().m_iFrame >= static_cast<int32_t>(m_Frames.size()) - 1)
                            m_Traps.pop_back();
                    }
                    {
                        SqValue result;
                        if (i.b)
                            result = std::move(base[i.a]);
                        int iEnd = std::max(ci->m_iTop, m_iTop);
                        for (SqValue* p = base, *pEnd = m_pStack + iEnd; p < pEnd; ++p)
                            p->SetNull();
                        m_Frames.pop_back();
                        base[-1] = std::move(result);
                    }
                    LOAD_FRAME();
                    m_iTop = ci->m_iTop;
                    NEXT();
                }
                SqValue result;
                if (ci->m_bConstructor)
                    result = base[0];
                else if (i.b)
                    result = base[i.a];
                bool bRoot = ci->m_bRoot;
                int iResult = ci->m_iBase - 1;
                PopFrame();
                m_pStack[iResult] = std::move(result);
                if (bRoot) {
                    eResult = EXEC_RETURNED;
                    goto leave;
                }
                LOAD_FRAME();
                m_iTop = ci->m_iTop;
                break;
            }
            case OP_CLOSURE: {
                CSqFuncProto* p = static_cast<CSqFuncProto*>(cl->m_pProto->m_Functions[static_cast<size_t>(i.d)].m_pObj);
                CSqWeakRef* pRoot = m_RootTable.m_eType == SQ_TABLE ? CSqWeakRef::Of(m_RootTable.m_pObj) : nullptr;
                CSqClosure* c = CSqClosure::Create(S, p, pRoot);
                SqValue v(c);
                size_t nOuters = p->m_Outers.size();
                c->m_Outers.resize(nOuters);
                for (size_t k = 0; k < nOuters; ++k) {
                    const SqOuterInfo& info = p->m_Outers[k];
                    CSqOuter* o = info.m_bFromLocal ? FindOuter(ci->m_iBase + static_cast<int>(info.m_uIndex)) : cl->m_Outers[info.m_uIndex];
                    SqAddRef(o);
                    c->m_Outers[k] = o;
                }
                if (p->m_nDefaults)
                    c->m_Defaults.assign(base + i.b, base + i.b + p->m_nDefaults);
                base[i.a] = std::move(v);
                break;
            }
            case OP_CLOSE:
                CloseOuters(ci->m_iBase + i.a);
                break;
            case OP_TYPEOF: {
                SAVE_PC();
                SqValue v = base[i.b], out;
                if (!TypeOf(v, out))
                    FAIL();
                RELOAD();
                base[i.a] = std::move(out);
                break;
            }
            case OP_CLONE: {
                SAVE_PC();
                SqValue v = base[i.b], out;
                if (!Clone(v, out))
                    FAIL();
                RELOAD();
                base[i.a] = std::move(out);
                break;
            }
            case OP_INSTANCEOF: {
                SAVE_PC();
                bool r;
                if (!InstanceOf(base[i.b], base[i.c], &r))
                    FAIL();
                base[i.a].SetBool(r);
                break;
            }
            case OP_IN: {
                SAVE_PC();
                bool r;
                if (!In(base[i.b], base[i.c], &r))
                    FAIL();
                base[i.a].SetBool(r);
                break;
            }
            CASE(OP_FOREACH) {
                SqValue* r = base + i.a;
                if (r[0].m_eType == SQ_ARRAY) {
                    SqInteger idx = r[3].m_eType == SQ_INTEGER ? r[3].m_iValue : 0;
                    std::vector<SqValue>& v = r[0].Array()->m_Values;
                    if (idx >= static_cast<SqInteger>(v.size())) {
                        pc += i.d;
                        break;
                    }
                    r[1].SetInteger(idx);
                    SqAssignReal(r[2], v[static_cast<size_t>(idx)]);
                    r[3].SetInteger(idx + 1);
                    NEXT();
                }
                SAVE_PC();
                bool bDone = false;
                if (!ForEachStep(ci->m_iBase + i.a, &bDone))
                    FAIL();
                RELOAD();
                if (bDone)
                    pc += i.d;
                break;
            }
            case OP_YIELD:
                SAVE_PC();
                if (!m_bGenerator || m_Frames.size() != 1) {
                    Raise("cannot yield outside a generator");
                    FAIL();
                }
                m_TransferValue = i.b ? base[i.a] : SqValue();
                eResult = EXEC_YIELDED;
                goto leave;
            case OP_RESUME: {
                SAVE_PC();
                SqValue g = base[i.b], out;
                if (g.m_eType != SQ_GENERATOR) {
                    Raise("trying to resume a '%s',only genenerator can be resumed", SqTypeName(g.Type()));
                    FAIL();
                }
                if (!ResumeGenerator(g.Generator(), out))
                    FAIL();
                RELOAD();
                base[i.a] = std::move(out);
                break;
            }
            case OP_THROW:
                SAVE_PC();
                RaiseValue(base[i.a]);
                FAIL();
            case OP_PUSHTRAP: {
                SqTrap t;
                t.m_iFrame = static_cast<int32_t>(m_Frames.size()) - 1;
                t.m_iTarget = ci->m_iBase + i.a;
                t.m_pHandler = pc + i.d;
                m_Traps.push_back(t);
                break;
            }
            case OP_POPTRAP:
                for (int k = 0; k < i.a && !m_Traps.empty(); ++k)
                    m_Traps.pop_back();
                break;
            case OP_CLASS: {
                SAVE_PC();
                SqValue baseClass = i.b != NO_REGISTER ? base[i.b] : SqValue();
                SqValue attrs = i.c != NO_REGISTER ? base[i.c] : SqValue();
                SqValue out;
                if (!CreateClass(baseClass, attrs, out))
                    FAIL();
                RELOAD();
                base[i.a] = std::move(out);
                break;
            }
            case OP_NEWMEMBER: {
                SAVE_PC();
                int iAttr = i.d & 255;
                SqValue cls = base[i.a], key = base[i.b], v = base[i.c];
                SqValue attrs = iAttr != NO_REGISTER ? base[iAttr] : SqValue();
                if (!AddClassMember(cls, key, v, attrs, (i.d & 256) != 0, false))
                    FAIL();
                RELOAD();
                break;
            }
            default:
                SAVE_PC();
                Raise("invalid instruction");
                FAIL();
            }
            continue;

        on_error:
            if (!m_Traps.empty() && m_Traps.back().m_iFrame >= iEntryFrame) {
                SqTrap t = m_Traps.back();
                m_Traps.pop_back();
                while (static_cast<int>(m_Frames.size()) - 1 > t.m_iFrame)
                    PopFrame();
                CloseOuters(t.m_iTarget);
                ci = &m_Frames.back();
                m_iTop = ci->m_iTop;
                m_pStack[t.m_iTarget] = m_LastError;
                ci->m_pPc = t.m_pHandler;
                LOAD_FRAME();
                continue;
            }
            if (!HasEnclosingTrap() && !m_bErrorHandled && m_Frames[static_cast<size_t>(iEntryFrame)].m_bRaiseError) {
                // The handler runs above every register of the failing frame.
                if (m_iTop < m_Frames.back().m_iTop)
                    m_iTop = m_Frames.back().m_iTop;
                CallErrorHandler();
            }
            while (static_cast<int>(m_Frames.size()) > iEntryFrame)
                PopFrame();
            eResult = EXEC_ERROR;
            goto leave;
        }
    leave:
        --S->m_iNativeDepth;
        --m_iNestedExecutes;
        return eResult;
#undef CASE
#undef NEXT
#undef LOAD_FRAME
#undef RELOAD
#undef SAVE_PC
#undef FAIL
    }
}
