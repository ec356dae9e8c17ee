// The regexp class: syntax, leftmost-first backtracking semantics, the search/match/capture/
// subexpcount methods, compile errors, and the bounds that keep any pattern from hanging.
function println(s) { print(s + "\n"); }
function err(f) { try { local r = f(); return r; } catch (e) { return "ERROR: " + e; } }
function spans(s, m) {
    if (m == null) return "null";
    local out = "";
    foreach (x in m) out += "[" + s.slice(x.begin, x.end) + "]";
    return out;
}
function show(p, s) {
    local r = regexp(p);
    return escape(p) + " on \"" + escape(s) + "\": " + escape(spans(s, r.capture(s))) + " match=" + r.match(s);
}

local r = regexp("a");
println(typeof r + " " + r.subexpcount() + " " + regexp("(o)(x)?").subexpcount() + " " + regexp("(?:a)(b)").subexpcount() +
        " " + (r instanceof regexp) + " " + r.tostring().slice(0, 13));

// search: absolute offsets, a start position, null when nothing is found
local m = regexp("o+").search("foo boo");
println(m.begin + " " + m.end + " " + regexp("o+").search("foo boo", 3).begin + " " + regexp("o+").search("foo boo", 7) +
        " " + regexp("o+").search("foo", -1) + " " + regexp("o+").search("foo", 4) + " " + regexp("x").search("foo"));
// `^` anchors at the start position
println(regexp("^o").search("foo", 1).begin + " " + regexp("^o").search("foo") + " " + regexp("^f").search("foo").end);
// captures: one span per group; a group that did not take part gives {begin=0,end=0}
local c = regexp("(a)|(b)").capture("xb");
println(c.len() + " " + c[0].begin + "," + c[0].end + " " + c[1].begin + "," + c[1].end + " " + c[2].begin + "," + c[2].end);
println(spans("tel 12-345", regexp("(\\d+)-(\\d+)").capture("tel 12-345", 5)) + " " + spans("tel 12-345", regexp("(\\d+)-(\\d+)").capture("tel 12-345", 4)));

// standard greedy/backtracking results, including the patterns where other engines differ
foreach (t in [["a.*b", "axxbyyb"], ["(.*),", "a,b,c"], ["(.*),(.*)", "a,b,c"], ["(.*),", ",b"], ["a+a", "aaa"],
               ["(\\d+)(\\d)", "1234"], ["(a*)(a*)", "aaa"], ["(a+)b*", "aaabb"], ["(a+)(b*)", "aaabb"], ["(a|ab)c", "abc"],
               ["(ab|a)c", "abc"], ["(a?)a", "a"], ["(a|b)*c", "ababc"], ["^\\s*(\\S+)\\s*$", "  word  "],
               ["^(\\d+)\\s+(\\d+)$", "12  34"], ["(\\w+)@(\\w+)\\.com", "joe@mail.com"], ["^(\\w+)=(\\w*)$", "key=value"],
               ["^(\\w+)=(\\w*)$", "key="], ["^([^:]+):(.*)$", "key:val:ue"], ["[0-9]+\\.[0-9]+", "v3.14x"],
               ["a.*?b", "axxbyyb"], ["(a+?)(a*)", "aaa"], ["a??b", "ab"], ["x{2,3}?", "xxxx"], ["(ab){2}", "ababab"],
               ["(ab){1,}", "abababc"], ["a{2,3}", "aaaa"], ["a{0}b", "ab"], ["(a*)*b", "aab"], ["(a*)+$", "b"], ["", "abc"],
               ["^", "abc"], ["$", "abc"], ["x*$", "abc"], ["a*", ""], ["a", ""], ["a^b", "a^b"], ["^a|^b", "b"], ["(^a|b)c", "bc"],
               ["a$b", "ab"]])
    println(show(t[0], t[1]));

// classes and escapes
foreach (t in [["\\d+", "ab123c"], ["\\D+", "12ab3"], ["\\w+", "  x_9!"], ["\\W+", "ab!? c"], ["\\s+", "a \t\n b"],
               ["\\S+", "  ab  "], ["\\a+", "12abC3"], ["\\A+", "ab12c"], ["\\l+", "ABcdE"], ["\\u+", "abCDe"], ["\\x+", "zz0fAg"],
               ["\\X+", "0fzzA"], ["\\p+", "ab,.!c"], ["\\c+", "a\t\x01b"], ["[abc]+", "xxcabx"], ["[^abc]+", "abxyzc"],
               ["[a-c]+", "xxabcabz"], ["[\\d_]+", "x1_2x"], ["[\\]]+", "a]]b"], ["[.]", "a.b"], ["[-a]+", "x-a-y"],
               ["[\\t-\\r]+", "a\t\n\rb"], ["[\\^x]+", "a^xb"], ["\\bfoo\\b", "afoo foo"], ["\\Boo", "foo oo"], ["\\q", "aqb"],
               ["\\.\\(\\\\", "a.(\\b"], ["\\t\\n", "a\t\nb"], ["\\m()", "x(a(b)c)y"], ["\\m<>", "<a<b>"], ["\\m\"\"", "a\"bc\"d"],
               ["\\mab", "xaab"], [".", "\n"], ["a.c", "a\0c"], ["b", "a\0b"], ["\xc3\xa9+", "\xc3\xa9\xc3\xa9"], ["[\x80-\xff]+", "a\xc3\xa9b"]])
    println(show(t[0], t[1]));

// compile errors
foreach (p in ["(", "(a", "[a", "a|", "|a", "a||b", "()", "\\", "[a-]", "[z-a]", "[\\d-z]", "[]a]", "[^]a]", "a{,2}", "a{2",
               "a{2,3", "a{x}", "a**", "a*+", "a+?+", "*a", "+", "?", "{2}", ")", "a)", "(?=a)", "(?", "a{3,2}", "a{10001}",
               "^*", "$+", "\\b*", "\\m(", "[a\\"])
    println(p + " -> " + err(@() typeof regexp(p)));
println(err(@() regexp()) + " / " + err(@() regexp(1)) + " / " + err(@() r.search(1)) + " / " + err(@() r.match()) + " / " +
        err(@() r.capture("a", "b")));

// instances without a compiled pattern, and clones
local bare = regexp.instance();
println(err(@() bare.match("a")) + " / " + err(@() bare.subexpcount()) + " / " + err(@() regexp.match.call({}, "a")));
local copy = clone regexp("(b+)");
println(spans("abbc", copy.capture("abbc")) + " " + copy.subexpcount() + " " + typeof copy);

// bounded work: exponential patterns either finish through remembered failures or stop with
// an error, never hang
local as = "";
for (local i = 0; i < 30; i++) as += "a";
println(regexp("(a+)+b").search(as + "c") + " " + regexp("(a|aa)*b").search(as) + " " + regexp("(a|a)*$").search(as).begin);
println(err(@() regexp("(a*)*b").search(as + "c")));
println(err(@() regexp("(a?){30}a{30}").match(as)));
local big = "ab";
for (local i = 0; i < 16; i++) big += big;
println(big.len() + " " + regexp("(ab)*$").capture(big)[1].begin + " " + regexp("[ab]*c").search(big) + " " +
        regexp("b\\w*c").search(big) + " " + regexp("(a|b)+$").search(big).begin);
local nested = "";
for (local i = 0; i < 60; i++) nested = "(" + nested + "a)";
println(regexp(nested).match("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa") + " " + regexp(nested).subexpcount());
println(err(@() regexp("((((((((((a{10}){10}){10}){10}){10}){10}){10}){10}){10}){10})")));
