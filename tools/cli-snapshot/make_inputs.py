#!/usr/bin/python3
# The fixed inputs of run.sh: photographs from scikit-image and small generated images
# (alpha, grey, an EXIF orientation).
import os, sys, numpy as np
from PIL import Image
from skimage import data
out = sys.argv[1]; os.makedirs(out, exist_ok=True)
Image.fromarray(data.astronaut()).save(f"{out}/astronaut.png")
Image.fromarray(data.chelsea()).save(f"{out}/chelsea.jpg", quality=92)
Image.fromarray(data.coffee()).resize((200,133)).save(f"{out}/coffee.png")
Image.fromarray(data.camera()).resize((96,96)).save(f"{out}/camera-gray.png")
a = np.zeros((80,120,4), np.uint8)
y, x = np.mgrid[0:80,0:120]
a[...,0] = x*2; a[...,1] = y*3; a[...,2] = 200
a[...,3] = np.clip(255 - ((x-60)**2 + (y-40)**2)//6, 0, 255)
Image.fromarray(a, 'RGBA').save(f"{out}/alpha.png")
im = Image.fromarray(data.chelsea()).resize((90,60))
exif = Image.Exif(); exif[0x0112] = 6
im.save(f"{out}/rotated.jpg", quality=90, exif=exif.tobytes())
