"""Pictures of known geometry for the qgauge tests: each pixel the covered
share of its square (8 x 8 sub-samples), two grey levels, optional noise."""

import numpy as np


def coverage(h, w, inside, s=8):
    """Share of each pixel [i, i+1) x [j, j+1) where inside(x, y) holds."""
    xs = (np.arange(w * s) + 0.5) / s
    ys = (np.arange(h * s) + 0.5) / s
    x, y = np.meshgrid(xs, ys)
    return inside(x, y).reshape(h, s, w, s).mean(axis=(1, 3))


def picture(cover, low, high, noise=0.0, seed=1):
    rng = np.random.default_rng(seed)
    v = low + (high - low) * cover + noise * rng.standard_normal(cover.shape)
    return np.clip(np.rint(v), 0, 255).astype(np.uint8)


def edge(h, w, x0, y0, angle, low=80, high=180, noise=2.0):
    """Dark before, light after the line through (x0, y0) normal to angle."""
    c, s = np.cos(angle), np.sin(angle)
    return picture(coverage(h, w, lambda x, y: (x - x0) * c + (y - y0) * s > 0), low, high, noise)


def bar(h, w, x0, x1, low=60, high=200, noise=2.0):
    """A light vertical bar x0 <= x < x1 on dark."""
    return picture(coverage(h, w, lambda x, y: (x >= x0) & (x < x1)), low, high, noise)


def disc(h, w, cx, cy, r, inside=40, outside=210, noise=2.0):
    return picture(coverage(h, w, lambda x, y: np.hypot(x - cx, y - cy) < r), outside, inside, noise)


def plate(h, w, cx, cy, angle_deg, noise=2.0, seed=1):
    """A dark plate 120 x 80 with a round hole and a notch, centred on (cx, cy), turned."""
    a = np.radians(angle_deg)
    c, s = np.cos(a), np.sin(a)

    def inside(x, y):
        u = (x - cx) * c + (y - cy) * s
        v = -(x - cx) * s + (y - cy) * c
        body = (np.abs(u) < 60) & (np.abs(v) < 40)
        hole = np.hypot(u + 25, v) < 18
        notch = (np.abs(u - 20) < 8) & (v < -28)
        return body & ~hole & ~notch

    return picture(coverage(h, w, inside), 220, 40, noise, seed)


def write_pgm(path, image):
    h, w = image.shape
    with open(path, "wb") as f:
        f.write(b"P5 %d %d 255\n" % (w, h))
        f.write(np.ascontiguousarray(image).tobytes())
