// Deep recursion fails with a script error, never a crash.
function println(s) { print(s + "\n"); }

function down(n) { return down(n + 1); }
try { down(0); } catch (e) { println("script recursion: " + e); }

// recursion through native calls
function viaCall(n) { return viaCall.call(this, n + 1); }
try { viaCall(0); } catch (e) { println("through call(): " + e); }

class Loop { function _get(k) { return this[k + "x"]; } }
try { Loop().a; } catch (e) { println("through _get: " + e); }

class Text { function _tostring() { return "" + this; } }
try { print("" + Text()); } catch (e) { println("through _tostring: " + e); }

function viaCompile(n) { return compilestring("return viaCompile(" + (n + 1) + ");")(); }
try { viaCompile(0); } catch (e) { println("through compilestring: " + e); }

function genRec() { yield resume genRec(); }
try { resume genRec(); } catch (e) { println("through resume: " + e); }

local sorter = null;
sorter = function(a, b) { [2, 1].sort(sorter); return a <=> b; };
try { [2, 1].sort(sorter); } catch (e) { println("through sort: " + e); }

// a deep but bounded recursion works, and the VM is usable afterwards
function depth(n) { return n == 0 ? 0 : 1 + depth(n - 1); }
println(depth(5000));
println(depth(10));

// long chains of objects are freed without recursing
local head = null;
for (local i = 0; i < 200000; i++) head = { next = head };
head = null;
local arr = [];
for (local i = 0; i < 100000; i++) arr = [arr];
arr = null;
println("freed");
