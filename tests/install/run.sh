#!/usr/bin/env bash
# The installed package as a plugin author meets it: installs the build into a scratch prefix,
# builds tests/install/project (a shape plugin, a shader compiled by the installed ovoslc and a
# host program) with find_package(OVO), renders a frame with both and checks it; then checks
# that a C host program builds against the installed binding, that the installed ovo and Python
# module render with their own plugins and shaders, without OVO_HOME, and that pkg-config
# describes the library.
#   run.sh <build folder>
set -euo pipefail
build="$(cd "$1" && pwd)"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
unset OVO_HOME OVO_CXX
prefix="$scratch/prefix"

fail() { echo "install test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/ovo bin/ovoslc lib/ovo/plugins/sphere.shape.so share/ovo/shaders/plastic.shader.so \
         share/ovo/shaders/plastic.sl include/ovo/core/api/renderer_api.h \
         include/ovo/compiler/runtime.h include/ovo/ri/ri.h lib/libovori.so \
         lib/cmake/OVO/OVOConfig.cmake lib/pkgconfig/ovo.pc; do
    [ -e "$prefix/$f" ] || fail "$f is not installed"
done
soname=$(objdump -p "$prefix"/lib/libovo.so | awk '/SONAME/ {print $2}')
[ "$soname" = libovo.so.1 ] || fail "SONAME is '$soname', not libovo.so.1"

# An empty RUNPATH entry is the current directory: whoever runs ovo from a folder holding a
# library of the right name would load it.
for f in "$build"/bin/* "$build"/lib/*.so* "$build"/plugins/*.so "$build"/python/*.so \
         "$prefix"/bin/* "$prefix"/lib/*.so* "$prefix"/lib/ovo/plugins/*.so; do
    [ -f "$f" ] || continue
    runpath=$(readelf -d "$f" 2>/dev/null | sed -n 's/.*R[UN]*PATH.*\[\(.*\)\]/\1/p') || continue
    [ -z "$runpath" ] && continue
    case ":$runpath:" in *::*) fail "$f searches the current directory (RUNPATH '$runpath')" ;; esac
done

# libOpenImageIO brings some 270 libraries that take a fifth of a second to load: only the image
# bridge may need it, so that what starts a render does not wait for it.
for f in "$prefix"/lib/*.so* "$prefix"/lib/ovo/plugins/*.so "$prefix"/share/ovo/shaders/*.so \
         "$prefix"/lib/python3/dist-packages/*.so; do
    [ -f "$f" ] && [ "$(basename "$f")" != libovo_imageio.so ] || continue
    readelf -d "$f" | grep -q 'NEEDED.*\[libOpenImageIO\.so' && fail "$f needs libOpenImageIO"
done
[ -f "$prefix/lib/libovo_imageio.so" ] || fail "the image bridge is not installed"

# The build tree is out of reach from here on: what works must come from the prefix.
cmake -S "$here/project" -B "$scratch/project" -DCMAKE_PREFIX_PATH="$prefix" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$scratch/project" -j2 >/dev/null || fail "the out-of-tree project does not build"
# "." is on the plugin and shader paths: the new plugin and shader are found where they were made.
(cd "$scratch/project" && ./render_square "$scratch/square.exr") || fail "the square frame is wrong"

cat > "$scratch/scene.rib" <<'RIB'
Display "sphere.exr" "openexr" "rgba"
Format 32 24 1
Projection "perspective" "fov" 60
WorldBegin
LightSource "distantlight" 1 "intensity" 1
Surface "plastic"
Translate 0 0 4
Sphere 1 -1 1 360
WorldEnd
RIB
(cd "$scratch" && "$prefix/bin/ovo" -q scene.rib) || fail "the installed ovo does not render"
[ -s "$scratch/sphere.exr" ] || fail "the installed ovo wrote no image"
# A C host program built against the installed binding with nothing but the C compiler.
cc -I "$prefix/include/ovo/ri" "$here/../ri/host_sphere.c" -o "$scratch/ri_host" -L "$prefix/lib" \
   -lovori -Wl,-rpath,"$prefix/lib" -Wl,-rpath-link,"$prefix/lib" ||
    fail "a C host program does not build against ri.h and libovori"
"$scratch/ri_host" "$scratch/ri.tif" 2>/dev/null || fail "the C host program does not run"
[ -s "$scratch/ri.tif" ] || fail "the C host program wrote no image"
version=$("$prefix/bin/ovo" --version)
[[ "$version" == "ovo "* ]] || fail "ovo --version says '$version'"

# The installed Python module, when the build made one, renders with the installed plugins.
if compgen -G "$build/python/ovo*.so" >/dev/null; then
    PYTHONPATH="$prefix/lib/python3/dist-packages" /usr/bin/python3 -c '
import ovo
r = ovo.Renderer(diagnostics=lambda level, message: print(level, message))
r.Attribute("int[2] resolution", [32, 24])
r.World()
r.Shader("surface", "constant")
r.Translate(0, 0, 5)
r.Sphere(2)
image = r.Render()
assert image[12, 16, 0] == 1 and image[0, 0, 0] == 0, "the sphere is not there"
assert ovo.__file__.startswith("'"$prefix"'"), ovo.__file__
' || fail "the installed Python module does not render"
fi

export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
include=$(pkg-config --cflags-only-I ovo | sed 's/^-I//; s/ .*//')
[ -f "$include/core/api/renderer_api.h" ] || fail "pkg-config's include folder is '$include'"
[[ "$(pkg-config --libs ovo)" == *"-lovo"* ]] || fail "pkg-config does not link -lovo"
echo "install test: passed"
