# Array element reads: fills a 10,000-element array, then sums 200,000 reads of a[j % 10000].
a = []
for i in range(0, 10000):
    a.append(i * i % 101)
s = 0
for j in range(1, 200001):
    s = s + a[j % 10000]
print(s)
