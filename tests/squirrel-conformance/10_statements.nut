// Statements and expressions: switch, enums and constants, loops, tables, operators, functions.
function println(s) { print(s + "\n"); }

// switch compares with == and falls through until break
function classify(x) {
    local out = "";
    switch (x) {
        case 1:
            out += "one ";
        case 2:
            out += "two ";
            break;
        case "s":
            out += "string ";
            break;
        default:
            out += "other ";
    }
    return out;
}
println(classify(1) + "|" + classify(2) + "|" + classify("s") + "|" + classify(3) + "|" + classify(1.0));
switch (5) { }
switch (5) { default: println("only default"); }

// enums and constants are resolved when compiling
enum Colour { Red, Green = 10, Blue, Name = "n" }
const LIMIT = 100;
const NEG = -5;
const PI2 = 6.28;
const WORD = "word";
println(Colour.Red + " " + Colour.Green + " " + Colour.Blue + " " + Colour.Name + " " + LIMIT + " " + NEG + " " + PI2 + " " + WORD);
enum Second { A = "s", B }
println(Second.B + " " + getconsttable().LIMIT + " " + getconsttable().Colour.Green);

// loops
local s = "";
for (local i = 0, j = 10; i < 3; i++, j--) s += i + "/" + j + " ";
println(s);
local k = 0;
do { k++; } while (k < 5);
println(k);
local w = 0;
while (true) { if (++w >= 4) break; }
println(w);
s = "";
for (;;) { s += "x"; if (s.len() == 3) break; }
println(s);
foreach (i, c in "ab") println(i + " " + c);
local nested = "";
foreach (x in [1, 2]) foreach (y in [3, 4]) { if (y == 4) continue; nested += x + "" + y + " "; }
println(nested);

// tables: literals of every form
local t = { a = 1, "b": 2, [3] = "three", function f() { return "method"; }, ["c" + "d"] = 4 x = 5 };
println(t.a + " " + t.b + " " + t[3] + " " + t.f() + " " + t.cd + " " + t.x + " " + t.len());
local json = { "key": "value", "n": [1, 2, { "deep": true }] };
println(json.key + " " + json.n[2].deep);
t.newslot <- "created";
t["computed" + 1] <- 1;
println(t.newslot + " " + t.computed1 + " " + (delete t.newslot) + " " + ("newslot" in t));

// the comma operator, conditional, in, typeof, clone
local last = (1, 2, 3);
println(last + " " + (true ? "yes" : "no") + " " + (null ? "yes" : "no") + " " + ("a" in t) + " " + typeof typeof 1);
function multi() { return 1, 2; }
println(multi());

// compound assignment on fields and locals
local box = { v = 10 };
box.v += 5; box.v -= 3; box.v *= 2; box.v /= 4; box.v %= 4;
local lv = 7; lv += 1; lv *= 2;
println(box.v + " " + lv + " " + (box.v++) + " " + box.v + " " + (++box.v) + " " + (--lv) + " " + (lv--) + " " + lv);
local arr = [1, 2];
arr[0] += 10;
arr[1]++;
println(arr[0] + " " + arr[1]);

// chained assignment and assignment as an expression
local p, q;
p = q = 4;
local r = this.rv <- 9;
println(p + " " + q + " " + r + " " + rv);

// global functions and nested names with ::
function globalfn() { return "global"; }
::ns <- {};
function ns::inner() { return "nested"; }
println(globalfn() + " " + ::globalfn() + " " + ns.inner() + " " + ::ns.inner());
class ns.Klass { v = "in namespace"; }
println(ns.Klass().v);

// function info
function withparams(a, b, c = 3) {}
local info = withparams.getinfos();
println(info.name + " " + info.parameters.len() + " " + info.parameters[1] + " " + info.defparams[0] + " " + info.varargs + " " +
        info.native + " " + info.src);
local ninfo = print.getinfos();
println(ninfo.name + " " + ninfo.native + " " + ninfo.paramscheck + " " + ninfo.typecheck);
println((@() 1).getinfos().name + " " + (function(...) {}).getinfos().varargs);

// call, pcall, acall
function who(x) { return this.tag + x; }
println(who.call({ tag = "T" }, 1) + " " + who.pcall({ tag = "P" }, 2) + " " + who.acall([{ tag = "A" }, 3]) + " " +
        who.pacall([{ tag = "PA" }, 4]));

// callee and getstackinfos
function recurse(n) { return n == 0 ? "bottom" : callee()(n - 1); }
println(recurse(3));
function stackinfo() { local mine = 5; local i = getstackinfos(1); return i.func + " " + i.line + " " + i.locals.mine; }
println(stackinfo());
println(getstackinfos(100));

// rawcall
println(rawcall(who, { tag = "R" }, 5));

// typeof of every kind of value
class C {}
foreach (v in [1, 1.0, true, null, "s", {}, [], print, @() 1, C, C(), newthread(print), {}.weakref()])
    print(typeof v + " ");
println("");
function gen() { yield 1; }
println(typeof gen() + " " + typeof C.weakref());

// text of reference values: "(type : 0x0x...)"
foreach (v in [{}, [], print, C, C(), gen(), newthread(print)]) {
    local text = "" + v;
    print(text.slice(0, text.find(":") + 4) + " ");
}
println("");

// versions
println(_versionnumber_ + " " + _version_ + " " + _charsize_ + " " + _intsize_ + " " + _floatsize_);
