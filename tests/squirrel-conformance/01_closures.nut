// Closure capture: per-iteration bindings, shared outer variables, lifetimes.
function println(s) { print(s + "\n"); }

// foreach key/value and locals of a loop body are a new binding on every pass
local fns = [];
foreach (i, v in ["a", "b", "c"]) {
    local doubled = v + v;
    fns.push(function() { return i + ":" + v + ":" + doubled; });
}
foreach (f in fns) println(f());

// while body locals too
local ws = [];
local n = 0;
while (n < 3) {
    local copy = n;
    ws.push(@() copy * 10);
    n++;
}
println(ws[0]() + " " + ws[1]() + " " + ws[2]());

// the variable of a for statement is one variable for the whole loop
local fs = [];
for (local j = 0; j < 3; j++)
    fs.push(@() j);
println(fs[0]() + " " + fs[1]() + " " + fs[2]());

// a closure shares the variable with its function, both ways
local shared = 1;
local get = @() shared;
local set = function(x) { shared = x; };
set(42);
println(shared + " " + get());
shared = 7;
println(get());

// counters outlive the frame that created them; each call makes a new variable
function makeCounter() {
    local count = 0;
    return { inc = function() { return ++count; }, get = @() count };
}
local c1 = makeCounter(), c2 = makeCounter();
c1.inc(); c1.inc(); c2.inc();
println(c1.get() + " " + c2.get());

// two levels of nesting reach the outermost local
function outer() {
    local x = "deep";
    return function() { return function() { return x + "!"; }; };
}
println(outer()()());

// break out of a loop body closes the captured locals of that pass
local captured = [];
foreach (v in [1, 2, 3, 4]) {
    local w = v * 2;
    captured.push(@() w);
    if (v == 2) break;
}
println(captured.len() + " " + captured[0]() + " " + captured[1]());

// continue as well
local cont = [];
for (local k = 0; k < 4; k++) {
    local z = k;
    cont.push(@() z);
    if (k % 2) continue;
    z = z + 100;
}
println(cont[0]() + " " + cont[1]() + " " + cont[2]() + " " + cont[3]());

// a local function is not visible inside its own body
local function selfref() { return typeof selfref; }
try { selfref(); println("visible"); } catch (e) { println("error: " + e); }

// default parameter values are evaluated where the function is created
local origin = 10;
local withDefault = function(a, b = origin + 1) { return a + b; };
origin = 100;
println(withDefault(1) + " " + withDefault(1, 2));

// varargs
function sum(first, ...) {
    local s = first;
    foreach (x in vargv) s += x;
    return s + "/" + vargv.len();
}
println(sum(1) + " " + sum(1, 2, 3));

// the main chunk gets the command line as vargv
println(vargv.len() + " " + vargv[0] + " " + vargv[1]);

// lambdas and bindenv
local env = { k = "bound" };
local lam = (function() { return this.k; }).bindenv(env);
println(lam() + " " + lam.call({ k = "other" }));
