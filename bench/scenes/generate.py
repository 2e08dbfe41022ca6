#!/usr/bin/python3
"""Writes the benchmark scenes that are too large (or too many) to keep: each as a .rib and the
equivalent .pov beside it, with the camera, lights and materials of three_spheres.rib.

  generate.py spheres N STEM    N spheres on a regular lattice over the floor
  generate.py mesh T STEM       a wavy wall of about T triangles as one mesh, no floor

STEM.rib and STEM.pov are written; the triangle count actually written goes to standard output.
thousand_spheres.rib/.pov are `generate.py spheres 1000 thousand_spheres`.
"""
import math
import sys

RIB_HEAD = """Display "{stem}.png" "file" "rgb"
Format 640 480 1
PixelSamples 4 4
PixelFilter "gaussian" 2 2
Projection "perspective" "fov" 40
Translate 0 0 6
WorldBegin
Attribute "light" "string shadows" ["on"]
LightSource "ambientlight" 1 "intensity" 0.1
LightSource "pointlight" 2 "intensity" 12 "from" [-3 3 -3]
LightSource "distantlight" 3 "intensity" 0.6 "from" [2 4 -3] "to" [0 0 0]
"""

RIB_FLOOR = """AttributeBegin
Color [0.7 0.7 0.7]
Surface "matte"
Patch "bilinear" "P" [-6 -0.6 -6  6 -0.6 -6  -6 -0.6 6  6 -0.6 6]
AttributeEnd
"""

# The same frame in POV-Ray's terms; three_spheres.pov says why each number is what it is.
POV_HEAD = """#version 3.7;
global_settings { assumed_gamma 1.0 ambient_light 1 max_trace_level 5 }
#declare HalfTan = tan(radians(20));
camera {
  perspective
  location <0, 0, -6>
  direction <0, 0, 1>
  up <0, 2 * HalfTan, 0>
  right <2 * HalfTan * 4 / 3, 0, 0>
}
light_source { <-3, 3, -3> color rgb 600 fade_distance 0.1 fade_power 2 }
light_source { <2, 4, -3> * 1000 color rgb 0.6 parallel point_at <0, 0, 0> }
#declare Matte = finish { ambient 0.1 diffuse 1 specular 0 }
#declare Plastic = finish { ambient 0.1 diffuse 0.5 specular 0.5 roughness 0.1 / 8 }
"""

POV_FLOOR = """polygon {
  5, <-6, -0.6, -6>, <6, -0.6, -6>, <6, -0.6, 6>, <-6, -0.6, 6>, <-6, -0.6, -6>
  pigment { rgb 0.7 } finish { Matte }
}
"""

# Lattice spheres fill this box whatever their count, so the picture keeps its coverage as the
# count grows and only the depth of the hierarchy changes.
BOX_MIN = (-2.4, -0.5, -1.0)
BOX_MAX = (2.4, 1.5, 3.0)


def lattice(count):
    side = max(1, round(count ** (1.0 / 3.0)))
    while side ** 3 < count:
        side += 1
    steps = [(hi - lo) / side for lo, hi in zip(BOX_MIN, BOX_MAX)]
    radius = 0.35 * min(steps)
    centres = []
    for k in range(side):
        for j in range(side):
            for i in range(side):
                if len(centres) == count:
                    return centres, radius
                centres.append(((i + j + k) % 2,
                                BOX_MIN[0] + (i + 0.5) * steps[0],
                                BOX_MIN[1] + (j + 0.5) * steps[1],
                                BOX_MIN[2] + (k + 0.5) * steps[2]))
    return centres, radius


def write_spheres(count, stem):
    centres, r = lattice(count)
    # Two materials, alternating like a chequerboard: matte red and plastic blue.
    looks = [("[0.8 0.2 0.2]", '"matte"', "<0.8, 0.2, 0.2>", "Matte"),
             ("[0.2 0.2 0.8]", '"plastic"', "<0.2, 0.2, 0.8>", "Plastic")]
    with open(stem + ".rib", "w") as rib:
        rib.write(RIB_HEAD.format(stem=stem.rsplit("/", 1)[-1]))
        rib.write(RIB_FLOOR)
        for look, (colour, surface, _, _) in enumerate(looks):
            rib.write("AttributeBegin\nColor %s\nSurface %s\n" % (colour, surface))
            rib.write("".join("TransformBegin Translate %.5f %.5f %.5f Sphere %.5f %.5f %.5f 360 "
                              "TransformEnd\n" % (x, y, z, r, -r, r)
                              for m, x, y, z in centres if m == look))
            rib.write("AttributeEnd\n")
        rib.write("WorldEnd\n")
    with open(stem + ".pov", "w") as pov:
        pov.write(POV_HEAD)
        pov.write(POV_FLOOR)
        for look, (_, _, colour, finish) in enumerate(looks):
            members = "".join("  sphere { <%.5f, %.5f, %.5f>, %.5f }\n" % (x, y, z, r)
                              for m, x, y, z in centres if m == look)
            if not members:
                continue
            # A lone sphere is not a union; POV-Ray wants two members or more.
            pov.write(("union {\n%s  pigment { rgb %s } finish { %s }\n}\n" if members.count("\n") > 1
                       else "object {\n%s  pigment { rgb %s } finish { %s }\n}\n") %
                      (members, colour, finish))
    return len(centres)


def depth(x, y):
    return 1.0 + 0.25 * math.sin(3.0 * x) * math.cos(2.0 * y) + 0.1 * math.sin(7.0 * x + 5.0 * y)


def write_mesh(triangles, stem):
    quads = max(1, round(math.sqrt(triangles / 2.0)))
    verts = quads + 1
    # A wavy wall facing the camera that fills the frame, so every pixel hits the mesh.
    x0, x1, y0, y1 = -3.8, 3.8, -2.9, 2.9
    points = []
    for j in range(verts):
        y = y0 + (y1 - y0) * j / quads
        for i in range(verts):
            x = x0 + (x1 - x0) * i / quads
            points.append((x, y, depth(x, y)))
    faces = []
    for j in range(quads):
        for i in range(quads):
            a = j * verts + i
            faces.append((a, a + 1, a + verts + 1))
            faces.append((a, a + verts + 1, a + verts))
    coords = ["%.5f %.5f %.5f" % p for p in points]
    with open(stem + ".rib", "w") as rib:
        rib.write(RIB_HEAD.format(stem=stem.rsplit("/", 1)[-1]))
        rib.write('AttributeBegin\nColor [0.7 0.6 0.4]\nSurface "matte"\nPointsPolygons [')
        rib.write("3 " * len(faces))
        rib.write("]\n[")
        rib.write(" ".join("%d %d %d" % f for f in faces))
        rib.write(']\n"P" [')
        rib.write(" ".join(coords))
        rib.write("]\nAttributeEnd\nWorldEnd\n")
    with open(stem + ".pov", "w") as pov:
        pov.write(POV_HEAD)
        pov.write("mesh2 {\n  vertex_vectors { %d,\n" % len(points))
        pov.write(",\n".join("<%s>" % c.replace(" ", ", ") for c in coords))
        pov.write("\n  }\n  face_indices { %d,\n" % len(faces))
        pov.write(",\n".join("<%d, %d, %d>" % f for f in faces))
        pov.write("\n  }\n  pigment { rgb <0.7, 0.6, 0.4> } finish { Matte }\n}\n")
    return len(faces)


def main(args):
    if len(args) != 3 or args[0] not in ("spheres", "mesh") or not args[1].isdigit():
        sys.stderr.write(__doc__)
        return 2
    count = int(args[1])
    made = write_spheres(count, args[2]) if args[0] == "spheres" else write_mesh(count, args[2])
    print(made)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
