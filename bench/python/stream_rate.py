#!/usr/bin/env python3
"""Frames per second from a free-running camera in 640 x 480 Mono8, taken in
Python through the iidc package beside the same loop in C
(bench_stream_rate), in turns within one run, and the ratio of the two.

    /usr/bin/python3 bench/python/stream_rate.py [--build build/test] [--seconds 3] [--rounds 3]
                                                 [--format 0:5]

Needs a build with benchmarks (scripts/test makes one). A frame costs Python
no copy, so the ratio shows what the package adds per frame; a small format
(--format 0:0, 160 x 120) makes frames come faster and the cost show more.
"""

import argparse
import os
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]


def python_rate(seconds: float, fmt: tuple[int, int]) -> tuple[float, float, int]:
    import iidc

    with iidc.Camera(0) as cam:
        cam.format = fmt
        with cam.stream(buffers=4) as stream:
            frames, start = 0, 0.0
            for frame in stream:
                sequence = int(frame.reshape(-1)[:4].view("<u4")[0])  # top row first
                now = time.monotonic()
                if frames == 0:
                    start, first = now, stream.delivered
                elif now - start >= seconds:
                    break
                frames += 1
            return frames / (now - start), (stream.delivered - first) / (now - start), sequence


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", type=Path, default=ROOT / "build" / "test")
    parser.add_argument("--seconds", type=float, default=3.0)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--format", default="0:5", help="FORMAT:MODE of the camera's Formats 0-2")
    args = parser.parse_args()
    fmt = tuple(int(n) for n in args.format.split(":"))
    os.environ["IIDC_VCAM_PROFILE"] = str(Path(__file__).with_name("free_running.json"))
    os.environ.setdefault("IIDC_LIBRARY", str(args.build.resolve() / "libiidc.so"))
    sys.path.insert(0, str(ROOT / "python"))
    program = args.build / "bench" / "python" / "bench_stream_rate"

    # Frames taken per second, and the share of the frames delivered meanwhile
    # (which stays comparable when a busy machine slows the camera down).
    results: dict[str, list[float]] = {"C": [], "Python": []}
    shares: dict[str, list[float]] = {"C": [], "Python": []}
    print(f"{'round':>5} {'side':>7} {'taken/s':>9} {'delivered/s':>12} {'share':>6}")
    for round_ in range(1, args.rounds + 1):
        c = subprocess.run([str(program), str(args.seconds), *map(str, fmt)], check=True, capture_output=True,
                           text=True)
        c_taken, c_delivered, _ = (float(x) for x in c.stdout.split())
        py_taken, py_delivered, _ = python_rate(args.seconds, fmt)
        for side, taken, delivered in (("C", c_taken, c_delivered), ("Python", py_taken, py_delivered)):
            results[side].append(taken)
            shares[side].append(taken / delivered)
            print(f"{round_:>5} {side:>7} {taken:>9.1f} {delivered:>12.1f} {taken / delivered:>6.0%}")
    c, py = (statistics.median(results[side]) for side in ("C", "Python"))
    c_share, py_share = (statistics.median(shares[side]) for side in ("C", "Python"))
    print(f"median: C {c:.1f}, Python {py:.1f} frames/s: Python reaches {py / c:.0%} of C "
          f"(shares of the delivered frames: C {c_share:.0%}, Python {py_share:.0%})")


if __name__ == "__main__":
    main()
