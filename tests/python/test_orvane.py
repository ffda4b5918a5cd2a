"""The orvane module against orvane-inspect on the same folder and pictures."""

import csv
import io
import os
import shutil
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest
from PIL import Image

SOURCE = Path(os.environ.get("ORVANE_SOURCE_DIR", Path(__file__).resolve().parents[2]))
BATCH, INSPECT = os.environ.get("ORVANE_BATCH"), os.environ.get("ORVANE_INSPECT")
orvane = pytest.importorskip("orvane")

# Calibrated on the sample target, a part taught on the sample plate and a
# program of circles, lines, a width and dimensions with tolerances.
SCRIPT = """start
solution "Auto Calibration"
drop {samples}/TARGET.BMP
click Process
expect result "Success"
drop {folder}/PART.BMP
part-teach 110 80 530 400
program new BRACKET
program circle D1 270 240 220 290 170 240
program circle D2 445 240 420 265 395 240
program line LEFT 120 120 120 360
program line BOTTOM 150 390 490 390
program width W1 150 70 150 410
program distance L1 D1 D2
program angle A1 LEFT BOTTOM
tolerance D1 2 0.05
tolerance L1 4 0.01
program save
"""


@pytest.fixture(scope="module")
def station(tmp_path_factory):
    if not (BATCH and INSPECT):
        pytest.skip("ORVANE_BATCH and ORVANE_INSPECT not set: run through ctest")
    folder = tmp_path_factory.mktemp("station")
    shutil.copy(SOURCE / "samples" / "PART.BMP", folder / "PART.BMP")
    shutil.copy(SOURCE / "samples" / "PART.JPG", folder / "PART.JPG")
    turned = Image.open(folder / "PART.BMP").rotate(25, center=(330, 235), translate=(12.5, -7.25),
                                                    resample=Image.BICUBIC, fillcolor=(220, 220, 220))
    turned.save(folder / "TURNED.BMP")
    script = SCRIPT.format(samples=SOURCE / "samples", folder=folder)
    run = subprocess.run([BATCH, "-C", str(folder), "--fixed-clock", "-"], input=script, text=True,
                         capture_output=True)
    assert run.returncode == 0, run.stdout + run.stderr
    return folder


def inspect_csv(folder, pictures):
    run = subprocess.run([INSPECT, "-C", str(folder), "BRACKET", *map(str, pictures)], capture_output=True, text=True)
    return list(csv.DictReader(io.StringIO(run.stdout)))


def number(cell):
    return None if cell == "" else float(cell)


def test_same_numbers_as_orvane_inspect(station):
    pictures = [station / "PART.BMP", station / "TURNED.BMP", station / "PART.JPG"]
    rows = inspect_csv(station, pictures)
    s = orvane.Station(station)
    assert s.programs() == ["BRACKET"]
    cal = s.calibration()
    assert cal.calibrated and cal.unit == "in" and 0 < cal.per_pixel < 0.1
    for picture in pictures:
        result = s.inspect(picture, "BRACKET")
        expected = [r for r in rows if r["picture"] == str(picture)]
        assert result.found and len(result.dimensions) == len(expected) > 0
        for d, r in zip(result.dimensions, expected):
            assert (d.label, d.unit, d.verdict or "") == (r["label"], r["unit"], r["verdict"])
            assert d.value == pytest.approx(number(r["value"]), rel=1e-9)
            assert d.u == pytest.approx(number(r["u"]), rel=1e-9)
            assert d.nominal == number(r["nominal"]) or (d.nominal is None and r["nominal"] == "")
    turned = s.inspect(str(station / "TURNED.BMP"), "BRACKET.OIP")
    assert turned.pose.angle_deg == pytest.approx(-25, abs=0.1)
    assert [d.label for d in turned.dimensions] == ["D1", "D2", "W1", "L1", "A1"]


def test_a_profile_step_reads_its_drawing(station, tmp_path):
    folder = tmp_path / "drawn"
    shutil.copytree(station, folder)
    shutil.copy(SOURCE / "tests" / "batch" / "scripts" / "cad_part.dxf", folder / "cad_part.dxf")
    script = "start\ndrop PART.BMP\nprogram load BRACKET\ncad-load cad_part.dxf in\ncad-fit\n" \
             "program profile CAD1 0.05\nprogram save\n"
    run = subprocess.run([BATCH, "-C", str(folder), "--fixed-clock", "-"], input=script, text=True,
                         capture_output=True)
    assert run.returncode == 0, run.stdout + run.stderr
    want = [r for r in inspect_csv(folder, [folder / "PART.BMP"]) if r["label"] == "CAD1"]
    got = orvane.Station(folder).inspect(folder / "PART.BMP", "BRACKET").dimensions[-1]
    assert (got.label, got.unit, got.verdict, got.u) == ("CAD1", "in", "pass", None)
    assert len(want) == 1 and got.value == pytest.approx(number(want[0]["value"]), rel=1e-9)
    # The drawing goes with the program: without it the program is refused.
    (folder / "cad_part.dxf").unlink()
    with pytest.raises(orvane.Error, match="CAD1: cannot read cad_part.dxf"):
        orvane.Station(folder).inspect(folder / "PART.BMP", "BRACKET")


def test_a_numpy_picture_gives_the_file_results(station):
    s = orvane.Station(station)
    rgb = np.asarray(Image.open(station / "TURNED.BMP"))
    bgr = np.ascontiguousarray(rgb[..., ::-1])
    assert s.inspect(bgr, "BRACKET") == s.inspect(station / "TURNED.BMP", "BRACKET")
    blank = s.inspect(np.full((480, 640), 220, np.uint8), "BRACKET")
    assert not blank.found and not blank.passed and blank.pose is None


def test_an_empty_folder_is_only_read(tmp_path):
    s = orvane.Station(tmp_path)
    assert s.programs() == [] and tuple(s.calibration()) == (False, 1.0, "px")
    assert list(tmp_path.iterdir()) == []


@pytest.mark.parametrize("call,words", [
    (lambda f: orvane.Station(f / "absent"), "not a folder"),
    (lambda f: orvane.Station(f).inspect(f / "PART.BMP", "NOSUCH"), "NOSUCH"),
    (lambda f: orvane.Station(f).inspect(f / "absent.bmp", "BRACKET"), "absent.bmp"),
    (lambda f: orvane.Station(f).inspect(np.zeros((4, 4), np.float32), "BRACKET"), "uint8"),
], ids=["folder", "program", "picture", "dtype"])
def test_refusals(station, call, words):
    with pytest.raises(orvane.Error, match=words) as caught:
        call(station)
    assert isinstance(caught.value, ValueError)


def test_readme_csv_example(station, tmp_path):
    text = (SOURCE / "README.md").read_text()
    code = next(b for b in text.split("```python\n")[1:] if "orvane.Station(" in b).split("```")[0]
    (tmp_path / "station").symlink_to(station)
    (tmp_path / "pictures").mkdir()
    for name in ("PART.BMP", "TURNED.BMP"):
        shutil.copy(station / name, tmp_path / "pictures" / name)
    env = dict(os.environ, PYTHONPATH=str(Path(orvane.__file__).parent))
    run = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, env=env, capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    rows = list(csv.DictReader(open(tmp_path / "results.csv")))
    want = orvane.Station(station).inspect(station / "TURNED.BMP", "BRACKET").dimensions
    got = [r for r in rows if r["picture"] == "TURNED.BMP"]
    assert [(r["label"], float(r["value"])) for r in got] == [(d.label, d.value) for d in want]


def test_documented_and_stubbed():
    import ast
    public = {n for n in dir(orvane) if not n.startswith("_")}
    assert all((getattr(orvane, n).__doc__ or "").strip() for n in public)
    stub = ast.parse((Path(orvane.__file__).parent / "orvane.pyi").read_text())
    assert public <= {n.name for n in stub.body if isinstance(n, (ast.FunctionDef, ast.ClassDef))}
