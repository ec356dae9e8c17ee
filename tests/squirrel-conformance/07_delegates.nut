// Table delegates: lookup chains, metamethods, the default delegate, root fallback.
function println(s) { print(s + "\n"); }
function err(f) { try { f(); return "no error"; } catch (e) { return "ERROR: " + e; } }

local proto = { greet = function() { return "hello from " + name; }, shared = 1 };
local obj = { name = "obj" };
obj.setdelegate(proto);
println(obj.greet() + " " + obj.shared);
println(("shared" in obj) + " " + obj.rawin("shared") + " " + (obj.getdelegate() == proto));

// = writes into the delegate when only it has the slot; <- creates in the table
obj.shared = 2;
println(proto.shared + " " + obj.rawin("shared"));
obj.shared <- 3;
println(proto.shared + " " + obj.shared + " " + obj.rawin("shared"));

// two levels
local top = { level = "top" };
local mid = {};
mid.setdelegate(top);
local leaf = {};
leaf.setdelegate(mid);
println(leaf.level);
println(err(function() { top.setdelegate(leaf); }));
println(err(function() { local t = {}; t.setdelegate(t); }));

// metamethods in a delegate
local meta = {
    _get = function(k) { return "virtual " + k; },
    _set = function(k, v) { ::setlog.push(k + "=" + v); },
    _newslot = function(k, v) { ::setlog.push("new " + k); rawset(k, v * 10); },
    _delslot = function(k) { ::setlog.push("delete " + k); },
    _add = function(o) { return "added " + o; },
    _sub = function(o) { return "subtracted " + o; },
    _unm = function() { return "negated"; },
    _cmp = function(o) { return 0; },
    _call = function(self, a) { return "table called with " + a; },
    _tostring = function() { return "<special table>"; },
    _typeof = function() { return 12; },
    _cloned = function(orig) { ::setlog.push("cloned"); },
};
::setlog <- [];
local special = { real = 1 };
special.setdelegate(meta);
println(special.real + " " + special.anything);
special.anything = 5;
special.fresh <- 2;
println(special.fresh);
delete special.real;
println(special + 1);
println(special - 1);
println(-special);
println((special <= {}) + " " + (special <=> {}));
println(special("x"));
println(special + " " + special.tostring());
println(typeof typeof special + " " + (typeof special) + " " + type(special));
local copy = clone special;
println(copy.real + " " + (copy.getdelegate() == meta));
local line = "";
foreach (e in setlog) line += e + "; ";
println(line);

// _get that throws null means "missing"
local strict = {};
strict.setdelegate({ _get = function(k) { throw null; } });
println(err(@() strict.nothing));

// the default delegate is searched after the table and its delegates
local lenny = { x = 1, y = 2 };
println(lenny.len() + " " + lenny.keys().len());
local shadow = { len = @() "mine" };
println(shadow.len());

// names that are not locals are looked up in `this`, then in the root table
::rootvalue <- "from root";
local ctx = { local_value = "from this", function show() { return local_value + " / " + rootvalue; } };
println(ctx.show());
println(err(function() { return nowhere_defined; }));
println(err(function() { nowhere_defined = 1; }));

// at top level `this` is the root table, with the table delegate behind it
println(typeof this + " " + (this == getroottable()) + " " + (len() > 0));

// the table delegate
local t = { a = 1, b = 2, c = 3 };
println(t.rawget("a") + " " + t.rawset("d", 4).len() + " " + t.rawdelete("d") + " " + t.rawdelete("zz") + " " + t.rawin("a"));
println(err(@() t.rawget("zz")));
println(err(@() t.rawset(null, 1)));
local mapped = t.map(@(k, v) k + v);
mapped.sort();
println(mapped.len() + " " + mapped[0] + " " + mapped[2]);
local filtered = t.filter(@(k, v) v > 1);
println(filtered.len() + " " + ("a" in filtered));
println(t.clear().len());

// keys of every type are distinct
local keys = {};
keys[1] <- "int";
keys[1.0] <- "float";
keys[true] <- "bool";
keys["1"] <- "string";
keys[-0.0] <- "negative zero";
println(keys.len() + " " + keys[1] + " " + keys[1.0] + " " + keys[true] + " " + keys["1"] + " " + (0.0 in keys));
println(err(function() { keys[null] <- 1; }));
println(err(function() { keys[null] = 1; }));
println(err(@() keys[null]));
