-- Grows one string by appending two pieces per step, 50,000 steps; prints its length.
local s = ""
for i = 1, 50000 do
  s = s .. "x" .. (i % 10)
end
print(#s)
