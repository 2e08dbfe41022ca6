// Control points of the classic teapot, for Geometry "teapot".
#pragma once

#include <vector>

namespace ovo {
namespace rib {

// A bicubic Bezier patch mesh of nu × nv points (u fastest), x y z each.
struct TeapotMesh {
    int nu, nv;
    std::vector<float> P;
};

// Body with rim and bottom, lid, handle, spout.
std::vector<TeapotMesh> teapotMeshes();

}  // namespace rib
}  // namespace ovo
