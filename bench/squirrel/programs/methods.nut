// Method calls on class instances with field reads and writes.
class Vec {
    x = 0;
    y = 0;
    constructor(a, b) { x = a; y = b; }
    function add(o) { x += o.x; y += o.y; return this; }
    function dot(o) { return x * o.x + y * o.y; }
    function reset() { x = 1; y = 2; }
}
local v = Vec(1, 2), w = Vec(3, 4), s = 0;
for (local i = 0; i < 2000000; i++) {
    v.add(w);
    s = (s + v.dot(w)) % 1000003;
    if (v.x > 100000) v.reset();
}
return s;
