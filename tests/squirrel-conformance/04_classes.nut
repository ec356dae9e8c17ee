// Classes: inheritance, constructors, base calls, statics, attributes, every metamethod.
function println(s) { print(s + "\n"); }
function err(f) { try { f(); return "no error"; } catch (e) { return "ERROR: " + e; } }

class Vec {
    x = 0;
    y = 0;
    static count = 0;
    constructor(ax, ay) { x = ax; y = ay; }
    function _add(o) { return Vec(x + o.x, y + o.y); }
    function _sub(o) { return Vec(x - o.x, y - o.y); }
    function _mul(k) { return Vec(x * k, y * k); }
    function _div(k) { return Vec(x / k, y / k); }
    function _modulo(k) { return Vec(x % k, y % k); }
    function _unm() { return Vec(-x, -y); }
    function _cmp(o) { local a = x * x + y * y, b = o.x * o.x + o.y * o.y; return a <=> b; }
    function _tostring() { return "(" + x + "," + y + ")"; }
    function _typeof() { return "Vec"; }
    function len() { return sqrtish(x * x + y * y); }
    function sqrtish(n) { local r = 0; while ((r + 1) * (r + 1) <= n) r++; return r; }
}

local a = Vec(1, 2), b = Vec(3, 4);
println(a + b);
println(b - a);
println(a * 3);
println(Vec(9, 8) / 2);
println(Vec(9, 8) % 4);
println(-a);
println((a < b) + " " + (b > a) + " " + (a <= a) + " " + (a <=> b) + " " + (a == Vec(1, 2)));
println(typeof a + " " + type(a) + " " + b.len() + " " + a.tostring());
println("text: " + a);
println(err(@() 1 + a));
println(Vec.count + " " + a.count);

// inheritance, base calls and overriding
class Animal {
    name = null;
    sound = "...";
    constructor(n) { name = n; }
    function speak() { return name + " says " + sound; }
    function kind() { return "animal"; }
}
class Dog extends Animal {
    sound = "woof";
    tricks = null;
    constructor(n) { base.constructor(n); tricks = []; }
    function kind() { return "dog, an " + base.kind(); }
    function learn(t) { tricks.push(t); return this; }
}
local d = Dog("rex");
println(d.speak() + " / " + d.kind());
println(d.learn("sit").learn("roll").tricks.len());
println((d instanceof Dog) + " " + (d instanceof Animal) + " " + (Animal("x") instanceof Dog) + " " + (1 instanceof Dog));
println(err(@() 1 instanceof 1));
println((Dog.getbase() == Animal) + " " + (Animal.getbase() == null) + " " + (d.getclass() == Dog));

// member defaults are shared objects; instances get their own slots
class Holder { list = [1]; n = 0; }
local h1 = Holder(), h2 = Holder();
h1.list.push(2);
h1.n = 5;
println(h2.list.len() + " " + h2.n);

// constructor arguments
class NoCtor { v = 1; }
println(NoCtor(1, 2, 3).v);
class OneArg { constructor(a) { } }
println(err(@() OneArg()) + " / " + err(@() OneArg(1, 2)));
class Ret { constructor() { return 5; } }
println(typeof Ret());

// _get, _set, _call, _nexti, _cloned
class Bag {
    data = null;
    constructor() { data = {}; }
    function _get(k) { if (k in data) return data[k]; throw null; }
    function _set(k, v) { data[k] <- v; }
    function _call(self, a, b) { return "called with " + a + "," + b; }
    function _nexti(prev) {
        local keys = data.keys(); keys.sort();
        if (prev == null) return keys.len() ? keys[0] : null;
        local i = keys.find(prev);
        return i + 1 < keys.len() ? keys[i + 1] : null;
    }
    function _cloned(orig) { data = clone orig.data; data.cloned <- true; }
}
local bag = Bag();
bag.apple = 1;
bag.pear = 2;
println(bag.apple + bag.pear);
println(err(@() bag.missing));
println(bag(10, 20));
foreach (k, v in bag) println(k + " => " + v);
local bag2 = clone bag;
println(("cloned" in bag2.data) + " " + ("cloned" in bag.data));

// attributes
class Attr </ role = "test" /> {
    </ tag = "attr", weight = 3 />
    m = 3;
    function f() {}
}
println(Attr.getattributes(null).role + " " + Attr.getattributes("m").tag + " " + Attr.getattributes("m").weight + " " +
        Attr.getattributes("f"));
println(err(@() Attr.getattributes("nope")));

// _inherited and _newmember
class Sealed { function _inherited(attributes) { throw "sealed"; } }
println(err(function() { class Sub extends Sealed {} }));
class Watched {
    function _newmember(key, value, attributes, isstatic) {
        ::log.push(key + (isstatic ? " static" : ""));
        this.rawnewmember(key, value, attributes, isstatic);
    }
}
::log <- [];
class Child extends Watched { a = 1; static b = 2; function c() {} }
println(log.len() + " " + log[0] + "," + log[1] + "," + log[2] + " " + Child().a);

// errors of classes and instances
println(err(@() Vec(1, 2).z));
println(err(function() { Vec(1, 2).z = 1; }));
println(err(function() { Vec(1, 2).z <- 1; }));
println(err(function() { delete Vec(1, 2).x; }));
println(err(function() { delete Vec.x; }));
println(err(function() { Vec.newslot <- 1; }));
println(err(function() { Vec.x = 5; }));
println(err(function() { class X extends 5 {} }));
println(err(function() { Vec(1,2).setdelegate({}); }));
println(err(function() { Vec(1, 2).rawset("zz", 1); }));
class Fresh {}
Fresh.added <- 10;
Fresh.rawset("q", 1);
local fresh = Fresh();
Fresh.rawset("q", 2);
println(fresh.added + " " + Fresh.q + " " + ("q" in fresh) + " " + ("added" in Fresh) + " " + Fresh.rawin("q"));

// method called on the class sees the class as this
class Stat { v = 11; function get() { return this.v; } }
println(Stat.get());

// iterating a class body
class Iter { a = 1; function f() {} static s = 2; }
local names = [];
foreach (k, v in Iter) names.push(k);
names.sort();
local line = "";
foreach (n in names) line += n + " ";
println(line);

// instance() makes an instance without running the constructor
class Counted { n = 1; constructor() { n = 100; } }
println(Counted.instance().n + " " + Counted().n);
