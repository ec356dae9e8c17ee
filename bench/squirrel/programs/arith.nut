// Integer and float arithmetic in a loop. The float part converges (factor 0.999), so the
// 32-bit and 64-bit float sums agree within a small tolerance.
local a = 1, b = 0, c = 0, x = 0.0, y = 1.0;
for (local i = 0; i < 3000000; i++) {
    a = (a * 31 + i) & 0xFFFFFF;
    b = b ^ (a >> 3);
    c = (c + a % 7 + i / 3) % 1000003;
    x = x * 0.999 + (i % 10) * 0.25;
    y = y * 0.5 + 1.0;
}
return (b % 1000 + c % 1000) + x + y;
