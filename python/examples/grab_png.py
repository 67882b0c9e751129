#!/usr/bin/env python3
"""Grabs frames from a camera into PNG files (needs Pillow: python3-pil).

    python3 grab_png.py [--camera 0] [--count 5] [--output frames]
"""

import argparse
from pathlib import Path

import numpy as np
from PIL import Image

import iidc


def rgb(frame: iidc.Frame, coding: str) -> np.ndarray:
    """A frame as 8-bit red, green, blue: the library converts all but RGB."""
    if coding == "RGB8":
        return frame
    if coding == "RGB16":
        return (frame >> 8).astype(np.uint8)
    return frame.to_bgr()[..., ::-1]


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--camera", type=int, default=0)
    parser.add_argument("--count", type=int, default=5)
    parser.add_argument("--output", type=Path, default=Path("frames"))
    args = parser.parse_args()
    args.output.mkdir(parents=True, exist_ok=True)

    with iidc.Camera(args.camera) as cam, cam.stream(buffers=4) as stream:
        for number, frame in zip(range(args.count), stream):
            path = args.output / f"frame{number:03d}.png"
            Image.fromarray(rgb(frame, stream.coding)).save(path)
            print(f"{path}: {stream.width}x{stream.height} {stream.coding}")


if __name__ == "__main__":
    main()
