#!/usr/bin/python3
"""OVO's showcase (the scene of example.rib) built through the Python module and rendered.

    PYTHONPATH=build/python /usr/bin/python3 scenes/example.py [image] [--res W H] [--samples N]

Writes the image (example.png by default) and prints its size and mean colour, read back
from the NumPy array that Render returns."""
import argparse

import ovo


def pillar(r):
    r.PushAttributes()
    r.Rotate(-90, 1, 0, 0)
    r.Cylinder(0.22, 0, 1.4)
    r.Translate(0, 0, 1.4)
    r.Torus(0.22, 0.08)
    r.Disk(0, 0, 0.22)
    r.PopAttributes()


def cube(half):
    corners = [[x, y, z] for z in (-half, half) for y in (-half, half) for x in (-half, half)]
    faces = [0, 2, 3, 1, 2, 6, 7, 3, 6, 4, 5, 7, 4, 0, 1, 5, 1, 3, 7, 5, 4, 6, 2, 0]
    return corners, faces


def build(r, image, width, height, samples):
    r.Output(image, "png", "rgba")
    r.Attribute("int[2] resolution", [width, height])
    r.Attribute("int[2] spatialquality", [samples, samples])
    r.Attribute("string filter", "gaussian")
    r.Attribute("float[2] filterwidth", [2, 2])
    r.Attribute("string projection", "perspective")
    r.Attribute("float fov", 30)
    r.ObjectBegin("pillar")
    pillar(r)
    r.ObjectEnd()
    # The camera sits where the world-to-camera moves (translate, then tilt and turn) put it:
    # the renderer is given their inverse.
    r.Rotate(-12, 0, 1, 0)
    r.Rotate(24, 1, 0, 0)
    r.Translate(0, 0.4, -11)
    r.Camera("camera")

    r.World()
    r.Attribute("string light:shadows", "on")
    r.Light("1", "ambientlight", intensity=0.08)
    r.Light("2", "spotlight", {"intensity": 60, "point from": [-4, 7, -4], "point to": [0, 0, 0],
                               "coneangle": 0.5, "conedeltaangle": 0.1,
                               "color lightcolor": [1, 0.95, 0.85]})
    r.Light("3", "distantlight", {"intensity": 0.35, "point from": [5, 4, -2],
                                  "point to": [0, 0, 0], "color lightcolor": [0.7, 0.8, 1]})
    r.Light("4", "pointlight", {"intensity": 6, "point from": [2.5, 2, -3.5]})

    r.PushAttributes()  # the floor
    r.Attribute("color C", [0.7, 0.7, 0.7])
    r.Shader("surface", "matte", Kd=0.9)
    r.Polygon(4, P=[-12, 0, -12, 12, 0, -12, 12, 0, 12, -12, 0, 12])
    r.PopAttributes()

    for at, colour, shader, radius in (
            ((-2, 1, 0), [0.85, 0.12, 0.1], ("plastic", {"Ks": 0.7, "roughness": 0.05}), 1.0),
            ((0.6, 0.7, -2), [0.95, 0.8, 0.45],
             ("metal", {"Ka": 0.3, "Ks": 1, "roughness": 0.25}), 0.7)):
        r.PushAttributes()
        r.Translate(*at)
        r.Attribute("color C", colour)
        r.Shader("surface", shader[0], shader[1])
        r.Sphere(radius)
        r.PopAttributes()

    r.PushAttributes()  # a cube with a sphere carved out
    r.Translate(1.6, 0.75, 1.2)
    r.Rotate(30, 0, 1, 0)
    r.Attribute("color C", [0.2, 0.5, 0.9])
    r.Shader("surface", "plastic", Ks=0.5, roughness=0.1)
    r.SolidBegin("difference")
    r.SolidBegin("primitive")
    corners, faces = cube(0.75)
    r.Mesh("linear", [4] * 6, faces, P=corners)
    r.SolidEnd()
    r.SolidBegin("primitive")
    r.Sphere(0.95)
    r.SolidEnd()
    r.SolidEnd()
    r.PopAttributes()

    r.PushAttributes()  # a torus lying on the floor
    r.Translate(-0.3, 0.25, 2.3)
    r.Rotate(90, 1, 0, 0)
    r.Attribute("color C", [0.3, 0.75, 0.35])
    r.Shader("surface", "plastic", Ks=0.5, roughness=0.1)
    r.Torus(0.6, 0.25)
    r.PopAttributes()

    r.Shader("surface", "plastic", Ks=0.3, roughness=0.2)  # a row of pillars
    r.Attribute("color C", [0.9, 0.85, 0.75])
    for x in (-4, -2, 0, 2, 4):
        r.PushAttributes()
        r.Translate(x, 0, 4.5)
        r.ObjectInstance("pillar")
        r.PopAttributes()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("image", nargs="?", default="example.png")
    parser.add_argument("--res", nargs=2, type=int, default=[800, 450], metavar=("W", "H"))
    parser.add_argument("--samples", type=int, default=4)
    args = parser.parse_args()

    r = ovo.Renderer(diagnostics=lambda level, message: print(f"ovo {level}: {message}"))
    build(r, args.image, args.res[0], args.res[1], args.samples)
    pixels = r.Render()
    mean = pixels[..., :3].mean(axis=(0, 1))
    print(f"{args.image}: {pixels.shape[1]} x {pixels.shape[0]}, mean colour "
          f"{mean[0]:.3f} {mean[1]:.3f} {mean[2]:.3f}")


if __name__ == "__main__":
    main()
