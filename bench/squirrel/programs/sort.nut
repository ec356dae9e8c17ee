// Array sort with a comparator.
local seed = 12345, checksum = 0;
for (local round = 0; round < 4; round++) {
    local a = [];
    for (local i = 0; i < 50000; i++) {
        seed = (seed * 1103515245 + 12345) % 2147483648;
        a.push(seed % 100000);
    }
    a.sort(@(p, q) p <=> q);
    for (local i = 0; i < a.len(); i++) checksum = (checksum + a[i] * (i % 7 + 1)) % 1000000007;
}
return checksum;
