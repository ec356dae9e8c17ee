-- Array sort with a comparator.
local seed, checksum = 12345, 0
for round = 0, 4 - 1 do
  local a = {}
  for i = 0, 50000 - 1 do
    seed = (seed * 1103515245 + 12345) % 2147483648
    a[#a + 1] = seed % 100000
  end
  table.sort(a, function(p, q) return p < q end)
  for i = 0, #a - 1 do checksum = (checksum + a[i + 1] * (i % 7 + 1)) % 1000000007 end
end
return checksum
