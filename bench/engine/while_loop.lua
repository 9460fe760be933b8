-- A while-style loop: the condition is evaluated before each of 300,000 passes.
local n = 0
local s = 0
while n < 300000 do
  n = n + 1
  s = (s + n * n) % 1000003
end
print(s)
