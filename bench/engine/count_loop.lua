-- N times with the pass number: a running remainder over 300,000 passes of a counted block.
local s = 0
for count = 1, 300000 do
  s = (s * 7 + count) % 1000003
end
print(s)
