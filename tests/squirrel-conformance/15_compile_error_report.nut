// A compile error is reported with line and column; nothing runs.
// expect-exit: 254
// expect-stderr: 15_compile_error_report.nut line = (6) column = (12) : error expression expected
print("never\n");
local a = 1;
local x = ;
