// The system library: clocks, dates (UTC, so the output does not depend on the machine's
// zone), the environment, and file removal and renaming.
function println(s) { print(s + "\n"); }
function err(f) { try { local r = f(); return r; } catch (e) { return "ERROR: " + e; } }
function showdate(d) {
    return d.year + "-" + d.month + "-" + d.day + " " + d.hour + ":" + d.min + ":" + d.sec + " wday " + d.wday + " yday " + d.yday;
}

local c = clock();
println(typeof c + " " + (c >= 0) + " " + typeof time() + " " + (time() > 1700000000));
local spin = 0;
for (local i = 0; i < 100000; i++) spin += i;
println(clock() >= c);

println(showdate(date(0, 'u')));
println(showdate(date(86400 * 59, 'u')));
println(showdate(date(1709208000, 'u')));
println(showdate(date(-1, 'u')));
println(date(1.5, 'u').sec + " " + date(951782400, 'u').day + " " + date(951782400, 'u').month);
local keys = [];
foreach (k, v in date()) keys.push(k + ":" + typeof v);
keys.sort();
foreach (k in keys) print(k + " ");
println("");
local now = date(time(), 'u');
println(now.year >= 2024);
println(date(0, 'x').year >= 1969);
println(err(@() date("x")) + " / " + err(@() date(0, "u")) + " / " + err(@() date(9223372036854775807, 'u')));

println(typeof getenv("PATH") + " " + getenv("TORVANE_SURELY_UNSET_VARIABLE") + " " + err(@() getenv(1)));
println(typeof system + " " + err(@() system(5)));

local id = "" + {};
local path = "/tmp/torvane_sq_sys_" + id.slice(id.len() - 8);
local f = file(path, "w");
f.close();
rename(path, path + ".moved");
println(err(@() file(path, "r")) + " / " + typeof file(path + ".moved", "r"));
remove(path + ".moved");
println(err(@() remove(path + ".moved")) + " / " + err(@() rename(path, path + ".x")) + " / " + err(@() remove(1)));
