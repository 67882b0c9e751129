#!/usr/bin/env python3
"""Shows a camera's live picture in an OpenCV window until q or Esc (needs
OpenCV for Python: python3-opencv).

    python3 opencv_live.py [--camera 0]
"""

import argparse
import sys

try:
    import cv2
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
            if stream.coding == "RGB8":
                image = cv2.cvtColor(frame, cv2.COLOR_RGB2BGR)
            else:
                image = frame.to_bgr()  # the library's converter: YUV, Mono8, Mono16
            cv2.imshow(title, image)
            if cv2.waitKey(1) & 0xFF in (ord("q"), 27):
                break
    cv2.destroyAllWindows()


if __name__ == "__main__":
    main()
