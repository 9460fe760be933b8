# Builds a 614,400-character text, replaces every "ab" with "xyz" 20 times over, prints the length.
t = "ab," + "cd,"
for _ in range(10):
    t = t + t
u = ""
for _ in range(100):
    u = u + t
for _ in range(20):
    v = u.replace("ab", "xyz")
    v = v.replace("xyz", "ab")
print(len(v.replace("ab", "xyz")))
