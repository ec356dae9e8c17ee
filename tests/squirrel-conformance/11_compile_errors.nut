// Compile errors: compilestring throws the bare message.
function println(s) { print(s + "\n"); }

local sources = [
    "local x = 1 +", "local x = ;", "x = = 1;", "print(\"a\"", "local a = [1, 2;", "[1,2,,3]", "}", "throw;",
    "1 ? : 2", "if (1) else {}", "`a`", "$", "\\", ".5", "local x = yield 1",
    "local = 5;", "function (a) {}", "class A { function }", "local in = 1;", "local null = 1;", "true.", "local t = {a=1}.",
    "::5", "enum {}", "local f = @(a) { return a; }",
    "function f(a {}", "if x == 1 {}", "try {} catch {}", "@;", "function a.b.c() {}",
    "if (x == 1 {}", "while (true", "((1);",
    "for (local i = 0; i < 3 i++) {}", "foreach (x 5) {}", "foreach (i, j, k in []) {}",
    "local t = {a: 1}", "class A { x }", "function g(a = 1, b) {}", "const X;",
    "class A extends {}", "class A extends B extends C {}", "switch (x) { default: default: }", "local v = 1 ? 2;",
    "switch (x) { case 1 case 2: }", "try { }", "return 1 2", "(1));", "local x = 1 local y = 2", "local s = \"abc\" \"def\";",
    "0xGG", "local a <- 1;", "try {} catch (e) {} finally {}", "class {}", "break;", "continue;", "1 = 2;",
    "x <- 1 <- 2", "enum E { A } E.A = 5;", "delete 5;", "\"unterminated", "@\"verbatim", "\"line\nbreak\"",
    "\"bad\\q escape\"", "\"\\x\"", "'\\x'", "/* unterminated", "1e;", "0778", "0x10000000000000000", "'ab'", "''",
    "const Y = z;", "enum E { A = x }", "const C2 = [1]", "function f(a, b = 3, ...) {}", "enum E { A } typeof E",
    "local a = 1 +++ 2 ---",
];
foreach (src in sources) {
    try {
        compilestring(src);
        println("ok: " + src);
    } catch (e) {
        println(e);
    }
}

// accepted without error
foreach (src in ["function f(a,) {}", "local t = {a = 1 b = 2}", "local t = {\"a\": 1}", "local x; local x;",
                 "function f(a, a) {}", "const D = 1; const D = 2;", "enum E2 { A B }", "enum E3 { A, B, }",
                 "local x = this = 5", "return 1, 2", "yield;", "local a = 1; local b = a +++ a", "0x",
                 "class K { constructor() {} constructor() {} }"]) {
    try {
        compilestring(src);
        println("ok");
    } catch (e) {
        println("unexpected: " + e + " in " + src);
    }
}

// compiled code runs with the root table as `this`
local f = compilestring("return this == ::getroottable() ? \"root\" : \"other\";");
println(f());
local g = compilestring("local sum = 0; foreach (v in vargv) sum += v; return sum;", "adder");
println(g(1, 2, 3) + " " + g.getinfos().src);

// deep nesting fails with an error instead of exhausting the native stack
local deep = "";
for (local i = 0; i < 2000; i++) deep += "(";
deep += "1";
for (local i = 0; i < 2000; i++) deep += ")";
try { compilestring("return " + deep); println("compiled"); } catch (e) { println(e); }
local blocks = "";
for (local i = 0; i < 2000; i++) blocks += "{";
try { compilestring(blocks); println("compiled"); } catch (e) { println(e); }
local fine = "";
for (local i = 0; i < 50; i++) fine += "(";
fine += "7";
for (local i = 0; i < 50; i++) fine += ")";
println(compilestring("return " + fine)());
