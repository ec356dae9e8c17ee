// format and printf: every conversion, flags, width and precision, and the checks that keep
// script-chosen formats away from undefined C behaviour.
function println(s) { print(s + "\n"); }
function err(f) { try { local r = f(); return r; } catch (e) { return "ERROR: " + e; } }

local cases = [
    ["%d", 1.9], ["%x", 1.5], ["%x", 255.9], ["%d", true], ["%i", -42], ["%d", -9223372036854775807-1],
    ["%u", -1], ["%x", -1], ["%X", 3054], ["%o", -1], ["%o", 8], ["%c", 321], ["%c", 65.5],
    ["%f", 1], ["%e", 1], ["%g", 1], ["%f", 0.1], ["%E", 12345.678], ["%G", 0.00001234], ["%g", 1e20], ["%g", 100000],
    ["%5s|", "ab"], ["%-5s|", "ab"], ["%.3s", "abcdef"], ["%5.2s|", "abc"], ["%10s|", "\xc3\xa9"], ["%s", "a\0b"],
    ["%05d", 3], ["%+d", 3], ["% d", 3], ["%-5d|", 3], ["%.3d", 7], ["%+05d", -3], ["%-05d|", 3], ["%- +d", 4],
    ["%#x", 255], ["%#X", 255], ["%#o", 8], ["%#x", 0], ["%#g", 1], ["%#.0f", 2], ["%#d", 5], ["%#5s|", "a"], ["%#c", 66],
    ["%010.4f", 3.14159], ["%10.4f", 3.14159], ["%08.3f", -3.14159], ["%+.1e", 12345.0], ["% .2f", 2],
    ["%.0f", 2.5], ["%.0f", 3.5], ["%.2f", 1.005], ["%.10g", 0.1], ["%f", 1e20], ["%.10f", 0.1], ["%.20g", 1.0 / 3],
    ["%f", 1.0 / 0], ["%f", -1.0 / 0], ["%5.1f|", -1.0 / 0], ["%f", 0.0 / 0], ["%f", -(0.0 / 0)], ["%e", 0],
    ["%05s|", "ab"], ["%+s", "ab"], ["%-3c|", 'x'], ["%3c|", 'x'], ["%03c|", 'x'], ["%.2c|", 'x'], ["%+u", 5], ["% x", 5],
    ["%0.0d", 0], ["%.0d|", 0], ["%.d|", 7], ["%5.d|", 0], ["%--5d|", 1], ["%00005d", 1], ["%99d", 1], ["%.99f", 1.0],
    ["%99.99f", 3.4e38], ["%-99.99e", -3.4e38], ["%+#99.99g", 1e-38], ["%#99.99o", -1], ["%99s|", "x"],
    ["100%%", 1], ["%%d", 1], ["a%sb%sc", "1"], ["%s=%d", "a"], ["", 1], ["plain", 2],
];
foreach (c in cases) {
    local args = [this].extend(c);
    local r = err(@() format.acall(args));
    if (typeof r == "string" && r.len() > 60) r = r.len() + " chars: " + r.slice(0, 12) + "..." + r.slice(r.len() - 12);
    println(c[0] + " -> " + r);
}
println(format("%s=%d", "a", 5) + " " + format("%d", 1, 2) + " " + format("%s%s%s", "x", "y", "z") + " " + format("%c", 0).len());
println(format("%d %s %5.1f %x %c|%-4s|", 42, "str", 2.25, 48879, 'Z', "ab"));

local errors = [
    ["%d", "x"], ["%d", null], ["%c", "x"], ["%d", "12"], ["%x", []],
    ["%s", 1], ["%s", null], ["%s", {}], ["%s", true], ["%s", 1.5],
    ["%f", "x"], ["%f", true], ["%e", null],
    ["%d"], ["%d %d", 1], ["%"], ["abc%"], ["%5%"], ["%s"],
    ["%z", 1], ["%5", 1], ["%ld", 3], ["%lld", 3], ["%hd", 1], ["%Lf", 1.0], ["%p", 3], ["%n", 3], ["%*d", 5, 3],
    ["%.*f", 2, 1.0], ["%a", 1.0], ["%q", "a"], ["%-", 1], ["%.", 1], ["%5%", 1], ["abc%", 1], ["%F", 1.0], ["%S", "a"],
    ["%100d", 1], ["%1000d", 1], ["%.100f", 1.0], ["%099d", 1], ["%.099f", 1.0],
];
foreach (c in errors) {
    local args = [this].extend(c);
    println(c[0] + " -> " + err(@() format.acall(args)));
}
println(err(@() format(5)) + " / " + err(@() format(1.5)) + " / " + err(@() format()));

// printf prints the formatted text without a newline and returns null
local r = printf("%s %d|", "printf", 7);
println(" " + r);
println(err(@() printf("%d", "x")) + " / " + err(@() printf(1)));
