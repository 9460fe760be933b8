-- Builds a 614,400-character text, replaces every "ab" with "xyz" 20 times over, prints the length.
local t = "ab," .. "cd,"
for _ = 1, 10 do t = t .. t end
local u = ""
for _ = 1, 100 do u = u .. t end
local v
for _ = 1, 20 do
  v = u:gsub("ab", "xyz")
  v = v:gsub("xyz", "ab")
end
print(#(v:gsub("ab", "xyz")))
