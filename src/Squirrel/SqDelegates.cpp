// Built-in methods of every type (the default delegates).
#include "SqApi.h"
#include "SqBaseLib.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace Torvane3D::Squirrel
{
    namespace
    {
        CSqThread* T(CSqVM* p) { return CSqThread::From(p); }
        SqValue& Self(CSqThread* t) { return SqArg(t, 1); }
        int Argc(CSqThread* t) { return SqArgCount(t); }

        SqInteger IntArg(const SqValue& v)
        {
            if (v.Type() == SQ_FLOAT)
                return SqFloatToInteger(v.m_fValue);
            return v.m_iValue;
        }

        // ------------------------------------------------------------ shared
        int obj_tostring(CSqVM* v)
        {
            CSqThread* t = T(v);
            SqValue out;
            if (!t->ToString(Self(t), out))
                return SQ_ERROR;
            return SqReturn(t, out);
        }

        int obj_weakref(CSqVM* v)
        {
            CSqThread* t = T(v);
            v->WeakRef(1);
            (void)t;
            return 1;
        }

        // ------------------------------------------------------------ numbers
        int num_tointeger(CSqVM* v)
        {
            CSqThread* t = T(v);
            const SqValue& s = Self(t);
            return SqReturn(t, SqValue::Integer(s.Type() == SQ_FLOAT ? SqFloatToInteger(s.m_fValue) : s.m_iValue));
        }

        int num_tofloat(CSqVM* v)
        {
            CSqThread* t = T(v);
            const SqValue& s = Self(t);
            return SqReturn(t, SqValue::Float(s.Type() == SQ_FLOAT ? s.m_fValue : static_cast<SqFloat>(s.m_iValue)));
        }

        int num_tochar(CSqVM* v)
        {
            CSqThread* t = T(v);
            const SqValue& s = Self(t);
            char c = static_cast<char>(static_cast<uint64_t>(s.Type() == SQ_FLOAT ? SqFloatToInteger(s.m_fValue) : s.m_iValue) & 0xFF);
            return SqReturn(t, SqValue(t->m_pState->Intern(&c, 1)));
        }

        // ------------------------------------------------------------ strings
        locale_t CLocale()
        {
            static locale_t s_Locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
            return s_Locale;
        }

        // String to number as C strtoll/strtod read it: the float path when the text has a
        // '.', or an 'e'/'E' with a base of 13 or less. False when no number can be read.
        bool StringToNumber(const CSqString* s, int iBase, bool bFloat, SqValue& out)
        {
            std::string text(s->Data(), strnlen(s->Data(), s->Length()));
            bool bHasDot = text.find('.') != std::string::npos;
            bool bHasExp = text.find_first_of("eE") != std::string::npos;
            if (bHasDot || (bHasExp && iBase <= 13)) {
                char* pEnd = nullptr;
                double d = strtod_l(text.c_str(), &pEnd, CLocale());
                if (pEnd == text.c_str())
                    return false;
                if (bFloat)
                    out.SetFloat(SqToFloat(d));
                else
                    out.SetInteger(SqFloatToInteger(d));
                return true;
            }
            if (iBase == 1 || iBase < 0 || iBase > 36) {
                if (bFloat)
                    out.SetFloat(0);
                else
                    out.SetInteger(0);
                return true;
            }
            char* pEnd = nullptr;
            errno = 0;
            long long n = strtoll(text.c_str(), &pEnd, iBase);
            if (pEnd == text.c_str())
                return false;
            if (bFloat)
                out.SetFloat(static_cast<SqFloat>(n));
            else
                out.SetInteger(n);
            return true;
        }

        int str_len(CSqVM* v)
        {
            CSqThread* t = T(v);
            return SqReturn(t, SqValue::Integer(static_cast<SqInteger>(Self(t).String()->Length())));
        }

        int str_tointeger(CSqVM* v)
        {
            CSqThread* t = T(v);
            int iBase = Argc(t) >= 2 ? static_cast<int>(std::clamp<SqInteger>(IntArg(SqArg(t, 2)), -1, 100)) : 10;
            SqValue out;
            if (!StringToNumber(Self(t).String(), iBase, false, out))
                return v->ThrowError("cannot convert the string");
            return SqReturn(t, out);
        }

        int str_tofloat(CSqVM* v)
        {
            CSqThread* t = T(v);
            SqValue out;
            if (!StringToNumber(Self(t).String(), 10, true, out))
                return v->ThrowError("cannot convert the string");
            return SqReturn(t, out);
        }

        // Start and end of a slice with negative positions from the end.
        bool SliceBounds(CSqThread* t, SqInteger nLength, SqInteger* pStart, SqInteger* pEnd)
        {
            SqInteger s = IntArg(SqArg(t, 2));
            SqInteger e = Argc(t) >= 3 ? IntArg(SqArg(t, 3)) : nLength;
            if (s < 0)
                s += nLength;
            if (e < 0)
                e += nLength;
            if (s > e)
                return t->Raise("wrong indexes");
            if (s < 0 || e > nLength)
                return t->Raise("slice out of range");
            *pStart = s;
            *pEnd = e;
            return true;
        }

        int str_slice(CSqVM* v)
        {
            CSqThread* t = T(v);
            CSqString* s = Self(t).String();
            SqInteger a, b;
            if (!SliceBounds(t, static_cast<SqInteger>(s->Length()), &a, &b))
                return SQ_ERROR;
            return SqReturn(t, SqValue(t->m_pState->Intern(s->Data() + a, static_cast<size_t>(b - a))));
        }

        int str_find(CSqVM* v)
        {
            CSqThread* t = T(v);
            CSqString* s = Self(t).String();
            CSqString* sub = SqArg(t, 2).String();
            SqInteger iStart = Argc(t) >= 3 ? IntArg(SqArg(t, 3)) : 0;
            SqInteger n = static_cast<SqInteger>(s->Length());
            if (iStart < 0 || iStart > n)
                return 0;
            std::string_view hay = s->View().substr(static_cast<size_t>(iStart));
            size_t pos = hay.find(sub->View());
            if (pos == std::string_view::npos)
                return 0;
            return SqReturn(t, SqValue::Integer(iStart + static_cast<SqInteger>(pos)));
        }

        int CaseMap(CSqVM* v, bool bUpper)
        {
            CSqThread* t = T(v);
            CSqString* s = Self(t).String();
            std::string text(s->Data(), s->Length());
            for (char& c : text) {
                if (bUpper && c >= 'a' && c <= 'z')
                    c = static_cast<char>(c - 32);
                else if (!bUpper && c >= 'A' && c <= 'Z')
                    c = static_cast<char>(c + 32);
            }
            return SqReturn(t, t->m_pState->String(text));
        }
        int str_tolower(CSqVM* v) { return CaseMap(v, false); }
        int str_toupper(CSqVM* v) { return CaseMap(v, true); }

        // ------------------------------------------------------------ tables
        int tab_len(CSqVM* v) { return SqReturn(T(v), SqValue::Integer(static_cast<SqInteger>(Self(T(v)).Table()->Count()))); }

        int tab_clear(CSqVM* v)
        {
            CSqThread* t = T(v);
            SqValue self = Self(t);
            self.Table()->Clear();
            return SqReturn(t, self);
        }

        int tab_map(CSqVM* v)
        {
            CSqThread* t = T(v);
            SqValue self = Self(t), fn = SqArg(t, 2);
            CSqArray* a = CSqArray::Create(t->m_pState, 0);
            SqValue result(a);
            SqValue args[2];
            for (int64_t it = self.Table()->Next(0, &args[0], &args[1]); it >= 0; it = self.Table()->Next(it, &args[0], &args[1])) {
                SqValue r;
                if (!t->CallFunction(fn, self, args, 2, &r))
                    return SQ_ERROR;
                a->m_Values.push_back(r);
            }
            return SqReturn(t, result);
        }

        int tab_filter(CSqVM* v)
        {
            CSqThread* t = T(v);
            SqValue self = Self(t), fn = SqArg(t, 2);
            CSqTable* out = CSqTable::Create(t->m_pState, 0);
            SqValue result(out);
            SqValue args[2];
            for (int64_t it = self.Table()->Next(0, &args[0], &args[1]); it >= 0; it = self.Table()->Next(it, &args[0], &args[1])) {
                SqValue r;
                if (!t->CallFunction(fn, self, args, 2, &r))
                    return SQ_ERROR;
                if (!r.IsFalse())
                    out->NewSlot(args[0], args[1]);
            }
            return SqReturn(t, result);
        }

        int obj_rawget(CSqVM* v)
        {
            CSqThread* t = T(v);
            SqValue out;
            if (!t->RawGet(Self(t), SqArg(t, 2), out))
                return SQ_ERROR;
            return SqReturn(t, out);
        }

        int obj_rawset(CSqVM* v)
        {
            CSqThread* t = T(v);
            SqValue self = Self(t);
            if (!SqRawSet(t, self, SqArg(t, 2), SqArg(t, 3)))
                return SQ_ERROR;
            return SqReturn(t, self);
        }

        int obj_rawin(CSqVM* v)
        {
            CSqThread* t = T(v);
            bool b;
            t->In(SqArg(t, 2), Self(t), &b);
            return SqReturn(t, SqValue::Bool(b));
        }

        int tab_rawdelete(CSqVM* v)
        {
            CSqThread* t = T(v);
            CSqTable* tab = Self(t).Table();
            SqNode* n = tab->Find(SqArg(t, 2));
            if (!n)
                return 0;
            SqValue old = n->m_Value;
            tab->Remove(SqArg(t, 2));
            return SqReturn(t, old);
        }

        int tab_getdelegate(CSqVM* v)
        {
            CSqThread* t = T(v);
            CSqTable* d = Self(t).Table()->m_pDelegate;
            return SqReturn(t, d ? SqValue(d) : SqValue());
        }

        int tab_setdelegate(CSqVM* v)
        {
            CSqThread* t = T(v);
            SqValue self = Self(t);
            if (!SqSetDelegate(t, self.Table(), SqArg(t, 2)))
                return SQ_ERROR;
            return SqReturn(t, self);
        }

        int TableList(CSqVM* v, bool bKeys)
        {
            CSqThread* t = T(v);
            CSqTable* tab = Self(t).Table();
            CSqArray* a = CSqArray::Create(t->m_pState, 0);
            SqValue result(a);
            SqValue k, val;
            for (int64_t it = tab->Next(0, &k, &val); it >= 0; it = tab->Next(it, &k, &val))
                a->m_Values.push_back(bKeys ? k : val);
            return SqReturn(t, result);
        }
        int tab_keys(CSqVM* v) { return TableList(v, true); }
        int tab_values(CSqVM* v) { return TableList(v, false); }

        // ------------------------------------------------------------ arrays
        std::vector<SqValue>& Vec(CSqThread* t) { return Self(t).Array()->m_Values; }

        int arr_len(CSqVM* v) { return SqReturn(T(v), SqValue::Integer(static_cast<SqInteger>(Vec(T(v)).size()))); }

        int arr_push(CSqVM* v)
        {
            CSqThread* t = T(v);
            SqValue self = Self(t);
            Vec(t).push_back(SqArg(t, 2));
            return SqReturn(t, self);
        }

        int arr_pop(CSqVM* v)
        {
            CSqThread* t = T(v);
            std::vector<SqValue>& a = Vec(t);
            if (a.empty())
                return v->ThrowError("empty array");
            SqValue last = std::move(a.back());
            a.pop_back();
            return SqReturn(t, last);
        }

        int arr_top(CSqVM* v)
        {
            CSqThread* t = T(v);
            std::vector<SqValue>& a = Vec(t);
            if (a.empty())
                return v->ThrowError("top() on a empty array");
            return SqReturn(t, a.back());
        }

        int arr_insert(CSqVM* v)
        {
            CSqThread* t = T(v);
            SqValue self = Self(t);
            std::vector<SqValue>& a = Vec(t);
            SqInteger idx = IntArg(SqArg(t, 2));
            if (idx < 0 || idx > static_cast<SqInteger>(a.size()))
                return v->ThrowError("index out of range");
            a.insert(a.begin() + idx, SqArg(t, 3));
            return SqReturn(t, self);
        }

        int arr_remove(CSqVM* v)
        {
            CSqThread* t = T(v);
            std::vector<SqValue>& a = Vec(t);
            SqInteger idx = IntArg(SqArg(t, 2));
            if (idx < 0 || idx >= static_cast<SqInteger>(a.size()))
                return v->ThrowError("idx out of range");
            SqValue old = a[static_cast<size_t>(idx)];
            a.erase(a.begin() + idx);
            return SqReturn(t, old);
        }

        int arr_resize(CSqVM* v)
        {
            CSqThread* t = T(v);
            SqValue self = Self(t);
            SqInteger n = IntArg(SqArg(t, 2));
            if (n < 0)
                return v->ThrowError("resizing to negative length");
            if (n > (1 << 26))
                return v->ThrowError("array size too large");
            SqValue fill = Argc(t) >= 3 ? SqArg(t, 3) : SqValue();
            Vec(t).resize(static_cast<size_t>(n), fill);
            return SqReturn(t, self);
        }

        int arr_reverse(CSqVM* v)
        {
            CSqThread* t = T(v);
            SqValue self = Self(t);
            std::reverse(Vec(t).begin(), Vec(t).end());
            return SqReturn(t, self);
        }

        int arr_clear(CSqVM* v)
        {
            CSqThread* t = T(v);
            SqValue self = Self(t);
            std::vector<SqValue> old;
            old.swap(Vec(t));
            return SqReturn(t, self);
        }

        int arr_extend(CSqVM* v)
        {
            CSqThread* t = T(v);
            SqValue self = Self(t);
            std::vector<SqValue> other = SqArg(t, 2).Array()->m_Values;
            Vec(t).insert(Vec(t).end(), other.begin(), other.end());
            return SqReturn(t, self);
        }

        int arr_slice(CSqVM* v)
        {
            CSqThread* t = T(v);
            std::vector<SqValue>& a = Vec(t);
            SqInteger s, e;
            if (!SliceBounds(t, static_cast<SqInteger>(a.size()), &s, &e))
                return SQ_ERROR;
            CSqArray* r = CSqArray::Create(t->m_pState, 0);
            SqValue result(r);
            r->m_Values.assign(a.begin() + s, a.begin() + e);
            return SqReturn(t, result);
        }

        int arr_find(CSqVM* v)
        {
            CSqThread* t = T(v);
            std::vector<SqValue>& a = Vec(t);
            for (size_t i = 0; i < a.size(); ++i)
                if (CSqThread::Equals(a[i], SqArg(t, 2)))
                    return SqReturn(t, SqValue::Integer(static_cast<SqInteger>(i)));
            return 0;
        }

        // Number of parameters a callback takes, not counting `this`; -1 for varargs/native.
        int CallbackParams(const SqValue& fn)
        {
            if (fn.Type() == SQ_CLOSURE) {
                const CSqFuncProto* p = fn.Closure()->m_pProto;
                return p->m_bVarArgs ? -1 : p->m_nParams - 1;
            }
            return -1;
        }

        // map and apply: f(value), f(value, index) or f(value, index, array).
        int MapOrApply(CSqVM* v, bool bInPlace)
        {
            CSqThread* t = T(v);
            SqValue self = Self(t), fn = SqArg(t, 2);
            int nParams = CallbackParams(fn);
            if (nParams == 0 || nParams > 3)
                return v->ThrowError("attempt to call 'array'");
            if (nParams < 0)
                nParams = 1;
            CSqArray* out = nullptr;
            SqValue result;
            if (!bInPlace) {
                out = CSqArray::Create(t->m_pState, 0);
                result = SqValue(out);
            }
            for (size_t i = 0; i < self.Array()->m_Values.size(); ++i) {
                SqValue args[3] = {self.Array()->m_Values[i], SqValue::Integer(static_cast<SqInteger>(i)), self};
                SqValue r;
                if (!t->CallFunction(fn, self, args, nParams, &r))
                    return SQ_ERROR;
                if (bInPlace) {
                    if (i < self.Array()->m_Values.size())
                        self.Array()->m_Values[i] = r;
                } else {
                    out->m_Values.push_back(r);
                }
            }
            return SqReturn(t, bInPlace ? self : result);
        }
        int arr_map(CSqVM* v) { return MapOrApply(v, false); }
        int arr_apply(CSqVM* v) { return MapOrApply(v, true); }

        int arr_reduce(CSqVM* v)
        {
            CSqThread* t = T(v);
            SqValue self = Self(t), fn = SqArg(t, 2);
            std::vector<SqValue> values = self.Array()->m_Values;
            size_t i = 0;
            SqValue acc;
            if (Argc(t) >= 3)
                acc = SqArg(t, 3);
            else if (values.empty())
                return 0;
            else
                acc = values[i++];
            for (; i < values.size(); ++i) {
                SqValue args[2] = {acc, values[i]};
                if (!t->CallFunction(fn, self, args, 2, &acc))
                    return SQ_ERROR;
            }
            return SqReturn(t, acc);
        }

        int arr_filter(CSqVM* v)
        {
            CSqThread* t = T(v);
            SqValue self = Self(t), fn = SqArg(t, 2);
            CSqArray* out = CSqArray::Create(t->m_pState, 0);
            SqValue result(out);
            for (size_t i = 0; i < self.Array()->m_Values.size(); ++i) {
                SqValue args[2] = {SqValue::Integer(static_cast<SqInteger>(i)), self.Array()->m_Values[i]};
                SqValue r;
                if (!t->CallFunction(fn, self, args, 2, &r))
                    return SQ_ERROR;
                if (!r.IsFalse())
                    out->m_Values.push_back(args[1]);
            }
            return SqReturn(t, result);
        }

        // Heap sort; the sequence of comparisons is part of the observable behaviour.
        struct SqSorter
        {
            CSqThread* t;
            SqValue array;
            SqValue fn;
            size_t nSize;

            std::vector<SqValue>& A() { return array.Array()->m_Values; }

            bool Cmp(size_t i, size_t j, SqInteger* pResult)
            {
                if (fn.IsNull()) {
                    int c;
                    if (!t->Compare(A()[i], A()[j], &c))
                        return false;
                    *pResult = c;
                    return true;
                }
                // The call is laid out on the stack directly: this runs n log n times.
                int iFunc = t->m_iTop;
                if (!t->EnsureStack(iFunc + 4))
                    return false;
                SqValue* s = t->m_pStack;
                s[iFunc] = fn;
                s[iFunc + 1] = array;
                s[iFunc + 2] = A()[i];
                s[iFunc + 3] = A()[j];
                t->m_iTop = iFunc + 4;
                bool bOk = t->CallAt(iFunc, 3, true);
                if (t->m_iTop < iFunc + 1)
                    t->m_iTop = iFunc + 1;
                const SqValue& r = t->m_pStack[iFunc];
                eSqType eType = r.Type();
                SqInteger iResult = eType == SQ_INTEGER ? r.m_iValue : eType == SQ_FLOAT ? SqFloatToInteger(r.m_fValue) : 0;
                t->PopTo(iFunc);
                if (!bOk)
                    return false;
                if (A().size() != nSize)
                    return t->Raise("array resized during sort operation");
                if (eType != SQ_INTEGER && eType != SQ_FLOAT && eType != SQ_BOOL)
                    return t->Raise("numeric value expected as return value of the compare function");
                *pResult = iResult;
                return true;
            }

            bool Sift(size_t root, size_t bottom)
            {
                while (root * 2 <= bottom) {
                    size_t child;
                    SqInteger c;
                    if (root * 2 == bottom) {
                        child = root * 2;
                    } else {
                        if (!Cmp(root * 2, root * 2 + 1, &c))
                            return false;
                        child = c > 0 ? root * 2 : root * 2 + 1;
                    }
                    if (!Cmp(root, child, &c))
                        return false;
                    if (c < 0) {
                        if (root == child)
                            return t->Raise("inconsistent compare function");
                        std::swap(A()[root], A()[child]);
                        root = child;
                    } else {
                        break;
                    }
                }
                return true;
            }

            bool Run()
            {
                nSize = A().size();
                if (nSize < 2)
                    return true;
                for (size_t i = nSize / 2 + 1; i-- > 0;)
                    if (!Sift(i, nSize - 1))
                        return false;
                for (size_t i = nSize - 1; i >= 1; --i) {
                    std::swap(A()[0], A()[i]);
                    if (!Sift(0, i - 1))
                        return false;
                }
                return true;
            }
        };

        int arr_sort(CSqVM* v)
        {
            CSqThread* t = T(v);
            SqSorter sorter{t, Self(t), Argc(t) >= 2 ? SqArg(t, 2) : SqValue(), 0};
            if (!sorter.Run())
                return SQ_ERROR;
            return SqReturn(t, sorter.array);
        }

        // ------------------------------------------------------------ functions
        int CallWithThis(CSqVM* v, bool bRaise, const SqValue* pArgs, int nArgs)
        {
            CSqThread* t = T(v);
            SqValue fn = Self(t);
            int iFunc = t->m_iTop;
            if (!t->EnsureStack(iFunc + nArgs + 1))
                return SQ_ERROR;
            t->m_pStack[iFunc] = fn;
            for (int k = 0; k < nArgs; ++k)
                t->m_pStack[iFunc + 1 + k] = pArgs[k];
            t->m_iTop = iFunc + 1 + nArgs;
            bool bOk = t->CallAt(iFunc, nArgs, bRaise);
            SqValue result = bOk ? t->m_pStack[iFunc] : SqValue();
            if (t->m_iTop < iFunc + 1)
                t->m_iTop = iFunc + 1;
            t->PopTo(iFunc);
            if (!bOk)
                return SQ_ERROR;
            return SqReturn(t, result);
        }

        int fn_call(CSqVM* v)
        {
            CSqThread* t = T(v);
            std::vector<SqValue> args;
            for (int k = 2; k <= Argc(t); ++k)
                args.push_back(SqArg(t, k));
            return CallWithThis(v, true, args.data(), static_cast<int>(args.size()));
        }

        int fn_pcall(CSqVM* v)
        {
            CSqThread* t = T(v);
            std::vector<SqValue> args;
            for (int k = 2; k <= Argc(t); ++k)
                args.push_back(SqArg(t, k));
            return CallWithThis(v, false, args.data(), static_cast<int>(args.size()));
        }

        int fn_acall(CSqVM* v)
        {
            CSqThread* t = T(v);
            std::vector<SqValue> args = SqArg(t, 2).Array()->m_Values;
            return CallWithThis(v, true, args.data(), static_cast<int>(args.size()));
        }

        int fn_pacall(CSqVM* v)
        {
            CSqThread* t = T(v);
            std::vector<SqValue> args = SqArg(t, 2).Array()->m_Values;
            return CallWithThis(v, false, args.data(), static_cast<int>(args.size()));
        }

        int fn_bindenv(CSqVM* v)
        {
            CSqThread* t = T(v);
            SqValue self = Self(t);
            const SqValue& env = SqArg(t, 2);
            CSqWeakRef* w = CSqWeakRef::Of(env.m_pObj);
            SqValue keepWeak(w);
            if (self.Type() == SQ_CLOSURE) {
                CSqClosure* c = self.Closure()->Clone(t->m_pState);
                SqValue r(c);
                if (c->m_pEnv)
                    SqRelease(c->m_pEnv);
                c->m_pEnv = w;
                SqAddRef(w);
                c->UpdateFastPath();
                return SqReturn(t, r);
            }
            CSqNativeClosure* c = self.NativeClosure()->Clone(t->m_pState);
            SqValue r(c);
            if (c->m_pEnv)
                SqRelease(c->m_pEnv);
            c->m_pEnv = w;
            SqAddRef(w);
            return SqReturn(t, r);
        }

        int fn_getinfos(CSqVM* v)
        {
            CSqThread* t = T(v);
            CSqSharedState* S = t->m_pState;
            const SqValue& self = Self(t);
            CSqTable* info = CSqTable::Create(S, 0);
            SqValue result(info);
            if (self.Type() == SQ_CLOSURE) {
                const CSqFuncProto* p = self.Closure()->m_pProto;
                info->NewSlot(S->String("native"), SqValue::Bool(false));
                info->NewSlot(S->String("name"), p->m_Name);
                info->NewSlot(S->String("src"), p->m_Source);
                CSqArray* params = CSqArray::Create(S, 0);
                info->NewSlot(S->String("parameters"), SqValue(params));
                params->m_Values = p->m_ParamNames;
                if (p->m_bVarArgs)
                    params->m_Values.push_back(S->String("..."));
                CSqArray* defaults = CSqArray::Create(S, 0);
                info->NewSlot(S->String("defparams"), SqValue(defaults));
                defaults->m_Values = self.Closure()->m_Defaults;
                info->NewSlot(S->String("varargs"), SqValue::Integer(p->m_bVarArgs ? 1 : 0));
            } else {
                const CSqNativeClosure* c = self.NativeClosure();
                info->NewSlot(S->String("native"), SqValue::Bool(true));
                info->NewSlot(S->String("name"), c->m_Name);
                info->NewSlot(S->String("paramscheck"), SqValue::Integer(c->m_nParamsCheck));
                if (c->m_TypeMasks.empty()) {
                    info->NewSlot(S->String("typecheck"), SqValue());
                } else {
                    CSqArray* masks = CSqArray::Create(S, 0);
                    info->NewSlot(S->String("typecheck"), SqValue(masks));
                    for (uint32_t m : c->m_TypeMasks)
                        masks->m_Values.push_back(SqValue::Integer(m));
                }
            }
            return SqReturn(t, result);
        }

        int fn_getroot(CSqVM* v)
        {
            CSqThread* t = T(v);
            return SqReturn(t, t->RootOf(Self(t).m_pObj));
        }

        int fn_setroot(CSqVM* v)
        {
            CSqThread* t = T(v);
            const SqValue& self = Self(t);
            CSqWeakRef* w = CSqWeakRef::Of(SqArg(t, 2).m_pObj);
            SqAddRef(w);
            CSqWeakRef** pp = self.Type() == SQ_CLOSURE ? &self.Closure()->m_pRoot : &self.NativeClosure()->m_pRoot;
            if (*pp)
                SqRelease(*pp);
            *pp = w;
            return 0;
        }

        // ------------------------------------------------------------ classes and instances
        int cls_instance(CSqVM* v)
        {
            CSqThread* t = T(v);
            SqValue out;
            t->CreateInstanceOf(Self(t).Class(), out);
            return SqReturn(t, out);
        }

        int cls_getattributes(CSqVM* v)
        {
            CSqThread* t = T(v);
            CSqClass* c = Self(t).Class();
            const SqValue& key = SqArg(t, 2);
            if (key.IsNull())
                return SqReturn(t, c->m_Attributes);
            SqInteger i;
            if (!c->GetMemberIndex(key, &i))
                return v->ThrowError("wrong index");
            return SqReturn(t, c->MemberInfo(i)->m_Attributes);
        }

        int cls_setattributes(CSqVM* v)
        {
            CSqThread* t = T(v);
            CSqClass* c = Self(t).Class();
            const SqValue& key = SqArg(t, 2);
            SqValue old;
            if (key.IsNull()) {
                old = c->m_Attributes;
                c->m_Attributes = SqArg(t, 3);
                return SqReturn(t, old);
            }
            SqInteger i;
            if (!c->GetMemberIndex(key, &i))
                return v->ThrowError("wrong index");
            old = c->MemberInfo(i)->m_Attributes;
            c->MemberInfo(i)->m_Attributes = SqArg(t, 3);
            return SqReturn(t, old);
        }

        int cls_getbase(CSqVM* v)
        {
            CSqThread* t = T(v);
            CSqClass* b = Self(t).Class()->m_pBase;
            return SqReturn(t, b ? SqValue(b) : SqValue());
        }

        int NewMember(CSqVM* v, bool bRaw)
        {
            CSqThread* t = T(v);
            SqValue attrs = Argc(t) >= 4 ? SqArg(t, 4) : SqValue();
            bool bStatic = Argc(t) >= 5 && !SqArg(t, 5).IsFalse();
            if (!t->AddClassMember(Self(t), SqArg(t, 2), Argc(t) >= 3 ? SqArg(t, 3) : SqValue(), attrs, bStatic, bRaw))
                return SQ_ERROR;
            return 0;
        }
        int cls_newmember(CSqVM* v) { return NewMember(v, false); }
        int cls_rawnewmember(CSqVM* v) { return NewMember(v, true); }

        int inst_getclass(CSqVM* v)
        {
            CSqThread* t = T(v);
            return SqReturn(t, SqValue(Self(t).Instance()->m_pClass));
        }

        // ------------------------------------------------------------ generators and threads
        int gen_getstatus(CSqVM* v)
        {
            CSqThread* t = T(v);
            static const char* const s_szStates[] = {"suspended", "running", "dead"};
            return SqReturn(t, t->m_pState->String(s_szStates[Self(t).Generator()->m_eState]));
        }

        int thread_call(CSqVM* v)
        {
            CSqThread* t = T(v);
            SqValue self = Self(t);
            std::vector<SqValue> args;
            for (int k = 2; k <= Argc(t); ++k)
                args.push_back(SqArg(t, k));
            SqValue result;
            if (!self.Thread()->RunThread(t, args.data(), static_cast<int>(args.size()), &result, false, false, true))
                return SQ_ERROR;
            return SqReturn(t, result);
        }

        int WakeUp(CSqVM* v, bool bThrow)
        {
            CSqThread* t = T(v);
            SqValue self = Self(t);
            SqValue arg = Argc(t) >= 2 ? SqArg(t, 2) : SqValue();
            SqValue result;
            if (!self.Thread()->RunThread(t, &arg, Argc(t) >= 2 ? 1 : 0, &result, true, bThrow, true))
                return SQ_ERROR;
            return SqReturn(t, result);
        }
        int thread_wakeup(CSqVM* v) { return WakeUp(v, false); }
        int thread_wakeupthrow(CSqVM* v) { return WakeUp(v, true); }

        int thread_getstatus(CSqVM* v)
        {
            CSqThread* t = T(v);
            static const char* const s_szStates[] = {"idle", "running", "suspended"};
            return SqReturn(t, t->m_pState->String(s_szStates[Self(t).Thread()->m_eState]));
        }

        int thread_getstackinfos(CSqVM* v)
        {
            CSqThread* t = T(v);
            return SqReturn(t, SqStackInfos(t, Self(t).Thread(), IntArg(SqArg(t, 2))));
        }

        int weak_ref(CSqVM* v)
        {
            CSqThread* t = T(v);
            return SqReturn(t, Self(t).WeakRef()->Get());
        }

        const SSqNativeEntry s_NumberDelegate[] = {
            {"tointeger", num_tointeger, 1, "n|b"},
            {"tofloat", num_tofloat, 1, "n|b"},
            {"tostring", obj_tostring, 1, "."},
            {"tochar", num_tochar, 1, "n|b"},
            {"weakref", obj_weakref, 1, nullptr},
            {nullptr, nullptr, 0, nullptr},
        };

        const SSqNativeEntry s_StringDelegate[] = {
            {"len", str_len, 1, "s"},
            {"tointeger", str_tointeger, -1, "sn"},
            {"tofloat", str_tofloat, 1, "s"},
            {"tostring", obj_tostring, 1, "."},
            {"slice", str_slice, -2, "snn"},
            {"find", str_find, -2, "ssn"},
            {"tolower", str_tolower, 1, "s"},
            {"toupper", str_toupper, 1, "s"},
            {"weakref", obj_weakref, 1, nullptr},
            {nullptr, nullptr, 0, nullptr},
        };

        const SSqNativeEntry s_TableDelegate[] = {
            {"len", tab_len, 1, "t"},
            {"rawget", obj_rawget, 2, "t"},
            {"rawset", obj_rawset, 3, "t"},
            {"rawdelete", tab_rawdelete, 2, "t"},
            {"rawin", obj_rawin, 2, "t"},
            {"weakref", obj_weakref, 1, nullptr},
            {"tostring", obj_tostring, 1, "."},
            {"clear", tab_clear, 1, "."},
            {"setdelegate", tab_setdelegate, 2, ".t|o"},
            {"getdelegate", tab_getdelegate, 1, "."},
            {"filter", tab_filter, 2, "tc"},
            {"map", tab_map, 2, "tc"},
            {"keys", tab_keys, 1, "t"},
            {"values", tab_values, 1, "t"},
            {nullptr, nullptr, 0, nullptr},
        };

        const SSqNativeEntry s_ArrayDelegate[] = {
            {"len", arr_len, 1, "a"},
            {"append", arr_push, 2, "a"},
            {"extend", arr_extend, 2, "aa"},
            {"push", arr_push, 2, "a"},
            {"pop", arr_pop, 1, "a"},
            {"top", arr_top, 1, "a"},
            {"insert", arr_insert, 3, "an"},
            {"remove", arr_remove, 2, "an"},
            {"resize", arr_resize, -2, "an"},
            {"reverse", arr_reverse, 1, "a"},
            {"sort", arr_sort, -1, "ac"},
            {"slice", arr_slice, -1, "ann"},
            {"weakref", obj_weakref, 1, nullptr},
            {"tostring", obj_tostring, 1, "."},
            {"clear", arr_clear, 1, "."},
            {"map", arr_map, 2, "ac"},
            {"apply", arr_apply, 2, "ac"},
            {"reduce", arr_reduce, -2, "ac"},
            {"filter", arr_filter, 2, "ac"},
            {"find", arr_find, 2, "a."},
            {nullptr, nullptr, 0, nullptr},
        };

        const SSqNativeEntry s_ClosureDelegate[] = {
            {"call", fn_call, -1, "c"},
            {"pcall", fn_pcall, -1, "c"},
            {"acall", fn_acall, 2, "ca"},
            {"pacall", fn_pacall, 2, "ca"},
            {"weakref", obj_weakref, 1, nullptr},
            {"tostring", obj_tostring, 1, "."},
            {"bindenv", fn_bindenv, 2, "c.", },
            {"getinfos", fn_getinfos, 1, "c"},
            {"getroot", fn_getroot, 1, "c"},
            {"setroot", fn_setroot, 2, "ct"},
            {nullptr, nullptr, 0, nullptr},
        };

        const SSqNativeEntry s_ClassDelegate[] = {
            {"getattributes", cls_getattributes, 2, "y."},
            {"setattributes", cls_setattributes, 3, "y.."},
            {"rawget", obj_rawget, 2, "y"},
            {"rawset", obj_rawset, 3, "y"},
            {"rawin", obj_rawin, 2, "y"},
            {"weakref", obj_weakref, 1, nullptr},
            {"tostring", obj_tostring, 1, "."},
            {"instance", cls_instance, 1, "y"},
            {"getbase", cls_getbase, 1, "y"},
            {"newmember", cls_newmember, -3, "y"},
            {"rawnewmember", cls_rawnewmember, -3, "y"},
            {nullptr, nullptr, 0, nullptr},
        };

        const SSqNativeEntry s_InstanceDelegate[] = {
            {"getclass", inst_getclass, 1, "x"},
            {"rawget", obj_rawget, 2, "x"},
            {"rawset", obj_rawset, 3, "x"},
            {"rawin", obj_rawin, 2, "x"},
            {"weakref", obj_weakref, 1, nullptr},
            {"tostring", obj_tostring, 1, "."},
            {nullptr, nullptr, 0, nullptr},
        };

        const SSqNativeEntry s_GeneratorDelegate[] = {
            {"getstatus", gen_getstatus, 1, "g"},
            {"weakref", obj_weakref, 1, nullptr},
            {"tostring", obj_tostring, 1, "."},
            {nullptr, nullptr, 0, nullptr},
        };

        const SSqNativeEntry s_ThreadDelegate[] = {
            {"call", thread_call, -1, "v"},
            {"wakeup", thread_wakeup, -1, "v"},
            {"wakeupthrow", thread_wakeupthrow, -2, "v"},
            {"getstatus", thread_getstatus, 1, "v"},
            {"weakref", obj_weakref, 1, nullptr},
            {"getstackinfos", thread_getstackinfos, 2, "vn"},
            {"tostring", obj_tostring, 1, "."},
            {nullptr, nullptr, 0, nullptr},
        };

        const SSqNativeEntry s_WeakRefDelegate[] = {
            {"ref", weak_ref, 1, "w"},
            {"weakref", obj_weakref, 1, nullptr},
            {"tostring", obj_tostring, 1, "."},
            {nullptr, nullptr, 0, nullptr},
        };

        SqValue MakeDelegate(CSqThread* t, const SSqNativeEntry* pEntries)
        {
            CSqTable* d = CSqTable::Create(t->m_pState, 0);
            SqValue v(d);
            SqRegisterNatives(t, d, pEntries);
            return v;
        }
    }

    void SqRegisterDelegates(CSqThread* t)
    {
        CSqSharedState* S = t->m_pState;
        S->m_NumberDelegate = MakeDelegate(t, s_NumberDelegate);
        S->m_StringDelegate = MakeDelegate(t, s_StringDelegate);
        S->m_TableDelegate = MakeDelegate(t, s_TableDelegate);
        S->m_ArrayDelegate = MakeDelegate(t, s_ArrayDelegate);
        S->m_ClosureDelegate = MakeDelegate(t, s_ClosureDelegate);
        S->m_ClassDelegate = MakeDelegate(t, s_ClassDelegate);
        S->m_InstanceDelegate = MakeDelegate(t, s_InstanceDelegate);
        S->m_GeneratorDelegate = MakeDelegate(t, s_GeneratorDelegate);
        S->m_ThreadDelegate = MakeDelegate(t, s_ThreadDelegate);
        S->m_WeakRefDelegate = MakeDelegate(t, s_WeakRefDelegate);
    }
}
