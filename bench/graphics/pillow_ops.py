#!/usr/bin/env python3
"""Pillow counterparts of the benchmark scripts: load the picture, then one operation."""
import sys

from PIL import Image, ImageFilter

picture = Image.open(sys.argv[2]).convert("RGB")
operation = sys.argv[1]
if operation == "grey":
    picture = picture.convert("L").convert("RGB")
elif operation == "blur":
    picture = picture.filter(ImageFilter.BoxBlur(2))
elif operation == "rotate":
    picture = picture.rotate(-30, resample=Image.Resampling.NEAREST, expand=True,
                             fillcolor=(255, 255, 255))
print(operation, picture.size)
