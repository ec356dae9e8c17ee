// The string library's text functions: strip, lstrip, rstrip, split, escape, startswith,
// endswith.
function println(s) { print(s + "\n"); }
function err(f) { try { local r = f(); return r; } catch (e) { return "ERROR: " + e; } }
function q(s) { return "[" + s + "]"; }
function list(a) {
    local s = a.len() + ":";
    foreach (x in a) s += q(x);
    return s;
}

println(q(strip("  a b  ")) + q(lstrip("  a b  ")) + q(rstrip("  a b  ")));
println(q(strip("\t\n a \r\n")) + q(strip("\v\fa\v\f")) + q(strip("   ")) + q(strip("")) + q(lstrip("x ")) + q(rstrip(" x")));
println(strip("\0 a \0").len() + " " + strip("\xa0a\xa0").len());
println(err(@() strip(1)) + " / " + err(@() strip()) + " / " + err(@() lstrip("a", "b")));

foreach (t in [["a,b,,c", ","], ["a,b;c", ",;"], ["a  b", " "], [",a,", ","], [",", ","], ["", ","], ["abc", "x"],
               ["a\0b,c", ","], ["a,b,", ","], [",,", ","], ["a", "a"], ["\xc3\xa9,\xc3\xa9", ","]])
    println(list(split(t[0], t[1])));
println(err(@() split("abc", "")) + " / " + err(@() split("abc", "\0")) + " / " + err(@() split(1, ",")) + " / " + err(@() split("a")));

println(escape("a\"b") + " " + escape("a'b") + " " + escape("\\") + " " + escape("a\nb\tc") + " " + escape("\r\a\b\f\v"));
println(escape("\n") + " " + escape("\x7f") + " " + escape("abcdef\xc3\xa9") + " " + escape("\xc3") + " " + escape("") +
        " " + escape("plain text 123 {}[]<>"));
local z = escape("a\0b");
println(z + " " + z.len());
println(compilestring("return \"" + escape("q\"\\\n\t\x01\xff'") + "\";")() == "q\"\\\n\t\x01\xff'");

println(startswith("hello", "he") + " " + startswith("hello", "") + " " + endswith("hello", "lo") + " " +
        endswith("hello", "") + " " + endswith("hello", "hello") + " " + startswith("hello", "hello"));
println(startswith("he", "hello") + " " + startswith("hello", "lo") + " " + endswith("lo", "hello") + " " +
        startswith("", "a") + " " + endswith("a\0b", "\0b") + " " + startswith("a\0b", "a\0c"));
println(err(@() startswith("a", 1)) + " / " + err(@() endswith("a")));
// these are globals, not string methods
println(err(@() "abc".strip()) + " / " + err(@() "a,b".split(",")));
