// Integer and float arithmetic, overflow, conversions and their text.
function println(s) { print(s + "\n"); }
function show(label, v) { println(label + " -> " + v + " (" + typeof v + ")"); }
function err(f) { try { f(); return "no error"; } catch (e) { return "ERROR: " + e; } }

// integer text and literals
show("0x7fffffffffffffff", 0x7fffffffffffffff);
show("-9223372036854775807-1", -9223372036854775807-1);
show("077", 077);
show("08", 08);
show("'a'", 'a');
show("'\\n'", '\n');
show("'\\x41'", '\x41');
show("9223372036854775808", 9223372036854775808);
show("0xFFFFFFFFFFFFFFFF", 0xFFFFFFFFFFFFFFFF);

// float text: %g of the float32 value
local floats = [0.0, -0.0, 1.0, 0.5, 0.1, 0.1 + 0.2, 1.0 / 3, 2.0 / 3, 3.14159265358979, 100.0, 123456.0, 1234567.0,
                99999.99, 999999.9, 1e5, 1e6, 16777217.0, 1e10, 3.4e38, 1e39, 0.0001, 0.00001, 1e-7, 1e-45, 1e-46,
                1.0 / 0, -1.0 / 0, 1., 1.e2, 1.2.3];
local line = "";
foreach (f in floats) line += f + " ";
println(line);
println((9223372036854775807 + 0.0) + " " + (123456789.0 == 123456792.0));

// integer division truncates toward zero, the remainder has the dividend's sign
println((7 / 2) + " " + (-7 / 2) + " " + (7 / -2) + " " + (-7 / -2));
println((7 % 3) + " " + (-7 % 3) + " " + (7 % -3) + " " + (-7 % -3));
println(err(@() 1 / 0));
println(err(function() { local a = 5; return a % 0; }));
println(err(function() { local t = { x = 5 }; t.x %= 0; }));
println(err(function() { local a = 5; a /= 0; }));
println(err(@() (-9223372036854775807 - 1) / -1));
println((-9223372036854775807 - 1) % -1);

// floats
println((7.0 / 2) + " " + (-7.0 / 2) + " " + (7.0 % 3) + " " + (-7.5 % 2) + " " + (7 % 2.5));
println((1.0 / 0) + " " + (1 / 0.0) + " " + (1e30 * 1e30) + " " + (-1e30 * 1e30) + " " + (1.0e-45 / 2));

// mixing and overflow
show("1+1.0", 1 + 1.0);
show("3*0.5", 3 * 0.5);
show("10/4.0", 10 / 4.0);
show("2147483647+1", 2147483647 + 1);
show("max+1", 9223372036854775807 + 1);
show("max*2", 9223372036854775807 * 2);
show("min-1", (-9223372036854775807 - 1) - 1);
show("-min", -(-9223372036854775807 - 1));
show("big*big", 0x7fffffffffffffff * 0x7fffffffffffffff);
local inc = 9223372036854775807; inc++;
show("max++", inc);
println((16777216.0 + 1.0 == 16777216.0) + " " + (16777217 == 16777216.0) + " " + (16777217 > 16777216.0) + " " + (0.1 + 0.2 == 0.3));

// shifts and bitwise operators
println((1 << 62) + " " + (1 << 63) + " " + (-8 >> 1) + " " + (-8 >>> 1) + " " + (-1 >>> 63) + " " + (-1 >>> 0));
println((1 << 64) + " " + (1 << 65) + " " + (1 << -1) + " " + (1 >> 64) + " " + (1 >> 65) + " " + (-1 >> 64));
println((5 & 3) + " " + (5 | 3) + " " + (5 ^ 3) + " " + (~0) + " " + (~-1));
println(err(@() 1.5 << 1));
println(err(@() 1 & 1.5));
println(err(@() true & 1));
println(err(@() ~1.5));
println(err(@() ~null));

// unary operators and truth
println(err(@() -true) + " / " + err(@() -"a") + " / " + err(@() -[]));
println((!0) + " " + (!0.0) + " " + (!(-0.0)) + " " + (!null) + " " + (!false) + " " + (!1) + " " + (!"") + " " + (![]) + " " + (!(0.0 / 0)));
local fa = 1.5; fa++;
local sa = "s"; sa++;
println(fa + " " + sa);
println(err(function() { local a = null; a++; }));
local pa = 1; pa += 1.5;
local px = "x"; px += 1;
println(pa + " " + px);
println(err(function() { local t = {}; t.x++; }));
println((1 && 2) + " " + (0 && 2) + " " + (null || 3) + " " + (1 || 3) + " " + ("" && 5) + " " + (0.0 || "x") + " " + (null && 1) + " " + (false || null));

// arithmetic errors name both types
foreach (f in [@() 1 + null, @() null + 1, @() [] - 1, @() 1 - true, @() "a" - 1, @() "10" / 2, @() {} + {},
               @() "a" % 1, @() null % 1, @() (function(){}) + 1])
    println(err(f));

// conversions
println((1.9).tointeger() + " " + (-1.9).tointeger() + " " + (5).tofloat() + " " + true.tointeger() + " " + false.tofloat());
println((1e30).tointeger() + " " + (0.0 / 0).tointeger());
println((65).tochar() + " " + (300).tochar() + " " + (65.9).tochar() + " " + (0).tochar().len());
foreach (s in ["12", " 12", "12 ", "12abc", "3-", "1.5", "-0.5", "5.", "1e3", "0x10", "0xe", "12abc.5",
               "9223372036854775808", "1e19"])
    println("\"" + s + "\".tointeger() -> " + s.tointeger());
foreach (s in ["abc", "", "- 3", "e", "abc.5"])
    println(err(@() s.tointeger()));
println("ff".tointeger(16) + " " + "-ff".tointeger(16) + " " + "0x1f".tointeger(16) + " " + "12abc".tointeger(16) + " " +
        "1e3".tointeger(16) + " " + "1e3".tointeger(15) + " " + "1e3".tointeger(14) + " " + "1e3".tointeger(13) + " " +
        "12".tointeger(0) + " " + "0x1f".tointeger(0) + " " + "010".tointeger(0) + " " + "12".tointeger(1));
println(err(@() "ff".tointeger(10)) + " / " + err(@() "12".tointeger("x")));
println("1.5".tofloat() + " " + " 2.5".tofloat() + " " + ".5".tofloat() + " " + "-.5".tofloat() + " " + "1.5x".tofloat() + " " +
        "1e".tofloat() + " " + "0.".tofloat() + " " + "-0".tofloat() + " " + "0x1.8".tofloat() + " " + "1e400".tofloat());
foreach (s in ["inf", "nan", "e5", "."])
    println(err(@() s.tofloat()));
