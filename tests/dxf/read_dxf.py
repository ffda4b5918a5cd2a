"""Reads a DXF file with ezdxf, an independent reader, and prints what it
sees for the C++ test to compare: first "audit <errors> <fixes>", then one
line per entity of the model space: type, layer and its coordinates."""
import sys

import ezdxf


def main(path):
    doc = ezdxf.readfile(path)
    auditor = doc.audit()
    print("audit", len(auditor.errors), len(auditor.fixes))
    for e in doc.modelspace():
        kind = e.dxftype()
        if kind == "POINT":
            values = list(e.dxf.location)
        elif kind == "LINE":
            values = list(e.dxf.start) + list(e.dxf.end)
        elif kind == "CIRCLE":
            values = list(e.dxf.center) + [e.dxf.radius]
        else:
            values = []
        print(kind, e.dxf.layer, " ".join(repr(float(v)) for v in values))


if __name__ == "__main__":
    main(sys.argv[1])
