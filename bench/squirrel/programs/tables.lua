-- Table insert, lookup and delete with sparse integer keys and string keys.
local names = {}
for i = 0, 2000 - 1 do names[#names + 1] = "key" .. i end
local sum = 0
for round = 0, 20 - 1 do
  local t = {}
  for i = 0, 20000 - 1 do t[(i * 7919 + round) % 1000003] = i end
  for _, n in ipairs(names) do t[n] = round end
  for i = 0, 20000 - 1 do sum = sum + t[(i * 7919 + round) % 1000003] end
  for _, n in ipairs(names) do sum = sum + t[n] end
  for i = 0, 20000 - 1, 2 do t[(i * 7919 + round) % 1000003] = nil end
  for i = 0, 2000 - 1, 3 do t[names[i + 1]] = nil end
  for i = 0, 20000 - 1 do if t[(i * 7919 + round) % 1000003] ~= nil then sum = sum + 1 end end
  for _, n in ipairs(names) do if t[n] ~= nil then sum = sum + 1 end end
end
return sum
