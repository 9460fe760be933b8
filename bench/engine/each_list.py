# Builds a 100,000-line list (a 1,000-line block repeated), then walks it summing item * (index % 7).
block = ""
for i in range(1, 1001):
    block = block + str(i * i % 1009) + "\n"
text = ""
for _ in range(100):
    text = text + block
s = 0
for index, item in enumerate(text.splitlines(), 1):
    s = s + int(item) * (index % 7)
print(s)
