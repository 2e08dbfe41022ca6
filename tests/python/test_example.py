"""scenes/example.py builds through the module the same showcase that scenes/example.rib
describes: both are rendered and compared region by region (the sampling noise differs)."""
import importlib.util
import os
import subprocess

import numpy as np

import ovo

WIDTH, HEIGHT, SAMPLES = 160, 90, 2


def load_example():
    path = os.path.join(os.environ["OVO_SOURCE_DIR"], "scenes", "example.py")
    found = importlib.util.spec_from_file_location("example", path)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def blocks(image):
    """Mean colour of each 16 x 15 pixel block."""
    rgb = image[..., :3].reshape(HEIGHT // 15, 15, WIDTH // 16, 16, 3)
    return rgb.mean(axis=(1, 3))


def test_the_script_renders_the_scene_file(tmp_path):
    reports = []
    r = ovo.Renderer(diagnostics=lambda level, message: reports.append((level, message)))
    load_example().build(r, str(tmp_path / "script.png"), WIDTH, HEIGHT, SAMPLES)
    script = r.Render()
    assert reports == []

    home = os.environ["OVO_HOME"]
    scene = os.path.join(os.environ["OVO_SOURCE_DIR"], "scenes", "example.rib")
    subprocess.run([os.path.join(home, "bin", "ovo"), "-q", "--res", str(WIDTH), str(HEIGHT),
                    "--samples", str(SAMPLES), "-o", str(tmp_path / "file.png"), scene],
                   check=True, cwd=tmp_path)
    file = ovo.read_image(str(tmp_path / "file.png"))
    assert script.shape == file.shape == (HEIGHT, WIDTH, 4)
    assert np.abs(blocks(script) - blocks(file)).max() < 0.03
    assert script[..., :3].mean() > 0.1  # lit, not black
