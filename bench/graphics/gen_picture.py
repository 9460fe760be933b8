#!/usr/bin/env python3
"""Writes the benchmark picture: a 4000 x 3000 PNG of smooth gradients and noise."""
import random
import sys

from PIL import Image

width, height = 4000, 3000
random.seed(7)
noise = bytes(random.getrandbits(8) for _ in range(width * height))
red = Image.linear_gradient("L").resize((width, height))
green = Image.linear_gradient("L").rotate(90).resize((width, height))
blue = Image.frombytes("L", (width, height), noise)
Image.merge("RGB", (red, green, blue)).save(sys.argv[1])
