# The three-spheres frame of three_spheres.rib rebuilt for Blender's Cycles, direct light only
# (scripts/bench.sh --cycles renders it). Run as
#   blender -b --factory-startup -noaudio -t THREADS -P three_spheres_cycles.py -- OUT.png W H N
# which renders W x H pixels with N x N samples and writes OUT.png.
#
# The .rib is left-handed with y up; Blender is right-handed with z up, so (x, y, z) becomes
# (x, z, y). RenderMan's lights carry no 1/pi where Cycles' diffuse does: the point light's
# 12 / d^2 is a power of 4 pi * 12 pi watts, the distant light's 0.6 an irradiance of 0.6 pi.
# The ambient light (0.1, Ka 1) becomes an emission of 0.1 times the surface colour, which casts
# no rays, as the ambient light casts none. Cycles has no analytic sphere: each is a smooth-shaded
# 64 x 32 UV mesh.
import math
import sys

import bpy

out, width, height, n = sys.argv[sys.argv.index("--") + 1:][:4]
width, height, n = int(width), int(height), int(n)

bpy.ops.wm.read_factory_settings(use_empty=True)
scene = bpy.context.scene
scene.render.engine = "CYCLES"
cycles = scene.cycles
cycles.device = "CPU"
cycles.samples = n * n
cycles.use_adaptive_sampling = False
cycles.use_denoising = False
cycles.max_bounces = 0  # direct light only, as the .rib's shaders gather it
cycles.caustics_reflective = False
cycles.caustics_refractive = False
cycles.filter_type = "GAUSSIAN"
cycles.filter_width = 2.0
scene.render.resolution_x = width
scene.render.resolution_y = height
scene.render.resolution_percentage = 100
scene.render.film_transparent = False
scene.display_settings.display_device = "None"  # linear values, as OVO writes them
scene.render.image_settings.file_format = "PNG"
scene.render.filepath = out

world = bpy.data.worlds.new("black")
world.color = (0, 0, 0)
scene.world = world


def place(rib):
    x, y, z = rib
    return (x, z, y)


def material(name, colour, kd, ks=0.0, roughness=0.0):
    """RenderMan's matte (kd 1) or plastic (kd 0.5, ks 0.5) with an ambient of 0.1."""
    mat = bpy.data.materials.new(name)
    mat.use_nodes = True
    nodes, links = mat.node_tree.nodes, mat.node_tree.links
    nodes.clear()
    output = nodes.new("ShaderNodeOutputMaterial")
    emission = nodes.new("ShaderNodeEmission")
    emission.inputs["Color"].default_value = (*colour, 1)
    emission.inputs["Strength"].default_value = 0.1
    diffuse = nodes.new("ShaderNodeBsdfDiffuse")
    diffuse.inputs["Color"].default_value = (*(kd * c for c in colour), 1)
    total = nodes.new("ShaderNodeAddShader")
    links.new(emission.outputs[0], total.inputs[0])
    if ks > 0:
        # Phong exponent 1 / roughness turned into a microfacet roughness.
        glossy = nodes.new("ShaderNodeBsdfGlossy")
        glossy.inputs["Color"].default_value = (ks, ks, ks, 1)
        glossy.inputs["Roughness"].default_value = math.sqrt(2 / (1 / roughness + 2))
        lobes = nodes.new("ShaderNodeAddShader")
        links.new(diffuse.outputs[0], lobes.inputs[0])
        links.new(glossy.outputs[0], lobes.inputs[1])
        links.new(lobes.outputs[0], total.inputs[1])
    else:
        links.new(diffuse.outputs[0], total.inputs[1])
    links.new(total.outputs[0], output.inputs["Surface"])
    return mat


def add(obj, mat):
    obj.data.materials.append(mat)
    for face in obj.data.polygons:
        face.use_smooth = True


for x, colour, kd, ks, roughness in [(-1.3, (0.8, 0.2, 0.2), 1.0, 0.0, 0.0),
                                     (0.0, (0.2, 0.8, 0.2), 0.5, 0.5, 0.1),
                                     (1.3, (0.2, 0.2, 0.8), 0.5, 0.5, 0.05)]:
    bpy.ops.mesh.primitive_uv_sphere_add(segments=64, ring_count=32, radius=0.6,
                                         location=place((x, 0, 0)))
    add(bpy.context.object, material(f"sphere{x}", colour, kd, ks, roughness))

bpy.ops.mesh.primitive_plane_add(size=12, location=place((0, -0.6, 0)))
floor = bpy.context.object
floor.data.materials.append(material("floor", (0.7, 0.7, 0.7), 1.0))

point = bpy.data.lights.new("point", "POINT")
point.energy = 4 * math.pi * 12 * math.pi
point.shadow_soft_size = 0  # a true point, so its shadows are hard like the .rib's
lamp = bpy.data.objects.new("point", point)
lamp.location = place((-3, 3, -3))
scene.collection.objects.link(lamp)

sun = bpy.data.lights.new("distant", "SUN")
sun.energy = 0.6 * math.pi
sun.angle = 0
lamp = bpy.data.objects.new("distant", sun)
lamp.location = place((2, 4, -3))
# A sun shines down its local -z: turn that axis towards the origin.
lamp.rotation_euler = (-lamp.location).to_track_quat("-Z", "Y").to_euler()
scene.collection.objects.link(lamp)

camera = bpy.data.cameras.new("camera")
camera.sensor_fit = "VERTICAL"
camera.angle = math.radians(40)  # the .rib's fov spans the shorter side
eye = bpy.data.objects.new("camera", camera)
eye.location = place((0, 0, -6))
eye.rotation_euler = (math.radians(90), 0, 0)  # look down +y with z up
scene.collection.objects.link(eye)
scene.camera = eye

bpy.ops.render.render(write_still=True)
