-- Counted loop with integer arithmetic: a running remainder over 300,000 steps.
local s = 0
for i = 1, 300000 do
  s = (s * 31 + i * i % 7 + i) % 1000003
end
print(s)
