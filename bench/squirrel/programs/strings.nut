// String concatenation and formatting.
local total = 0;
for (local i = 0; i < 200000; i++) {
    local s = "item" + i + ":" + (i * 3);
    local f = format("%d-%s-%05d|%x", i, s, i % 1000, i);
    total += s.len() + f.len();
}
for (local round = 0; round < 20; round++) {
    local acc = "";
    for (local j = 0; j < 1000; j++) acc += "x" + j;
    total += acc.len();
}
return total;
