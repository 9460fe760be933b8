# A while-style loop: the condition is evaluated before each of 300,000 passes.
n = 0
s = 0
while n < 300000:
    n = n + 1
    s = (s + n * n) % 1000003
print(s)
