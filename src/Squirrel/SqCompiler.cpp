#include "SqCompiler.h"

#include "SqOpcodes.h"
#include "SqState.h"

#include <Engine/Lexer.h>

#include <cstring>
#include <map>
#include <utility>

namespace Torvane3D::Squirrel
{
    namespace
    {
        constexpr int MAX_REGISTERS = 250;
        constexpr int MAX_NESTING = 180;

        enum eExpKind
        {
            EXP_VOID,
            EXP_NULL,
            EXP_BOOL,
            EXP_INT,
            EXP_FLOAT,
            EXP_K,       // constant of the pool (strings)
            EXP_LOCAL,   // a named local: reg
            EXP_TEMP,    // a temporary register: reg
            EXP_DEADREG, // value left in an already freed register: copy it out at once
            EXP_OUTER,   // outer variable: reg is the outer index
            EXP_FIELD,   // reg[key]: key is a constant index (keyK) or a register
            EXP_BASE,    // the `base` keyword
        };

        constexpr uint8_t FIELD_ROOT_FALLBACK = 1;
        constexpr uint8_t FIELD_THIS_CURRENT = 2;

        struct SqExp
        {
            eExpKind k = EXP_VOID;
            int64_t i = 0;
            float f = 0;
            int reg = -1;
            int key = -1;
            bool keyK = false;
            uint8_t flags = 0;
            int relocPc = -1; // the single instruction that produced a TEMP into reg (its `a`)
        };

        struct SqLocal
        {
            SqValue name;
            int reg;
            uint32_t startPc;
            bool captured = false;
        };

        struct SqBlock
        {
            int nLocals;   // active locals when the block began
            bool bLoop = false;
            bool bBreakable = false;
            int iTrapDepth = 0;
            int iCloseReg = 0; // first register declared inside the loop
            std::vector<int> breaks;
            std::vector<int> continues;
        };

        struct SqFuncState
        {
            SqFuncState* pParent = nullptr;
            CSqFuncProto* pProto = nullptr; // owned reference
            std::vector<int> lines;         // per instruction, compressed at the end
            std::vector<SqLocal> locals;
            std::vector<SqBlock> blocks;
            std::map<std::pair<int, uint64_t>, int> constIndex;
            int freeReg = 0;
            int trapDepth = 0;
            int iLastLine = 0;
            int lastTarget = -1; // highest instruction index a jump lands on
        };
    }

    class CSqCompiler
    {
    public:
        CSqCompiler(CSqSharedState* pState, const char* szSource)
            : m_Lexer(CLexer::SquirrelConfig()), m_pState(pState), m_strSource(szSource ? szSource : "")
        {
        }

        CSqFuncProto* Compile(const char* pText, size_t nLength, SSqCompileError* pError);

    private:
        // ---- tokens ----
        void Lex()
        {
            m_iPrevLine = m_Lexer.GetTokenLine();
            m_iToken = m_Lexer.Lex();
        }
        [[noreturn]] void Error(const char* szMessage) { m_Lexer.Error("%s", szMessage); }
        std::string TokenText(int iToken);
        void Expect(int iToken)
        {
            if (m_iToken != iToken) {
                std::string strMessage = "expected '" + TokenText(iToken) + "'";
                Error(strMessage.c_str());
            }
            Lex();
        }
        SqValue ExpectIdentifier()
        {
            // `constructor` is accepted as a name (base.constructor(...)).
            if (m_iToken == TK_CONSTRUCTOR) {
                Lex();
                return m_pState->m_strConstructor;
            }
            if (m_iToken != TK_IDENTIFIER)
                Error("expected 'IDENTIFIER'");
            SqValue name = m_pState->String(m_Lexer.GetString());
            Lex();
            return name;
        }
        bool IsEndOfStatement() const
        {
            return m_Lexer.IsNewLineBefore() || m_iToken == 0 || m_iToken == '}' || m_iToken == ';';
        }
        void OptionalSemicolon()
        {
            if (m_iToken == ';') {
                Lex();
                return;
            }
            if (!IsEndOfStatement())
                Error("end of statement expected (; or lf)");
        }
        struct SqNestGuard
        {
            explicit SqNestGuard(CSqCompiler* p) : pCompiler(p)
            {
                if (++p->m_iNesting > MAX_NESTING)
                    p->Error("nesting too deep");
            }
            ~SqNestGuard() { --pCompiler->m_iNesting; }
            CSqCompiler* pCompiler;
        };

        // ---- code emission ----
        SqFuncState& Fs() { return *m_pFs; }
        int Pc() { return static_cast<int>(m_pFs->pProto->m_Code.size()); }
        int Emit(int op, int a = 0, int b = 0, int c = 0, int32_t d = 0)
        {
            SqInstr i;
            i.op = static_cast<uint8_t>(op);
            i.a = static_cast<uint8_t>(a);
            i.b = static_cast<uint8_t>(b);
            i.c = static_cast<uint8_t>(c);
            i.d = d;
            m_pFs->pProto->m_Code.push_back(i);
            m_pFs->lines.push_back(m_iPrevLine);
            return Pc() - 1;
        }
        SqInstr& Code(int pc) { return m_pFs->pProto->m_Code[static_cast<size_t>(pc)]; }
        int EmitJump(int op, int a = 0) { return Emit(op, a, 0, 0, 0); }
        void PatchJump(int pc, int target)
        {
            if (pc >= 0) {
                Code(pc).d = target - (pc + 1);
                if (target > m_pFs->lastTarget)
                    m_pFs->lastTarget = target;
            }
        }
        // Moves code out of the function (to be appended again elsewhere, as a whole).
        struct SqCodeBlock
        {
            std::vector<SqInstr> code;
            std::vector<int> lines;
        };
        SqCodeBlock Cut(int iFrom)
        {
            SqCodeBlock b;
            b.code.assign(m_pFs->pProto->m_Code.begin() + iFrom, m_pFs->pProto->m_Code.end());
            b.lines.assign(m_pFs->lines.begin() + iFrom, m_pFs->lines.end());
            m_pFs->pProto->m_Code.resize(static_cast<size_t>(iFrom));
            m_pFs->lines.resize(static_cast<size_t>(iFrom));
            return b;
        }
        void Paste(const SqCodeBlock& b)
        {
            m_pFs->pProto->m_Code.insert(m_pFs->pProto->m_Code.end(), b.code.begin(), b.code.end());
            m_pFs->lines.insert(m_pFs->lines.end(), b.lines.begin(), b.lines.end());
        }
        // Pastes a loop condition compiled with CondJump (jump when false, at iJump relative to
        // the block, or -1 when always true) so that it jumps back to iTarget when true.
        void PasteLoopCondition(const SqCodeBlock& b, int iJump, int iTarget)
        {
            int iStart = Pc();
            Paste(b);
            if (iJump < 0) {
                PatchJump(EmitJump(OP_JMP), iTarget);
                return;
            }
            int pc = iStart + iJump;
            SqInstr& j = Code(pc);
            switch (j.op) {
            case OP_JCMP:
            case OP_JCMPK: {
                static const uint8_t s_Inverse[] = {CMP_GE, CMP_GT, CMP_LE, CMP_LT, CMP_NE, CMP_EQ};
                j.a = s_Inverse[j.a];
                break;
            }
            case OP_JZ: j.op = OP_JNZ; break;
            case OP_JNZ: j.op = OP_JZ; break;
            default: // always false: never loops back
                j.d = 0;
                return;
            }
            PatchJump(pc, iTarget);
        }

        // A value nobody reads: `x++` as a statement needs no copy of the old value.
        void DiscardValue(SqExp& e)
        {
            int pc = Pc();
            if (e.k == EXP_TEMP && pc >= 2 && m_pFs->lastTarget < pc - 1) {
                SqInstr& move = Code(pc - 2);
                SqInstr& add = Code(pc - 1);
                if (move.op == OP_MOVE && move.a == e.reg && (add.op == OP_ADDK || add.op == OP_SUBK) && add.a == move.b &&
                    add.b == move.b) {
                    move = add;
                    m_pFs->pProto->m_Code.pop_back();
                    m_pFs->lines[static_cast<size_t>(pc - 2)] = m_pFs->lines[static_cast<size_t>(pc - 1)];
                    m_pFs->lines.pop_back();
                }
            }
            FreeExp(e);
        }
        void PatchHere(int pc) { PatchJump(pc, Pc()); }
        int Constant(const SqValue& v);
        int StringConstant(const SqValue& s) { return Constant(s); }

        // ---- registers ----
        int ActiveLocals() { return static_cast<int>(m_pFs->locals.size()); }
        int Reserve(int n)
        {
            int r = m_pFs->freeReg;
            m_pFs->freeReg += n;
            if (m_pFs->freeReg > MAX_REGISTERS)
                Error("too many locals or temporaries");
            if (m_pFs->freeReg > m_pFs->pProto->m_nStackSize)
                m_pFs->pProto->m_nStackSize = m_pFs->freeReg;
            return r;
        }
        void FreeReg(int r)
        {
            if (r >= ActiveLocals() && r == m_pFs->freeReg - 1)
                --m_pFs->freeReg;
        }
        void FreeExp(SqExp& e)
        {
            if (e.k == EXP_TEMP)
                FreeReg(e.reg);
            else if (e.k == EXP_FIELD) {
                if (!e.keyK)
                    FreeReg(e.key);
                FreeReg(e.reg);
            }
        }
        int DeclareLocal(const SqValue& name)
        {
            int r = Reserve(1);
            SqLocal l;
            l.name = name;
            l.reg = r;
            l.startPc = static_cast<uint32_t>(Pc());
            m_pFs->locals.push_back(l);
            return r;
        }
        // Declares a local for a value already in register r == freeReg - 1.
        void ActivateLocal(const SqValue& name, int r)
        {
            SqLocal l;
            l.name = name;
            l.reg = r;
            l.startPc = static_cast<uint32_t>(Pc());
            m_pFs->locals.push_back(l);
        }
        int FindLocal(SqFuncState& fs, const SqValue& name)
        {
            for (int i = static_cast<int>(fs.locals.size()) - 1; i >= 0; --i)
                if (fs.locals[static_cast<size_t>(i)].name.m_pObj == name.m_pObj)
                    return i;
            return -1;
        }
        int ResolveOuter(SqFuncState& fs, const SqValue& name);

        // ---- expressions to registers ----
        void Discharge(SqExp& e, int r);
        void ExpToReg(SqExp& e, int r)
        {
            if (e.k == EXP_TEMP && e.reg != r && e.relocPc >= 0 && e.relocPc == Pc() - 1 && r < e.reg) {
                Code(e.relocPc).a = static_cast<uint8_t>(r);
                FreeExp(e);
                e.k = EXP_TEMP;
                e.reg = r;
                return;
            }
            Discharge(e, r);
            FreeExp(e);
            e.k = EXP_TEMP;
            e.reg = r;
            e.relocPc = -1;
        }
        int ToNextReg(SqExp& e)
        {
            FreeExp(e);
            int r = Reserve(1);
            Discharge(e, r);
            e.k = EXP_TEMP;
            e.reg = r;
            return r;
        }
        int ToAnyReg(SqExp& e)
        {
            if (e.k == EXP_LOCAL || e.k == EXP_TEMP)
                return e.reg;
            return ToNextReg(e);
        }
        bool IsConstant(const SqExp& e) const { return e.k >= EXP_NULL && e.k <= EXP_K; }
        int ConstantOf(const SqExp& e);
        int CondJump(SqExp& e); // jumps when false; -1 when it never jumps

        // ---- grammar ----
        void Statements();
        void Statement();
        void BlockStatement();
        void BeginBlock(bool bLoop = false, bool bBreakable = false);
        void EndBlock(bool bEmitClose = true);
        void CloseBlockLocals(SqBlock& b);
        void IfStatement();
        void WhileStatement();
        void DoWhileStatement();
        void ForStatement();
        void ForEachStatement();
        void SwitchStatement();
        void LocalStatement();
        void LocalDeclaration();
        void FunctionStatement();
        void ClassStatement();
        void EnumStatement();
        void ConstStatement();
        void TryStatement();
        void ReturnStatement(bool bYield);
        void BreakContinue(bool bBreak);
        void LoopBody(int iCloseReg);

        SqExp CommaExpr(); // with the comma operator (statements, return, for, parentheses)
        SqExp Expression();
        SqExp Assignment(SqExp lhs, int iOp);
        SqExp LogicalOr();
        SqExp LogicalAnd();
        SqExp BitOr();
        SqExp BitXor();
        SqExp BitAnd();
        SqExp EqExp();
        SqExp CompExp();
        SqExp ShiftExp();
        SqExp PlusExp();
        SqExp MultExp();
        SqExp Unary();
        SqExp Postfix(SqExp e);
        SqExp Factor();
        SqExp BinaryOp(int op, SqExp& e1, SqExp& e2);
        SqExp Identifier(const SqValue& name);
        SqExp ConstantExp(const SqValue& v);
        SqExp CallExp(SqExp& fn);
        SqExp IncDec(SqExp& e, bool bIncrement, bool bPostfix);
        SqExp TableLiteral();
        SqExp ArrayLiteral();
        SqExp ClassExp();
        void ClassBody(int iClassReg);
        int AttributeTable();
        SqExp FunctionExp(const SqValue& name, bool bLambda);
        int FunctionBody(const SqValue& name, bool bLambda, int* pDefaultsReg);
        SqValue ScalarConstant();

        CLexer m_Lexer;
        CSqSharedState* m_pState;
        std::string m_strSource;
        SqValue m_Source;
        SqFuncState* m_pFs = nullptr;
        int m_iToken = 0;
        int m_iPrevLine = 1;
        int m_iNesting = 0;
        std::vector<SqFuncState*> m_AllStates; // freed on error
    };

    // ------------------------------------------------------------------ helpers
    std::string CSqCompiler::TokenText(int iToken)
    {
        if (iToken == TK_IDENTIFIER)
            return "IDENTIFIER";
        if (iToken == TK_STRING_LITERAL)
            return "STRING_LITERAL";
        if (iToken == TK_INTEGER)
            return "INTEGER";
        if (iToken == TK_FLOAT)
            return "FLOAT";
        if (iToken > 0 && iToken < 256)
            return std::string(1, static_cast<char>(iToken));
        const SLexerConfig& config = CLexer::SquirrelConfig();
        for (size_t i = 0; i < config.nKeywords; ++i)
            if (config.pKeywords[i].iToken == iToken)
                return config.pKeywords[i].szName;
        char buffer[2];
        return CLexer::GetTokenName(iToken, buffer);
    }

    int CSqCompiler::Constant(const SqValue& v)
    {
        auto key = std::make_pair(static_cast<int>(v.Type()), v.m_uRaw);
        auto it = m_pFs->constIndex.find(key);
        if (it != m_pFs->constIndex.end())
            return it->second;
        int i = static_cast<int>(m_pFs->pProto->m_Constants.size());
        m_pFs->pProto->m_Constants.push_back(v);
        m_pFs->constIndex[key] = i;
        return i;
    }

    int CSqCompiler::ConstantOf(const SqExp& e)
    {
        switch (e.k) {
        case EXP_NULL:
            return Constant(SqValue());
        case EXP_BOOL:
            return Constant(SqValue::Bool(e.i != 0));
        case EXP_INT:
            return Constant(SqValue::Integer(e.i));
        case EXP_FLOAT:
            return Constant(SqValue::Float(e.f));
        case EXP_K:
            return static_cast<int>(e.i);
        default:
            return -1;
        }
    }

    int CSqCompiler::ResolveOuter(SqFuncState& fs, const SqValue& name)
    {
        if (!fs.pParent)
            return -1;
        std::vector<SqOuterInfo>& outers = fs.pProto->m_Outers;
        for (size_t i = 0; i < outers.size(); ++i)
            if (outers[i].m_Name.m_pObj == name.m_pObj)
                return static_cast<int>(i);
        int iLocal = FindLocal(*fs.pParent, name);
        SqOuterInfo info;
        info.m_Name = name;
        if (iLocal >= 0) {
            SqLocal& l = fs.pParent->locals[static_cast<size_t>(iLocal)];
            l.captured = true;
            info.m_bFromLocal = true;
            info.m_uIndex = static_cast<uint32_t>(l.reg);
        } else {
            int iOuter = ResolveOuter(*fs.pParent, name);
            if (iOuter < 0)
                return -1;
            info.m_bFromLocal = false;
            info.m_uIndex = static_cast<uint32_t>(iOuter);
        }
        outers.push_back(info);
        return static_cast<int>(outers.size() - 1);
    }

    void CSqCompiler::Discharge(SqExp& e, int r)
    {
        switch (e.k) {
        case EXP_VOID:
        case EXP_NULL:
            Emit(OP_LOADNULL, r, 1);
            break;
        case EXP_BOOL:
            Emit(OP_LOADBOOL, r, e.i ? 1 : 0);
            break;
        case EXP_INT:
            if (e.i >= INT32_MIN && e.i <= INT32_MAX)
                Emit(OP_LOADINT, r, 0, 0, static_cast<int32_t>(e.i));
            else
                Emit(OP_LOADK, r, 0, 0, Constant(SqValue::Integer(e.i)));
            break;
        case EXP_FLOAT: {
            int32_t bits;
            memcpy(&bits, &e.f, 4);
            Emit(OP_LOADFLOAT, r, 0, 0, bits);
            break;
        }
        case EXP_K:
            Emit(OP_LOADK, r, 0, 0, static_cast<int32_t>(e.i));
            break;
        case EXP_LOCAL:
        case EXP_TEMP:
        case EXP_DEADREG:
            if (e.reg != r)
                Emit(OP_MOVE, r, e.reg);
            break;
        case EXP_OUTER:
            Emit(OP_GETOUTER, r, 0, 0, e.reg);
            break;
        case EXP_FIELD:
            if (e.keyK)
                Emit(OP_GETK, r, e.reg, e.flags & FIELD_ROOT_FALLBACK, e.key);
            else
                Emit(OP_GET, r, e.reg, e.key);
            break;
        case EXP_BASE:
            Emit(OP_GETBASE, r);
            break;
        }
    }

    int CSqCompiler::CondJump(SqExp& e)
    {
        if (IsConstant(e)) {
            bool bTrue = !(e.k == EXP_NULL || (e.k == EXP_BOOL && !e.i) || (e.k == EXP_INT && !e.i) || (e.k == EXP_FLOAT && e.f == 0));
            return bTrue ? -1 : EmitJump(OP_JMP);
        }
        if (e.k == EXP_TEMP && e.relocPc >= 0 && e.relocPc == Pc() - 1) {
            SqInstr& i = Code(e.relocPc);
            int iCmp = -1;
            switch (i.op) {
            case OP_LT: iCmp = CMP_LT; break;
            case OP_LE: iCmp = CMP_LE; break;
            case OP_GT: iCmp = CMP_GT; break;
            case OP_GE: iCmp = CMP_GE; break;
            case OP_EQ: iCmp = CMP_EQ; break;
            case OP_NE: iCmp = CMP_NE; break;
            case OP_CMPK:
                i.op = OP_JCMPK;
                i.a = static_cast<uint8_t>(i.d);
                i.d = 0;
                FreeExp(e);
                return e.relocPc;
            case OP_NOT: {
                int b = i.b;
                m_pFs->pProto->m_Code.pop_back();
                m_pFs->lines.pop_back();
                FreeExp(e);
                return EmitJump(OP_JNZ, b);
            }
            default: break;
            }
            if (iCmp >= 0) {
                i.op = OP_JCMP;
                i.a = static_cast<uint8_t>(iCmp);
                i.d = 0;
                FreeExp(e);
                return e.relocPc;
            }
        }
        int r = ToAnyReg(e);
        FreeExp(e);
        return EmitJump(OP_JZ, r);
    }

    // ------------------------------------------------------------------ entry
    CSqFuncProto* CSqCompiler::Compile(const char* pText, size_t nLength, SSqCompileError* pError)
    {
        m_Source = m_pState->String(m_strSource);
        m_Lexer.SetSource(pText, nLength);
        SqFuncState* pMain = new SqFuncState();
        m_AllStates.push_back(pMain);
        pMain->pProto = new CSqFuncProto();
        SqAddRef(pMain->pProto);
        m_pFs = pMain;
        CSqFuncProto* pResult = nullptr;
        try {
            pMain->pProto->m_Source = m_Source;
            pMain->pProto->m_Name = m_pState->String("main");
            pMain->pProto->m_bVarArgs = true;
            pMain->pProto->m_nParams = 1;
            pMain->pProto->m_ParamNames.push_back(m_pState->m_strThis);
            DeclareLocal(m_pState->m_strThis);
            DeclareLocal(m_pState->m_strVargv);
            Lex();
            Statements();
            if (m_iToken != 0)
                Error("expression expected");
            Emit(OP_RETURN, 0, 0);
            // Line table: one entry per change of line.
            CSqFuncProto* p = pMain->pProto;
            for (size_t i = 0; i < pMain->lines.size(); ++i)
                if (p->m_Lines.empty() || p->m_Lines.back().m_iLine != pMain->lines[i])
                    p->m_Lines.push_back({static_cast<uint32_t>(i), pMain->lines[i]});
            for (SqLocal& l : pMain->locals)
                p->m_Locals.push_back({l.name, l.startPc, static_cast<uint32_t>(Pc()), static_cast<uint32_t>(l.reg)});
            pResult = p;
            pMain->pProto = nullptr;
        } catch (const char* szMessage) {
            if (pError) {
                pError->strMessage = szMessage;
                pError->iLine = m_Lexer.GetLine();
                pError->iColumn = m_Lexer.GetColumn();
            }
        }
        for (SqFuncState* fs : m_AllStates) {
            if (fs->pProto)
                SqRelease(fs->pProto);
            delete fs;
        }
        m_AllStates.clear();
        return pResult;
    }

    // ------------------------------------------------------------------ statements
    void CSqCompiler::Statements()
    {
        while (m_iToken != 0 && m_iToken != '}' && m_iToken != TK_CASE && m_iToken != TK_DEFAULT) {
            Statement();
            if (m_pFs->freeReg != ActiveLocals())
                m_pFs->freeReg = ActiveLocals();
        }
    }

    void CSqCompiler::Statement()
    {
        SqNestGuard guard(this);
        switch (m_iToken) {
        case ';':
            Lex();
            break;
        case TK_IF: IfStatement(); break;
        case TK_WHILE: WhileStatement(); break;
        case TK_DO: DoWhileStatement(); break;
        case TK_FOR: ForStatement(); break;
        case TK_FOREACH: ForEachStatement(); break;
        case TK_SWITCH: SwitchStatement(); break;
        case TK_LOCAL: LocalStatement(); break;
        case TK_RETURN:
        case TK_YIELD:
            ReturnStatement(m_iToken == TK_YIELD);
            break;
        case TK_BREAK:
        case TK_CONTINUE:
            BreakContinue(m_iToken == TK_BREAK);
            break;
        case TK_FUNCTION: FunctionStatement(); break;
        case TK_CLASS: ClassStatement(); break;
        case TK_ENUM: EnumStatement(); break;
        case TK_CONST: ConstStatement(); break;
        case TK_TRY: TryStatement(); break;
        case TK_THROW: {
            Lex();
            SqExp e = Expression();
            int r = ToAnyReg(e);
            Emit(OP_THROW, r);
            FreeExp(e);
            OptionalSemicolon();
            break;
        }
        case '{':
            BlockStatement();
            break;
        default: {
            SqExp e = CommaExpr();
            if (e.k == EXP_FIELD)
                ToNextReg(e); // a lone field read still fails for a missing index
            DiscardValue(e);
            OptionalSemicolon();
            break;
        }
        }
    }

    void CSqCompiler::BeginBlock(bool bLoop, bool bBreakable)
    {
        SqBlock b;
        b.nLocals = ActiveLocals();
        b.bLoop = bLoop;
        b.bBreakable = bBreakable || bLoop;
        b.iTrapDepth = m_pFs->trapDepth;
        b.iCloseReg = ActiveLocals();
        m_pFs->blocks.push_back(std::move(b));
    }

    void CSqCompiler::CloseBlockLocals(SqBlock& b)
    {
        std::vector<SqLocal>& locals = m_pFs->locals;
        while (static_cast<int>(locals.size()) > b.nLocals) {
            SqLocal& l = locals.back();
            m_pFs->pProto->m_Locals.push_back({l.name, l.startPc, static_cast<uint32_t>(Pc()), static_cast<uint32_t>(l.reg)});
            locals.pop_back();
        }
        m_pFs->freeReg = b.nLocals;
    }

    void CSqCompiler::EndBlock(bool bEmitClose)
    {
        SqBlock& b = m_pFs->blocks.back();
        bool bCaptured = false;
        for (size_t i = static_cast<size_t>(b.nLocals); i < m_pFs->locals.size(); ++i)
            bCaptured = bCaptured || m_pFs->locals[i].captured;
        if (bCaptured && bEmitClose)
            Emit(OP_CLOSE, b.nLocals);
        CloseBlockLocals(b);
        m_pFs->blocks.pop_back();
    }

    void CSqCompiler::BlockStatement()
    {
        Lex(); // {
        BeginBlock();
        Statements();
        Expect('}');
        EndBlock();
    }

    void CSqCompiler::IfStatement()
    {
        Lex();
        Expect('(');
        SqExp cond = Expression();
        Expect(')');
        int jFalse = CondJump(cond);
        BeginBlock();
        Statement();
        EndBlock();
        if (m_iToken == TK_ELSE) {
            int jEnd = EmitJump(OP_JMP);
            PatchHere(jFalse);
            Lex();
            BeginBlock();
            Statement();
            EndBlock();
            PatchHere(jEnd);
        } else {
            PatchHere(jFalse);
        }
    }

    // The loop body with its own scope; break and continue jumps are left in the block for
    // the caller to patch through LoopBody's block (see the loop statements).
    void CSqCompiler::LoopBody(int iCloseReg)
    {
        m_pFs->blocks.back().iCloseReg = iCloseReg;
        BeginBlock();
        Statement();
        EndBlock();
    }

    // Loops test their condition at the bottom: JMP cond; body: ...; cond: jump to body if true.
    void CSqCompiler::WhileStatement()
    {
        Lex();
        Expect('(');
        int iCondStart = Pc();
        SqExp cond = Expression();
        Expect(')');
        int jExit = CondJump(cond);
        SqCodeBlock condition = Cut(iCondStart);
        int jToCond = EmitJump(OP_JMP);
        int iBody = Pc();
        BeginBlock(true);
        LoopBody(ActiveLocals());
        for (int j : m_pFs->blocks.back().continues)
            PatchHere(j);
        PatchHere(jToCond);
        PasteLoopCondition(condition, jExit >= 0 ? jExit - iCondStart : -1, iBody);
        for (int j : m_pFs->blocks.back().breaks)
            PatchHere(j);
        EndBlock();
    }

    void CSqCompiler::DoWhileStatement()
    {
        Lex();
        int iStart = Pc();
        BeginBlock(true);
        LoopBody(ActiveLocals());
        for (int j : m_pFs->blocks.back().continues)
            PatchHere(j);
        if (m_iToken != TK_WHILE)
            Expect(TK_WHILE);
        Lex();
        Expect('(');
        SqExp cond = Expression();
        Expect(')');
        int jExit = CondJump(cond);
        PatchJump(EmitJump(OP_JMP), iStart);
        PatchHere(jExit);
        for (int j : m_pFs->blocks.back().breaks)
            PatchHere(j);
        EndBlock();
    }

    void CSqCompiler::ForStatement()
    {
        Lex();
        BeginBlock(); // scope of the initialisation
        Expect('(');
        if (m_iToken == TK_LOCAL)
            LocalDeclaration();
        else if (m_iToken != ';') {
            SqExp e = CommaExpr();
            FreeExp(e);
        }
        Expect(';');
        m_pFs->freeReg = ActiveLocals();
        int iCondStart = Pc();
        int jExit = -1;
        if (m_iToken != ';') {
            SqExp cond = CommaExpr();
            jExit = CondJump(cond);
        }
        Expect(';');
        SqCodeBlock condition = Cut(iCondStart);
        // The increment is compiled here and moved after the body.
        int iIncrStart = Pc();
        if (m_iToken != ')') {
            SqExp e = CommaExpr();
            DiscardValue(e);
        }
        Expect(')');
        SqCodeBlock increment = Cut(iIncrStart);
        // `i < n; i++` shapes: the test is copied to the entry and the bottom is one FORLOOP.
        bool bFuse = false;
        if (condition.code.size() == 1 && increment.code.size() == 1 && jExit == iCondStart) {
            const SqInstr& c = condition.code[0];
            const SqInstr& inc = increment.code[0];
            bFuse = (c.op == OP_JCMP || c.op == OP_JCMPK) && c.a <= CMP_GE && (inc.op == OP_ADDK || inc.op == OP_SUBK) &&
                    inc.a == inc.b && inc.a == c.b && inc.d < 65536 &&
                    m_pFs->pProto->m_Constants[static_cast<size_t>(inc.d)].Type() == SQ_INTEGER;
        }
        int jToCond = -1, jTopExit = -1;
        if (bFuse) {
            jTopExit = Pc();
            Paste(condition);
        } else {
            jToCond = EmitJump(OP_JMP);
        }
        int iBody = Pc();
        BeginBlock(true);
        LoopBody(ActiveLocals());
        for (int j : m_pFs->blocks.back().continues)
            PatchHere(j);
        int iOffset = iBody - (Pc() + 1);
        if (bFuse && iOffset >= INT16_MIN) {
            const SqInstr& c = condition.code[0];
            const SqInstr& inc = increment.code[0];
            // The test jumped out when false; FORLOOP jumps back when true.
            int b = c.a | (c.op == OP_JCMPK ? 8 : 0) | (inc.op == OP_SUBK ? 16 : 0);
            int32_t d = static_cast<int32_t>((static_cast<uint32_t>(inc.d) << 16) | (static_cast<uint32_t>(iOffset) & 0xFFFF));
            m_iPrevLine = increment.lines[0];
            Emit(OP_FORLOOP, inc.a, b, c.c, d);
        } else {
            Paste(increment);
            PatchHere(jToCond);
            PasteLoopCondition(condition, jExit >= 0 ? jExit - iCondStart : -1, iBody);
        }
        PatchHere(jTopExit);
        for (int j : m_pFs->blocks.back().breaks)
            PatchHere(j);
        EndBlock();
        EndBlock();
    }

    void CSqCompiler::ForEachStatement()
    {
        Lex();
        Expect('(');
        SqValue keyName, valueName = ExpectIdentifier();
        if (m_iToken == ',') {
            Lex();
            keyName = valueName;
            valueName = ExpectIdentifier();
        }
        Expect(TK_IN);
        BeginBlock();
        SqExp container = Expression();
        Expect(')');
        int iContainer = ToNextReg(container);
        ActivateLocal(m_pState->String("@container"), iContainer);
        int iKey = DeclareLocal(keyName.IsNull() ? m_pState->String("@key") : keyName);
        DeclareLocal(valueName);
        DeclareLocal(m_pState->String("@iterator"));
        Emit(OP_LOADNULL, iKey, 3);
        int iLoop = Pc();
        int jExit = Emit(OP_FOREACH, iContainer);
        BeginBlock(true);
        LoopBody(iKey);
        for (int j : m_pFs->blocks.back().continues)
            PatchHere(j);
        // Key and value are a new binding on every pass.
        bool bCaptured = m_pFs->locals[static_cast<size_t>(iKey)].captured || m_pFs->locals[static_cast<size_t>(iKey + 1)].captured;
        if (bCaptured)
            Emit(OP_CLOSE, iKey);
        PatchJump(EmitJump(OP_JMP), iLoop);
        PatchHere(jExit);
        for (int j : m_pFs->blocks.back().breaks)
            PatchHere(j);
        EndBlock();
        EndBlock();
    }

    void CSqCompiler::SwitchStatement()
    {
        Lex();
        Expect('(');
        BeginBlock(false, true);
        SqExp value = Expression();
        Expect(')');
        Expect('{');
        int iValue = ToNextReg(value);
        ActivateLocal(m_pState->String("@switch"), iValue);
        int jNextTest = -1;   // failed test jumps to the next test
        int jFallThrough = -1; // end of a body jumps into the next body
        while (m_iToken == TK_CASE) {
            Lex();
            PatchHere(jNextTest);
            SqExp v = Expression();
            Expect(':');
            int r = ToAnyReg(v);
            FreeExp(v);
            jNextTest = Emit(OP_JCMP, CMP_EQ, iValue, r);
            PatchHere(jFallThrough);
            BeginBlock();
            Statements();
            EndBlock();
            jFallThrough = EmitJump(OP_JMP);
        }
        PatchHere(jNextTest);
        PatchHere(jFallThrough);
        if (m_iToken == TK_DEFAULT) {
            Lex();
            Expect(':');
            BeginBlock();
            Statements();
            EndBlock();
        }
        Expect('}');
        for (int j : m_pFs->blocks.back().breaks)
            PatchHere(j);
        EndBlock();
    }

    void CSqCompiler::LocalStatement()
    {
        LocalDeclaration();
        OptionalSemicolon();
    }

    void CSqCompiler::LocalDeclaration()
    {
        Lex();
        if (m_iToken == TK_FUNCTION) {
            Lex();
            SqValue name = ExpectIdentifier();
            // The local is declared after its body: it is not visible inside it.
            SqExp f = FunctionExp(name, false);
            int r = ToNextReg(f);
            ActivateLocal(name, r);
            return;
        }
        for (;;) {
            SqValue name = ExpectIdentifier();
            int r;
            if (m_iToken == '=') {
                Lex();
                SqExp e = Expression();
                FreeExp(e);
                r = Reserve(1);
                if (e.k == EXP_TEMP && e.reg == r)
                    e.relocPc = -1;
                Discharge(e, r);
            } else {
                r = Reserve(1);
                Emit(OP_LOADNULL, r, 1);
            }
            ActivateLocal(name, r);
            if (m_iToken != ',')
                break;
            Lex();
        }
    }

    void CSqCompiler::FunctionStatement()
    {
        Lex();
        SqValue name = ExpectIdentifier();
        SqExp target;
        target.k = EXP_FIELD;
        target.reg = 0;
        target.keyK = true;
        target.key = StringConstant(name);
        if (m_iToken == TK_DOUBLE_COLON) {
            // function a::b::c() defines c in a.b
            SqExp obj = Identifier(name);
            while (m_iToken == TK_DOUBLE_COLON) {
                Lex();
                SqValue member = ExpectIdentifier();
                int r = ToAnyReg(obj);
                obj = SqExp();
                obj.k = EXP_FIELD;
                obj.reg = r;
                obj.keyK = true;
                obj.key = StringConstant(member);
                name = member;
            }
            target = obj;
        }
        SqExp f = FunctionExp(name, false);
        int r = ToAnyReg(f);
        Emit(OP_NEWSLOTK, target.reg, 0, r, target.key);
        FreeExp(f);
        FreeExp(target);
    }

    void CSqCompiler::ClassStatement()
    {
        Lex();
        SqExp target;
        if (m_iToken == TK_DOUBLE_COLON) {
            Lex();
            int r = Reserve(1);
            Emit(OP_LOADROOT, r);
            target.k = EXP_FIELD;
            target.reg = r;
            target.keyK = true;
            target.key = StringConstant(ExpectIdentifier());
        } else if (m_iToken == TK_IDENTIFIER) {
            SqValue name = ExpectIdentifier();
            if (FindLocal(*m_pFs, name) >= 0 || ResolveOuter(*m_pFs, name) >= 0)
                Error("cannot create a class in a local with the syntax(class <local>)");
            target.k = EXP_FIELD;
            target.reg = 0;
            target.keyK = true;
            target.key = StringConstant(name);
        } else {
            Error("invalid class name");
        }
        while (m_iToken == '.') {
            Lex();
            SqValue member = ExpectIdentifier();
            int r = ToNextReg(target);
            target = SqExp();
            target.k = EXP_FIELD;
            target.reg = r;
            target.keyK = true;
            target.key = StringConstant(member);
        }
        SqExp cls = ClassExp();
        int r = ToAnyReg(cls);
        Emit(OP_NEWSLOTK, target.reg, 0, r, target.key);
        FreeExp(cls);
        FreeExp(target);
    }

    SqValue CSqCompiler::ScalarConstant()
    {
        SqValue v;
        switch (m_iToken) {
        case TK_INTEGER:
            v = SqValue::Integer(m_Lexer.GetInteger());
            break;
        case TK_FLOAT:
            v = SqValue::Float(SqToFloat(m_Lexer.GetFloat()));
            break;
        case TK_STRING_LITERAL:
            v = m_pState->String(m_Lexer.GetString());
            break;
        case '-':
            Lex();
            if (m_iToken == TK_INTEGER)
                v = SqValue::Integer(static_cast<SqInteger>(0 - static_cast<uint64_t>(m_Lexer.GetInteger())));
            else if (m_iToken == TK_FLOAT)
                v = SqValue::Float(-SqToFloat(m_Lexer.GetFloat()));
            else
                Error("scalar expected : integer, float, or string");
            break;
        default:
            Error("scalar expected : integer, float, or string");
        }
        Lex();
        return v;
    }

    void CSqCompiler::EnumStatement()
    {
        Lex();
        SqValue name = ExpectIdentifier();
        Expect('{');
        CSqTable* pEnum = CSqTable::Create(m_pState, 0);
        SqValue table(pEnum);
        SqInteger iNext = 0;
        while (m_iToken != '}') {
            SqValue key = ExpectIdentifier();
            SqValue value;
            if (m_iToken == '=') {
                Lex();
                value = ScalarConstant();
            } else {
                // The counter only advances on members without a value.
                value = SqValue::Integer(iNext++);
            }
            pEnum->NewSlot(key, value);
            if (m_iToken == ',')
                Lex();
        }
        Lex();
        m_pState->m_ConstTable.Table()->NewSlot(name, table);
    }

    void CSqCompiler::ConstStatement()
    {
        Lex();
        SqValue name = ExpectIdentifier();
        Expect('=');
        SqValue value = ScalarConstant();
        m_pState->m_ConstTable.Table()->NewSlot(name, value);
        OptionalSemicolon();
    }

    void CSqCompiler::TryStatement()
    {
        Lex();
        int iTrapReg = m_pFs->freeReg;
        int jTrap = Emit(OP_PUSHTRAP, iTrapReg);
        ++m_pFs->trapDepth;
        BeginBlock();
        Statement();
        EndBlock();
        --m_pFs->trapDepth;
        Emit(OP_POPTRAP, 1);
        int jEnd = EmitJump(OP_JMP);
        PatchHere(jTrap);
        if (m_iToken != TK_CATCH)
            Error("expected 'catch'");
        Lex();
        Expect('(');
        SqValue name = ExpectIdentifier();
        Expect(')');
        BeginBlock();
        DeclareLocal(name);
        Statement();
        EndBlock();
        PatchHere(jEnd);
    }

    void CSqCompiler::ReturnStatement(bool bYield)
    {
        Lex();
        if (bYield)
            m_pFs->pProto->m_bGenerator = true;
        if (IsEndOfStatement()) {
            Emit(bYield ? OP_YIELD : OP_RETURN, 0, 0);
        } else {
            SqExp e = CommaExpr();
            int r = ToAnyReg(e);
            Emit(bYield ? OP_YIELD : OP_RETURN, r, 1);
            FreeExp(e);
        }
        OptionalSemicolon();
    }

    void CSqCompiler::BreakContinue(bool bBreak)
    {
        Lex();
        std::vector<SqBlock>& blocks = m_pFs->blocks;
        int i = static_cast<int>(blocks.size()) - 1;
        while (i >= 0 && !(bBreak ? blocks[static_cast<size_t>(i)].bBreakable : blocks[static_cast<size_t>(i)].bLoop))
            --i;
        if (i < 0)
            Error(bBreak ? "'break' has to be in a loop block" : "'continue' has to be in a loop block");
        SqBlock& b = blocks[static_cast<size_t>(i)];
        int nTraps = m_pFs->trapDepth - b.iTrapDepth;
        if (nTraps > 0)
            Emit(OP_POPTRAP, nTraps);
        int j = EmitJump(OP_JMP, b.bLoop ? b.iCloseReg + 1 : b.nLocals + 1);
        (bBreak ? b.breaks : b.continues).push_back(j);
        OptionalSemicolon();
    }

    // ------------------------------------------------------------------ expressions
    SqExp CSqCompiler::CommaExpr()
    {
        SqExp e = Expression();
        while (m_iToken == ',') {
            Lex();
            if (e.k == EXP_FIELD)
                ToNextReg(e); // evaluated for its effects (a metamethod may run)
            FreeExp(e);
            e = Expression();
        }
        return e;
    }

    SqExp CSqCompiler::Expression()
    {
        SqNestGuard guard(this);
        SqExp e = LogicalOr();
        switch (m_iToken) {
        case '=':
        case TK_NEWSLOT:
        case TK_PLUSEQ:
        case TK_MINUSEQ:
        case TK_MULEQ:
        case TK_DIVEQ:
        case TK_MODEQ: {
            int iOp = m_iToken;
            Lex();
            return Assignment(e, iOp);
        }
        case '?': {
            Lex();
            int jFalse = CondJump(e);
            int r = Reserve(1);
            SqExp a = Expression();
            ExpToReg(a, r);
            int jEnd = EmitJump(OP_JMP);
            Expect(':');
            PatchHere(jFalse);
            SqExp b = Expression();
            ExpToReg(b, r);
            PatchHere(jEnd);
            SqExp result;
            result.k = EXP_TEMP;
            result.reg = r;
            return result;
        }
        default:
            return e;
        }
    }

    SqExp CSqCompiler::Assignment(SqExp lhs, int iOp)
    {
        bool bAssignable = lhs.k == EXP_LOCAL || lhs.k == EXP_OUTER || lhs.k == EXP_FIELD;
        if (!bAssignable || (iOp == TK_NEWSLOT && lhs.k != EXP_FIELD))
            Error("can't assign expression");
        int iArith = -1;
        switch (iOp) {
        case TK_PLUSEQ: iArith = OP_ADD; break;
        case TK_MINUSEQ: iArith = OP_SUB; break;
        case TK_MULEQ: iArith = OP_MUL; break;
        case TK_DIVEQ: iArith = OP_DIV; break;
        case TK_MODEQ: iArith = OP_MOD; break;
        default: break;
        }
        SqExp rhs = Expression();
        if (lhs.k == EXP_LOCAL) {
            if (iArith >= 0) {
                SqExp cur = lhs;
                SqExp v = BinaryOp(iArith, cur, rhs);
                ExpToReg(v, lhs.reg);
            } else {
                ExpToReg(rhs, lhs.reg);
            }
            return lhs;
        }
        if (lhs.k == EXP_OUTER) {
            SqExp v;
            if (iArith >= 0) {
                SqExp cur = lhs;
                v = BinaryOp(iArith, cur, rhs);
            } else {
                v = rhs;
            }
            int r = ToAnyReg(v);
            Emit(OP_SETOUTER, r, 0, 0, lhs.reg);
            return v;
        }
        // Field: obj[key] (= <- op=) value
        SqExp value;
        if (iArith >= 0) {
            // Evaluate rhs first into a register, then read-modify-write.
            int rRhs = ToAnyReg(rhs);
            int rCur = Reserve(1);
            if (lhs.keyK)
                Emit(OP_GETK, rCur, lhs.reg, lhs.flags & FIELD_ROOT_FALLBACK, lhs.key);
            else
                Emit(OP_GET, rCur, lhs.reg, lhs.key);
            Emit(iArith, rCur, rCur, rRhs);
            if (lhs.keyK)
                Emit(OP_SETK, lhs.reg, lhs.flags & FIELD_ROOT_FALLBACK, rCur, lhs.key);
            else
                Emit(OP_SET, lhs.reg, lhs.key, rCur);
            FreeReg(rCur);
            FreeExp(rhs);
            FreeExp(lhs);
            value.k = EXP_DEADREG;
            value.reg = rCur;
            return value;
        }
        int r = ToAnyReg(rhs);
        if (iOp == TK_NEWSLOT) {
            if (lhs.keyK)
                Emit(OP_NEWSLOTK, lhs.reg, 0, r, lhs.key);
            else
                Emit(OP_NEWSLOT, lhs.reg, lhs.key, r);
        } else {
            if (lhs.keyK)
                Emit(OP_SETK, lhs.reg, lhs.flags & FIELD_ROOT_FALLBACK, r, lhs.key);
            else
                Emit(OP_SET, lhs.reg, lhs.key, r);
        }
        if (rhs.k == EXP_LOCAL)
            value = rhs;
        else {
            value.k = EXP_DEADREG;
            value.reg = r;
        }
        FreeExp(rhs);
        FreeExp(lhs);
        return value;
    }

    SqExp CSqCompiler::LogicalOr()
    {
        SqExp e = LogicalAnd();
        while (m_iToken == TK_OR) {
            Lex();
            FreeExp(e);
            int r = Reserve(1);
            Discharge(e, r);
            int j = EmitJump(OP_JNZ, r);
            SqExp e2 = LogicalAnd();
            ExpToReg(e2, r);
            PatchHere(j);
            e = SqExp();
            e.k = EXP_TEMP;
            e.reg = r;
        }
        return e;
    }

    SqExp CSqCompiler::LogicalAnd()
    {
        SqExp e = BitOr();
        while (m_iToken == TK_AND) {
            Lex();
            FreeExp(e);
            int r = Reserve(1);
            Discharge(e, r);
            int j = EmitJump(OP_JZ, r);
            SqExp e2 = BitOr();
            ExpToReg(e2, r);
            PatchHere(j);
            e = SqExp();
            e.k = EXP_TEMP;
            e.reg = r;
        }
        return e;
    }

    SqExp CSqCompiler::BitOr()
    {
        SqExp e = BitXor();
        while (m_iToken == '|') {
            Lex();
            ToAnyReg(e);
            SqExp e2 = BitXor();
            e = BinaryOp(OP_BOR, e, e2);
        }
        return e;
    }

    SqExp CSqCompiler::BitXor()
    {
        SqExp e = BitAnd();
        while (m_iToken == '^') {
            Lex();
            ToAnyReg(e);
            SqExp e2 = BitAnd();
            e = BinaryOp(OP_BXOR, e, e2);
        }
        return e;
    }

    SqExp CSqCompiler::BitAnd()
    {
        SqExp e = EqExp();
        while (m_iToken == '&') {
            Lex();
            ToAnyReg(e);
            SqExp e2 = EqExp();
            e = BinaryOp(OP_BAND, e, e2);
        }
        return e;
    }

    SqExp CSqCompiler::EqExp()
    {
        SqExp e = CompExp();
        for (;;) {
            int op;
            switch (m_iToken) {
            case TK_EQ: op = OP_EQ; break;
            case TK_NE: op = OP_NE; break;
            case TK_3WAYSCMP: op = OP_CMP3; break;
            default: return e;
            }
            Lex();
            ToAnyReg(e);
            SqExp e2 = CompExp();
            e = BinaryOp(op, e, e2);
        }
    }

    SqExp CSqCompiler::CompExp()
    {
        SqExp e = ShiftExp();
        for (;;) {
            int op;
            switch (m_iToken) {
            case '<': op = OP_LT; break;
            case '>': op = OP_GT; break;
            case TK_LE: op = OP_LE; break;
            case TK_GE: op = OP_GE; break;
            case TK_IN: op = OP_IN; break;
            case TK_INSTANCEOF: op = OP_INSTANCEOF; break;
            default: return e;
            }
            Lex();
            ToAnyReg(e);
            SqExp e2 = ShiftExp();
            e = BinaryOp(op, e, e2);
        }
    }

    SqExp CSqCompiler::ShiftExp()
    {
        SqExp e = PlusExp();
        for (;;) {
            int op;
            switch (m_iToken) {
            case TK_SHIFTL: op = OP_SHL; break;
            case TK_SHIFTR: op = OP_SHR; break;
            case TK_USHIFTR: op = OP_USHR; break;
            default: return e;
            }
            Lex();
            ToAnyReg(e);
            SqExp e2 = PlusExp();
            e = BinaryOp(op, e, e2);
        }
    }

    SqExp CSqCompiler::PlusExp()
    {
        SqExp e = MultExp();
        for (;;) {
            int op;
            switch (m_iToken) {
            case '+': op = OP_ADD; break;
            case '-': op = OP_SUB; break;
            default: return e;
            }
            Lex();
            ToAnyReg(e);
            SqExp e2 = MultExp();
            e = BinaryOp(op, e, e2);
        }
    }

    SqExp CSqCompiler::MultExp()
    {
        SqExp e = Unary();
        for (;;) {
            int op;
            switch (m_iToken) {
            case '*': op = OP_MUL; break;
            case '/': op = OP_DIV; break;
            case '%': op = OP_MOD; break;
            default: return e;
            }
            Lex();
            ToAnyReg(e);
            SqExp e2 = Unary();
            e = BinaryOp(op, e, e2);
        }
    }

    SqExp CSqCompiler::BinaryOp(int op, SqExp& e1, SqExp& e2)
    {
        int r1 = ToAnyReg(e1);
        bool bArith = op == OP_ADD || op == OP_SUB || op == OP_MUL || op == OP_DIV || op == OP_MOD;
        SqExp result;
        result.k = EXP_TEMP;
        if (bArith && IsConstant(e2) && e2.k != EXP_NULL && e2.k != EXP_BOOL) {
            int k = ConstantOf(e2);
            FreeExp(e1);
            int r = Reserve(1);
            result.relocPc = Emit(op - OP_ADD + OP_ADDK, r, r1, 0, k);
            result.reg = r;
            return result;
        }
        if (op >= OP_BAND && op <= OP_USHR && e2.k == EXP_INT) {
            int k = ConstantOf(e2);
            FreeExp(e1);
            int r = Reserve(1);
            result.relocPc = Emit(op - OP_BAND + OP_BANDK, r, r1, 0, k);
            result.reg = r;
            return result;
        }
        int iCmp = op == OP_LT ? CMP_LT : op == OP_LE ? CMP_LE : op == OP_GT ? CMP_GT : op == OP_GE ? CMP_GE
                 : op == OP_EQ ? CMP_EQ : op == OP_NE ? CMP_NE : -1;
        if (iCmp >= 0 && IsConstant(e2)) {
            int k = ConstantOf(e2);
            if (k < 256) {
                FreeExp(e1);
                int r = Reserve(1);
                result.relocPc = Emit(OP_CMPK, r, r1, k, iCmp);
                result.reg = r;
                return result;
            }
        }
        int r2 = ToAnyReg(e2);
        FreeExp(e2);
        FreeExp(e1);
        int r = Reserve(1);
        if (op == OP_IN)
            result.relocPc = Emit(OP_IN, r, r1, r2);
        else
            result.relocPc = Emit(op, r, r1, r2);
        result.reg = r;
        return result;
    }

    SqExp CSqCompiler::Unary()
    {
        SqNestGuard guard(this);
        switch (m_iToken) {
        case '-': {
            Lex();
            SqExp e = Unary();
            if (e.k == EXP_INT) {
                e.i = static_cast<int64_t>(0 - static_cast<uint64_t>(e.i));
                return e;
            }
            if (e.k == EXP_FLOAT) {
                e.f = -e.f;
                return e;
            }
            int r1 = ToAnyReg(e);
            FreeExp(e);
            SqExp result;
            result.k = EXP_TEMP;
            result.reg = Reserve(1);
            result.relocPc = Emit(OP_UNM, result.reg, r1);
            return result;
        }
        case '!':
        case '~':
        case TK_TYPEOF:
        case TK_RESUME:
        case TK_CLONE: {
            int op = m_iToken == '!' ? OP_NOT : m_iToken == '~' ? OP_BNOT : m_iToken == TK_TYPEOF ? OP_TYPEOF
                   : m_iToken == TK_RESUME ? OP_RESUME : OP_CLONE;
            Lex();
            SqExp e = Unary();
            int r1 = ToAnyReg(e);
            FreeExp(e);
            SqExp result;
            result.k = EXP_TEMP;
            result.reg = Reserve(1);
            result.relocPc = Emit(op, result.reg, r1);
            return result;
        }
        case TK_DELETE: {
            Lex();
            SqExp e = Unary();
            if (e.k != EXP_FIELD)
                Error("can't delete an expression");
            if (e.keyK) {
                int rKey = Reserve(1);
                Emit(OP_LOADK, rKey, 0, 0, e.key);
                e.key = rKey;
                e.keyK = false;
            }
            int rObj = e.reg, rKey = e.key;
            FreeExp(e);
            SqExp result;
            result.k = EXP_TEMP;
            result.reg = Reserve(1);
            result.relocPc = Emit(OP_DELETE, result.reg, rObj, rKey);
            return result;
        }
        case TK_PLUSPLUS:
        case TK_MINUSMINUS: {
            bool bInc = m_iToken == TK_PLUSPLUS;
            Lex();
            SqExp e = Unary();
            return IncDec(e, bInc, false);
        }
        default:
            return Postfix(Factor());
        }
    }

    SqExp CSqCompiler::IncDec(SqExp& e, bool bIncrement, bool bPostfix)
    {
        int kOne = Constant(SqValue::Integer(1));
        int op = bIncrement ? OP_ADDK : OP_SUBK;
        SqExp result;
        if (e.k == EXP_LOCAL) {
            if (bPostfix) {
                int r = Reserve(1);
                Emit(OP_MOVE, r, e.reg);
                Emit(op, e.reg, e.reg, 0, kOne);
                result.k = EXP_TEMP;
                result.reg = r;
                return result;
            }
            Emit(op, e.reg, e.reg, 0, kOne);
            return e;
        }
        if (e.k == EXP_OUTER) {
            int rOld = Reserve(1);
            Emit(OP_GETOUTER, rOld, 0, 0, e.reg);
            int rNew = Reserve(1);
            Emit(op, rNew, rOld, 0, kOne);
            Emit(OP_SETOUTER, rNew, 0, 0, e.reg);
            FreeReg(rNew);
            result.k = EXP_TEMP;
            result.reg = rOld;
            if (!bPostfix)
                Emit(OP_MOVE, rOld, rNew);
            return result;
        }
        if (e.k != EXP_FIELD)
            Error("can't assign expression");
        int rOld = Reserve(1);
        if (e.keyK)
            Emit(OP_GETK, rOld, e.reg, e.flags & FIELD_ROOT_FALLBACK, e.key);
        else
            Emit(OP_GET, rOld, e.reg, e.key);
        int rNew = Reserve(1);
        Emit(op, rNew, rOld, 0, kOne);
        if (e.keyK)
            Emit(OP_SETK, e.reg, e.flags & FIELD_ROOT_FALLBACK, rNew, e.key);
        else
            Emit(OP_SET, e.reg, e.key, rNew);
        FreeReg(rNew);
        FreeReg(rOld);
        FreeExp(e);
        result.k = EXP_DEADREG;
        result.reg = bPostfix ? rOld : rNew;
        return result;
    }

    SqExp CSqCompiler::Postfix(SqExp e)
    {
        for (;;) {
            switch (m_iToken) {
            case '.': {
                Lex();
                SqValue name = ExpectIdentifier();
                bool bBase = e.k == EXP_BASE;
                int r = ToAnyReg(e);
                e = SqExp();
                e.k = EXP_FIELD;
                e.reg = r;
                e.keyK = true;
                e.key = StringConstant(name);
                e.flags = bBase ? FIELD_THIS_CURRENT : 0;
                break;
            }
            case '[': {
                if (m_Lexer.IsNewLineBefore())
                    return e;
                Lex();
                bool bBase = e.k == EXP_BASE;
                int r = ToAnyReg(e);
                SqExp key = Expression();
                Expect(']');
                SqExp field;
                field.k = EXP_FIELD;
                field.reg = r;
                field.flags = bBase ? FIELD_THIS_CURRENT : 0;
                if (key.k == EXP_K || key.k == EXP_INT || key.k == EXP_FLOAT || key.k == EXP_BOOL) {
                    field.keyK = true;
                    field.key = ConstantOf(key);
                } else {
                    field.keyK = false;
                    field.key = ToAnyReg(key);
                }
                e = field;
                break;
            }
            case '(':
                e = CallExp(e);
                break;
            case TK_PLUSPLUS:
            case TK_MINUSMINUS: {
                if (m_Lexer.IsNewLineBefore())
                    return e;
                bool bInc = m_iToken == TK_PLUSPLUS;
                Lex();
                return IncDec(e, bInc, true);
            }
            default:
                return e;
            }
        }
    }

    SqExp CSqCompiler::CallExp(SqExp& fn)
    {
        Lex(); // (
        int r;
        if (fn.k == EXP_FIELD && fn.keyK) {
            uint8_t flags = fn.flags;
            int rObj = fn.reg, k = fn.key;
            FreeExp(fn);
            r = Reserve(2);
            Emit(OP_PREPCALLK, r, rObj, flags, k);
        } else if (fn.k == EXP_FIELD) {
            bool bThisCurrent = (fn.flags & FIELD_THIS_CURRENT) != 0;
            int rObj = fn.reg, rKey = fn.key;
            FreeExp(fn);
            r = Reserve(3);
            Emit(OP_GET, r + 2, rObj, rKey);
            Emit(OP_MOVE, r + 1, bThisCurrent ? 0 : rObj);
            Emit(OP_MOVE, r, r + 2);
            FreeReg(r + 2);
        } else {
            r = ToNextReg(fn);
            int rThis = Reserve(1);
            Emit(OP_MOVE, rThis, 0);
        }
        int nArgs = 1;
        while (m_iToken != ')') {
            SqExp a = Expression();
            ToNextReg(a);
            ++nArgs;
            if (m_iToken == ',') {
                Lex();
                if (m_iToken == ')')
                    Error("expression expected, found ')'");
            }
        }
        Lex();
        Emit(OP_CALL, r, nArgs);
        m_pFs->freeReg = r + 1;
        SqExp result;
        result.k = EXP_TEMP;
        result.reg = r;
        return result;
    }

    SqExp CSqCompiler::ConstantExp(const SqValue& v)
    {
        SqExp e;
        switch (v.Type()) {
        case SQ_INTEGER:
            e.k = EXP_INT;
            e.i = v.m_iValue;
            break;
        case SQ_FLOAT:
            e.k = EXP_FLOAT;
            e.f = v.m_fValue;
            break;
        case SQ_BOOL:
            e.k = EXP_BOOL;
            e.i = v.m_iValue;
            break;
        case SQ_NULL:
            e.k = EXP_NULL;
            break;
        default:
            e.k = EXP_K;
            e.i = Constant(v);
            break;
        }
        return e;
    }

    SqExp CSqCompiler::Identifier(const SqValue& name)
    {
        SqExp e;
        int iLocal = FindLocal(*m_pFs, name);
        if (iLocal >= 0) {
            e.k = EXP_LOCAL;
            e.reg = m_pFs->locals[static_cast<size_t>(iLocal)].reg;
            return e;
        }
        int iOuter = ResolveOuter(*m_pFs, name);
        if (iOuter >= 0) {
            e.k = EXP_OUTER;
            e.reg = iOuter;
            return e;
        }
        SqValue constant;
        if (m_pState->m_ConstTable.Type() == SQ_TABLE && m_pState->m_ConstTable.Table()->Get(name, constant)) {
            if (constant.Type() == SQ_TABLE) {
                // An enum: only E.member is allowed.
                Expect('.');
                SqValue member = ExpectIdentifier();
                SqValue value;
                if (!constant.Table()->Get(member, value)) {
                    std::string strMessage = "invalid enum member '" + std::string(member.String()->View()) + "'";
                    Error(strMessage.c_str());
                }
                return ConstantExp(value);
            }
            return ConstantExp(constant);
        }
        e.k = EXP_FIELD;
        e.reg = 0;
        e.keyK = true;
        e.key = StringConstant(name);
        e.flags = FIELD_ROOT_FALLBACK;
        return e;
    }

    SqExp CSqCompiler::Factor()
    {
        SqExp e;
        switch (m_iToken) {
        case TK_STRING_LITERAL:
            e = ConstantExp(m_pState->String(m_Lexer.GetString()));
            Lex();
            return e;
        case TK_INTEGER:
            e.k = EXP_INT;
            e.i = m_Lexer.GetInteger();
            Lex();
            return e;
        case TK_FLOAT:
            e.k = EXP_FLOAT;
            e.f = SqToFloat(m_Lexer.GetFloat());
            Lex();
            return e;
        case TK_NULL:
            e.k = EXP_NULL;
            Lex();
            return e;
        case TK_TRUE:
        case TK_FALSE:
            e.k = EXP_BOOL;
            e.i = m_iToken == TK_TRUE;
            Lex();
            return e;
        case TK___LINE__:
            e.k = EXP_INT;
            e.i = m_Lexer.GetTokenLine();
            Lex();
            return e;
        case TK___FILE__:
            e = ConstantExp(m_Source);
            Lex();
            return e;
        case TK_IDENTIFIER: {
            SqValue name = m_pState->String(m_Lexer.GetString());
            Lex();
            return Identifier(name);
        }
        case TK_THIS:
            Lex();
            e.k = EXP_LOCAL;
            e.reg = 0;
            return e;
        case TK_BASE:
            Lex();
            e.k = EXP_BASE;
            return e;
        case TK_DOUBLE_COLON: {
            Lex();
            int r = Reserve(1);
            Emit(OP_LOADROOT, r);
            e.k = EXP_FIELD;
            e.reg = r;
            e.keyK = true;
            e.key = StringConstant(ExpectIdentifier());
            return e;
        }
        case '(': {
            Lex();
            e = CommaExpr();
            Expect(')');
            return e;
        }
        case '[':
            return ArrayLiteral();
        case '{':
            return TableLiteral();
        case TK_FUNCTION:
            Lex();
            return FunctionExp(SqValue(), false);
        case '@':
            Lex();
            return FunctionExp(SqValue(), true);
        case TK_CLASS:
            Lex();
            return ClassExp();
        case TK_RAWCALL: {
            Lex();
            Expect('(');
            SqExp fn = Expression();
            int r = ToNextReg(fn);
            int nArgs = 0;
            while (m_iToken == ',') {
                Lex();
                SqExp a = Expression();
                ToNextReg(a);
                ++nArgs;
            }
            Expect(')');
            if (nArgs == 0) {
                Emit(OP_LOADNULL, Reserve(1), 1);
                nArgs = 1;
            }
            Emit(OP_CALL, r, nArgs);
            m_pFs->freeReg = r + 1;
            e.k = EXP_TEMP;
            e.reg = r;
            return e;
        }
        default:
            Error("expression expected");
        }
    }

    SqExp CSqCompiler::ArrayLiteral()
    {
        Lex(); // [
        int r = Reserve(1);
        int pc = Emit(OP_NEWARRAY, r);
        int n = 0;
        while (m_iToken != ']') {
            SqExp v = Expression();
            int rv = ToAnyReg(v);
            Emit(OP_APPEND, r, rv);
            FreeExp(v);
            ++n;
            if (m_iToken == ',')
                Lex();
        }
        Lex();
        Code(pc).d = n;
        SqExp e;
        e.k = EXP_TEMP;
        e.reg = r;
        return e;
    }

    SqExp CSqCompiler::TableLiteral()
    {
        Lex(); // {
        int r = Reserve(1);
        int pc = Emit(OP_NEWTABLE, r);
        int n = 0;
        while (m_iToken != '}') {
            SqExp key, value;
            if (m_iToken == TK_FUNCTION) {
                Lex();
                SqValue name = ExpectIdentifier();
                key = ConstantExp(name);
                value = FunctionExp(name, false);
            } else if (m_iToken == '[') {
                Lex();
                key = Expression();
                Expect(']');
                if (!IsConstant(key) || key.k == EXP_NULL)
                    ToAnyReg(key);
                Expect('=');
                value = Expression();
            } else if (m_iToken == TK_STRING_LITERAL) {
                key = ConstantExp(m_pState->String(m_Lexer.GetString()));
                Lex();
                Expect(':');
                value = Expression();
            } else {
                SqValue name = ExpectIdentifier();
                key = ConstantExp(name);
                Expect('=');
                value = Expression();
            }
            int rv = ToAnyReg(value);
            if (IsConstant(key) && key.k != EXP_NULL)
                Emit(OP_NEWSLOTK, r, 0, rv, ConstantOf(key));
            else
                Emit(OP_NEWSLOT, r, ToAnyReg(key), rv);
            FreeExp(value);
            FreeExp(key);
            ++n;
            if (m_iToken == ',')
                Lex();
        }
        Lex();
        Code(pc).d = n;
        SqExp e;
        e.k = EXP_TEMP;
        e.reg = r;
        return e;
    }

    int CSqCompiler::AttributeTable()
    {
        // </ name = value, ... />
        Lex();
        int r = Reserve(1);
        int pc = Emit(OP_NEWTABLE, r);
        int n = 0;
        while (m_iToken != TK_ATTR_CLOSE) {
            SqValue name = ExpectIdentifier();
            SqExp value;
            if (m_iToken == '=') {
                Lex();
                value = Expression();
            } else {
                value.k = EXP_NULL;
            }
            int rv = ToAnyReg(value);
            Emit(OP_NEWSLOTK, r, 0, rv, StringConstant(name));
            FreeExp(value);
            ++n;
            if (m_iToken == ',')
                Lex();
            else if (m_iToken != TK_ATTR_CLOSE)
                Expect(TK_ATTR_CLOSE);
        }
        Lex();
        Code(pc).d = n;
        return r;
    }

    SqExp CSqCompiler::ClassExp()
    {
        int rClass = Reserve(1);
        int rBase = NO_REGISTER, rAttr = NO_REGISTER;
        if (m_iToken == TK_EXTENDS) {
            Lex();
            SqExp base = Expression();
            rBase = ToNextReg(base);
        }
        if (m_iToken == TK_ATTR_OPEN)
            rAttr = AttributeTable();
        Expect('{');
        Emit(OP_CLASS, rClass, rBase, rAttr);
        m_pFs->freeReg = rClass + 1;
        ClassBody(rClass);
        SqExp e;
        e.k = EXP_TEMP;
        e.reg = rClass;
        return e;
    }

    void CSqCompiler::ClassBody(int iClassReg)
    {
        while (m_iToken != '}') {
            int rAttr = NO_REGISTER;
            if (m_iToken == TK_ATTR_OPEN)
                rAttr = AttributeTable();
            bool bStatic = false;
            if (m_iToken == TK_STATIC) {
                bStatic = true;
                Lex();
            }
            SqExp key, value;
            if (m_iToken == TK_FUNCTION) {
                Lex();
                SqValue name = ExpectIdentifier();
                key = ConstantExp(name);
                ToNextReg(key);
                value = FunctionExp(name, false);
            } else if (m_iToken == TK_CONSTRUCTOR) {
                Lex();
                key = ConstantExp(m_pState->m_strConstructor);
                ToNextReg(key);
                value = FunctionExp(m_pState->m_strConstructor, false);
            } else if (m_iToken == '[') {
                Lex();
                key = Expression();
                Expect(']');
                ToNextReg(key);
                Expect('=');
                value = Expression();
            } else {
                SqValue name = ExpectIdentifier();
                key = ConstantExp(name);
                ToNextReg(key);
                Expect('=');
                value = Expression();
            }
            int rv = ToAnyReg(value);
            Emit(OP_NEWMEMBER, iClassReg, key.reg, rv, rAttr | (bStatic ? 256 : 0));
            FreeExp(value);
            FreeExp(key);
            if (rAttr != NO_REGISTER)
                FreeReg(rAttr);
            if (m_iToken == ',' || m_iToken == ';')
                Lex();
        }
        Lex();
    }

    SqExp CSqCompiler::FunctionExp(const SqValue& name, bool bLambda)
    {
        int rDefaults = -1;
        int iProto = FunctionBody(name, bLambda, &rDefaults);
        SqExp e;
        e.k = EXP_TEMP;
        if (rDefaults >= 0) {
            m_pFs->freeReg = rDefaults;
            e.reg = Reserve(1);
            Emit(OP_CLOSURE, e.reg, rDefaults, 0, iProto);
        } else {
            e.reg = Reserve(1);
            e.relocPc = Emit(OP_CLOSURE, e.reg, 0, 0, iProto);
        }
        return e;
    }

    int CSqCompiler::FunctionBody(const SqValue& name, bool bLambda, int* pDefaultsReg)
    {
        SqNestGuard guard(this);
        Expect('(');
        SqFuncState* pParent = m_pFs;
        SqFuncState* fs = new SqFuncState();
        m_AllStates.push_back(fs);
        fs->pParent = pParent;
        fs->pProto = new CSqFuncProto();
        SqAddRef(fs->pProto);
        fs->pProto->m_Source = m_Source;
        fs->pProto->m_Name = name;
        fs->iLastLine = m_iPrevLine;
        m_pFs = fs;
        DeclareLocal(m_pState->m_strThis);
        fs->pProto->m_ParamNames.push_back(m_pState->m_strThis);
        int nDefaults = 0;
        while (m_iToken != ')') {
            if (m_iToken == TK_VARPARAMS) {
                if (nDefaults > 0)
                    Error("function with default parameters cannot have variable number of parameters");
                Lex();
                fs->pProto->m_bVarArgs = true;
                if (m_iToken != ')')
                    Error("expected ')'");
                break;
            }
            SqValue param = ExpectIdentifier();
            DeclareLocal(param);
            fs->pProto->m_ParamNames.push_back(param);
            ++fs->pProto->m_nParams;
            if (m_iToken == '=') {
                Lex();
                // Default values are evaluated where the function is created.
                m_pFs = pParent;
                SqExp v = Expression();
                int r = ToNextReg(v);
                if (nDefaults == 0)
                    *pDefaultsReg = r;
                m_pFs = fs;
                ++nDefaults;
            } else if (nDefaults > 0) {
                Error("expected '='");
            }
            if (m_iToken == ',')
                Lex();
            else if (m_iToken != ')')
                Error("expected ')' or ','");
        }
        Lex();
        fs->pProto->m_nDefaults = nDefaults;
        if (fs->pProto->m_bVarArgs)
            DeclareLocal(m_pState->m_strVargv);
        if (bLambda) {
            SqExp e = Expression();
            int r = ToAnyReg(e);
            Emit(OP_RETURN, r, 1);
            FreeExp(e);
        } else {
            if (m_iToken != '{')
                Expect('{');
            Lex();
            BeginBlock();
            Statements();
            Expect('}');
            EndBlock(false);
            Emit(OP_RETURN, 0, 0);
        }
        CSqFuncProto* p = fs->pProto;
        for (size_t i = 0; i < fs->lines.size(); ++i)
            if (p->m_Lines.empty() || p->m_Lines.back().m_iLine != fs->lines[i])
                p->m_Lines.push_back({static_cast<uint32_t>(i), fs->lines[i]});
        for (SqLocal& l : fs->locals)
            p->m_Locals.push_back({l.name, l.startPc, static_cast<uint32_t>(p->m_Code.size()), static_cast<uint32_t>(l.reg)});
        m_pFs = pParent;
        int iProto = static_cast<int>(pParent->pProto->m_Functions.size());
        pParent->pProto->m_Functions.push_back(SqValue(p));
        return iProto;
    }

    CSqFuncProto* SqCompile(CSqSharedState* pState, const char* pText, size_t nLength, const char* szSource, SSqCompileError* pError)
    {
        CSqCompiler compiler(pState, szSource);
        return compiler.Compile(pText, nLength, pError);
    }
}
