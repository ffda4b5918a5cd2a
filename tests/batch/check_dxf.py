"""Reads a DXF file with ezdxf and checks it against an expectation file, one
line a check:
    CIRCLE x y radius       a circle there (within 0.001 in every value)
    LINE x1 y1 x2 y2        a line between those ends, either way round
    POINTS min max          the number of POINT entities lies in min..max
    POINTS-IN x0 y0 x1 y1   every POINT lies inside that box
    UNITS code              the header names the drawing's unit ($INSUNITS)
ezdxf's audit must find no error, and the file must hold no other kinds."""
import sys

import ezdxf

TOLERANCE = 0.001


def near(a, b):
    return all(abs(x - y) <= TOLERANCE for x, y in zip(a, b))


def main(path, expectation):
    doc = ezdxf.readfile(path)
    failures = []
    auditor = doc.audit()
    if auditor.errors:
        failures.append("audit: %d errors" % len(auditor.errors))
    circles, lines, points, others = [], [], [], []
    for e in doc.modelspace():
        kind = e.dxftype()
        if kind == "CIRCLE":
            circles.append((e.dxf.center.x, e.dxf.center.y, e.dxf.radius))
        elif kind == "LINE":
            lines.append((e.dxf.start.x, e.dxf.start.y, e.dxf.end.x, e.dxf.end.y))
        elif kind == "POINT":
            points.append((e.dxf.location.x, e.dxf.location.y))
        else:
            others.append(kind)
    print("%d circles, %d lines, %d points" % (len(circles), len(lines), len(points)))
    if others:
        failures.append("unexpected entities: %s" % ", ".join(sorted(set(others))))
    for raw in open(expectation):
        words = raw.split()
        if not words or words[0].startswith("#"):
            continue
        kind, values = words[0], [float(w) for w in words[1:]]
        if kind == "CIRCLE" and not any(near(c, values) for c in circles):
            failures.append("no circle at %s in %s" % (values, circles))
        elif kind == "LINE" and not any(
                near(l, values) or near(l, values[2:] + values[:2]) for l in lines):
            failures.append("no line %s" % values)
        elif kind == "POINTS" and not values[0] <= len(points) <= values[1]:
            failures.append("%d points, expected %g to %g" % (len(points), values[0], values[1]))
        elif kind == "UNITS" and doc.header.get("$INSUNITS", -1) != values[0]:
            failures.append("units %s, expected %g" % (doc.header.get("$INSUNITS"), values[0]))
        elif kind == "POINTS-IN":
            outside = [p for p in points if not (values[0] <= p[0] <= values[2]
                                                 and values[1] <= p[1] <= values[3])]
            if outside:
                failures.append("%d points outside %s, first %s" % (len(outside), values,
                                                                     outside[0]))
    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
