// The io library: the standard streams, the file class with the stream methods, and the
// script loaders.
function println(s) { print(s + "\n"); }
function err(f) { try { local r = f(); return r; } catch (e) { return "ERROR: " + e; } }

println(typeof stdout + " " + typeof stdin + " " + typeof stderr + " " + typeof file + " " + (stdout instanceof file));
// print() and stdout share the C stream, so their output interleaves in order
print("A");
stdout.writen('B', 'c');
stdout.writen(0x0a43, 's');
stdout.flush();
println("after flush " + stdout.flush());

// A file of our own, named after a table address so parallel runs do not collide.
local id = "" + {};
id = id.slice(id.len() - 8);
local path = "/tmp/torvane_sq_io_" + id + ".bin";

local f = file(path, "wb+");
println(typeof f + " " + f.len() + " " + f.tell() + " " + f.eos());
f.writen(0x01020304, 'i');
f.writen(2.5, 'f');
local b = blob();
b.writen('x', 'c');
b.writen('y', 'c');
f.writeblob(b);
println(f.len() + " " + f.tell() + " " + f.seek(0) + " " + f.tell());
println(f.readn('i') + " " + f.readn('f') + " " + f.readn('c') + " " + f.readn('b'));
println(err(@() f.readn('b')) + " " + f.eos());
f.seek(1, 'b');
local rb = f.readblob(100);
println(typeof rb + " " + rb.len() + " " + rb[0] + " " + f.eos());
println(err(@() f.readblob(1)) + " / " + err(@() f.readn('z')) + " / " + err(@() f.seek(0, 'q')));
println(f.seek(-2, 'e') + " " + f.readn('b') + " " + f.seek(-1, 'c') + " " + f.readn('b'));
f.close();
f.close();
println(err(@() f.len()) + " / " + err(@() f.readn('b')));

// append mode and reading back
local g = file(path, "ab");
g.writen(0x7a, 'b');
g.close();
g = file(path, "rb");
println(g.len());
g.seek(-1, 'e');
println(g.readn('b'));
g.close();

println(err(@() file(path, "rw")) + " / " + err(@() file(path, "x")) + " / " + err(@() file(path, "")) + " / " +
        err(@() file(path, "r+b+")) + " / " + err(@() file("/nonexistent/dir/x", "r")) + " / " + err(@() file(1, "r")));

// loadfile and dofile
local src = file(path, "wb");
foreach (c in "local n = vargv.len(); return \"loaded \" + this.tag + \" \" + n;") src.writen(c, 'c');
src.close();
local fn = loadfile(path);
println(typeof fn + " " + fn.call({tag = "T"}, 1, 2));
tag <- "root";
println(dofile(path));
println(err(@() loadfile("/nonexistent/x.nut")) + " / " + err(@() dofile("/nonexistent/x.nut")));
src = file(path, "wb");
foreach (c in "local x = ;") src.writen(c, 'c');
src.close();
println(err(@() loadfile(path)) + " / " + err(@() dofile(path)));
src = file(path, "wb");
foreach (c in "throw \"from file\";") src.writen(c, 'c');
src.close();
println(err(@() dofile(path)));
println(err(@() writeclosuretofile(path, fn)));
remove(path);
println(err(@() file(path, "r")));
