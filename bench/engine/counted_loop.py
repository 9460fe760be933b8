# Counted loop with integer arithmetic: a running remainder over 300,000 steps.
s = 0
for i in range(1, 300001):
    s = (s * 31 + i * i % 7 + i) % 1000003
print(s)
