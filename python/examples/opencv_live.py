#!/usr/bin/env python3
"""Shows a camera's live picture in an OpenCV window until q or Esc (needs
OpenCV for Python: python3-opencv).

    python3 opencv_live.py [--camera 0]
"""

import argparse
import sys

try:
    import cv2  # type: ignore[import]
except ImportError:
    sys.exit("opencv_live.py needs OpenCV for Python: apt-get install python3-opencv")

import iidc


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--camera", type=int, default=0)
    args = parser.parse_args()

    title = f"iidc camera {args.camera} (q: quit)"
    with iidc.Camera(args.camera) as cam, cam.stream(buffers=4) as stream:
        for frame in stream:
            cv2.imshow(title, frame.to_bgr())  # OpenCV's own order: blue, green, red
            if cv2.waitKey(1) & 0xFF in (ord("q"), 27):
                break
    cv2.destroyAllWindows()


if __name__ == "__main__":
    main()
