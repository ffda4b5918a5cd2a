#!/usr/bin/python3
"""Writes the DXF reader's test drawings with ezdxf (Debian: python3-ezdxf,
seen by /usr/bin/python3) and, beside each NAME.dxf, NAME.expect: what ezdxf
itself reads from the drawing, inserts expanded (recursive_decompose) and
curves flattened by ezdxf's own entities to 1e-7 (polylines through their
arcs and lines): the curve count, total length, the sum of the closed
curves' areas, the bounding box, $INSUNITS and the kinds left out.

    /usr/bin/python3 tests/cadfile/make_drawings.py [FOLDER]
        (default: tests/fixtures/cadfile)
"""

import math
import os
import sys

import ezdxf
from ezdxf import disassemble

TAKEN = {"LINE", "ARC", "CIRCLE", "LWPOLYLINE", "POLYLINE", "ELLIPSE", "SPLINE"}


def lines(doc, msp):
    doc.header["$INSUNITS"] = 4
    for a, b in [((0, 0), (10, 0)), ((10, 0), (10, 5)), ((10, 5), (0, 5)), ((0, 5), (0, 0))]:
        msp.add_line(a, b)


def arc_circle(doc, msp):
    doc.header["$INSUNITS"] = 1
    msp.add_arc((1, 2), 3, 30, 120)
    msp.add_arc((-4, 0), 1.5, 300, 45)  # through 0 degrees
    msp.add_circle((0, 0), 2.5)


def bulges(doc, msp):
    doc.header["$INSUNITS"] = 5
    msp.add_lwpolyline([(0, 0, 0), (10, 0, 1), (10, 4, 0), (0, 4, 1)], format="xyb", close=True)
    msp.add_lwpolyline([(20, 0, -0.4), (25, 3, 0.2), (30, 0, 0)], format="xyb")


def polyline_r12(doc, msp):
    msp.add_polyline2d([(0, 0, 0, 0, 0.5), (6, 0, 0, 0, 0), (6, 3, 0, 0, -1), (0, 3, 0, 0, 0)],
                       format="xyseb", close=True)


def ellipses(doc, msp):
    doc.header["$INSUNITS"] = 4
    msp.add_ellipse((0, 0), major_axis=(4, 0), ratio=0.5)
    msp.add_ellipse((10, 2), major_axis=(3, 3), ratio=0.3, start_param=0.2, end_param=2.0)


def splines(doc, msp):
    doc.header["$INSUNITS"] = 4
    msp.add_open_spline([(0, 0), (2, 5), (5, -3), (8, 4), (10, 0)], degree=3)
    msp.add_rational_spline([(0, 10), (3, 14), (7, 9), (9, 13)], weights=[1, 3, 0.5, 1], degree=2)


def inserts(doc, msp):
    doc.header["$INSUNITS"] = 4
    hole = doc.blocks.new(name="HOLE", base_point=(1, 1))
    hole.add_circle((1, 1), 1)
    hole.add_line((0, 1), (0.5, 1))
    hole.add_arc((1, 1), 1.4, 0, 90)
    plate = doc.blocks.new(name="PLATE")
    plate.add_lwpolyline([(0, 0), (8, 0), (8, 5), (0, 5)], close=True, dxfattribs={"layer": "0"})
    plate.add_blockref("HOLE", (2, 2), dxfattribs={"xscale": 0.5, "yscale": 0.5, "rotation": 30})
    plate.add_blockref("HOLE", (6, 3), dxfattribs={"rotation": -15})
    msp.add_blockref("PLATE", (100, 50), dxfattribs={"xscale": 2, "yscale": 2, "rotation": 45, "layer": "CUT"})
    msp.add_blockref("PLATE", (-20, 0), dxfattribs={"xscale": -1, "yscale": 1, "rotation": 10})
    # Uneven scale: circles become ellipses. (Not over the plate: ezdxf
    # cannot shear the turned inserts within it.)
    msp.add_blockref("HOLE", (0, -30), dxfattribs={"xscale": 2, "yscale": 1, "rotation": 20})


def extrusion(doc, msp):
    msp.add_arc((3, 1), 2, 20, 100, dxfattribs={"extrusion": (0, 0, -1)})
    msp.add_circle((5, 5), 1, dxfattribs={"extrusion": (0, 0, -1)})
    msp.add_lwpolyline([(0, 0, 0.3), (4, 0, 0), (4, 2, 0)], format="xyb", dxfattribs={"extrusion": (0, 0, -1)})


def layers_and_others(doc, msp):
    doc.header["$INSUNITS"] = 0
    doc.layers.add("CUT")
    doc.layers.add("NOTES")
    msp.add_line((0, 0), (5, 0), dxfattribs={"layer": "CUT"})
    msp.add_circle((2, 2), 1, dxfattribs={"layer": "CUT"})
    msp.add_line((0, 0), (0, 9), dxfattribs={"layer": "NOTES"})
    msp.add_text("PART 7", dxfattribs={"layer": "NOTES"})
    msp.add_text("REV B", dxfattribs={"layer": "NOTES"})
    msp.add_mtext("notes", dxfattribs={"layer": "NOTES"})
    msp.add_point((1, 1))


CASES = [("lines", "R2000", lines), ("arc_circle", "R2000", arc_circle), ("bulges", "R2000", bulges),
         ("polyline_r12", "R12", polyline_r12), ("ellipses", "R2000", ellipses),
         ("splines", "R2000", splines), ("inserts", "R2000", inserts), ("extrusion", "R2000", extrusion),
         ("layers", "R2000", layers_and_others)]


def points(e):
    kind = e.dxftype()
    if kind == "LINE":
        return [(e.dxf.start.x, e.dxf.start.y), (e.dxf.end.x, e.dxf.end.y)]
    if kind in ("LWPOLYLINE", "POLYLINE"):
        wcs = e.vertices_in_wcs() if kind == "LWPOLYLINE" else \
            e.ocs().points_to_wcs([v.dxf.location for v in e.vertices])
        corners = [(v.x, v.y) for v in wcs]
        pts = []
        for i, part in enumerate(e.virtual_entities()):
            more = points(part)
            if math.dist(corners[i], more[-1]) < math.dist(corners[i], more[0]):
                more.reverse()  # ezdxf's arcs run counter-clockwise
            pts += more[1:] if pts else more
        return pts
    return [(v.x, v.y) for v in e.flattening(1e-7)]


def expectation(doc):
    count, length, area = 0, 0.0, 0.0
    box = [math.inf, math.inf, -math.inf, -math.inf]
    left = {}
    for e in disassemble.recursive_decompose(doc.modelspace()):
        kind = e.dxftype()
        if kind not in TAKEN:
            left[kind] = left.get(kind, 0) + 1
            continue
        count += 1
        pts = points(e)
        length += sum(math.dist(a, b) for a, b in zip(pts, pts[1:]))
        closed = math.dist(pts[0], pts[-1]) < 1e-9 and len(pts) > 2
        if closed:
            area += abs(sum(a[0] * b[1] - b[0] * a[1] for a, b in zip(pts, pts[1:]))) / 2
        for x, y in pts:
            box = [min(box[0], x), min(box[1], y), max(box[2], x), max(box[3], y)]
    out = ["units %d" % doc.header.get("$INSUNITS", 0), "curves %d" % count,
           "length %.9f" % length, "area %.9f" % area, "box %.9f %.9f %.9f %.9f" % tuple(box)]
    out += ["left %s %d" % (k, n) for k, n in sorted(left.items())]
    return "\n".join(out) + "\n"


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "fixtures", "cadfile")
    os.makedirs(folder, exist_ok=True)
    for name, version, build in CASES:
        doc = ezdxf.new(version)
        build(doc, doc.modelspace())
        doc.saveas(os.path.join(folder, name + ".dxf"))
        with open(os.path.join(folder, name + ".expect"), "w") as f:
            f.write(expectation(ezdxf.readfile(os.path.join(folder, name + ".dxf"))))


if __name__ == "__main__":
    main()
