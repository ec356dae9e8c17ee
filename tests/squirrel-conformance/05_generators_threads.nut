// Generators (yield/resume) and threads (newthread, call, suspend, wakeup, wakeupthrow).
function println(s) { print(s + "\n"); }
function err(f) { try { f(); return "no error"; } catch (e) { return "ERROR: " + e; } }

function range(from, to, step = 1) {
    for (local i = from; i < to; i += step)
        yield i;
    return "done";
}
local g = range(0, 3);
println(typeof g + " " + g.getstatus());
println(resume g);
println(g.getstatus());
println(resume g);
println(resume g);
println(resume g);
println(g.getstatus());
println(err(@() resume g));
println(err(@() resume 5));

// foreach over a generator: index and value; the return value is not produced
local line = "";
foreach (i, v in range(10, 20, 4)) line += i + "=" + v + " ";
println(line);

// the generator keeps its locals and arguments between resumes
function fib() {
    local a = 0, b = 1;
    while (true) {
        yield a;
        local t = a + b;
        a = b;
        b = t;
    }
}
local f = fib();
line = "";
for (local k = 0; k < 10; k++) line += (resume f) + " ";
println(line);

// closures made inside a generator see its variables as they change
function maker() {
    local x = 1;
    yield function() { return x; };
    x = 5;
    yield null;
}
local m = maker();
local getter = resume m;
println(getter());
resume m;
println(getter());

// errors inside a generator reach the resumer and kill it
function bad() { yield 1; throw "generator failed"; }
local bg = bad();
resume bg;
println(err(@() resume bg) + " " + bg.getstatus());

// a generator resuming itself
function selfish() { yield resume ::selfgen; }
::selfgen <- selfish();
println(err(@() resume ::selfgen));

// try/catch inside a generator across a yield
function guarded() {
    try {
        yield "in try";
        throw "inner";
    } catch (e) {
        yield "caught " + e;
    }
    yield "after";
}
line = "";
foreach (v in guarded()) line += v + "; ";
println(line);

// threads
function worker(a, b) {
    println("worker starts with " + a + "," + b);
    local got = suspend("first pause");
    println("worker got " + got);
    got = suspend("second pause");
    println("worker got " + got);
    return "worker result";
}
local th = newthread(worker);
println(typeof th + " " + th.getstatus());
println(th.call(1, 2));
println(th.getstatus());
println(th.wakeup("A"));
println(th.wakeup("B"));
println(th.getstatus());
println(err(@() th.wakeup()));

// wakeupthrow raises inside the thread
function catcher() {
    try { suspend("waiting"); } catch (e) { return "thread caught " + e; }
    return "not reached";
}
local ct = newthread(catcher);
println(ct.call());
println(ct.wakeupthrow("stop"));

function uncaught() { suspend(1); return 2; }
local ut = newthread(uncaught);
ut.call();
println(err(@() ut.wakeupthrow("boom")) + " " + ut.getstatus());

// an error in a thread propagates to the caller; the thread is idle again
local et = newthread(function() { throw "thread error"; });
println(err(@() et.call()) + " " + et.getstatus());
println(err(@() newthread(5)));

// a thread can be called again once it has finished
local again = newthread(@(x) x * 2);
println(again.call(4) + " " + again.call(5));

// suspending through a native call is refused
local deep = newthread(function() { local r = [1].map(function(v) { return suspend(v); }); return r; });
println(err(@() deep.call()));
