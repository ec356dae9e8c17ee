// String literals, escapes, verbatim strings, text conversion, the string delegate.
function println(s) { print(s + "\n"); }
function err(f) { try { f(); return "no error"; } catch (e) { return "ERROR: " + e; } }
function bytes(s) { local r = ""; foreach (b in s) r += (b & 0xFF) + " "; return r; }

println("tab[\t] quote[\"] apostrophe[\'] backslash[\\]");
println(bytes("\a\b\f\v\r\n\0"));
println(bytes("\x41\x4a2\x7"));
println("\u00e9".len() + " " + "\U0001F600".len() + " " + bytes("\u20AC"));
println(@"verbatim \n stays, ""quoted"" doubles");
println(@"spans
two lines".len());
println("" + 'x' + " " + '\'');

// embedded zero bytes are data
local z = "a\0b";
println(z.len() + " " + (z + "c").len() + " " + z[2]);

// concatenation converts the other operand, left to right
println(null + "a");
println(1.5 + "a");
println(1 + 2 + "a");
println("a" + 1 + 2);
println(true + "" + false);
println(("" + []).slice(0, 10) + " " + ("" + {}).slice(0, 10));

// indexing: bytes are signed, strings accept negative indexes from the end
println("abc"[1] + " " + "abc"[-1] + " " + "abc"[-3] + " " + "\xff"[0] + " " + "\xc3\xa9"[0]);
println(err(@() "abc"[3]) + " / " + err(@() "abc"[-4]) + " / " + err(@() ""[0]));
println(err(function() { local s = "abc"; s[0] = 65; }));
println((0 in "abc") + " " + (3 in "abc") + " " + ("a" in "abc"));

// comparison is byte-wise and stops at a zero byte
println(("a" < "b") + " " + ("ab" < "abc") + " " + ("a" < "B") + " " + ("Z" < "a") + " " + ("\xc3\xa9" > "z") + " " +
        ("a\0b" < "a\0c") + " " + ("a\0b" == "a\0c") + " " + ("b" <=> "abc") + " " + ("a" <=> "b"));

// the delegate
println("h\xc3\xa9llo".len());
local s = "abcdef";
println(s.slice(2) + " " + s.slice(2, 4) + " " + s.slice(-2) + " " + s.slice(-3, -1) + " " + s.slice(0, -1) + " [" +
        s.slice(6) + "] [" + s.slice(3, 3) + "] " + s.slice(1.5));
println(err(@() s.slice(7)) + " / " + err(@() s.slice(4, 2)) + " / " + err(@() s.slice(0, 7)) + " / " + err(@() s.slice(-7)));
println("hello".find("l") + " " + "hello".find("l", 3) + " " + "hello".find("") + " " + "hello".find("z") + " " +
        "hello".find("l", -1) + " " + "hello".find("l", 10) + " " + "hello".find("o", 5));
println("Hello World".tolower() + " " + "Hello World".toupper() + " " + "H\xc3\x89llo".tolower());
println("abc".tostring() + " " + typeof "abc".weakref() + " " + "abc".weakref().ref());
println(err(@() "abc".len(1)) + " / " + err(@() "abc".slice("a")) + " / " + err(@() "abc".find(1)));
foreach (name in ["split", "strip", "reverse"])
    println(err(@() "abc"[name]));
foreach (i, b in "h\xc3\xa9") println(i + "=" + b);

// __FILE__ and __LINE__
println(__FILE__ + ":" + __LINE__);
