#!/usr/bin/env python3
"""Decodes a BMP with Pillow and writes its pixels as raw RGB, top row first.

Usage: bmp_to_rgb.py IN.bmp OUT.rgb; prints "WIDTH HEIGHT MODE".
"""
import sys

from PIL import Image

with Image.open(sys.argv[1]) as image:
    image.load()
    print(image.width, image.height, image.mode)
    with open(sys.argv[2], "wb") as out:
        out.write(image.convert("RGB").tobytes())
