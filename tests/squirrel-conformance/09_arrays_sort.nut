// Arrays: the default delegate, foreach while modifying, sorting with the exact heap order.
function println(s) { print(s + "\n"); }
function err(f) { try { f(); return "no error"; } catch (e) { return "ERROR: " + e; } }
function show(a) {
    local s = "[";
    foreach (i, v in a) s += (i ? "," : "") + (typeof v == "string" ? "\"" + v + "\"" : v);
    return s + "]";
}

local a = [1, 2, 3];
println(show(a.slice(1)) + show(a.slice(-1)) + show(a.slice(0, -1)) + show(a.slice(1, 1)) + show(a.slice(3)) + show(a.slice(-3)));
println(err(@() a.slice(2, 1)) + " / " + err(@() a.slice(0, 4)) + " / " + err(@() a.slice(-4)));
println(a.find(2) + " " + a.find(5) + " " + [1.0].find(1) + " " + [null].find(null));
println(show(a.push(4)) + " " + show(a.append(5)) + " " + a.pop() + " " + a.top() + " " + a.len());
println(show(a.insert(0, 0)) + " " + show(a.insert(a.len(), 9)) + " " + a.remove(0) + " " + show(a));
println(show([1, 2, 3].resize(5)) + show([1, 2, 3].resize(5, 0)) + show([1, 2, 3].resize(1)));
println(err(@() [1, 2, 3].resize(-1)) + " / " + err(@() array(-1)) + " / " + err(@() array("a")));
println(show(array(3)) + show(array(2, 7)) + show(array(1.5)));
println(show([1, 2, 3].reverse()) + show([1, 2].extend([3, 4])) + show([1, 2].clear()));
println(err(@() [].push()) + " / " + err(@() [].push(1, 2)));
println(show([1, 2, 3].map(@(v) v * 2)) + show([1, 2, 3].map(@(v, i) v + i)) + show([1, 2, 3].map(@(v, i, arr) arr.len())));
println(err(@() [1].map(@() 1)) + " / " + err(@() [1].map(@(a, b, c, d) 1)));
println(show([1, 2, 3].apply(@(v) v * v)) + " " + show([1, 2, 3, 4].filter(@(i, v) v % 2 == 0)));
println(err(@() [1].filter(@(v) v)));
local add = @(acc, v) acc + v;
println([1, 2, 3].reduce(add) + " " + [1, 2, 3].reduce(add, 10) + " " + [].reduce(add) + " " + [5].reduce(add));
local orig = [1, [2]];
local copy = clone orig;
copy[1].push(3);
copy[0] = 9;
println(show(orig[1]) + " " + orig[0]);
println((1 in [5, 6]) + " " + (2 in [5, 6]) + " " + (-1 in [5, 6]) + " " + ("0" in [5]));
println([1, 2][1.0] + " " + [1, 2][1.5]);
println(err(@() [1, 2][2]) + " / " + err(@() [1, 2][-1]));
println(err(function() { local x = [1]; x[1] = 2; }) + " / " + err(function() { local x = [1]; x["x"] = 2; }) + " / " +
        err(function() { local x = [1]; x.y <- 1; }) + " / " + err(function() { local x = [1]; x[null] = 1; }));
println(err(function() { delete [1][0]; }));

// foreach re-reads the length on every step
local grow = [1, 2, 3];
local visited = "";
foreach (i, v in grow) {
    visited += v + " ";
    if (v < 3) grow.push(v + 10);
}
println(visited);
local shrink = [1, 2, 3, 4];
visited = "";
foreach (v in shrink) { visited += v + " "; shrink.pop(); }
println(visited);
local removing = [1, 2, 3];
visited = "";
foreach (i, v in removing) { visited += i + "=" + v + " "; removing.remove(0); }
println(visited);

// sort: <=> ordering, comparators, errors
println(show([3, null, 1].sort()) + show(["b", "a", "C"].sort()) + show([3, 1.5, 2].sort()));
println(show([5, 3, 8, 1].sort(@(a, b) b <=> a)));
println(show([1, 2, 3, 4, 5].sort(@(a, b) 0)));
println(show([1, 2, 3, 4, 5].sort(@(a, b) a > b)));
println(show([3, 1, 2].sort(@(a, b) (a - b) * 0.5)));
local recs = [];
for (local i = 0; i < 20; i++) recs.push({ idx = i, k = i % 3 });
recs.sort(@(a, b) a.k <=> b.k);
local order = "";
foreach (r in recs) order += r.idx + " ";
println(order);
println(err(@() [1, "a"].sort()));
println(err(@() [2, 1].sort(@(a, b) "x")));
println(err(@() [2, 1].sort(@(a, b) null)));
println(err(@() [1, 2, 3].sort(@(a, b) a == b ? -1 : a <=> b)));
local victim = [3, 2, 1];
println(err(@() victim.sort(function(a, b) { victim.push(0); return a <=> b; })));
local unchanged = [3, 1, 2];
println(err(@() unchanged.sort(function(a, b) { throw "stop"; })) + " " + show(unchanged));
println(err(@() [2, 1].sort(@(a) 0)));
