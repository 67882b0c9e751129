#!/usr/bin/env python3
"""Grabs frames from a camera into PNG files (needs Pillow: python3-pil).

    python3 grab_png.py [--camera 0] [--count 5] [--output frames]
"""

import argparse
from pathlib import Path

from PIL import Image  # type: ignore[import]

import iidc


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
            Image.fromarray(frame.to_bgr()[..., ::-1]).save(path)  # red, green, blue
            print(f"{path}: {stream.width}x{stream.height} {stream.coding}")


if __name__ == "__main__":
    main()
