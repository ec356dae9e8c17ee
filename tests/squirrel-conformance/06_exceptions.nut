// Exceptions: throw of any value, nesting, rethrow, errors of the VM, finally-free unwinding.
function println(s) { print(s + "\n"); }

foreach (v in [5, 1.5, "text", null, true, [1, 2], { k = "v" }]) {
    try {
        throw v;
    } catch (e) {
        local shown = typeof e == "array" ? "array of " + e.len() : typeof e == "table" ? "table with " + e.k : "" + e;
        println("caught " + typeof e + ": " + shown);
    }
}

class MyError {
    message = null;
    constructor(m) { message = m; }
    function _tostring() { return "MyError(" + message + ")"; }
}
try {
    throw MyError("custom");
} catch (e) {
    println((e instanceof MyError) + " " + e + " " + e.message);
}

// nested try blocks, rethrow, and the innermost handler wins
function level3() { throw "from level3"; }
function level2() { try { level3(); } catch (e) { throw "level2 saw (" + e + ")"; } }
function level1() {
    try {
        level2();
    } catch (e) {
        return "level1 caught: " + e;
    }
}
println(level1());

// an error unwinds frames and closes captured locals at the right value
local saved = null;
function capturing() {
    local value = "before";
    saved = @() value;
    value = "after";
    throw "unwind";
}
try { capturing(); } catch (e) { println(e + " " + saved()); }

// errors raised by the VM are strings
local errors = [];
local ops = [
    @() {}.missing,
    @() [1, 2][5],
    @() null.x,
    @() (1)(),
    @() "abc"(),
    @() undefined_function(),
    @() [].pop(),
    @() [].top(),
    @() [1].remove(5),
    @() [1].insert(5, 2),
    @() {} < 1,
    @() 1 < "a",
    @() true < 1,
    @() 0.1 < "a",
    @() (1.0 / 0).x,
    @() [1, 2]["a"],
    @() delete {}.nothing,
    @() clone 5,
    @() clone "s",
    @() clone null,
    @() print(),
    @() print(1, 2),
    @() compilestring(5),
    @() [].extend(5),
    @() {}.setdelegate(5),
    @() ({}).rawget("nope"),
];
foreach (op in ops) {
    try { op(); errors.push("no error"); } catch (e) { errors.push(e); }
}
foreach (e in errors) println(e);

function f0() {}
function f1(a) {}
function f2(a, b = 2) {}
function fv(a, ...) {}
foreach (call in [@() f0(1), @() f1(), @() f1(1, 2), @() f2(), @() f2(1, 2, 3), @() fv(), @() f1.call()]) {
    try { call(); println("ok"); } catch (e) { println(e); }
}

// a try inside a loop keeps the loop going
local count = 0;
for (local i = 0; i < 5; i++) {
    try {
        if (i % 2) throw i;
        count += 10;
    } catch (odd) {
        count += odd;
    }
}
println(count);

// break and continue out of a try block
local seen = "";
foreach (i in [1, 2, 3, 4, 5]) {
    try {
        if (i == 2) continue;
        if (i == 4) break;
        seen += i;
    } catch (e) {
        seen += "!";
    }
}
try { throw "after loop"; } catch (e) { seen += " " + e; }
println(seen);

// return from inside a try block
function early() { try { return "returned"; } catch (e) { return "caught"; } }
println(early());
try { throw "still works"; } catch (e) { println(e); }

// an error thrown from a metamethod and from a native callback
class Thrower { function _get(k) { throw "no member " + k; } }
try { Thrower().x; } catch (e) { println(e); }
try { [3, 1, 2].sort(function(a, b) { throw "comparator"; }); } catch (e) { println(e); }
try { [1].map(function(v) { throw { code = 7 }; }); } catch (e) { println("code " + e.code); }

// assert
try { assert(false); } catch (e) { println(e); }
try { assert(0, "my message"); } catch (e) { println(e); }
println(assert(1));
