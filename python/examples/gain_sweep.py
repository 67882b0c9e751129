#!/usr/bin/env python3
"""Sweeps a camera's gain over its range and plots the picture's mean
brightness against it into an image (needs matplotlib: python3-matplotlib).

    python3 gain_sweep.py [--camera 0] [--steps 12] [--output gain_sweep.png]

The virtual cameras draw a test pattern that gain does not change, so their
line is flat; a real camera's rises until the picture saturates.
"""

import argparse

import matplotlib  # type: ignore[import]

matplotlib.use("Agg")  # draws into a file, no display needed
import matplotlib.pyplot as plt  # type: ignore[import]  # noqa: E402
import numpy as np  # noqa: E402

import iidc  # noqa: E402


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--camera", type=int, default=0)
    parser.add_argument("--steps", type=int, default=12)
    parser.add_argument("--output", default="gain_sweep.png")
    args = parser.parse_args()

    with iidc.Camera(args.camera) as cam:
        gain = cam.features["gain"]
        if gain.absolute:
            gain.absolute = False  # the sweep goes in the camera's units
        low, high = gain.range
        settings = np.unique(np.linspace(low, high, args.steps).round().astype(int))
        means = []
        with cam.stream(buffers=4) as stream:
            for setting in settings:
                gain.value = int(setting)
                for _ in range(3):  # frames exposed before the change may still come
                    frame = next(stream)
                means.append(float(frame.to_bgr().mean()))
                print(f"gain {setting}: mean {means[-1]:.1f}")

    plt.plot(settings, means, marker="o")
    plt.xlabel(f"gain (camera units, {low} to {high})")
    plt.ylabel("mean brightness (0-255)")
    plt.title("Mean brightness against gain")
    plt.grid(True)
    plt.tight_layout()
    plt.savefig(args.output, dpi=100)
    print(f"plot: {args.output}")


if __name__ == "__main__":
    main()
