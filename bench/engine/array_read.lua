-- Array element reads: fills a 10,000-element array, then sums 200,000 reads of a[j % 10000].
local a = {}
for i = 0, 9999 do
  a[i] = i * i % 101
end
local s = 0
for j = 1, 200000 do
  s = s + a[j % 10000]
end
print(s)
