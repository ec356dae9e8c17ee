// Table iteration order (deterministic for insert-only tables of integer and string keys),
// consistency under insert/delete churn, and deleting while iterating.
function println(s) { print(s + "\n"); }
local function order(keys) { local t = {}; foreach (k in keys) t[k] <- 1; local s = ""; foreach (k, v in t) s += k + " "; print(s + "\n"); }
order(["a","b","c","d","e","f","g","h"]);
order(["h","g","f","e","d","c","b","a"]);
order(["a","b","c","d","e","f","g","h","i"]);
order(["name","age","city"]);
order(["alpha","beta","gamma","delta","epsilon"]);
order([100,3,57,-1,1024,7]);
order([33,1,17]);
order([1,17,33]);
order([9,8,7,6,5,4,3,2,1,0]);
local t = {};
local ref = {};
local seed = 12345;
function rnd() { seed = (seed * 1103515245 + 12345) & 0x7fffffff; return seed; }
for (local i = 0; i < 200000; i++) {
  local k = rnd() % 500;
  if (rnd() % 3 == 0) { if (k in t) delete t[k]; }
  else t[k] <- i;
}
local n = 0; foreach (k, v in t) { n++; if (t[k] != v) print("mismatch\n"); }
println(n + " " + t.len());
// delete all while iterating
local all = {};
for (local i = 0; i < 1000; i++) all["k" + i] <- i;
foreach (k, v in all) delete all[k];
println(all.len());
// slots added while iterating may or may not be visited; the loop ends
local growing = { a = 1, b = 2, c = 3 };
local steps = 0;
foreach (k, v in growing) { if (steps++ < 20) growing[k + "x"] <- v; }
println(growing.len() >= 6);
// keys and values follow the iteration order
local kv = { one = 1, two = 2, three = 3 };
local keys = kv.keys(), values = kv.values();
local same = true;
foreach (i, k in keys) same = same && kv[k] == values[i];
println(keys.len() + " " + same);
