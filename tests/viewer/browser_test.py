#!/usr/bin/python3
"""ovo --view in a real headless browser (chromium through selenium).

    browser_test.py path/to/ovo

Checks that the page is refused without the run's token, that the canvas shows what ovo wrote
to a file, that the pixel read-out shows a pixel's values, that buckets reach the page before
the frame is done, and that Ctrl-C after the last frame ends ovo with status 0.
"""
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By

# Two spheres over a floor: colour, soft alpha edges and a range of depths.
SCENE = """Display "shown.ppm" "file" "rgb"
Display "+live" "framebuffer" "rgba"
Format {width} {height} 1
PixelSamples {samples} {samples}
Projection "perspective" "fov" 40
Translate 0 -0.3 4
WorldBegin
  LightSource "ambientlight" 1 "intensity" 0.2
  LightSource "distantlight" 2 "intensity" 1.0 "from" [-2 4 -3] "to" [0 0 0]
  Surface "plastic"
  AttributeBegin Translate -0.6 0 0 Color [0.9 0.3 0.2] Sphere 0.6 -0.6 0.6 360 AttributeEnd
  AttributeBegin Translate 0.7 0.1 1.5 Color [0.2 0.5 0.9] Sphere 0.5 -0.5 0.5 360 AttributeEnd
  AttributeBegin Color [0.6 0.6 0.6] Surface "matte"
    Polygon "P" [-3 -0.6 -2  3 -0.6 -2  3 -0.6 6  -3 -0.6 6]
  AttributeEnd
WorldEnd
"""

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED: " + what, file=sys.stderr)


def start_ovo(ovo, folder, extra):
    process = subprocess.Popen([ovo, "--view"] + extra + ["scene.rib"], cwd=folder,
                               stderr=subprocess.PIPE, stdout=subprocess.DEVNULL, text=True)
    first = process.stderr.readline()
    match = re.fullmatch(r"viewing at (http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]{32}))\n", first)
    if not match:
        process.kill()
        raise SystemExit("unexpected first line on standard error: %r" % first)
    return process, match.group(1), match.group(3)


def wait_for(driver, script, seconds):
    end = time.time() + seconds
    while time.time() < end:
        value = driver.execute_script(script)
        if value:
            return value
        time.sleep(0.05)
    return None


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    words = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
    width, height = int(words.group(1)), int(words.group(2))
    pixels = data[words.end():]
    return width, height, lambda x, y: tuple(pixels[(y * width + x) * 3:(y * width + x) * 3 + 3])


def canvas_pixel(driver, x, y):
    return driver.execute_script(
        "return Array.from(document.getElementById('image').getContext('2d')"
        ".getImageData(arguments[0], arguments[1], 1, 1).data);", x, y)


def finished_frame(ovo, driver, folder):
    with open(os.path.join(folder, "scene.rib"), "w") as f:
        f.write(SCENE.format(width=96, height=72, samples=2))
    process, url, token = start_ovo(ovo, folder, [])
    try:
        # What each path answers without the token is the server's own test; here the page.
        driver.get(url.split("?")[0])
        check("token" in driver.find_element(By.TAG_NAME, "body").text,
              "the page without the token is refused")
        driver.get(url)
        check(driver.title == "ovo view", "the page loads with the token")
        done = wait_for(driver, "const f = window.ovoView.frames()[0]; return f && f.done;", 60)
        check(done, "the frame is shown done")
        line = process.stderr.readline()
        check(line.startswith("ovo: rendering done; still viewing at " + url), "done line: " + line)

        # The canvas against the file ovo wrote, at the corners, the middle and the spheres.
        width, height, written = read_ppm(os.path.join(folder, "shown.ppm"))
        check(driver.execute_script("return [image.width, image.height]") == [width, height],
              "the canvas has the image's size")
        for x, y in [(0, 0), (width - 1, height - 1), (width // 2, height // 2), (20, 36),
                     (70, 30), (5, 60)]:
            shown = canvas_pixel(driver, x, y)
            expected = written(x, y)
            check(all(abs(a - b) <= 1 for a, b in zip(shown[:3], expected)) and shown[3] == 255,
                  "pixel %d,%d is %s on the canvas and %s in the file" % (x, y, shown, expected))

        # The read-out of the pixel under the pointer (the image is shown 1:1).
        x, y = 30, 36
        canvas = driver.find_element(By.ID, "image")
        ActionChains(driver).move_to_element_with_offset(
            canvas, x - width // 2, y - height // 2).perform()
        text = driver.find_element(By.ID, "readout").text
        values = re.match(r"x (\d+)  y (\d+)  R ([\d.]+)  G ([\d.]+)  B ([\d.]+)  A ([\d.]+)  "
                          r"Z ([\d.e+]+)", text)
        check(values is not None, "read-out: " + text)
        if values:
            px, py = int(values.group(1)), int(values.group(2))
            check(abs(px - x) <= 1 and abs(py - y) <= 1, "read-out position: " + text)
            for c in range(3):
                v = float(values.group(3 + c))
                check(abs(min(max(v, 0), 1) * 255 - written(px, py)[c]) <= 1,
                      "read-out value %d: %s against %s" % (c, text, written(px, py)))
            check(float(values.group(6)) == 1.0, "an opaque pixel reads A 1: " + text)
            check(0 < float(values.group(7)) < 100, "a sphere's depth reads: " + text)

        # Alpha and depth as grey: alpha as it is, depth near bright and far dark, the sky black.
        frame = "window.ovoView.frames()[0]"
        driver.find_element(By.CSS_SELECTOR, "button[data-channel=a]").click()
        for x, y in [(0, 0), (20, 36)]:
            alpha = driver.execute_script("return %s.rgba[(%d * %s.fullWidth + %d) * 4 + 3]"
                                          % (frame, y, frame, x))
            check(canvas_pixel(driver, x, y)[0] == round(alpha * 255), "the A button shows alpha")
        driver.find_element(By.CSS_SELECTOR, "button[data-channel=z]").click()
        near, far = driver.execute_script("return [%s.zNear, %s.zFar]" % (frame, frame))
        for x, y in [(0, 0), (20, 36), (5, 70), (70, 30)]:
            z = driver.execute_script("return %s.z[%d * %s.fullWidth + %d]" % (frame, y, frame, x))
            grey = 0 if z >= 1e29 else round(255 * (1 - 0.9 * (z - near) / (far - near)))
            check(abs(canvas_pixel(driver, x, y)[0] - grey) <= 1,
                  "the Z button shows depth %g at %d,%d as %d" % (z, x, y, grey))
        check(near < far < 1e29, "depths were received: %g..%g" % (near, far))
        driver.find_element(By.CSS_SELECTOR, "button[data-channel=rgb]").click()

        process.send_signal(signal.SIGINT)
        check(process.wait(timeout=20) == 0, "Ctrl-C after the last frame ends ovo with 0")
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()


def partial_frame(ovo, driver, folder):
    with open(os.path.join(folder, "scene.rib"), "w") as f:
        f.write(SCENE.format(width=160, height=120, samples=24))
    process, url, _ = start_ovo(ovo, folder, ["-t", "1"])
    try:
        driver.get(url)
        seen = wait_for(driver, "const f = window.ovoView.frames()[0];"
                        "return f && f.coveredCount > 0 && !f.done ? f.coveredCount : 0;", 60)
        check(seen, "buckets reach the page before the frame is done")
        if seen:
            alphas = driver.execute_script(
                "const d = image.getContext('2d').getImageData(0, 0, image.width, image.height)"
                ".data; let opaque = 0, clear = 0;"
                "for (let i = 3; i < d.length; i += 4) d[i] === 255 ? ++opaque : ++clear;"
                "return [opaque, clear];")
            check(alphas[0] > 0 and alphas[1] > 0, "the canvas shows a partial image: %s" % alphas)
            check("%" in driver.find_element(By.ID, "progress").text, "progress is shown")
        process.send_signal(signal.SIGINT)
        check(process.wait(timeout=30) == 130, "Ctrl-C during a frame stops it (status 130)")
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()


def main():
    ovo = os.path.abspath(sys.argv[1])
    options = webdriver.ChromeOptions()
    for argument in ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--window-size=800,600", "--force-device-scale-factor=1"]:
        options.add_argument(argument)
    options.binary_location = "/usr/bin/chromium"
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        with tempfile.TemporaryDirectory() as folder:
            finished_frame(ovo, driver, folder)
            partial_frame(ovo, driver, folder)
    finally:
        driver.quit()
    if failures:
        raise SystemExit("%d check(s) failed" % len(failures))
    print("viewer browser test passed")


if __name__ == "__main__":
    main()
