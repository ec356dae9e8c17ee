-- String concatenation and formatting.
local total = 0
for i = 0, 200000 - 1 do
  local s = "item" .. i .. ":" .. (i * 3)
  local f = string.format("%d-%s-%05d|%x", i, s, i % 1000, i)
  total = total + #s + #f
end
for round = 0, 20 - 1 do
  local acc = ""
  for j = 0, 1000 - 1 do acc = acc .. "x" .. j end
  total = total + #acc
end
return total
