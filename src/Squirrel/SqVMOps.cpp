// Semantics of the slow paths: indexing with delegates and metamethods, arithmetic on
// mixed types, comparison, text conversion, cloning, iteration.
#include "SqVM.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace Torvane3D::Squirrel
{
    enum
    {
        LOOKUP_FOUND,
        LOOKUP_MISSING,
        LOOKUP_ERROR
    };

    SqValue CSqThread::DefaultDelegate(eSqType eType) const
    {
        switch (eType) {
        case SQ_INTEGER:
        case SQ_FLOAT:
        case SQ_BOOL: return m_pState->m_NumberDelegate;
        case SQ_STRING: return m_pState->m_StringDelegate;
        case SQ_TABLE: return m_pState->m_TableDelegate;
        case SQ_ARRAY: return m_pState->m_ArrayDelegate;
        case SQ_CLOSURE:
        case SQ_NATIVECLOSURE: return m_pState->m_ClosureDelegate;
        case SQ_GENERATOR: return m_pState->m_GeneratorDelegate;
        case SQ_THREAD: return m_pState->m_ThreadDelegate;
        case SQ_CLASS: return m_pState->m_ClassDelegate;
        case SQ_INSTANCE: return m_pState->m_InstanceDelegate;
        case SQ_WEAKREF: return m_pState->m_WeakRefDelegate;
        default: return SqValue();
        }
    }

    bool CSqThread::GetMetaMethod(const SqValue& obj, eSqMetaMethod eMeta, SqValue& out) const
    {
        if (obj.m_eType == SQ_TABLE) {
            const SqValue& name = m_pState->m_MetaNames[eMeta];
            for (CSqTable* d = obj.Table()->m_pDelegate; d; d = d->m_pDelegate) {
                if (SqNode* n = d->FindString(name.String())) {
                    out = n->m_Value;
                    return true;
                }
            }
            return false;
        }
        if (obj.m_eType == SQ_INSTANCE) {
            const SqValue& mm = obj.Instance()->m_pClass->m_MetaMethods[eMeta];
            if (mm.IsNull())
                return false;
            out = mm;
            return true;
        }
        return false;
    }

    bool CSqThread::CallMetaMethod(const SqValue& fn, const SqValue& obj, const SqValue* pArgs, int nArgs, SqValue& out)
    {
        return CallFunction(fn, obj, pArgs, nArgs, &out);
    }

    static bool ArrayIndex(const SqValue& key, SqInteger* pIndex)
    {
        if (key.m_eType == SQ_INTEGER) {
            *pIndex = key.m_iValue;
            return true;
        }
        if (key.m_eType == SQ_FLOAT) {
            float f = key.m_fValue;
            *pIndex = (f >= -9.2e18f && f <= 9.2e18f) ? static_cast<SqInteger>(f) : INT64_MIN;
            return true;
        }
        return false;
    }

    int CSqThread::Lookup(const SqValue& obj, const SqValue& key, SqValue& out)
    {
        switch (obj.m_eType) {
        case SQ_TABLE: {
            for (CSqTable* p = obj.Table(); p; p = p->m_pDelegate) {
                if (SqNode* n = p->Find(key)) {
                    SqAssignReal(out, n->m_Value);
                    return LOOKUP_FOUND;
                }
            }
            // A delegate is a table itself: its default delegate comes before _get.
            if (obj.Table()->m_pDelegate) {
                if (SqNode* n = m_pState->m_TableDelegate.Table()->Find(key)) {
                    out = n->m_Value;
                    return LOOKUP_FOUND;
                }
            }
            SqValue mm;
            if (GetMetaMethod(obj, MT_GET, mm)) {
                if (CallFunction(mm, obj, &key, 1, &out))
                    return LOOKUP_FOUND;
                if (!m_LastError.IsNull())
                    return LOOKUP_ERROR;
            }
            break;
        }
        case SQ_ARRAY: {
            SqInteger idx;
            if (ArrayIndex(key, &idx)) {
                std::vector<SqValue>& v = obj.Array()->m_Values;
                if (idx >= 0 && static_cast<uint64_t>(idx) < v.size()) {
                    SqAssignReal(out, v[static_cast<size_t>(idx)]);
                    return LOOKUP_FOUND;
                }
                RaiseIndexError(key);
                return LOOKUP_ERROR;
            }
            break;
        }
        case SQ_STRING: {
            SqInteger idx;
            if (ArrayIndex(key, &idx)) {
                CSqString* s = obj.String();
                SqInteger n = static_cast<SqInteger>(s->Length());
                if (idx < 0 && idx >= -n)
                    idx += n;
                if (idx >= 0 && idx < n) {
                    out.SetInteger(static_cast<signed char>(s->Data()[idx]));
                    return LOOKUP_FOUND;
                }
                RaiseIndexError(key);
                return LOOKUP_ERROR;
            }
            break;
        }
        case SQ_INSTANCE: {
            if (obj.Instance()->Get(key, out))
                return LOOKUP_FOUND;
            SqValue mm;
            if (GetMetaMethod(obj, MT_GET, mm)) {
                if (CallFunction(mm, obj, &key, 1, &out))
                    return LOOKUP_FOUND;
                if (!m_LastError.IsNull())
                    return LOOKUP_ERROR;
            }
            break;
        }
        case SQ_CLASS:
            if (obj.Class()->Get(key, out))
                return LOOKUP_FOUND;
            break;
        default:
            break;
        }
        SqValue d = DefaultDelegate(obj.m_eType);
        if (d.m_eType == SQ_TABLE) {
            if (SqNode* n = d.Table()->Find(key)) {
                out = n->m_Value;
                return LOOKUP_FOUND;
            }
        }
        return LOOKUP_MISSING;
    }

    bool CSqThread::Get(const SqValue& obj, const SqValue& key, SqValue& out, bool bRootFallback)
    {
        int r = Lookup(obj, key, out);
        if (r == LOOKUP_FOUND)
            return true;
        if (r == LOOKUP_ERROR)
            return false;
        if (bRootFallback) {
            SqValue root = RootOf(m_Frames.empty() ? nullptr : m_Frames.back().m_pClosure);
            if (root.m_eType == SQ_TABLE && !root.RawEquals(obj)) {
                r = Lookup(root, key, out);
                if (r == LOOKUP_FOUND)
                    return true;
                if (r == LOOKUP_ERROR)
                    return false;
            }
        }
        return RaiseIndexError(key);
    }

    bool CSqThread::RawGet(const SqValue& obj, const SqValue& key, SqValue& out)
    {
        switch (obj.m_eType) {
        case SQ_TABLE:
            if (SqNode* n = obj.Table()->Find(key)) {
                SqAssignReal(out, n->m_Value);
                return true;
            }
            break;
        case SQ_ARRAY: {
            SqInteger idx;
            if (ArrayIndex(key, &idx)) {
                std::vector<SqValue>& v = obj.Array()->m_Values;
                if (idx >= 0 && static_cast<uint64_t>(idx) < v.size()) {
                    SqAssignReal(out, v[static_cast<size_t>(idx)]);
                    return true;
                }
            }
            break;
        }
        case SQ_INSTANCE:
            if (obj.Instance()->Get(key, out))
                return true;
            break;
        case SQ_CLASS:
            if (obj.Class()->Get(key, out))
                return true;
            break;
        default:
            break;
        }
        return Raise("the index doesn't exist");
    }

    bool CSqThread::Set(const SqValue& obj, const SqValue& key, const SqValue& value, bool bRootFallback)
    {
        switch (obj.m_eType) {
        case SQ_TABLE: {
            if (key.IsNull())
                return Raise("null cannot be used as index");
            for (CSqTable* p = obj.Table(); p; p = p->m_pDelegate)
                if (p->Set(key, value))
                    return true;
            SqValue mm;
            if (GetMetaMethod(obj, MT_SET, mm)) {
                SqValue args[2] = {key, value};
                SqValue out;
                if (CallFunction(mm, obj, args, 2, &out))
                    return true;
                if (!m_LastError.IsNull())
                    return false;
            }
            break;
        }
        case SQ_ARRAY: {
            SqInteger idx;
            if (!ArrayIndex(key, &idx))
                return Raise("indexing array with %s", SqTypeName(key.Type()));
            std::vector<SqValue>& v = obj.Array()->m_Values;
            if (idx >= 0 && static_cast<uint64_t>(idx) < v.size()) {
                v[static_cast<size_t>(idx)] = value;
                return true;
            }
            return RaiseIndexError(key);
        }
        case SQ_INSTANCE: {
            if (obj.Instance()->Set(key, value))
                return true;
            SqValue mm;
            if (GetMetaMethod(obj, MT_SET, mm)) {
                SqValue args[2] = {key, value};
                SqValue out;
                if (CallFunction(mm, obj, args, 2, &out))
                    return true;
                if (!m_LastError.IsNull())
                    return false;
            }
            break;
        }
        default:
            return Raise("trying to set '%s'", SqTypeName(obj.Type()));
        }
        if (bRootFallback) {
            SqValue root = RootOf(m_Frames.empty() ? nullptr : m_Frames.back().m_pClosure);
            if (root.m_eType == SQ_TABLE && !root.RawEquals(obj))
                return Set(root, key, value, false);
        }
        return RaiseIndexError(key);
    }

    bool CSqThread::NewSlot(const SqValue& obj, const SqValue& key, const SqValue& value, bool bStatic)
    {
        switch (obj.m_eType) {
        case SQ_TABLE: {
            if (key.IsNull())
                return Raise("null cannot be used as index");
            CSqTable* t = obj.Table();
            if (t->m_pDelegate && !t->Find(key)) {
                SqValue mm;
                if (GetMetaMethod(obj, MT_NEWSLOT, mm)) {
                    SqValue args[2] = {key, value};
                    SqValue out;
                    return CallFunction(mm, obj, args, 2, &out);
                }
            }
            t->NewSlot(key, value);
            return true;
        }
        case SQ_CLASS: {
            CSqClass* c = obj.Class();
            if (c->m_bLocked)
                return Raise("trying to modify a class that has already been instantiated");
            if (key.IsNull())
                return Raise("null cannot be used as index");
            c->NewMember(m_pState, key, value, SqValue(), bStatic);
            return true;
        }
        case SQ_INSTANCE:
            return Raise("class instances do not support the new slot operator");
        case SQ_ARRAY:
            return Raise("indexing array with %s", SqTypeName(key.Type()));
        default:
            return Raise("trying to set '%s'", SqTypeName(obj.Type()));
        }
    }

    bool CSqThread::DeleteSlot(const SqValue& obj, const SqValue& key, SqValue& out)
    {
        switch (obj.m_eType) {
        case SQ_TABLE: {
            CSqTable* t = obj.Table();
            SqValue mm;
            if (GetMetaMethod(obj, MT_DELSLOT, mm))
                return CallFunction(mm, obj, &key, 1, &out);
            SqNode* n = t->Find(key);
            if (!n)
                return RaiseIndexError(key);
            out = n->m_Value;
            t->Remove(key);
            return true;
        }
        case SQ_INSTANCE:
            return Raise("cannot delete a slot from instance");
        case SQ_CLASS:
            return Raise("attempt to delete a slot from a class");
        default:
            return Raise("attempt to delete a slot from a %s", SqTypeName(obj.Type()));
        }
    }

    // ---------------------------------------------------------------- arithmetic
    static eSqMetaMethod ArithMeta(int iOp)
    {
        switch (iOp) {
        case '+': return MT_ADD;
        case '-': return MT_SUB;
        case '*': return MT_MUL;
        case '/': return MT_DIV;
        default: return MT_MODULO;
        }
    }

    bool CSqThread::Arith(int iOp, const SqValue& a, const SqValue& b, SqValue& out)
    {
        if (a.m_eType == SQ_INTEGER && b.m_eType == SQ_INTEGER) {
            uint64_t x = static_cast<uint64_t>(a.m_iValue), y = static_cast<uint64_t>(b.m_iValue);
            SqInteger ix = a.m_iValue, iy = b.m_iValue;
            switch (iOp) {
            case '+': out.SetInteger(static_cast<SqInteger>(x + y)); return true;
            case '-': out.SetInteger(static_cast<SqInteger>(x - y)); return true;
            case '*': out.SetInteger(static_cast<SqInteger>(x * y)); return true;
            case '/':
                if (iy == 0)
                    return Raise("division by zero");
                if (iy == -1 && ix == INT64_MIN)
                    return Raise("integer overflow");
                out.SetInteger(ix / iy);
                return true;
            default:
                if (iy == 0)
                    return Raise("modulo by zero");
                out.SetInteger(iy == -1 ? 0 : ix % iy);
                return true;
            }
        }
        if (a.IsNumeric() && b.IsNumeric()) {
            SqFloat x = a.ToFloat(), y = b.ToFloat();
            switch (iOp) {
            case '+': out.SetFloat(x + y); return true;
            case '-': out.SetFloat(x - y); return true;
            case '*': out.SetFloat(x * y); return true;
            case '/': out.SetFloat(x / y); return true;
            default: out.SetFloat(std::fmod(x, y)); return true;
            }
        }
        if (iOp == '+' && (a.m_eType == SQ_STRING || b.m_eType == SQ_STRING)) {
            SqValue sa, sb;
            if (!ToString(a, sa) || !ToString(b, sb))
                return false;
            if (sa.String()->Length() + sb.String()->Length() > MAX_STRING_LENGTH)
                return Raise("string too long");
            std::string s;
            s.reserve(sa.String()->Length() + sb.String()->Length());
            s.append(sa.String()->View());
            s.append(sb.String()->View());
            out = m_pState->String(s);
            return true;
        }
        if (a.m_eType == SQ_TABLE || a.m_eType == SQ_INSTANCE) {
            SqValue mm;
            if (GetMetaMethod(a, ArithMeta(iOp), mm))
                return CallFunction(mm, a, &b, 1, &out);
        }
        return Raise("arith op %c on between '%s' and '%s'", iOp, SqTypeName(a.Type()), SqTypeName(b.Type()));
    }

    bool CSqThread::BitOp(int iOp, const SqValue& a, const SqValue& b, SqValue& out)
    {
        if (a.m_eType != SQ_INTEGER || b.m_eType != SQ_INTEGER)
            return Raise("bitwise op between '%s' and '%s'", SqTypeName(a.Type()), SqTypeName(b.Type()));
        SqInteger x = a.m_iValue, y = b.m_iValue;
        unsigned s = static_cast<unsigned>(y & 63);
        switch (iOp) {
        case OP_BAND: out.SetInteger(x & y); break;
        case OP_BOR: out.SetInteger(x | y); break;
        case OP_BXOR: out.SetInteger(x ^ y); break;
        case OP_SHL: out.SetInteger(static_cast<SqInteger>(static_cast<uint64_t>(x) << s)); break;
        case OP_SHR: out.SetInteger(x >> s); break;
        default: out.SetInteger(static_cast<SqInteger>(static_cast<uint64_t>(x) >> s)); break;
        }
        return true;
    }

    bool CSqThread::Negate(const SqValue& a, SqValue& out)
    {
        if (a.m_eType == SQ_INTEGER) {
            out.SetInteger(static_cast<SqInteger>(0 - static_cast<uint64_t>(a.m_iValue)));
            return true;
        }
        if (a.m_eType == SQ_FLOAT) {
            out.SetFloat(-a.m_fValue);
            return true;
        }
        SqValue mm;
        if (GetMetaMethod(a, MT_UNM, mm))
            return CallFunction(mm, a, nullptr, 0, &out);
        return Raise("attempt to negate a %s", SqTypeName(a.Type()));
    }

    // ---------------------------------------------------------------- comparison
    bool CSqThread::Equals(const SqValue& a, const SqValue& b)
    {
        if (a.m_eType == b.m_eType) {
            if (a.m_eType == SQ_FLOAT)
                return a.m_fValue == b.m_fValue;
            if (a.m_eType == SQ_NULL)
                return true;
            return a.m_uRaw == b.m_uRaw;
        }
        if (a.IsNumeric() && b.IsNumeric())
            return a.ToFloat() == b.ToFloat();
        return false;
    }

    static int FloatOrder(SqFloat x, SqFloat y) { return x == y ? 0 : (x < y ? -1 : 1); }

    bool CSqThread::Compare(const SqValue& a, const SqValue& b, int* pResult)
    {
        if (a.m_eType == b.m_eType) {
            switch (a.m_eType) {
            case SQ_INTEGER:
            case SQ_BOOL:
                *pResult = a.m_iValue < b.m_iValue ? -1 : (a.m_iValue > b.m_iValue ? 1 : 0);
                return true;
            case SQ_FLOAT:
                *pResult = FloatOrder(a.m_fValue, b.m_fValue);
                return true;
            case SQ_STRING: {
                // Byte-wise up to the first zero byte, as C strcmp.
                int c = strcmp(a.String()->Data(), b.String()->Data());
                *pResult = c < 0 ? -1 : (c > 0 ? 1 : 0);
                return true;
            }
            case SQ_NULL:
                *pResult = 0;
                return true;
            case SQ_TABLE:
            case SQ_INSTANCE: {
                SqValue mm;
                if (GetMetaMethod(a, MT_CMP, mm)) {
                    SqValue r;
                    if (!CallFunction(mm, a, &b, 1, &r))
                        return false;
                    if (r.m_eType != SQ_INTEGER)
                        return Raise("_cmp must return an integer");
                    *pResult = r.m_iValue < 0 ? -1 : (r.m_iValue > 0 ? 1 : 0);
                    return true;
                }
                break;
            }
            default:
                break;
            }
            // Objects without _cmp: by identity (an unspecified but consistent order).
            *pResult = a.m_uRaw == b.m_uRaw ? 0 : (a.m_uRaw < b.m_uRaw ? -1 : 1);
            return true;
        }
        if (a.IsNumeric() && b.IsNumeric()) {
            *pResult = FloatOrder(a.ToFloat(), b.ToFloat());
            return true;
        }
        if (a.m_eType == SQ_NULL) {
            *pResult = -1;
            return true;
        }
        if (b.m_eType == SQ_NULL) {
            *pResult = 1;
            return true;
        }
        std::string x = ErrorText(a), y = ErrorText(b);
        return Raise("comparison between '%s' and '%s'", x.c_str(), y.c_str());
    }

    bool CSqThread::CompareOp(int iCmp, const SqValue& a, const SqValue& b, bool* pResult)
    {
        if (iCmp == CMP_EQ || iCmp == CMP_NE) {
            *pResult = Equals(a, b) == (iCmp == CMP_EQ);
            return true;
        }
        int c;
        if (!Compare(a, b, &c))
            return false;
        switch (iCmp) {
        case CMP_LT: *pResult = c < 0; break;
        case CMP_LE: *pResult = c <= 0; break;
        case CMP_GT: *pResult = c > 0; break;
        default: *pResult = c >= 0; break;
        }
        return true;
    }

    // ---------------------------------------------------------------- text
    std::string CSqThread::PlainText(const SqValue& v) const
    {
        char buffer[64];
        switch (v.m_eType) {
        case SQ_NULL: return "null";
        case SQ_INTEGER:
            snprintf(buffer, sizeof(buffer), "%" PRId64, v.m_iValue);
            return buffer;
        case SQ_FLOAT:
            snprintf(buffer, sizeof(buffer), "%g", static_cast<double>(v.m_fValue));
            return buffer;
        case SQ_BOOL: return v.m_iValue ? "true" : "false";
        case SQ_STRING: return std::string(v.String()->View());
        default:
            snprintf(buffer, sizeof(buffer), "(%s : 0x%p)", SqTypeName(v.Type()), v.m_pPointer);
            return buffer;
        }
    }

    std::string CSqThread::ErrorText(const SqValue& v) const
    {
        char buffer[64];
        switch (v.m_eType) {
        case SQ_INTEGER:
            snprintf(buffer, sizeof(buffer), "%" PRId64, v.m_iValue);
            return buffer;
        case SQ_FLOAT:
            snprintf(buffer, sizeof(buffer), "%.14g", static_cast<double>(v.m_fValue));
            return buffer;
        case SQ_STRING: return std::string(v.String()->View());
        default: return SqTypeName(v.Type());
        }
    }

    bool CSqThread::ToString(const SqValue& v, SqValue& out)
    {
        if (v.m_eType == SQ_STRING) {
            out = v;
            return true;
        }
        if (v.m_eType == SQ_TABLE || v.m_eType == SQ_INSTANCE) {
            SqValue mm;
            if (GetMetaMethod(v, MT_TOSTRING, mm)) {
                SqValue r;
                if (!CallFunction(mm, v, nullptr, 0, &r))
                    return false;
                if (r.m_eType == SQ_STRING) {
                    out = std::move(r);
                    return true;
                }
            }
        }
        out = m_pState->String(PlainText(v));
        return true;
    }

    bool CSqThread::TypeOf(const SqValue& v, SqValue& out)
    {
        if (v.m_eType == SQ_TABLE || v.m_eType == SQ_INSTANCE) {
            SqValue mm;
            if (GetMetaMethod(v, MT_TYPEOF, mm))
                return CallFunction(mm, v, nullptr, 0, &out);
        }
        out = m_pState->String(SqTypeName(v.Type()));
        return true;
    }

    bool CSqThread::Clone(const SqValue& v, SqValue& out)
    {
        switch (v.m_eType) {
        case SQ_TABLE: {
            SqValue copy(v.Table()->Clone());
            SqValue mm;
            if (GetMetaMethod(copy, MT_CLONED, mm)) {
                SqValue r;
                if (!CallFunction(mm, copy, &v, 1, &r))
                    return false;
            }
            out = std::move(copy);
            return true;
        }
        case SQ_ARRAY: {
            CSqArray* a = CSqArray::Create(m_pState, 0);
            SqValue copy(a);
            a->m_Values = v.Array()->m_Values;
            out = std::move(copy);
            return true;
        }
        case SQ_INSTANCE: {
            SqValue copy(v.Instance()->Clone(m_pState));
            SqValue mm;
            if (GetMetaMethod(copy, MT_CLONED, mm)) {
                SqValue r;
                if (!CallFunction(mm, copy, &v, 1, &r))
                    return false;
            }
            out = std::move(copy);
            return true;
        }
        default:
            return Raise("cloning a %s", SqTypeName(v.Type()));
        }
    }

    bool CSqThread::InstanceOf(const SqValue& a, const SqValue& b, bool* pResult)
    {
        if (b.m_eType != SQ_CLASS)
            return Raise("cannot apply instanceof between a %s and a %s", SqTypeName(a.Type()), SqTypeName(b.Type()));
        *pResult = a.m_eType == SQ_INSTANCE && a.Instance()->InstanceOf(b.Class());
        return true;
    }

    bool CSqThread::In(const SqValue& key, const SqValue& obj, bool* pResult)
    {
        SqInteger idx;
        switch (obj.m_eType) {
        case SQ_TABLE:
            *pResult = obj.Table()->Find(key) != nullptr;
            return true;
        case SQ_ARRAY:
            *pResult = key.m_eType == SQ_INTEGER && ArrayIndex(key, &idx) && idx >= 0 &&
                       static_cast<uint64_t>(idx) < obj.Array()->m_Values.size();
            return true;
        case SQ_STRING:
            *pResult = key.m_eType == SQ_INTEGER && key.m_iValue >= 0 && static_cast<uint64_t>(key.m_iValue) < obj.String()->Length();
            return true;
        case SQ_INSTANCE:
            *pResult = obj.Instance()->m_pClass->m_pMembers->Find(key) != nullptr;
            return true;
        case SQ_CLASS:
            *pResult = obj.Class()->m_pMembers->Find(key) != nullptr;
            return true;
        default:
            *pResult = false;
            return true;
        }
    }

    // ---------------------------------------------------------------- classes
    bool CSqThread::CreateClass(const SqValue& base, const SqValue& attributes, SqValue& out)
    {
        CSqClass* pBase = nullptr;
        if (!base.IsNull()) {
            if (base.m_eType != SQ_CLASS)
                return Raise("trying to inherit from a %s", SqTypeName(base.Type()));
            pBase = base.Class();
        }
        CSqClass* c = CSqClass::Create(m_pState, pBase);
        SqValue cls(c);
        c->m_Attributes = attributes;
        if (pBase && !pBase->m_MetaMethods[MT_INHERITED].IsNull()) {
            SqValue mm = pBase->m_MetaMethods[MT_INHERITED];
            SqValue r;
            if (!CallFunction(mm, cls, &attributes, 1, &r))
                return false;
        }
        out = std::move(cls);
        return true;
    }

    bool CSqThread::AddClassMember(const SqValue& cls, const SqValue& key, const SqValue& value, const SqValue& attributes,
                                   bool bStatic, bool bRaw)
    {
        if (cls.m_eType != SQ_CLASS)
            return Raise("trying to add a member to a %s", SqTypeName(cls.Type()));
        CSqClass* c = cls.Class();
        if (!bRaw && !c->m_MetaMethods[MT_NEWMEMBER].IsNull()) {
            SqValue mm = c->m_MetaMethods[MT_NEWMEMBER];
            SqValue args[4] = {key, value, attributes, SqValue::Bool(bStatic)};
            SqValue r;
            return CallFunction(mm, cls, args, 4, &r);
        }
        if (c->m_bLocked)
            return Raise("trying to modify a class that has already been instantiated");
        if (key.IsNull())
            return Raise("null cannot be used as index");
        c->NewMember(m_pState, key, value, attributes, bStatic);
        return true;
    }

    bool CSqThread::CreateInstanceOf(CSqClass* pClass, SqValue& out)
    {
        out = SqValue(CSqInstance::Create(m_pState, pClass));
        return true;
    }

    // ---------------------------------------------------------------- iteration
    bool CSqThread::ForEachStep(int iAbs, bool* pDone)
    {
        SqValue container = m_pStack[iAbs];
        SqValue iterator = m_pStack[iAbs + 3];
        SqInteger iPos = iterator.m_eType == SQ_INTEGER ? iterator.m_iValue : 0;
        *pDone = false;
        switch (container.m_eType) {
        case SQ_ARRAY: {
            std::vector<SqValue>& v = container.Array()->m_Values;
            if (iPos >= static_cast<SqInteger>(v.size())) {
                *pDone = true;
                return true;
            }
            m_pStack[iAbs + 1].SetInteger(iPos);
            SqAssignReal(m_pStack[iAbs + 2], v[static_cast<size_t>(iPos)]);
            m_pStack[iAbs + 3].SetInteger(iPos + 1);
            return true;
        }
        case SQ_TABLE: {
            SqValue k, v;
            int64_t iNext = container.Table()->Next(iPos, &k, &v);
            if (iNext < 0) {
                *pDone = true;
                return true;
            }
            m_pStack[iAbs + 1] = std::move(k);
            SqAssignReal(m_pStack[iAbs + 2], v);
            m_pStack[iAbs + 3].SetInteger(iNext);
            return true;
        }
        case SQ_CLASS: {
            CSqClass* c = container.Class();
            SqValue k, enc;
            int64_t iNext = c->m_pMembers->Next(iPos, &k, &enc);
            if (iNext < 0) {
                *pDone = true;
                return true;
            }
            m_pStack[iAbs + 1] = std::move(k);
            m_pStack[iAbs + 2] = *c->MemberSlot(enc.m_iValue);
            m_pStack[iAbs + 3].SetInteger(iNext);
            return true;
        }
        case SQ_STRING: {
            CSqString* s = container.String();
            if (iPos >= static_cast<SqInteger>(s->Length())) {
                *pDone = true;
                return true;
            }
            m_pStack[iAbs + 1].SetInteger(iPos);
            m_pStack[iAbs + 2].SetInteger(static_cast<signed char>(s->Data()[iPos]));
            m_pStack[iAbs + 3].SetInteger(iPos + 1);
            return true;
        }
        case SQ_GENERATOR: {
            CSqGenerator* g = container.Generator();
            if (g->m_eState == GENERATOR_DEAD) {
                *pDone = true;
                return true;
            }
            SqValue out;
            if (!ResumeGenerator(g, out))
                return false;
            if (g->m_eState == GENERATOR_DEAD) {
                *pDone = true;
                return true;
            }
            m_pStack[iAbs + 1].SetInteger(iPos);
            m_pStack[iAbs + 2] = std::move(out);
            m_pStack[iAbs + 3].SetInteger(iPos + 1);
            return true;
        }
        case SQ_INSTANCE: {
            SqValue mm;
            if (!GetMetaMethod(container, MT_NEXTI, mm))
                return Raise("_nexti failed");
            SqValue prev = iterator.m_eType == SQ_NULL ? SqValue() : m_pStack[iAbs + 1];
            SqValue next;
            if (!CallFunction(mm, container, &prev, 1, &next))
                return false;
            if (next.IsNull()) {
                *pDone = true;
                return true;
            }
            SqValue value;
            if (!Get(container, next, value, false))
                return false;
            m_pStack[iAbs + 1] = next;
            m_pStack[iAbs + 2] = std::move(value);
            m_pStack[iAbs + 3].SetInteger(1);
            return true;
        }
        default:
            return Raise("cannot iterate %s", SqTypeName(container.Type()));
        }
    }
}
