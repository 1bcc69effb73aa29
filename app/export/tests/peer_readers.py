#!/usr/bin/python3
"""Reads every kept export file (tests/data/golden, which the golden test
proves both builds write byte for byte) back with readers written by others,
and compares point and face counts and coordinates after the export frame
with the case's expected.txt.

Each reader starts few times: the Python readers run in this process, Octave
and ivcat once for all their files, the IGES reader once; assimp, admesh and
osgconv take one file a run. A reader that is not installed is skipped with
the reason printed; one that is installed and disagrees fails the test.

usage: peer_readers.py <golden folder> [<IGES reader program>]
"""
import csv
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

GOLDEN = sys.argv[1]
IGES_READER = sys.argv[2] if len(sys.argv) > 2 else ""
TOL = 0.006  # two decimals in most text formats
failures = []
checked = {}


def fail(case, reader, text):
    failures.append("%s [%s]: %s" % (case, reader, text))


def ok(reader):
    checked[reader] = checked.get(reader, 0) + 1


def skip_reason(name):
    print("SKIP %s: not installed" % name)


def expected(case):
    with open(os.path.join(GOLDEN, case, "expected.txt")) as f:
        lines = f.read().split("\n")
    counts = {}
    points = []
    for line in lines:
        parts = line.split()
        if len(parts) == 2:
            counts[parts[0]] = int(parts[1])
        elif len(parts) == 3:
            points.append(tuple(float(v) for v in parts))
    return counts, points


def triangles(counts):
    return counts.get("faces", 0) + 2 * counts.get("quads", 0)


def near(a, b, tol):
    return all(abs(x - y) <= tol for x, y in zip(a, b))


def same_points(case, reader, got, want, tol=TOL, ordered=True):
    """Ordered: the same list; else every point read is one of the expected."""
    got = [tuple(p) for p in got]
    if ordered:
        if len(got) != len(want):
            return fail(case, reader, "%d points, expected %d" % (len(got), len(want)))
        for i, (g, w) in enumerate(zip(got, want)):
            if not near(g, w, tol):
                return fail(case, reader, "point %d is %s, expected %s" % (i, g, w))
    else:
        for g in got:
            if not any(near(g, w, tol) for w in want):
                return fail(case, reader, "point %s is none of the expected" % (g,))
    ok(reader)


def bbox(points):
    return [min(p[k] for p in points) for k in range(3)], [max(p[k] for p in points) for k in range(3)]


def cases(prefix):
    return sorted(c for c in os.listdir(GOLDEN) if c.startswith(prefix))


def case_file(case, ext):
    return os.path.join(GOLDEN, case, "out." + ext)


def run(args):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, errors="replace", timeout=300)


# ---- Python readers ----------------------------------------------------

def lf_copy(path, tmp):
    """A copy with CR line ends made LF, for readers that refuse CR; the
    original is checked byte-wise to use CR only."""
    data = open(path, "rb").read()
    if b"\n" in data:
        return None
    copy = os.path.join(tmp, os.path.basename(os.path.dirname(path)) + "-" + os.path.basename(path))
    open(copy, "wb").write(data.replace(b"\r", b"\n"))
    return copy


def meshio_checks(tmp):
    try:
        import meshio
    except ImportError:
        return skip_reason("python3-meshio")
    for case in cases("stl_") + cases("ply_") + cases("obj_"):
        ext = case.split("_")[0]
        path = case_file(case, ext)
        counts, want = expected(case)
        if case == "stl_swapped":
            # Big-endian words swapped back first.
            data = bytearray(open(path, "rb").read())
            data[80:84] = data[80:84][::-1]
            for f in range(struct.unpack("<I", bytes(data[80:84]))[0]):
                base = 84 + 50 * f
                for w in range(12):
                    data[base + 4 * w:base + 4 * w + 4] = data[base + 4 * w:base + 4 * w + 4][::-1]
            path = os.path.join(tmp, "swapped.stl")
            open(path, "wb").write(bytes(data))
        if ext == "ply" and open(path, "rb").read().find(b"\r\n") < 0 and b"\r" in open(path, "rb").read():
            path = lf_copy(path, tmp)
            if path is None:
                fail(case, "bytes", "a CR file holds LF")
                continue
        mesh = meshio.read(path)
        faces = sum(len(c.data) * (2 if c.type == "quad" else 1) for c in mesh.cells)
        if faces != triangles(counts):
            fail(case, "meshio", "%d faces, expected %d" % (faces, triangles(counts)))
        same_points(case, "meshio", mesh.points, want, 3e-4 if ext == "stl" else TOL, ordered=ext != "stl")


def vtk_checks(tmp):
    try:
        import vtk
    except ImportError:
        return skip_reason("python3-vtk9")
    for case in cases("ply_") + cases("vtk_"):
        ext = case.split("_")[0]
        path = case_file(case, ext)
        counts, want = expected(case)
        data = open(path, "rb").read()
        if ext == "ply" and b"\n" not in data:
            path = lf_copy(path, tmp)
        reader = vtk.vtkPLYReader() if ext == "ply" else vtk.vtkPolyDataReader()
        reader.SetFileName(path)
        reader.Update()
        poly = reader.GetOutput()
        pts = poly.GetPoints()
        got = [pts.GetPoint(i) for i in range(pts.GetNumberOfPoints())] if pts else []
        if poly.GetNumberOfPolys() != triangles(counts):
            fail(case, "vtk", "%d polygons, expected %d" % (poly.GetNumberOfPolys(), triangles(counts)))
        same_points(case, "vtk", got, want)


def ezdxf_checks():
    try:
        import ezdxf
    except ImportError:
        return skip_reason("python3-ezdxf")
    for case in cases("dxf_"):
        counts, want = expected(case)
        doc = ezdxf.readfile(case_file(case, "dxf"))
        audit = doc.audit()
        if audit.errors:
            fail(case, "ezdxf", "audit errors %s" % audit.errors)
        got = []
        faces = 0
        for e in doc.modelspace():
            kind = e.dxftype()
            if kind == "POINT":
                got.append(tuple(e.dxf.location))
            elif kind == "3DFACE":
                faces += 1
                corners = [tuple(e.dxf.get("vtx%d" % k)) for k in range(4)]
                if corners[3] != corners[2]:
                    fail(case, "ezdxf", "3DFACE whose fourth corner is not its third")
                got.extend(corners)
            elif kind == "POLYLINE":
                if not e.is_poly_face_mesh:
                    fail(case, "ezdxf", "POLYLINE that is not a polyface mesh")
                for v in e.vertices:
                    if v.dxf.flags & 128 and not v.dxf.flags & 64:
                        faces += 1
                    else:
                        got.append(tuple(v.dxf.location))
        if faces != triangles(counts):
            fail(case, "ezdxf", "%d faces, expected %d" % (faces, triangles(counts)))
        same_points(case, "ezdxf", got, want, ordered=False)
        if len(set(got)) != len(set((round(p[0], 2), round(p[1], 2), round(p[2], 2)) for p in want)):
            fail(case, "ezdxf", "%d distinct points, expected %d" % (len(set(got)), len(want)))


def coin_checks():
    try:
        from pivy import coin
    except ImportError:
        return skip_reason("python3-pivy")
    coin.SoDB.init()
    for case in cases("vrml_"):
        counts, want = expected(case)
        source = coin.SoInput()
        if not source.openFile(case_file(case, "wrl")):
            fail(case, "coin", "cannot open")
            continue
        root = coin.SoDB.readAll(source)
        if root is None:
            fail(case, "coin", "not read")
            continue
        root.ref()

        def first(kind):
            search = coin.SoSearchAction()
            search.setType(kind.getClassTypeId())
            search.apply(root)
            path = search.getPath()
            node = path.getTail() if path else None
            if node is not None:
                node.ref()  # the path dies with the search
            return node

        coordinates = first(coin.SoCoordinate3)
        faces = first(coin.SoIndexedFaceSet)
        got = [tuple(1000.0 * v for v in coordinates.point[i].getValue()) for i in range(coordinates.point.getNum())]
        indices = [faces.coordIndex[i] for i in range(faces.coordIndex.getNum())] if faces else []
        if indices.count(-1) != triangles(counts):
            fail(case, "coin", "%d faces, expected %d" % (indices.count(-1), triangles(counts)))
        same_points(case, "coin", got, want, 0.002)


def csv_checks():
    for case in cases("stylus_csv_"):
        counts, want = expected(case)
        with open(case_file(case, "csv"), newline="") as f:
            rows = list(csv.reader(f))
        header = rows[2]
        width = len(header)
        if any(len(r) != width for r in rows[:2]) or rows[3] != []:
            fail(case, "csv", "head rows do not match the table's width")
        body = rows[4:]
        got = []
        for r in body:
            if len(r) != width or r[-1] not in ("TRUE", "FALSE"):
                fail(case, "csv", "row %s" % r)
                continue
            x = header.index("x")
            got.append((float(r[x]), float(r[x + 1]), float(r[x + 2])))
        if len(got) != counts["points"]:
            fail(case, "csv", "%d rows, expected %d" % (len(got), counts["points"]))
        same_points(case, "csv", got, want, 1e-3)


def psl_checks():
    """No other program reads this format: a parser of its own here."""
    for case in cases("psl_"):
        counts, want = expected(case)
        data = open(case_file(case, "psl"), "rb").read()
        if data[:4] != b"PSLF" or struct.unpack_from("<I", data, 4)[0] != 1:
            fail(case, "psl", "bad magic")
            continue
        sweeps = struct.unpack_from("<I", data, 136)[0]
        at = 512
        got = []
        for _ in range(sweeps):
            profiles = struct.unpack_from("<I", data, at)[0]
            at += 64
            for _ in range(profiles):
                n = struct.unpack_from("<I", data, at)[0]
                direction = struct.unpack_from("<3f", data, at + 4)
                if abs(math.sqrt(sum(v * v for v in direction)) - 1) > 1e-3:
                    fail(case, "psl", "viewing direction %s is not a unit vector" % (direction,))
                at += 64
                for _ in range(n):
                    got.append(struct.unpack_from("<3f", data, at))
                    at += 12
        if at != len(data):
            fail(case, "psl", "%d bytes left over" % (len(data) - at))
        same_points(case, "psl", got, want, 1e-3)


def chunk3ds_points_check():
    """assimp imports no 3DS without faces; the cloud's vertex list is read
    here (after the 90-degree turn back)."""
    for case in cases("3ds_points"):
        counts, want = expected(case)
        data = open(case_file(case, "3ds"), "rb").read()
        at = data.find(b"\x10\x41")
        n = struct.unpack_from("<H", data, at + 6)[0]
        got = [struct.unpack_from("<3f", data, at + 8 + 12 * i) for i in range(n)]
        same_points(case, "3ds-bytes", [(x, z, -y) for x, y, z in got], want, 1e-3)


# ---- Programs ------------------------------------------------------------

def assimp_info(path):
    out = run(["assimp", "info", path]).stdout
    info = {}
    for key in ("Vertices", "Faces", "Materials"):
        m = re.search(r"^%s:\s+(\d+)" % key, out, re.M)
        info[key] = int(m.group(1)) if m else None
    for key in ("Minimum", "Maximum"):
        m = re.search(r"^%s point\s+\(([^)]*)\)" % key, out, re.M)
        info[key] = [float(v) for v in m.group(1).split()] if m else None
    info["textures"] = re.findall(r"^\s+'([^']+)'\s*$", out.split("Texture Refs:")[1], re.M) if "Texture Refs:" in out else []
    return info


def assimp_checks():
    if not shutil.which("assimp"):
        return skip_reason("assimp-utils")
    for case in cases("obj_") + cases("3ds_") + cases("dxf_"):
        ext = case.split("_")[0]
        counts, want = expected(case)
        if triangles(counts) == 0:
            continue  # assimp imports no mesh without faces
        info = assimp_info(case_file(case, ext))
        if info["Faces"] != triangles(counts):
            fail(case, "assimp", "%s faces, expected %d" % (info["Faces"], triangles(counts)))
            continue
        low, high = bbox(want)
        if ext == "dxf":  # assimp's DXF frame: (x, z, -y)
            low, high = [low[0], low[2], -high[1]], [high[0], high[2], -low[1]]
        if not near(info["Minimum"], low, 0.01) or not near(info["Maximum"], high, 0.01):
            fail(case, "assimp", "box %s %s, expected %s %s" % (info["Minimum"], info["Maximum"], low, high))
        if ext == "obj":
            obj = open(case_file(case, "obj")).read()
            if "mtllib" in obj and not info["Materials"] or (info["Materials"] or 0) < 1:
                fail(case, "assimp", "no material")
            for texture in info["textures"]:
                if not os.path.exists(os.path.join(GOLDEN, case, texture)):
                    fail(case, "assimp", "texture %s is not beside the material library" % texture)
            if "usemtl greyscalemap" in obj and not info["textures"]:
                fail(case, "assimp", "the texture material names no image")
        ok("assimp")


def admesh_checks():
    if not shutil.which("admesh"):
        return skip_reason("admesh")
    for case in cases("stl_"):
        counts, want = expected(case)
        out = run(["admesh", case_file(case, "stl")]).stdout
        m = re.search(r"Number of facets\s*:\s*(\d+)", out)
        facets = int(m.group(1)) if m else -1
        if case == "stl_swapped":
            # admesh reads little-endian only; the swapped file gives a
            # count it cannot hold.
            continue
        if facets != triangles(counts):
            fail(case, "admesh", "%d facets, expected %d" % (facets, triangles(counts)))
            continue
        low, high = bbox(want)
        for axis, k in (("X", 0), ("Y", 1), ("Z", 2)):
            m = re.search(r"Min %s\s*=\s*(\S+),\s*Max %s\s*=\s*(\S+)" % (axis, axis), out)
            if not m or abs(float(m.group(1)) - low[k]) > 1e-3 or abs(float(m.group(2)) - high[k]) > 1e-3:
                fail(case, "admesh", "extent in %s differs" % axis)
        ok("admesh")


def osgconv_checks(tmp):
    if not shutil.which("osgconv"):
        return skip_reason("openscenegraph")
    for case in cases("lightwave_"):
        counts, want = expected(case)
        out = os.path.join(tmp, case + ".obj")
        run(["osgconv", case_file(case, "lwo"), out])
        if not os.path.exists(out):
            fail(case, "osgconv", "not converted")
            continue
        got = []
        faces = 0
        for line in open(out):
            parts = line.split()
            if parts[:1] == ["v"]:
                x, y, z = (float(v) for v in parts[1:4])
                got.append((x, z, y))  # osg swaps y and z
            elif parts[:1] == ["f"]:
                faces += 1
        if faces == 0:
            faces = len(got) // 3  # unshared triangles without face lines
        if faces != triangles(counts):
            fail(case, "osgconv", "%d faces, expected %d" % (faces, triangles(counts)))
        same_points(case, "osgconv", got, want, 1e-3, ordered=False)


def ivcat_checks():
    if not shutil.which("ivcat"):
        return skip_reason("inventor-clients")
    names = cases("inventor_")
    out = run(["ivcat"] + [case_file(c, "iv") for c in names]).stdout
    blocks = out.split("Separator {")[1:]
    if len(blocks) != len(names):
        return fail("inventor", "ivcat", "%d scenes, expected %d" % (len(blocks), len(names)))
    for case, block in zip(names, blocks):
        counts, want = expected(case)
        points = re.search(r"point\s*\[([^\]]*)\]", block).group(1)
        got = [tuple(float(v) for v in p.split()) for p in points.split(",") if p.strip()]
        indices = re.search(r"coordIndex\s*\[([^\]]*)\]", block).group(1)
        faces = [int(v) for v in indices.replace(",", " ").split()].count(-1)
        if faces != triangles(counts):
            fail(case, "ivcat", "%d faces, expected %d" % (faces, triangles(counts)))
        same_points(case, "ivcat", got, want)


def octave_checks(tmp):
    if not shutil.which("octave-cli"):
        return skip_reason("octave")
    names = cases("matlab_") + cases("ascii_") + cases("stylus_text_")
    script = os.path.join(tmp, "load_all.m")
    with open(script, "w") as m:
        for case in names:
            path = case_file(case, "mat" if case.startswith("matlab") else "txt")
            m.write('printf("case %s\\n");\n' % case)
            if case.startswith("matlab"):
                m.write('s = load("%s");\n' % path)
                m.write('printf("fields %s\\n", strjoin(fieldnames(s)\', ","));\n')
                m.write('printf("info %d %d\\n", size(s.Info));\n')
                m.write('printf("p %.6f %.6f %.6f\\n", s.Points);\n')
                m.write('if isfield(s, "Facets") printf("facets %d\\n", columns(s.Facets)); printf("minindex %d\\n", min(s.Facets(:))); end\n')
            else:
                m.write('a = load("%s");\n' % path)
                m.write('printf("columns %d\\n", columns(a));\n')
                m.write('if columns(a) == 16 a = a(:, 13:15); end\n')
                m.write('printf("p %.6f %.6f %.6f\\n", a(:, 1:3)\');\n')
    out = run(["octave-cli", "--no-gui", "--norc", "-q", script]).stdout
    for section in out.split("case ")[1:]:
        lines = section.strip().split("\n")
        case = lines[0].strip()
        counts, want = expected(case)
        got = [tuple(float(v) for v in l.split()[1:]) for l in lines if l.startswith("p ")]
        same_points(case, "octave", got, want, 1e-3 if case.startswith("stylus") or case.startswith("matlab") else TOL)
        for l in lines:
            if l.startswith("facets ") and int(l.split()[1]) != triangles(counts):
                fail(case, "octave", l)
            if l.startswith("minindex ") and int(l.split()[1]) != 1:
                fail(case, "octave", "facet indices do not start at 1")
            if l.startswith("info ") and l.split()[1:] != ["2", "80"]:
                fail(case, "octave", l)
    read = {s.split("\n")[0].strip() for s in out.split("case ")[1:]}
    for case in names:
        if case not in read:
            fail(case, "octave", "not loaded: " + out[-400:])


def iges_checks():
    if not IGES_READER:
        return skip_reason("libocct-data-exchange-dev (the IGES reader was not built)")
    names = cases("iges_")
    out = run([IGES_READER] + [case_file(c, "igs") for c in names]).stdout
    sections = re.split(r"^file ", out, flags=re.M)[1:]
    for case, section in zip(names, sections):
        counts, want = expected(case)
        lines = section.split("\n")
        if "status 1" not in lines[0]:
            fail(case, "occt", lines[0])
            continue
        entities = [l.split() for l in lines[1:] if l.startswith("entity")]
        kinds = {}
        got = []
        for e in entities:
            kinds[(e[1], e[2])] = kinds.get((e[1], e[2]), 0) + 1
            values = [float(v) for v in e[3:] if not v.startswith("n=")]
            corners = [tuple(values[i:i + 3]) for i in range(0, len(values), 3)]
            if e[1] == "106":
                if len(corners) != 4 or corners[0] != corners[3]:
                    fail(case, "occt", "copious data not closed by its first point")
            if e[1] == "128":
                if len(corners) != 4 or corners[2] != corners[3]:
                    fail(case, "occt", "patch does not repeat its third control point")
            got.extend(corners)
        if case == "iges_points":
            want_kinds = {("124", "0"): 1, ("116", "0"): len(want)}
        elif case == "iges_nurbs":
            want_kinds = {("128", "0"): triangles(counts)}
        else:
            form = "13" if "normals" in case else "12"
            want_kinds = {("106", form): triangles(counts)}
        if kinds != want_kinds:
            fail(case, "occt", "entities %s, expected %s" % (kinds, want_kinds))
        if "normals" not in case:
            same_points(case, "occt", got, want, ordered=case == "iges_points")
        else:
            ok("occt")


def main():
    tmp = tempfile.mkdtemp(prefix="tolvaran-peers-")
    try:
        meshio_checks(tmp)
        vtk_checks(tmp)
        ezdxf_checks()
        coin_checks()
        csv_checks()
        psl_checks()
        chunk3ds_points_check()
        assimp_checks()
        admesh_checks()
        osgconv_checks(tmp)
        ivcat_checks()
        octave_checks(tmp)
        iges_checks()
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    for reader in sorted(checked):
        print("%-10s %d files agree" % (reader, checked[reader]))
    for f in failures:
        print("FAIL " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
