"""Type stubs of the qgauge module (sub-pixel calipers, fits, circle gauge, part locator)."""

from typing import Any, List, NamedTuple, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

__version__: str
interface_level: int

# An image: uint8, H x W (grey) or H x W x 3 / H x W x 4 (blue, green, red[, x]).
Image = Union[npt.NDArray[np.uint8], Any]
Point = Union[Tuple[float, float], Sequence[float]]
Points = Union[npt.ArrayLike, Sequence[Tuple[float, float]]]

class Error(ValueError):
    """A refused argument or a failed search; ``code`` is the library's QG_* code."""
    code: int

class Edge(NamedTuple):
    x: float
    y: float
    u: float
    contrast: float

class Pair(NamedTuple):
    width: float
    u_width: float
    first: Edge
    second: Edge

class Line(NamedTuple):
    x: float
    y: float
    angle: float
    u_angle: float
    u_offset: float
    rms: float

class Circle(NamedTuple):
    x: float
    y: float
    r: float
    u_x: float
    u_y: float
    u_r: float
    rms: float

class Pose(NamedTuple):
    x: float
    y: float
    angle_deg: float
    score: float
    u_x: float
    u_y: float
    u_angle_deg: float

def edges(image: Image, p0: Point, p1: Point, width: float = 5.0, polarity: str = "any",
          select: str = "all", *, sigma: float = 1.0, threshold: float = 20.0,
          noise: float = 0.0) -> List[Edge]: ...
def edge_pair(image: Image, p0: Point, p1: Point, width: float = 5.0, *, polarity: str = "any",
              select: str = "strongest", sigma: float = 1.0, threshold: float = 20.0,
              noise: float = 0.0) -> Optional[Pair]: ...
def fit_line(points: Points, *, robust: bool = True) -> Line: ...
def fit_circle(points: Points, *, robust: bool = True) -> Circle: ...
def circle_gauge(image: Image, centre: Point, radius: float, spokes: int = 64, length: float = 40.0,
                 width: float = 5.0, *, polarity: str = "any", select: str = "strongest",
                 sigma: float = 1.0, threshold: float = 20.0, noise: float = 0.0,
                 robust: bool = True) -> Optional[Circle]: ...

class PartModel:
    """A part taught from a region of a picture, found again at any position and turn."""
    def __init__(self, image: Image, region: Tuple[float, float, float, float], *,
                 max_points: int = 300, threshold: float = 0.0) -> None: ...
    def find(self, image: Image, min_score: float = 0.7, max_count: int = 1, *,
             angle_min: float = -180.0, angle_max: float = 180.0,
             reversed: bool = False) -> List[Pose]: ...
    def to_bytes(self) -> bytes: ...
    @staticmethod
    def from_bytes(data: bytes) -> "PartModel": ...
    @property
    def points(self) -> int: ...
    @property
    def size(self) -> Tuple[float, float]: ...
    @property
    def warnings(self) -> List[str]: ...
