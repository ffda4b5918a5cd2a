"""Type stubs of the orvane module (a station's folder and its inspection programs)."""

import os
from typing import Any, List, NamedTuple, Optional, Tuple, Union

import numpy as np
import numpy.typing as npt

__version__: str

class Error(ValueError):
    """A folder, program or picture the station cannot use; ``code`` is None or a library code."""
    code: Optional[int]

class Dimension(NamedTuple):
    label: str
    value: Optional[float]
    u: Optional[float]
    unit: str
    nominal: Optional[float]
    tolerance: Optional[Tuple[float, float]]
    verdict: Optional[str]

class Pose(NamedTuple):
    x: float
    y: float
    angle_deg: float
    score: float
    u_x: float
    u_y: float
    u_angle_deg: float

class Inspection(NamedTuple):
    passed: bool
    found: bool
    pose: Optional[Pose]
    dimensions: List[Dimension]

class Calibration(NamedTuple):
    calibrated: bool
    per_pixel: float
    unit: str

class Station:
    """A station's working folder, only read."""
    def __init__(self, folder: Union[str, os.PathLike]) -> None: ...
    def programs(self) -> List[str]: ...
    def calibration(self) -> Calibration: ...
    def inspect(self, picture: Union[str, os.PathLike, npt.NDArray[np.uint8], Any], program: str) -> Inspection: ...
