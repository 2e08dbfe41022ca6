"""The Python module: frames against analytic coverage, parameter lists in every form,
diagnostics through the callable, and renderers side by side in one interpreter."""
import math
import sys
import threading

import numpy as np
import pytest

import ovo

WIDTH, HEIGHT = 64, 48


def sphere_pixels(radius, distance):
    """The area in pixels of a sphere's outline seen from its centre line by the default camera
    (90 degrees across the screen's height of -1..1, 24 pixels per unit at 64 x 48)."""
    screen = radius / math.sqrt(distance * distance - radius * radius)
    return math.pi * (24.0 * screen) ** 2


class Recorder(list):
    """The (level, message) pairs of every report, in order."""

    def __call__(self, level, message):
        self.append((level, message))


def new_renderer(diagnostics=None, resolution=(WIDTH, HEIGHT)):
    r = ovo.Renderer(diagnostics=diagnostics)
    r.Attribute("int[2] resolution", list(resolution))
    # 4 x 4 samples a pixel keep the outline's noise in the coverage near 0.5%.
    r.Attribute("int[2] spatialquality", [4, 4])
    return r


def coverage(image):
    """Covered pixels: the "constant" shader paints white on black, and the filter spreads an
    outline without changing the covered area."""
    return image[..., 0].sum()


def render_sphere(r, radius=2.0, distance=5.0, **shape):
    r.World()
    r.Shader("surface", "constant")
    r.Translate(0, 0, distance)
    if shape:
        r.Shape("sphere", **shape)
    else:
        r.Sphere(radius)
    return r.Render()


def test_sphere_coverage_matches_its_projection():
    messages = Recorder()
    image = render_sphere(new_renderer(messages))
    assert messages == []
    assert image.shape == (HEIGHT, WIDTH, 4) and image.dtype == np.float32
    assert coverage(image) == pytest.approx(sphere_pixels(2.0, 5.0), rel=0.02)
    assert list(image[24, 32]) == pytest.approx([1, 1, 1, 1])
    assert image[0, 0, 0] == 0.0 and image[47, 63, 0] == 0.0


@pytest.mark.parametrize("form", [
    lambda r: r.Shape("sphere", radius=1.5),
    lambda r: r.Shape("sphere", {"float radius": 1.5}),
    lambda r: r.Shape("sphere", {"radius": 1.5, "float thetamax": 360}),
    lambda r: r.Sphere(1.5),
])
def test_parameter_lists_as_keywords_and_dicts(form):
    r = new_renderer()
    r.World()
    r.Shader("surface", "constant")
    r.Translate(0, 0, 5)
    form(r)
    image = r.Render()
    assert coverage(image) == pytest.approx(sphere_pixels(1.5, 5.0), rel=0.02)


def test_points_as_a_numpy_array_and_a_camera_from_a_dict():
    r = new_renderer()
    # 60 degrees: the screen's -1..1 spans tan(30) of depth each way.
    r.Camera("camera", {"float fov": 60})
    r.World()
    r.Shader("surface", "constant")
    square = np.array([[-1, -1, 4], [1, -1, 4], [1, 1, 4], [-1, 1, 4]], dtype=np.float64)
    r.Polygon(4, P=square)
    image = r.Render()
    side = 2 * (1 / 4) / math.tan(math.radians(30)) * 24
    assert coverage(image) == pytest.approx(side * side, rel=0.02)


def test_images_come_back_from_the_files_written(tmp_path):
    r = new_renderer()
    path = str(tmp_path / "sphere.exr")
    r.Output(path, "openexr", "rgba")
    image = render_sphere(r)
    assert np.array_equal(image, ovo.read_image(path))
    assert ovo.read_image(str(tmp_path / "none.exr")) is None


def test_attributes_read_back_with_their_types():
    r = ovo.Renderer()
    r.Attribute("vector user:dir", np.array([1.0, 2.0, 3.0]))
    r.Attribute({"float user:weight": 0.5}, **{"string user:label": "front"})
    r.Attribute("float[4] screen", [-2, 2, -1, 1])
    assert r.GetAttribute("vector user:dir") == [1, 2, 3]
    assert r.GetAttribute("float user:weight") == 0.5
    assert r.GetAttribute("string user:label") == "front"
    assert r.GetAttribute("float user:missing") is None
    assert r.GetAttribute("float[4] screen") == [-2, 2, -1, 1]
    version = r.GetAttribute("string renderer:versionstring")
    assert isinstance(version, str) and version


def test_diagnostics_reach_the_callable_word_for_word():
    messages = Recorder()
    r = ovo.Renderer(diagnostics=messages)
    r.Rotate(30, 0, 0, 0)
    r.RestoreAttributes("nothing")
    assert messages == [
        ("error", "Invalid rotation axis ( 0.000000 0.000000 0.000000 ). Ignoring ..."),
        ("error", 'RestoreAttributes: unknown attribute state "nothing"'),
    ]


def test_a_failing_callable_does_not_stop_the_renderer(monkeypatch):
    def broken(level, message):
        raise RuntimeError("the callable fails")

    unraisable = []
    monkeypatch.setattr(sys, "unraisablehook", unraisable.append)
    r = ovo.Renderer(diagnostics=broken)
    r.Rotate(30, 0, 0, 0)
    r.Attribute("int[2] resolution", [WIDTH, HEIGHT])
    assert coverage(render_sphere(r)) > 0
    assert [str(u.exc_value) for u in unraisable] == ["the callable fails"]


def test_misuse_from_python_raises():
    with pytest.raises(TypeError):
        ovo.Renderer(diagnostics=42)
    r = ovo.Renderer()
    with pytest.raises(TypeError):
        r.Shape("sphere", [1, 2])
    with pytest.raises(ValueError):
        r.AppendTransform([1, 2, 3])


def test_the_interpreter_runs_while_a_frame_renders():
    r = new_renderer(resolution=(256, 192))
    done = []
    worker = threading.Thread(target=lambda: done.append(render_sphere(r)))
    worker.start()
    steps = 0
    while worker.is_alive():
        steps += 1
    worker.join()
    assert coverage(done[0]) > 0
    # Were the lock held while rendering, this loop could not have run until the frame was done.
    assert steps > 1000


def test_two_renderers_render_side_by_side():
    """Two renderers in two threads at once: each keeps its own scene and its own callable."""
    first, second = Recorder(), Recorder()
    renderers = {1.0: new_renderer(first), 2.5: new_renderer(second)}
    renderers[1.0].Rotate(30, 0, 0, 0)
    images = {}

    def run(radius):
        images[radius] = render_sphere(renderers[radius], radius=radius)

    threads = [threading.Thread(target=run, args=(radius,)) for radius in renderers]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for radius, image in images.items():
        assert coverage(image) == pytest.approx(sphere_pixels(radius, 5.0), rel=0.02)
    assert len(first) == 1 and second == []
