-- Method calls on class instances with field reads and writes.
local Vec = {}
Vec.__index = Vec
function Vec.new(a, b) return setmetatable({x = a, y = b}, Vec) end
function Vec:add(o) self.x = self.x + o.x; self.y = self.y + o.y; return self end
function Vec:dot(o) return self.x * o.x + self.y * o.y end
function Vec:reset() self.x = 1; self.y = 2 end
local v, w, s = Vec.new(1, 2), Vec.new(3, 4), 0
for i = 0, 2000000 - 1 do
  v:add(w)
  s = (s + v:dot(w)) % 1000003
  if v.x > 100000 then v:reset() end
end
return s
