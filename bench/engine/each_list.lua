-- Builds a 100,000-line list (a 1,000-line block repeated), then walks it summing item * (index % 7).
local block = ""
for i = 1, 1000 do
  block = block .. (i * i % 1009) .. "\n"
end
local text = ""
for _ = 1, 100 do
  text = text .. block
end
local s, index = 0, 0
for item in text:gmatch("[^\n]+") do
  index = index + 1
  s = s + tonumber(item) * (index % 7)
end
print(s)
