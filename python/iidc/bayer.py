"""Bayer cameras: the colour filter a stream is seen through, and colour from
its mosaic, both through the Bayer helper library (libiidc_bayer), which
holds the same decision and demosaicing as the iidc tool and the GStreamer
source.

The filter is found in this order: the override, the COLOR_FILTER_ID
register of a Format 7 mode in Raw8 or Raw16, the vendor register
BAYER_TILE_MAPPING, otherwise none (a grey camera). Only Mono8, Mono16, Raw8
and Raw16 frames can carry one. An override names the sensor's filter at its
top-left pixel, as the registers do; the frame's own filter follows from the
Format 7 area's position.
"""

from __future__ import annotations

import sys
from typing import Any

import numpy as np

from . import _native as N
from .constants import ErrorCode
from .errors import ArgumentError, Error, LibraryNotFoundError
from .registers import Device

#: Filters by number, the colours of the top-left 2x2 tile row by row.
FILTERS = ("RGGB", "GBRG", "GRBG", "BGGR")
#: Demosaicing methods: nearest neighbour, bilinear, and gradient-corrected
#: linear interpolation (the best picture; the default).
METHODS = ("nearest", "bilinear", "hq")


def filter_number(name: str | None) -> int:
    """The number of a filter name (either case), -1 for None."""
    if name is None:
        return -1
    if not isinstance(name, str) or name.upper() not in FILTERS:
        raise ArgumentError(f"a colour filter is one of {', '.join(FILTERS)} or None, not {name!r}",
                            ErrorCode.INVALID_PARAMETER)
    return FILTERS.index(name.upper())


def image_filter(camera: Device, fid: int, color: int, left: int, top: int, override: str | None) -> int | None:
    """The filter of the frames of format id fid in coding color, whose
    top-left pixel lies at (left, top) on the sensor; None for grey ones.
    Without the helper library only an override needs it: frames are grey."""
    wanted = filter_number(override)
    h, library = camera.handle(), N.lib()
    try:
        helper = N.bayer()
    except LibraryNotFoundError:
        if wanted >= 0:
            raise
        return None

    def read(_context: Any, offset: int, value: Any) -> int:
        return 1 if library.iidc1394_asyncreadquadlet(h, offset, value, 4) == 4 else 0

    found = helper.ibayer_filter(N.READ_FUNCTION(read), None, fid, color, wanted, left, top, None)
    return None if found < 0 else int(found)


def demosaic(mosaic: np.ndarray[Any, np.dtype[Any]], filter: int, method: str) -> np.ndarray[Any, np.dtype[Any]]:
    """The colour image (height x width x 3, blue, green, red) of a mosaic
    whose top-left pixel has the filter given: uint8 for 8-bit samples,
    uint16 for 16-bit ones."""
    if not isinstance(method, str) or method not in METHODS:
        raise ArgumentError(f"a demosaicing method is one of {', '.join(METHODS)}, not {method!r}",
                            ErrorCode.INVALID_PARAMETER)
    source = np.ascontiguousarray(mosaic)
    height, width = source.shape
    wide = source.dtype.itemsize == 2
    image = np.empty((height, width, 3), np.uint16 if wide else np.uint8)
    arguments = (source.ctypes.data, source.nbytes, source.strides[0])
    target = (image.ctypes.data, image.nbytes, image.strides[0], width, height, filter, METHODS.index(method), 0)
    helper = N.bayer()
    if wide:
        order = source.dtype.byteorder
        little = order == "<" or (order == "=" and sys.byteorder == "little")
        done = helper.ibayer_demosaic16(*arguments, int(little), *target)
    else:
        done = helper.ibayer_demosaic8(*arguments, *target)
    if not done:
        raise Error(f"a {width}x{height} mosaic could not be demosaiced", ErrorCode.INVALID_PARAMETER)
    return image


