"""IIDC 1394 cameras from Python, with frames as numpy arrays.

>>> import iidc
>>> iidc.cameras()
[CameraInfo(index=0, vendor='Virtual Optics', model='VC-1280C', unique_id='0100000001'), ...]
>>> with iidc.Camera(0) as cam, cam.stream() as stream:
...     frame = next(stream)

The package drives the camera library (libiidc.so, iidc.dll) through its flat
C interface. It looks for the library at the path in the environment variable
IIDC_LIBRARY, then beside its own modules, then through the system's search.
Every failure raises :class:`Error`, which carries the library's error code.
"""

from .camera import CODINGS, RATES, Area, AreaLimits, Camera, CameraInfo, Format, Registers, cameras
from .errors import (ArgumentError, DeviceLostError, Error, FrameTimeoutError, LibraryNotFoundError,
                     NotSupportedError)
from .features import FEATURES, Feature, Features, Trigger
from .stream import Frame, Stream

__version__ = "0.1.0"

__all__ = [
    "cameras", "Camera", "CameraInfo", "Format", "Area", "AreaLimits", "Registers", "CODINGS", "RATES",
    "Features", "Feature", "Trigger", "FEATURES", "Stream", "Frame",
    "Error", "ArgumentError", "NotSupportedError", "FrameTimeoutError", "DeviceLostError", "LibraryNotFoundError",
]
