// The blob library: construction, the stream methods, byte indexing, swaps, resize, and the
// bit-cast and byte-swap functions.
function println(s) { print(s + "\n"); }
function err(f) { try { local r = f(); return r; } catch (e) { return "ERROR: " + e; } }
function hex(b) {
    local s = "";
    foreach (v in b) s += format("%02x", v);
    return s;
}

// construction
local b = blob(4);
println(typeof b + " " + b.len() + " " + b.tell() + " " + hex(b) + " " + (b instanceof blob));
println(blob().len() + " " + blob(1.5).len() + " " + blob(0).len());
println(err(@() blob(-1)) + " / " + err(@() blob("abc")) + " / " + err(@() blob(1, 2)));
println(b.tostring().slice(0, 14) + " " + ("" + b).slice(0, 14));

// writen / readn for every format, little-endian, with truncation and conversion
foreach (f in ['c', 'b', 's', 'w', 'i', 'l', 'f', 'd']) {
    local x = blob();
    x.writen(-2, f);
    x.seek(0);
    println(f.tochar() + " " + x.len() + " " + hex(x) + " " + x.readn(f) + " " + x.eos());
}
local x = blob();
x.writen(1.5, 'f'); x.writen(1.5, 'd'); x.writen(300, 'c'); x.writen(300, 'b'); x.writen(70000, 's');
x.writen(70000, 'w'); x.writen(1.9, 'i'); x.writen(7, 'f'); x.writen(0x7fffffffffffffff, 'l');
println(hex(x));
x.seek(0);
local values = [];
foreach (f in ['f', 'd', 'c', 'b', 's', 'w', 'i', 'f', 'l']) values.push(x.readn(f));
foreach (v in values) print(v + ":" + typeof v + " ");
println("");
println(err(@() x.readn('i')) + " / " + err(@() x.readn('q')) + " / " + err(@() x.writen(1, 'z')) + " / " +
        err(@() x.writen("1", 'i')));
x.seek(-2, 'e');
println(err(@() x.readn('i')) + " " + x.tell());

// seek, tell, eos
local s = blob(10);
println(s.seek(4) + " " + s.tell() + " " + s.seek(2, 'c') + " " + s.tell() + " " + s.seek(-1, 'e') + " " + s.tell() + " " +
        s.seek(0, 'b') + " " + s.tell());
println(s.seek(11) + " " + s.tell() + " " + s.seek(-1) + " " + s.seek(10) + " " + s.eos() + " " + s.seek(0, 'e') +
        " " + s.seek(5, 'c') + " " + s.tell());
println(err(@() s.seek(0, 'x')) + " / " + err(@() s.seek("a")));
s.seek(3);
println(s.eos() + " " + typeof s.eos());

// byte indexing
local c = blob(3);
c[0] = 256 + 7; c[1] = -1; c[2] = 1.7;
println(c[0] + " " + c[1] + " " + c[2] + " " + c[1.9]);
println(err(@() c[3]) + " / " + err(@() c[-1]) + " / " + err(function() { c[3] = 1; }) + " / " +
        err(function() { c[-1] = 1; }));
println(err(@() c["x"]) + " / " + err(function() { c[0] = "a"; }) + " / " + err(function() { c.nope = 1; }) + " / " +
        err(@() c[null]));
foreach (i, v in c) print(i + "=" + v + " ");
println("");
foreach (v in blob()) println("never");
println(("len" in c) + " " + (c.len == c.len));

// readblob, writeblob
local d = blob();
foreach (v in [1, 2, 3, 4, 5]) d.writen(v, 'b');
d.seek(1);
local part = d.readblob(2);
println(typeof part + " " + hex(part) + " " + d.tell() + " " + hex(d.readblob(100)) + " " + d.eos());
println(err(@() d.readblob(1)) + " / " + err(function() { d.seek(0); return d.readblob(0); }));
local e = blob();
e.writen(9, 'b');
e.writeblob(part);
e.writeblob(blob());
println(hex(e) + " " + e.tell());
e.seek(0);
e.writeblob(e);
println(hex(e) + " " + e.tell() + " " + e.len());
println(err(@() e.writeblob("abc")) + " / " + err(@() e.writeblob(regexp("a"))));

// resize, swap2, swap4
local r = blob();
foreach (v in [1, 2, 3, 4, 5, 6]) r.writen(v, 'b');
r.seek(5);
r.resize(3);
println(hex(r) + " " + r.len() + " " + r.tell());
r.resize(8);
println(hex(r) + " " + r.len() + " " + r.tell());
println(err(@() r.resize(-1)) + " / " + err(@() r[4]));
local w = blob();
foreach (v in [1, 2, 3, 4, 5, 6, 7]) w.writen(v, 'b');
w.swap2();
println(hex(w));
w.swap4();
println(hex(w));
local t3 = blob();
foreach (v in [1, 2, 3]) t3.writen(v, 'b');
t3.swap2();
println(hex(t3) + " " + t3.flush());

// clone makes an independent copy with the same content and position
local o = blob();
o.writen(0x0102, 'w');
o.seek(1);
local k = clone o;
k[0] = 0xff;
println(hex(o) + " " + hex(k) + " " + k.tell() + " " + typeof k);

// an instance made without the constructor has no buffer: methods raise, nothing crashes
local bare = blob.instance();
println(err(@() bare.len()) + " / " + err(@() bare[0]) + " / " + err(@() bare.readn('b')));
println(err(@() blob.len.call(5)) + " / " + err(@() blob.len.call({})));

// a derived class
class Packet extends blob {
    constructor() { base.constructor(2); }
    function first() { return this[0]; }
}
local p = Packet();
p[0] = 42;
println(typeof p + " " + p.len() + " " + p.first() + " " + (p instanceof blob));

// the global functions
println(casti2f(0x3f800000) + " " + typeof casti2f(0x3f800000) + " " + casti2f(0x40490fdb) + " " + castf2i(1.0) + " " +
        castf2i(-2.0) + " " + castf2i(0) + " " + swapfloat(1.0) + " " + castf2i(casti2f(0x12345678)));
println(swap2(0x0102) + " " + swap2(0x12345) + " " + swap2(-1) + " " + swap4(0x01020304) + " " + swap4(-1) + " " +
        swap4(0x1122334455) + " " + swap2(1.9));
println(err(@() swap2("a")) + " / " + err(@() casti2f()) + " / " + err(@() swapfloat(null)));
