# N times with the pass number: a running remainder over 300,000 passes of a counted block.
s = 0
for count in range(1, 300001):
    s = (s * 7 + count) % 1000003
print(s)
