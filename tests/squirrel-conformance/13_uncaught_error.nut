// An uncaught error: the output so far, then the report with the call stack on stderr.
// expect-exit: 1
// expect-stderr: AN ERROR HAS OCCURRED [the index 'missing' does not exist]
// expect-stderr: *FUNCTION [inner()] 13_uncaught_error.nut line [11]
// expect-stderr: *FUNCTION [outer()] 13_uncaught_error.nut line [13]
// expect-stderr: *FUNCTION [main()] 13_uncaught_error.nut line [15]
// expect-stderr: [depth] 3
print("before\n");
local t = {};
function inner(depth) {
    return t.missing;
}
function outer() { return inner(3); }
try { outer(); } catch (e) { print("caught once: " + e + "\n"); }
outer();
print("not reached\n");
