// Instruction set of the register VM. Every instruction is 8 bytes: op, a, b, c, d.
// R[x] is register x of the frame (R[0] is `this`), K[x] a constant of the function.
#pragma once

namespace Torvane3D::Squirrel
{
    enum eSqOpcode : unsigned char
    {
        OP_MOVE,       // R[a] = R[b]
        OP_LOADK,      // R[a] = K[d]
        OP_LOADINT,    // R[a] = d
        OP_LOADFLOAT,  // R[a] = float with the bits of d
        OP_LOADBOOL,   // R[a] = b != 0
        OP_LOADNULL,   // R[a .. a+b-1] = null
        OP_LOADROOT,   // R[a] = root table
        OP_GETOUTER,   // R[a] = outer d
        OP_SETOUTER,   // outer d = R[a]
        OP_GETBASE,    // R[a] = base class of the running method
        OP_NEWTABLE,   // R[a] = {} sized for d slots
        OP_NEWARRAY,   // R[a] = [] with room for d elements
        OP_APPEND,     // R[a].append(R[b])
        OP_GET,        // R[a] = R[b][R[c]]
        OP_GETK,       // R[a] = R[b][K[d]]; c = 1: fall back to the root table
        OP_SET,        // R[a][R[b]] = R[c]
        OP_SETK,       // R[a][K[d]] = R[c]; b = 1: fall back to the root table
        OP_NEWSLOT,    // R[a][R[b]] <- R[c]
        OP_NEWSLOTK,   // R[a][K[d]] <- R[c]
        OP_DELETE,     // R[a] = delete R[b][R[c]]
        OP_ADD,        // R[a] = R[b] + R[c]
        OP_SUB,
        OP_MUL,
        OP_DIV,
        OP_MOD,
        OP_ADDK,       // R[a] = R[b] + K[d]
        OP_SUBK,
        OP_MULK,
        OP_DIVK,
        OP_MODK,
        OP_BAND,       // R[a] = R[b] & R[c]
        OP_BOR,
        OP_BXOR,
        OP_SHL,
        OP_SHR,
        OP_USHR,
        OP_UNM,        // R[a] = -R[b]
        OP_NOT,        // R[a] = !R[b]
        OP_BNOT,       // R[a] = ~R[b]
        OP_EQ,         // R[a] = R[b] == R[c]
        OP_NE,
        OP_LT,
        OP_LE,
        OP_GT,
        OP_GE,
        OP_CMP3,       // R[a] = R[b] <=> R[c]
        OP_JMP,        // a != 0: close outers from R[a-1]; pc += d
        OP_JZ,         // if !R[a]: pc += d
        OP_JNZ,        // if R[a]: pc += d
        OP_JCMP,       // if !(R[b] <cmp a> R[c]): pc += d
        OP_CALL,       // R[a] = R[a](R[a+1] .. R[a+b]) where R[a+1] is `this`
        OP_PREPCALLK,  // R[a+1] = c&2 ? R[0] : R[b]; R[a] = R[b][K[d]] (c&1: root fallback)
        OP_RETURN,     // return b ? R[a] : null
        OP_CLOSURE,    // R[a] = closure of function d, default values from R[b]...
        OP_CLOSE,      // close outers from R[a]
        OP_TYPEOF,     // R[a] = typeof R[b]
        OP_CLONE,      // R[a] = clone R[b]
        OP_INSTANCEOF, // R[a] = R[b] instanceof R[c]
        OP_IN,         // R[a] = R[b] in R[c]
        OP_FOREACH,    // container R[a], key R[a+1], value R[a+2], iterator R[a+3]; done: pc += d
        OP_YIELD,      // yield b ? R[a] : null
        OP_RESUME,     // R[a] = resume R[b]
        OP_THROW,      // throw R[a]
        OP_PUSHTRAP,   // on error: exception into R[a], pc = handler at pc + d
        OP_POPTRAP,    // drop a traps
        OP_CLASS,      // R[a] = class (base R[b] unless 255, attributes R[c] unless 255)
        OP_NEWMEMBER,  // class R[a]: member R[b] = R[c]; d & 255 attributes register or 255; d & 256 static
        OP_CMPK,       // R[a] = R[b] <cmp d> K[c]
        OP_JCMPK,      // if !(R[b] <cmp a> K[c]): pc += d
        OP_BANDK,      // R[a] = R[b] & K[d]
        OP_BORK,
        OP_BXORK,
        OP_SHLK,
        OP_SHRK,
        OP_USHRK,
        OP_FORLOOP,    // R[a] += K[d >> 16] (b & 16: -=); if R[a] <cmp b & 7> (b & 8 ? K[c] : R[c]): pc += (int16)d
        OP_COUNT
    };

    enum eSqCompare : unsigned char
    {
        CMP_LT,
        CMP_LE,
        CMP_GT,
        CMP_GE,
        CMP_EQ,
        CMP_NE,
    };

    constexpr unsigned char NO_REGISTER = 255;
}
