// Loop forms and their edge cases (counted loops, conditions tested at the bottom).
function println(s) { print(s + "\n"); }
local s = "";
for (local i = 10; i > 0; i -= 3) s += i + " ";
println(s);
s = "";
for (local i = 0; i <= 3; i++) s += i;
for (local i = 3; i >= 1; i--) s += i;
println(s);
s = "";
for (local i = 0.5; i < 3; i++) s += i + " ";
for (local i = 0; i < 2.5; i++) s += "f" + i + " ";
println(s);
local n = 3;
s = "";
for (local i = 0; i < n; i += 1) { s += i; n = 5; }
println(s);
s = "";
for (local i = 9223372036854775805; i < 9223372036854775807; i++) s += i + " ";
println(s);
for (local i = 5; i < 3; i++) println("never");
s = "";
for (local i = 0; i < 10; i++) { if (i == 2) continue; if (i == 5) break; s += i; }
println(s);
s = "";
for (local i = 0, j = 10; i < j && j > 5; i++, j--) s += i + ":" + j + " ";
println(s);
local cnt = 0;
for (;;) if (++cnt == 4) break;
println(cnt);
for (local i = 0; false; i++) println("never");
local w = 0;
while (w < 3) w++;
while (false) println("never");
do w += 10; while (false);
println(w);
try {
    for (local i = "a"; i < 3; i++) {}
} catch (e) {
    println(e);
}
try {
    for (local i = 0; i < 3; i += "x") { s = "body ran once"; }
} catch (e) {
    println(s + ", then: " + e);
}
// the counter is a normal local: changing it in the body changes the loop
s = "";
for (local i = 0; i < 10; i++) { s += i; i += 2; }
println(s);
