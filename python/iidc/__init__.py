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

from .bayer import FILTERS, METHODS
from .camera import CODINGS, RATES, Area, AreaLimits, Camera, CameraInfo, Format, FormatChoice, cameras
from .constants import Coding, ErrorCode, FeatureCap, FeatureId, FeatureState, State
from .errors import (ArgumentError, DeviceLostError, Error, FeatureNotFoundError, FrameOverwrittenError,
                     FrameTimeoutError, LibraryNotFoundError, NotSupportedError)
from .features import FEATURES, Control, Feature, Features, Trigger
from .registers import Registers
from .stream import Frame, Stream

__version__ = "0.2.0"

__all__ = [
    "cameras", "Camera", "CameraInfo", "Format", "FormatChoice", "Area", "AreaLimits", "Registers", "CODINGS",
    "RATES", "FILTERS", "METHODS", "Features", "Control", "Feature", "Trigger", "FEATURES", "Stream", "Frame",
    "ErrorCode", "State", "Coding", "FeatureId", "FeatureCap", "FeatureState",
    "Error", "ArgumentError", "NotSupportedError", "FeatureNotFoundError", "FrameTimeoutError",
    "FrameOverwrittenError", "DeviceLostError", "LibraryNotFoundError",
]
