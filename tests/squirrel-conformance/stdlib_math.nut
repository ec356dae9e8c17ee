// The math library: every function, its argument checks, RAND_MAX, PI, and the generator.
function println(s) { print(s + "\n"); }
function err(f) { try { local r = f(); return r; } catch (e) { return "ERROR: " + e; } }
function show(v) { return v + ":" + typeof v; }

println(show(abs(-5)) + " " + show(abs(-5.5)) + " " + show(abs(7)) + " " + show(abs(0.9)) + " " + abs(-5000000000) + " " +
        abs(-9223372036854775807-1));
println(show(fabs(-2)) + " " + show(sqrt(4)) + " " + show(floor(5)) + " " + show(pow(2, 10)));
println(floor(2.7) + " " + floor(-2.7) + " " + ceil(2.1) + " " + ceil(-2.1) + " " + typeof ceil(2));
println(pow(0, 0) + " " + pow(2, -1) + " " + exp(1) + " " + log(10) + " " + log10(1000) + " " + exp(0) + " " + pow(2, 0.5));
println(log(0) + " " + log(-1) + " " + sqrt(-1) + " " + acos(2) + " " + (1.0 / 0) + " " + exp(1000));
println(atan2(1, 1) + " " + atan2(0, -1) + " " + asin(1) + " " + acos(0) + " " + atan(1) + " " + sin(0) + " " + cos(0) + " " +
        tan(0) + " " + sin(PI / 2) + " " + cos(PI));
println(show(PI) + " " + (PI == 3.1415927) + " " + show(RAND_MAX));
println(err(@() sqrt("x")) + " / " + err(@() abs(null)) + " / " + err(@() pow(1)) + " / " + err(@() sin()) + " / " +
        err(@() atan2(1, "a")) + " / " + err(@() floor(1, 2)));

// rand: the C library's sequence, the same on every run
println(rand() + " " + rand() + " " + rand());
srand(1);
println(rand() + " " + rand());
srand(0);
println(rand() + " " + rand());
srand(42);
println(rand() + " " + rand());
srand(1.5);
println(rand());
srand(4294967297);
println(rand());
println(err(@() rand(5)) + " / " + err(@() srand("x")) + " / " + err(@() srand()));
local inRange = true;
for (local i = 0; i < 1000; i++) {
    local r = rand();
    if (r < 0 || r > RAND_MAX || typeof r != "integer") inRange = false;
}
println(inRange);
