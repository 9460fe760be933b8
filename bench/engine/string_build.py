# Grows one string by appending two pieces per step, 50,000 steps; prints its length.
s = ""
for i in range(1, 50001):
    s = s + "x" + str(i % 10)
print(len(s))
