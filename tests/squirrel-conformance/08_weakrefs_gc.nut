// Weak references, immediate release by reference counting, and the cycle collector.
function println(s) { print(s + "\n"); }

// the last reference going away frees the object at once
local t = { name = "table" };
local w = t.weakref();
println(typeof w + " " + typeof w.ref() + " " + w.ref().name);
t = null;
println(w.ref());

local arr = [1, 2, 3];
local wa = arr.weakref();
arr = [];
println(wa.ref());

class Obj { id = 0; constructor(i) { id = i; } }
local o = Obj(1);
local wo = o.weakref();
local alias = o;
o = null;
println(wo.ref().id);
alias = null;
println(wo.ref());

// a function's locals die when it returns
local escaped = null;
function scope() {
    local inner = { v = 1 };
    escaped = inner.weakref();
    return escaped.ref() != null;
}
println(scope() + " " + escaped.ref());

// a weak reference stored in a slot reads as its target (or null once dead)
local holder = { x = null };
local target = [42];
holder.x = target.weakref();
println(typeof holder.x + " " + holder.x[0]);
target = null;
println(holder.x);
local list = [];
local item = {};
list.push(item.weakref());
println(typeof list[0]);
item = null;
println(list[0]);

// weak references to values are the values themselves
println(typeof (5).weakref() + " " + typeof (3.5).weakref() + " " + typeof true.weakref() + " " + typeof "abc".weakref());

// reference cycles survive until the collector runs
local a = {}, b = {};
a.other <- b;
b.other <- a;
local wa2 = a.weakref(), wb2 = b.weakref();
a = null;
b = null;
println((wa2.ref() != null) + " " + (wb2.ref() != null));
println(collectgarbage() > 0);
println(wa2.ref() + " " + wb2.ref());
println(collectgarbage());

local selfarr = [];
selfarr.push(selfarr);
local ws = selfarr.weakref();
selfarr = null;
println(ws.ref() != null);
collectgarbage();
println(ws.ref());

// an instance referring to itself and a closure capturing its own table
class Node { next = null; }
local n = Node();
n.next = n;
local wn = n.weakref();
n = null;
// (the closure captures the variable: the cycle forms once the function has returned)
function closureCycle() { local tc = {}; tc.f <- function() { return tc; }; return tc.weakref(); }
local wtc = closureCycle();
println((wn.ref() != null) + " " + (wtc.ref() != null));
collectgarbage();
println(wn.ref() + " " + wtc.ref());

// resurrectunreachable returns the garbage instead of freeing it
println(resurrectunreachable());
local cyc = {};
cyc.me <- cyc;
cyc = null;
local back = resurrectunreachable();
println(typeof back + " " + back.len() + " " + (back[0].me == back[0]));
back[0].me = null;
back = null;
println(collectgarbage());

// objects reachable from live values are kept
local keep = {};
keep.self <- keep;
local wk = keep.weakref();
collectgarbage();
println(wk.ref() == keep);

// bindenv keeps only a weak reference to its environment
println((function() { try { return x; } catch (e) { return e; } }).bindenv({ x = 5 })());
local envt = { x = 5 };
local bound = (function() { return x; }).bindenv(envt);
println(bound());
