// Table insert, lookup and delete with sparse integer keys and string keys.
local names = [];
for (local i = 0; i < 2000; i++) names.push("key" + i);
local sum = 0;
for (local round = 0; round < 20; round++) {
    local t = {};
    for (local i = 0; i < 20000; i++) t[(i * 7919 + round) % 1000003] <- i;
    foreach (n in names) t[n] <- round;
    for (local i = 0; i < 20000; i++) sum += t[(i * 7919 + round) % 1000003];
    foreach (n in names) sum += t[n];
    for (local i = 0; i < 20000; i += 2) delete t[(i * 7919 + round) % 1000003];
    for (local i = 0; i < 2000; i += 3) delete t[names[i]];
    for (local i = 0; i < 20000; i++) if (((i * 7919 + round) % 1000003) in t) sum += 1;
    foreach (n in names) if (n in t) sum += 1;
}
return sum;
