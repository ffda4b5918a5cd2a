"""The qgauge module against the gauge library called from C, against
pictures of known geometry, and on bad input, threads and its own docs."""

import ast
import math
import os
import pickle
import subprocess
import threading
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import numpy as np
import pytest

import qgauge
import render

POLARITY = {"any": 0, "dark_to_light": 1, "light_to_dark": 2}
SELECT = {"first": 0, "last": 1, "strongest": 2, "all": 3}

EDGE = render.edge(120, 260, 130.3, 60.2, 0.1)
BAR = render.bar(60, 120, 50.4, 61.9)
DISC = render.disc(200, 200, 100.3, 99.6, 50.2)
STRIPES = render.picture(render.coverage(40, 200, lambda x, y: (x - 0.3) % 6 < 3), 50, 200, 2.0)
PLATE = render.plate(240, 300, 150, 120, 0)
PLATE_MOVED = render.plate(240, 300, 171.4, 131.7, 25, seed=2)
PLATE_BOX = (80.0, 70.0, 220.0, 170.0)  # centred on the plate's centre (150, 120)


def reference(*args, stdin=None):
    """Numbers printed by the C helper: the library's own results."""
    tool = os.environ.get("QGAUGE_REFERENCE")
    if not tool:
        pytest.skip("QGAUGE_REFERENCE (the C helper) not set: run through ctest")
    out = subprocess.run([tool, *map(str, args)], input=stdin, capture_output=True, text=True, check=True)
    return out.stdout.split("\n")


def numbers(line):
    return [float(v) for v in line.split()]


def segment(cx, cy, length, angle):
    """The caliper's end points for the library's rectangle (centre, length, angle)."""
    dx, dy = length / 2 * math.cos(angle), length / 2 * math.sin(angle)
    return (cx - dx, cy - dy), (cx + dx, cy + dy)


def flat(result):
    """Every number of a result (named tuples nested), in field order."""
    if result is None:
        return []
    if isinstance(result, (tuple, list)):
        return [v for field in result for v in flat(field)]
    return [result]


CALIPER_CASES = [
    # name, picture, (cx, cy, length, width, angle), polarity, select, pair?
    ("edge-all", EDGE, (130, 60, 200, 20, 0.0), "any", "all", False),
    ("edge-oblique-strongest", EDGE, (130, 60, 200, 20, 0.1), "any", "strongest", False),
    ("edge-backwards", EDGE, (130, 60, 120, 9, math.pi + 0.1), "light_to_dark", "first", False),
    ("bar-edges", BAR, (60, 30, 100, 15, 0.0), "any", "all", False),
    ("bar-last-falling", BAR, (60, 30, 100, 15, 0.0), "light_to_dark", "last", False),
    ("bar-pair", BAR, (60, 30, 100, 15, 0.0), "dark_to_light", "strongest", True),
    ("bar-pair-oblique", BAR, (60, 30, 80, 7, -0.05), "any", "first", True),
    ("stripes-all", STRIPES, (100, 20, 180, 9, 0.0), "any", "all", False),  # more edges than the first call holds
    ("edge-no-pair", EDGE, (130, 60, 200, 20, 0.0), "any", "strongest", True),
]


@pytest.mark.parametrize("name,image,rect,polarity,select,pair", CALIPER_CASES, ids=[c[0] for c in CALIPER_CASES])
def test_calipers_match_the_library(tmp_path, name, image, rect, polarity, select, pair):
    render.write_pgm(tmp_path / "p.pgm", image)
    cx, cy, length, width, angle = rect
    p0, p1 = segment(cx, cy, length, angle)
    line = numbers(reference("pair" if pair else "caliper", tmp_path / "p.pgm", *rect,
                             POLARITY[polarity], SELECT[select])[0])
    if pair:
        got = qgauge.edge_pair(image, p0, p1, width, polarity=polarity, select=select)
        assert (got is None) == (line[0] == 1)  # QG_NOT_FOUND
        expected = line[1:]
    else:
        got = qgauge.edges(image, p0, p1, width, polarity, select)
        assert len(got) == int(line[1])
        expected = line[2:]
    assert flat(got) == pytest.approx(expected, rel=1e-9, abs=1e-9)


def test_circle_gauge_and_fits_match_the_library(tmp_path):
    render.write_pgm(tmp_path / "d.pgm", DISC)
    expected = numbers(reference("circle", tmp_path / "d.pgm", 101, 99, 49, 48, 30, 7)[0])
    got = qgauge.circle_gauge(DISC, (101, 99), 49, spokes=48, length=30, width=7)
    assert expected[0] == 0 and flat(got) == pytest.approx(expected[1:], rel=1e-12)

    rng = np.random.default_rng(3)
    t = np.linspace(0, 2 * np.pi, 40, endpoint=False)
    ring = np.c_[20 + 7 * np.cos(t), -3 + 7 * np.sin(t)] + rng.normal(0, 0.05, (40, 2))
    ring[5] += 3  # an outlier the robust fit sets aside
    line = np.c_[np.arange(30.0), 0.3 * np.arange(30.0) + rng.normal(0, 0.1, 30)]
    line[7, 1] += 5
    text = {name: "\n".join(f"{x!r} {y!r}" for x, y in pts) for name, pts in (("ring", ring), ("line", line))}
    for robust in (0, 1):
        want = numbers(reference("circlefit", robust, stdin=text["ring"])[0])
        assert flat(qgauge.fit_circle(ring, robust=bool(robust))) == pytest.approx(want[1:], rel=1e-12)
        want = numbers(reference("line", robust, stdin=text["line"])[0])
        # A list of tuples is the same points as the array.
        got = qgauge.fit_line([tuple(p) for p in line], robust=bool(robust))
        assert flat(got) == pytest.approx(want[1:], rel=1e-12)


def test_part_locator_matches_the_library(tmp_path):
    render.write_pgm(tmp_path / "t.pgm", PLATE)
    render.write_pgm(tmp_path / "s.pgm", PLATE_MOVED)
    lines = reference("part", tmp_path / "t.pgm", *PLATE_BOX, tmp_path / "s.pgm", 0.6, 3)
    found = numbers(lines[0])
    model = qgauge.PartModel(PLATE, PLATE_BOX)
    poses = model.find(PLATE_MOVED, min_score=0.6, max_count=3)
    assert found[0] == 0 and len(poses) == int(found[1])
    assert flat(poses) == pytest.approx(found[2:], rel=1e-12)
    assert model.to_bytes() == bytes.fromhex(lines[1])


def test_known_geometry():
    """The pixel convention: (i, j) covers [i, i+1) x [j, j+1), no half-pixel shift."""
    e = qgauge.edges(EDGE, (30, 60.2), (230, 60.2), 20, select="strongest")
    # The edge line x = 130.3 - (y - 60.2) tan(0.1) crosses the axis y = 60.2 at 130.3.
    assert len(e) == 1 and abs(e[0].x - 130.3) < max(3 * e[0].u, 0.03) and e[0].contrast > 90
    p = qgauge.edge_pair(BAR, (10, 30), (110, 30), 15)
    assert abs(p.width - 11.5) < 0.03 and abs(p.first.x - 50.4) < 0.03 and abs(p.second.x - 61.9) < 0.03
    c = qgauge.circle_gauge(DISC, (101, 99), 49)
    assert abs(c.x - 100.3) < 0.03 and abs(c.y - 99.6) < 0.03 and abs(c.r - 50.2) < 0.03
    assert all(0 < u < 0.05 for u in (c.u_x, c.u_y, c.u_r))
    pose = qgauge.PartModel(PLATE, PLATE_BOX).find(PLATE_MOVED)[0]
    assert abs(pose.x - 171.4) < 0.05 and abs(pose.y - 131.7) < 0.05 and abs(pose.angle_deg - 25) < 0.05
    assert pose.score > 0.9


def test_every_layout_reads_the_same_pixels():
    """Grey, B,G,R and B,G,R,x, a crop's row stride and H x W x 1 are the same picture."""
    grey = DISC
    bgr = np.zeros(grey.shape + (3,), np.uint8)
    bgr[..., 2] = grey
    bgrx = np.dstack([np.full_like(grey, 7), np.full_like(grey, 9), grey, np.full_like(grey, 255)])
    wide = np.zeros((grey.shape[0], grey.shape[1] + 37), np.uint8)
    wide[:, 11:11 + grey.shape[1]] = grey
    want = qgauge.circle_gauge(grey, (101, 99), 49)
    for image in (bgr, bgrx, wide[:, 11:11 + grey.shape[1]], grey[..., None], memoryview(grey)):
        assert qgauge.circle_gauge(image, (101, 99), 49) == want
    # Only the red byte counts: a circle drawn in blue is not seen.
    blue = np.zeros_like(bgr)
    blue[..., 0] = grey
    assert qgauge.circle_gauge(blue, (101, 99), 49) is None
    # A crop is measured in its own coordinates.
    # A crop is read in place and measured in its own coordinates (the library's
    # sampling phase moves the result within its uncertainty).
    crop = grey[25:195, 20:190]
    got = qgauge.circle_gauge(crop, (81, 74), 49)
    assert got == qgauge.circle_gauge(np.ascontiguousarray(crop), (81, 74), 49)
    assert abs(got.x - (want.x - 20)) < 3 * want.u_x and abs(got.y - (want.y - 25)) < 3 * want.u_y


class Word(str):
    pass


def test_every_way_of_passing_edges_arguments_gives_the_same_result():
    """Plain calls are parsed apart from the rest: every spelling of the same
    call gives the same edges, and every malformed one the same refusal."""
    want = qgauge.edges(EDGE, (30, 60.2), (230, 60.2), 20, "any", "strongest")
    assert len(want) == 1
    same = [
        lambda: qgauge.edges(EDGE, [30, 60.2], [230.0, 60.2], 20.0, select="strongest"),
        lambda: qgauge.edges(EDGE, (30, 60.2), (230, 60.2), width=20, select="strongest", polarity="any"),
        lambda: qgauge.edges(image=EDGE, p1=(230, 60.2), p0=(30, 60.2), select="strongest", width=20, sigma=1,
                             threshold=20, noise=0),
        lambda: qgauge.edges(EDGE, np.array([30, 60.2]), (230, 60.2), np.float64(20), Word("any"), "strongest"),
        lambda: qgauge.edges(EDGE, (np.float32(30), 60.2), (230, 60.2), 20, select=Word("strongest")),
        lambda: qgauge.edges(memoryview(EDGE), (30, 60.2), (230, 60.2), 20, select="strongest"),
    ]
    for i, call in enumerate(same):
        assert call() == want, i
    # The defaults are the same on both ways (a numpy point goes the general way).
    defaults = qgauge.edges(EDGE, np.array([30, 60.2]), (230, 60.2))
    assert len(defaults) >= 1 and qgauge.edges(EDGE, (30, 60.2), (230, 60.2)) == defaults
    refused = [
        (lambda: qgauge.edges(), TypeError),
        (lambda: qgauge.edges(p0=(30, 60), p1=(230, 60)), TypeError),
        (lambda: qgauge.edges(EDGE, (30, 60), (230, 60), 20, "any", "all", 1.0), TypeError),
        (lambda: qgauge.edges(EDGE, (30, 60), (230, 60), width=20, widht=20), TypeError),
        (lambda: qgauge.edges(EDGE, (30, 60), (230, 60), 20, width=20), TypeError),
        (lambda: qgauge.edges(EDGE, (30, 60, 1), (230, 60)), TypeError),
        (lambda: qgauge.edges(EDGE, (30, "60"), (230, 60)), TypeError),
        (lambda: qgauge.edges(EDGE, (30, 60), (230, 60), 10 ** 400), TypeError),
        (lambda: qgauge.edges(EDGE, (30, 60), (230, 60), polarity=1), TypeError),
        (lambda: qgauge.edges(EDGE, (30, 60), (230, 60), polarity="any\0"), qgauge.Error),
        (lambda: qgauge.edges(EDGE.astype(np.int16), (30, 60), (230, 60)), qgauge.Error),
        (lambda: qgauge.edges(EDGE, (30, 60), (230, 60), float("nan")), qgauge.Error),
    ]
    for i, (call, error) in enumerate(refused):
        with pytest.raises(error):
            call()
            pytest.fail(f"case {i} not refused")


def test_nothing_found_is_an_empty_result():
    blank = np.full((100, 100), 128, np.uint8)
    assert qgauge.edges(blank, (10, 50), (90, 50)) == []
    assert qgauge.edge_pair(blank, (10, 50), (90, 50)) is None
    assert qgauge.circle_gauge(blank, (50, 50), 20) is None
    assert qgauge.PartModel(PLATE, PLATE_BOX).find(np.full((240, 300), 220, np.uint8)) == []


def _refusals():
    img = DISC
    ok = ((10, 50), (90, 50))
    model = qgauge.PartModel(PLATE, PLATE_BOX)
    data = model.to_bytes()
    damaged = data[:40] + bytes([data[40] ^ 1]) + data[41:]
    return [
        # name, call, code, words in the message
        ("int16", lambda: qgauge.edges(img.astype(np.int16), *ok), -2, "uint8, not int16"),
        ("float", lambda: qgauge.circle_gauge(img / 255.0, (100, 100), 50), -2, "uint8, not float64"),
        ("bool", lambda: qgauge.edges(img > 0, *ok), -2, "uint8, not bool"),
        ("list", lambda: qgauge.edges([[1, 2], [3, 4]], *ok), -2, "uint8, not int64"),
        ("not-an-array", lambda: qgauge.edges(object(), *ok), -2, "not object"),
        ("1-D", lambda: qgauge.edges(img.ravel(), *ok), -2, "not 1-D"),
        ("4-D", lambda: qgauge.edges(img[None, :, :, None], *ok), -2, "not 4-D"),
        ("2 channels", lambda: qgauge.edges(np.zeros((9, 9, 2), np.uint8), *ok), -2, "not 2 channels"),
        ("empty", lambda: qgauge.edges(np.zeros((0, 5), np.uint8), *ok), -2, "empty"),
        ("empty rows", lambda: qgauge.edges(np.zeros((5, 0, 3), np.uint8), *ok), -2, "empty"),
        ("columns strided", lambda: qgauge.edges(img[:, ::2], *ok), -2, "contiguous columns"),
        ("fortran order", lambda: qgauge.edges(np.asfortranarray(img), *ok), -2, "contiguous columns"),
        ("planar colour", lambda: qgauge.edges(np.zeros((3, 9, 9), np.uint8).transpose(1, 2, 0), *ok), -2,
         "channels of a pixel"),
        ("flipped rows", lambda: qgauge.edges(img[::-1], *ok), -2, "forwards"),
        ("broadcast rows", lambda: qgauge.edges(np.broadcast_to(img[0], img.shape), *ok), -2, "overlapping"),
        ("outside", lambda: qgauge.edges(img, (10, 50), (400, 50)), -4, "outside"),
        ("zero length", lambda: qgauge.edges(img, (50, 50), (50, 50)), -3, "NaN"),
        ("nan", lambda: qgauge.edge_pair(img, (math.nan, 50), (90, 50)), -3, "NaN"),
        ("polarity", lambda: qgauge.edges(img, *ok, polarity="up"), -3, "'up' is not one of"),
        ("select", lambda: qgauge.edges(img, *ok, select="best"), -3, "'best' is not one of"),
        ("pair all", lambda: qgauge.edge_pair(img, *ok, select="all"), -3, "edge_pair"),
        ("spokes", lambda: qgauge.circle_gauge(img, (100, 100), 50, spokes=2), -3, "circle_gauge"),
        ("one point", lambda: qgauge.fit_line([(1, 2)]), -5, "fewer points"),
        ("no points", lambda: qgauge.fit_circle([]), -5, "fewer points"),
        ("points shape", lambda: qgauge.fit_line([(1, 2, 3), (4, 5, 6)]), -3, "N x 2"),
        ("points text", lambda: qgauge.fit_line("abc"), -3, "(x, y)"),
        ("collinear", lambda: qgauge.fit_circle([(0, 0), (1, 1), (2, 2), (3, 3)]), -6, "collinear"),
        ("too many points", lambda: qgauge.fit_line(np.broadcast_to(0.0, ((1 << 24) + 1, 2))), -7, "limits"),
        ("coincident", lambda: qgauge.fit_line([(1, 1)] * 5), -6, "all equal"),
        ("teach blank", lambda: qgauge.PartModel(np.full((50, 50), 9, np.uint8), (5, 5, 45, 45)), 1, "16 edge"),
        ("teach small", lambda: qgauge.PartModel(img, (5, 5, 10, 10)), -3, "PartModel"),
        ("teach outside", lambda: qgauge.PartModel(img, (5, 5, 400, 100)), -4, "outside"),
        ("max_count 0", lambda: model.find(PLATE, max_count=0), -3, "find"),
        ("max_count 65", lambda: model.find(PLATE, max_count=65), -3, "find"),
        ("min_score", lambda: model.find(PLATE, min_score=1.5), -3, "find"),
        ("bytes damaged", lambda: qgauge.PartModel.from_bytes(damaged), -9, "damaged"),
        ("bytes cut", lambda: qgauge.PartModel.from_bytes(data[:-1]), -9, "damaged"),
        ("bytes empty", lambda: qgauge.PartModel.from_bytes(b""), -9, "damaged"),
        ("bytes wide", lambda: qgauge.PartModel.from_bytes(np.zeros(8, np.int32)), -3, "bytes"),
    ]


REFUSALS = _refusals()


@pytest.mark.parametrize("name,call,code,words", REFUSALS, ids=[r[0] for r in REFUSALS])
def test_refusals_raise_the_library_code(name, call, code, words):
    with pytest.raises(qgauge.Error) as caught:
        call()
    assert caught.value.code == code
    assert words in str(caught.value)
    assert isinstance(caught.value, ValueError)


def test_model_round_trips():
    model = qgauge.PartModel(PLATE, PLATE_BOX, max_points=120)
    data = model.to_bytes()
    for copy in (qgauge.PartModel.from_bytes(data), qgauge.PartModel.from_bytes(bytearray(data)),
                 pickle.loads(pickle.dumps(model))):
        assert copy.to_bytes() == data and copy.find(PLATE_MOVED) == model.find(PLATE_MOVED)
    assert 16 <= model.points <= 120 and model.size == (140.0, 100.0) and model.warnings == []
    assert repr(model) == f"PartModel(points={model.points}, size=(140.0, 100.0), warnings=[])"
    # A disc fixes no turn; a straight bar fixes no position along itself.
    assert "no_angle" in qgauge.PartModel(DISC, (30, 30, 170, 170)).warnings
    assert repr(qgauge.Edge(1.0, 2.0, 0.5, -3.0)) == "Edge(x=1.0, y=2.0, u=0.5, contrast=-3.0)"


def test_threads_give_the_serial_results():
    model = qgauge.PartModel(PLATE, PLATE_BOX)
    calls = [lambda: qgauge.circle_gauge(DISC, (101, 99), 49), lambda: model.find(PLATE_MOVED),
             lambda: qgauge.edges(EDGE, (30, 60), (230, 60), 20),
             lambda: qgauge.edge_pair(BAR, (10, 30), (110, 30), 15)] * 6
    serial = [call() for call in calls]
    with ThreadPoolExecutor(4) as pool:
        assert list(pool.map(lambda call: call(), calls)) == serial


def test_the_gil_is_released_during_the_work(record_property):
    """While one thread searches, another runs Python: it would stall if the search held the GIL."""
    big = np.tile(PLATE_MOVED, (8, 8))
    model = qgauge.PartModel(PLATE, PLATE_BOX)
    find = lambda: model.find(big, max_count=64)  # noqa: E731
    start = time.perf_counter()
    find()
    find()
    serial = time.perf_counter() - start
    start = time.perf_counter()
    with ThreadPoolExecutor(2) as pool:
        list(pool.map(lambda _: find(), range(2)))
    parallel = time.perf_counter() - start
    record_property("two_finds_serial_s", serial)
    record_property("two_finds_in_two_threads_s", parallel)
    print(f"two finds: {serial:.3f} s serial, {parallel:.3f} s on two threads")

    done = threading.Event()
    worker = threading.Thread(target=lambda: (find(), find(), done.set()))
    longest, last = 0.0, time.perf_counter()
    worker.start()
    while not done.is_set():
        now = time.perf_counter()
        longest, last = max(longest, now - last), now
    worker.join()
    # Held for the whole search, the GIL would stall this loop as long as a search.
    assert longest < serial / 4, f"the main thread stalled {longest:.3f} s of {serial / 2:.3f} s a search"


def test_documented_and_stubbed():
    public = {n for n in dir(qgauge) if not n.startswith("_")}
    for name in public - {"interface_level"}:
        assert (getattr(qgauge, name).__doc__ or "").strip(), name
    for name in ("find", "to_bytes", "from_bytes", "points", "size", "warnings"):
        assert getattr(qgauge.PartModel, name).__doc__, name
    assert "[i, i+1)" in qgauge.__doc__ and qgauge.__version__
    stub = ast.parse((Path(qgauge.__file__).parent / "qgauge.pyi").read_text())
    stubbed = {n.name for n in stub.body if isinstance(n, (ast.FunctionDef, ast.ClassDef))}
    stubbed |= {t.target.id for t in stub.body if isinstance(t, ast.AnnAssign)}
    assert public <= stubbed, public - stubbed
