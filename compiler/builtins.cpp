// The builtin table. Forms that differ only in their result (noise, texture, ...) list the
// float form first: it is the one a call takes when nothing asks for another type.
#include "compiler/builtins.h"

#include <cstring>
#include <map>

#include "compiler/globals.h"

namespace ovo {
namespace compiler {

namespace {

using namespace flags;

const unsigned Light = P;  // the lighting functions gather light at P

const Builtin Table[] = {
    // Trigonometry, powers, rounding.
    {"radians", "f", "f", "slrt::radians($0)", 0, 0, 0},
    {"degrees", "f", "f", "slrt::degrees($0)", 0, 0, 0},
    {"sin", "f", "f", "std::sin($0)", 0, 0, 0},
    {"cos", "f", "f", "std::cos($0)", 0, 0, 0},
    {"tan", "f", "f", "std::tan($0)", 0, 0, 0},
    {"asin", "f", "f", "std::asin($0)", 0, 0, 0},
    {"acos", "f", "f", "std::acos($0)", 0, 0, 0},
    {"atan", "f", "f", "std::atan($0)", 0, 0, 0},
    {"atan", "f", "f,f", "std::atan2($0, $1)", 0, 0, 0},
    {"pow", "f", "f,f", "std::pow($0, $1)", 0, 0, 0},
    {"pow", "c", "c,f", "slrt::pow($0, $1)", 0, 0, 0},
    {"exp", "f", "f", "std::exp($0)", 0, 0, 0},
    {"sqrt", "f", "f", "std::sqrt($0)", 0, 0, 0},
    {"inversesqrt", "f", "f", "slrt::inversesqrt($0)", 0, 0, 0},
    {"log", "f", "f", "std::log($0)", 0, 0, 0},
    {"log", "f", "f,f", "slrt::log($0, $1)", 0, 0, 0},
    {"mod", "f", "f,f", "slrt::mod($0, $1)", 0, 0, 0},
    {"abs", "f", "f", "std::fabs($0)", 0, 0, 0},
    {"sign", "f", "f", "slrt::sign($0)", 0, 0, 0},
    {"floor", "f", "f", "std::floor($0)", 0, 0, 0},
    {"ceil", "f", "f", "std::ceil($0)", 0, 0, 0},
    {"round", "f", "f", "std::round($0)", 0, 0, 0},
    {"min", "f", "f,f+", "slrt::min($A)", 0, 0, 0},
    {"min", "c", "c,c+", "slrt::min($A)", 0, 0, 0},
    {"min", "t", "t,t+", "slrt::min($A)", 0, 0, 0},
    {"max", "f", "f,f+", "slrt::max($A)", 0, 0, 0},
    {"max", "c", "c,c+", "slrt::max($A)", 0, 0, 0},
    {"max", "t", "t,t+", "slrt::max($A)", 0, 0, 0},
    {"clamp", "f", "f,f,f", "slrt::clamp($0, $1, $2)", 0, 0, 0},
    {"clamp", "c", "c,c,c", "slrt::clamp($0, $1, $2)", 0, 0, 0},
    {"clamp", "t", "t,t,t", "slrt::clamp($0, $1, $2)", 0, 0, 0},
    {"mix", "f", "f,f,f", "slrt::mix($0, $1, $2)", 0, 0, 0},
    {"mix", "c", "c,c,f", "slrt::mix($0, $1, $2)", 0, 0, 0},
    {"mix", "t", "t,t,f", "slrt::mix($0, $1, $2)", 0, 0, 0},
    {"mix", "c", "c,c,c", "slrt::mix($0, $1, $2)", 0, 0, 0},
    {"step", "f", "f,f", "slrt::step($0, $1)", 0, 0, 0},
    {"smoothstep", "f", "f,f,f", "slrt::smoothstep($0, $1, $2)", 0, 0, 0},
    {"filterstep", "f", "f,f,...", "slrt::filterstep($E, $S, $0, $1, $N$K)", 1, du | dv, 0},
    {"filterstep", "f", "f,f,f,...", "slrt::filterstep($0, $1, $2, $N$K)", 0, 0, 0},

    // Random values and noise.
    {"random", "f", "", "slrt::randomf()", 0, 0, 0},
    {"random", "c", "", "slrt::randomc()", 0, 0, 0},
    {"random", "p", "", "slrt::randomp()", 0, 0, 0},
    {"random", "v", "", "slrt::randomp()", 0, 0, 0},
    {"random", "n", "", "slrt::randomp()", 0, 0, 0},
    {"noise", "f", "f", "slrt::noisef($0)", 0, 0, 0},
    {"noise", "f", "f,f", "slrt::noisef($0, $1)", 0, 0, 0},
    {"noise", "f", "t", "slrt::noisef($0)", 0, 0, 0},
    {"noise", "f", "t,f", "slrt::noisef($0, $1)", 0, 0, 0},
    {"noise", "c", "f", "slrt::noisec($0)", 0, 0, 0},
    {"noise", "c", "f,f", "slrt::noisec($0, $1)", 0, 0, 0},
    {"noise", "c", "t", "slrt::noisec($0)", 0, 0, 0},
    {"noise", "c", "t,f", "slrt::noisec($0, $1)", 0, 0, 0},
    {"noise", "p", "f", "slrt::noisep($0)", 0, 0, 0},
    {"noise", "p", "f,f", "slrt::noisep($0, $1)", 0, 0, 0},
    {"noise", "p", "t", "slrt::noisep($0)", 0, 0, 0},
    {"noise", "p", "t,f", "slrt::noisep($0, $1)", 0, 0, 0},
    {"noise", "v", "f", "slrt::noisep($0)", 0, 0, 0},
    {"noise", "v", "f,f", "slrt::noisep($0, $1)", 0, 0, 0},
    {"noise", "v", "t", "slrt::noisep($0)", 0, 0, 0},
    {"noise", "v", "t,f", "slrt::noisep($0, $1)", 0, 0, 0},
    {"pnoise", "f", "f,f", "slrt::pnoisef($0, $1)", 0, 0, 0},
    {"pnoise", "f", "f,f,f,f", "slrt::pnoisef($0, $1, $2, $3)", 0, 0, 0},
    {"pnoise", "f", "t,t", "slrt::pnoisef($0, $1)", 0, 0, 0},
    {"pnoise", "f", "t,f,t,f", "slrt::pnoisef($0, $1, $2, $3)", 0, 0, 0},
    {"pnoise", "c", "f,f", "slrt::pnoisec($0, $1)", 0, 0, 0},
    {"pnoise", "c", "f,f,f,f", "slrt::pnoisec($0, $1, $2, $3)", 0, 0, 0},
    {"pnoise", "c", "t,t", "slrt::pnoisec($0, $1)", 0, 0, 0},
    {"pnoise", "c", "t,f,t,f", "slrt::pnoisec($0, $1, $2, $3)", 0, 0, 0},
    {"pnoise", "p", "f,f", "slrt::pnoisep($0, $1)", 0, 0, 0},
    {"pnoise", "p", "f,f,f,f", "slrt::pnoisep($0, $1, $2, $3)", 0, 0, 0},
    {"pnoise", "p", "t,t", "slrt::pnoisep($0, $1)", 0, 0, 0},
    {"pnoise", "p", "t,f,t,f", "slrt::pnoisep($0, $1, $2, $3)", 0, 0, 0},
    {"pnoise", "v", "f,f", "slrt::pnoisep($0, $1)", 0, 0, 0},
    {"pnoise", "v", "f,f,f,f", "slrt::pnoisep($0, $1, $2, $3)", 0, 0, 0},
    {"pnoise", "v", "t,t", "slrt::pnoisep($0, $1)", 0, 0, 0},
    {"pnoise", "v", "t,f,t,f", "slrt::pnoisep($0, $1, $2, $3)", 0, 0, 0},
    {"cellnoise", "f", "f", "SL::cellnoisef($0)", 0, 0, 0},
    {"cellnoise", "f", "f,f", "SL::cellnoisef($0, $1)", 0, 0, 0},
    {"cellnoise", "f", "t", "SL::cellnoisef(#0)", 0, 0, 0},
    {"cellnoise", "f", "t,f", "SL::cellnoisef(#0, $1)", 0, 0, 0},
    {"cellnoise", "c", "f", "SL::cellnoisec($0)", 0, 0, 0},
    {"cellnoise", "c", "f,f", "SL::cellnoisec($0, $1)", 0, 0, 0},
    {"cellnoise", "c", "t", "SL::cellnoisec(#0)", 0, 0, 0},
    {"cellnoise", "c", "t,f", "SL::cellnoisec(#0, $1)", 0, 0, 0},
    {"cellnoise", "p", "f", "SL::cellnoisep($0)", 0, 0, 0},
    {"cellnoise", "p", "f,f", "SL::cellnoisep($0, $1)", 0, 0, 0},
    {"cellnoise", "p", "t", "SL::cellnoisep(#0)", 0, 0, 0},
    {"cellnoise", "p", "t,f", "SL::cellnoisep(#0, $1)", 0, 0, 0},
    {"cellnoise", "v", "t", "SL::cellnoisep(#0)", 0, 0, 0},
    {"cellnoise", "v", "t,f", "SL::cellnoisep(#0, $1)", 0, 0, 0},
    {"spline", "f", "f,f,f+", "slrt::splinef($A)", 0, 0, 0},
    {"spline", "c", "f,c,c+", "slrt::splinec($A)", 0, 0, 0},
    {"spline", "t", "f,t,t+", "slrt::splinep($A)", 0, 0, 0},
    {"spline", "f", "s,f,f,f+", "slrt::splinef($A)", 0, 0, 0},
    {"spline", "c", "s,f,c,c+", "slrt::splinec($A)", 0, 0, 0},
    {"spline", "t", "s,f,t,t+", "slrt::splinep($A)", 0, 0, 0},
    {"spline", "f", "f,f[]", "slrt::splinef($A)", 0, 0, 0},
    {"spline", "c", "f,c[]", "slrt::splinec($A)", 0, 0, 0},
    {"spline", "t", "f,t[]", "slrt::splinep($A)", 0, 0, 0},
    {"spline", "f", "s,f,f[]", "slrt::splinef($A)", 0, 0, 0},
    {"spline", "c", "s,f,c[]", "slrt::splinec($A)", 0, 0, 0},
    {"spline", "t", "s,f,t[]", "slrt::splinep($A)", 0, 0, 0},

    // Derivatives.
    {"Du", "f", "f", "slrt::Du($E, $S, $0)", 1, du | dv, 0},
    {"Du", "t", "t", "slrt::Du($E, $S, $0)", 3, du | dv, 0},
    {"Du", "c", "c", "slrt::noDerivative($0)", 0, 0, 0},
    {"Dv", "f", "f", "slrt::Dv($E, $S, $0)", 1, du | dv, 0},
    {"Dv", "t", "t", "slrt::Dv($E, $S, $0)", 3, du | dv, 0},
    {"Dv", "c", "c", "slrt::noDerivative($0)", 0, 0, 0},
    {"Deriv", "f", "f,f", "slrt::Deriv($E, $S, $0, $1)", 2, du | dv, 0},
    {"Deriv", "t", "t,f", "slrt::Deriv($E, $S, $0, $1)", 4, du | dv, 0},
    {"Deriv", "c", "c,f", "slrt::noDerivative($0, $1)", 0, 0, 0},
    {"area", "f", "p", "slrt::area($E, $S, $0)", 3, du | dv, 0},
    {"calculatenormal", "n", "p", "slrt::calculatenormal($E, $S, $0)", 3, du | dv, 0},

    // Geometry.
    {"xcomp", "f", "t", "($0).x", 0, 0, 0},
    {"ycomp", "f", "t", "($0).y", 0, 0, 0},
    {"zcomp", "f", "t", "($0).z", 0, 0, 0},
    {"setxcomp", "0", "&t,f", "slrt::setcomp(@0, 0.0f, $1)", 0, 0, 0},
    {"setycomp", "0", "&t,f", "slrt::setcomp(@0, 1.0f, $1)", 0, 0, 0},
    {"setzcomp", "0", "&t,f", "slrt::setcomp(@0, 2.0f, $1)", 0, 0, 0},
    {"comp", "f", "c,f", "slrt::comp($0, $1)", 0, 0, 0},
    {"comp", "f", "t,f", "slrt::comp($0, $1)", 0, 0, 0},
    {"comp", "f", "m,f,f", "slrt::comp($0, $1, $2)", 0, 0, 0},
    {"setcomp", "0", "&c,f,f", "slrt::setcomp(@0, $1, $2)", 0, 0, 0},
    {"setcomp", "0", "&t,f,f", "slrt::setcomp(@0, $1, $2)", 0, 0, 0},
    {"setcomp", "0", "&m,f,f,f", "slrt::setcomp(@0, $1, $2, $3)", 0, 0, 0},
    {"length", "f", "t", "($0).length()", 0, 0, 0},
    {"normalize", "t", "t", "SL::normalize($0)", 0, 0, 0},
    {"distance", "f", "p,p", "slrt::distance($0, $1)", 0, 0, 0},
    {"ptlined", "f", "p,p,p", "SL::ptlined($0, $1, $2)", 0, 0, 0},
    {"rotate", "p", "p,f,p,p", "SL::rotate(#0, $1, #2, #3)", 0, 0, 0},
    {"faceforward", "t", "t,t", "SL::faceforward($E, #0, #1)", 0, 0, 0},
    {"faceforward", "t", "t,t,t", "slrt::faceforward($0, $1, $2)", 0, 0, 0},
    {"reflect", "v", "v,v", "SL::reflect($0, $1)", 0, 0, 0},
    {"refract", "v", "v,v,f", "slrt::refract($0, $1, $2)", 0, 0, 0},
    {"fresnel", "0", "v,v,f,&f,&f", "SL::fresnel(#0, #1, $2, @3, @4)", 0, 0, 0},
    {"fresnel", "0", "v,v,f,&f,&f,&v,&v", "SL::fresnel(#0, #1, $2, @3, @4, @5, @6)", 0, 0, 0},
    {"depth", "f", "p", "SL::depth($E, #0)", 0, 0, 0},
    {"transform", "p", "s,p", "SL::transform($E, $0, #1)", 0, 0, 0},
    {"transform", "v", "s,v", "SL::vtransform($E, $0, #1)", 0, 0, 0},
    {"transform", "n", "s,n", "SL::ntransform($E, $0, #1)", 0, 0, 0},
    {"transform", "p", "s,s,p", "SL::transform($E, $0, $1, #2)", 0, 0, 0},
    {"transform", "v", "s,s,v", "SL::vtransform($E, $0, $1, #2)", 0, 0, 0},
    {"transform", "n", "s,s,n", "SL::ntransform($E, $0, $1, #2)", 0, 0, 0},
    {"transform", "p", "m,p", "SL::transform(#0, #1)", 0, 0, 0},
    {"transform", "v", "m,v", "SL::vtransform(#0, #1)", 0, 0, 0},
    {"transform", "n", "m,n", "SL::ntransform(#0, #1)", 0, 0, 0},
    {"vtransform", "v", "s,v", "SL::vtransform($E, $0, #1)", 0, 0, 0},
    {"vtransform", "v", "s,s,v", "SL::vtransform($E, $0, $1, #2)", 0, 0, 0},
    {"vtransform", "v", "m,v", "SL::vtransform(#0, #1)", 0, 0, 0},
    {"ntransform", "n", "s,n", "SL::ntransform($E, $0, #1)", 0, 0, 0},
    {"ntransform", "n", "s,s,n", "SL::ntransform($E, $0, $1, #2)", 0, 0, 0},
    {"ntransform", "n", "m,n", "SL::ntransform(#0, #1)", 0, 0, 0},
    {"determinant", "f", "m", "slrt::determinant($0)", 0, 0, 0},
    {"translate", "m", "m,v", "slrt::translate($0, $1)", 0, 0, 0},
    {"rotate", "m", "m,f,v", "slrt::rotate($0, $1, $2)", 0, 0, 0},
    {"scale", "m", "m,p", "slrt::scale($0, $1)", 0, 0, 0},

    // Colours and strings.
    {"ctransform", "c", "s,c", "SL::ctransform($0, #1)", 0, 0, 0},
    {"ctransform", "c", "s,s,c", "SL::ctransform($0, $1, #2)", 0, 0, 0},
    {"concat", "s", "s,s+", "slrt::concat({$A})", 0, 0, 0},
    {"match", "f", "s,s", "slrt::match($0, $1)", 0, 0, 0},
    {"format", "s", "s,*", "slrt::format($A)", 0, 0, 0},
    {"printf", "0", "s,*", "slrt::printf($E, $A)", 0, 0, 0},
    {"shadername", "s", "", "$H", 0, 0, 0},

    // Lighting.
    {"ambient", "c", "", "SL::ambient($E)", 0, Light, Varying | Illumination},
    {"diffuse", "c", "n", "SL::diffuse($E, #0)", 0, Light, Varying | Illumination},
    {"specular", "c", "n,v,f", "SL::specular($E, #0, #1, $2)", 0, Light, Varying | Illumination},
    {"specularbrdf", "c", "v,n,v,f", "SL::specularbrdf($E, #0, #1, #2, $3)", 0, 0, Varying},
    {"phong", "c", "n,v,f", "SL::phong($E, #0, #1, $2)", 0, Light, Varying | Illumination},

    // Tracing and global illumination.
    {"trace", "c", "p,v,...", "SL::tracec($E, #0, #1, $N$K)", 0, 0, Varying},
    {"transmission", "c", "p,p,...", "SL::transmission($E, $0, $1, $N$K)", 0, 0, Varying},
    {"occlusion", "f", "p,n,f,...", "SL::occlusion3($E, $0, $1, $2, $N$K)", 0, 0, Varying},
    {"occlusion", "f", "p,n,...", "SL::occlusion2($E, $0, $1, $N$K)", 0, 0, Varying},
    // The older form names a map of depth maps rendered around the scene, and an angle. A ray
    // tracer sees the scene the maps were made of: the name is not read (any map, "raytrace"
    // too, gives the same traced answer), nor the angle, and the hemisphere around N is
    // gathered as by the form without them.
    {"occlusion", "f", "s,p,n,f,...", "SL::occlusion2($E, $1, $2, $N$K)", 0, 0, Varying},
    {"indirectdiffuse", "c", "p,n,f,...", "SL::indirectdiffuse3($E, $0, $1, $2, $N$K)", 0, 0,
     Varying},
    {"indirectdiffuse", "c", "p,n,...", "SL::indirectdiffuse2($E, $0, $1, $N$K)", 0, 0, Varying},

    // Textures, environments and shadows.
    // At (s, t) or given coordinates, filtered over the pixel's footprint there: the
    // derivatives of the coordinates need the offset passes.
    {"texture", "f", "s,...", "SL::texturef($E, $0, $C, slrt::footprint($E, $S, $E.s, $E.t), $N$K)",
     2, s | t | du | dv, Varying | Channel},
    {"texture", "c", "s,...", "SL::texturec($E, $0, $C, slrt::footprint($E, $S, $E.s, $E.t), $N$K)",
     2, s | t | du | dv, Varying | Channel},
    {"texture", "f", "s,f,f,...", "SL::texturef($E, $0, $C, slrt::footprint($E, $S, $1, $2), $N$K)",
     2, du | dv, Channel},
    {"texture", "c", "s,f,f,...", "SL::texturec($E, $0, $C, slrt::footprint($E, $S, $1, $2), $N$K)",
     2, du | dv, Channel},
    {"texture", "f", "s,f,f,f,f,f,f,f,f,...",
     "SL::texture8f($E, $0, $C, $1, $2, $3, $4, $5, $6, $7, $8, $N$K)", 0, 0, Channel},
    {"texture", "c", "s,f,f,f,f,f,f,f,f,...",
     "SL::texture8c($E, $0, $C, $1, $2, $3, $4, $5, $6, $7, $8, $N$K)", 0, 0, Channel},
    {"environment", "f", "s,v,...", "SL::environmentc($E, $0, $C, #1, $N$K).r", 0, 0,
     Varying | Channel},
    {"environment", "c", "s,v,...", "SL::environmentc($E, $0, $C, #1, $N$K)", 0, 0,
     Varying | Channel},
    {"shadow", "f", "s,p,...", "SL::shadowf($E, $0, $C, #1, $N$K)", 0, 0, Varying | Channel},
    {"shadow", "c", "s,p,...", "SL::shadowc($E, $0, $C, #1, $N$K)", 0, 0, Varying | Channel},
    {"textureinfo", "f", "s,s,&f", "SL::textureinfo($E, $0, $1, @2)", 0, 0, 0},
    {"textureinfo", "f", "s,s,&f[]", "slrt::noQuery(@2)", 0, 0, 0},

    // Messages between shaders and queries of the renderer.
    {"surface", "f", "s,&f", "SL::surface($E, #0, @1)", 0, 0, Varying},
    {"surface", "f", "s,&c", "SL::surface($E, #0, @1)", 0, 0, Varying},
    {"surface", "f", "s,&t", "SL::surface($E, #0, @1)", 0, 0, Varying},
    {"displacement", "f", "s,&f", "SL::displacement($E, #0, @1)", 0, 0, Varying},
    {"displacement", "f", "s,&c", "SL::displacement($E, #0, @1)", 0, 0, Varying},
    {"displacement", "f", "s,&t", "SL::displacement($E, #0, @1)", 0, 0, Varying},
    {"atmosphere", "f", "s,&f", "SL::volume($E, #0, @1)", 0, 0, Varying},
    {"atmosphere", "f", "s,&c", "SL::volume($E, #0, @1)", 0, 0, Varying},
    {"atmosphere", "f", "s,&t", "SL::volume($E, #0, @1)", 0, 0, Varying},
    {"lightsource", "f", "s,&f", "SL::lightsource($E, #0, @1)", 0, 0, Varying},
    {"lightsource", "f", "s,&c", "SL::lightsource($E, #0, @1)", 0, 0, Varying},
    {"lightsource", "f", "s,&t", "SL::lightsource($E, #0, @1)", 0, 0, Varying},
    {"incident", "f", "s,&f", "slrt::noQuery(@1)", 0, 0, 0},
    {"incident", "f", "s,&c", "slrt::noQuery(@1)", 0, 0, 0},
    {"incident", "f", "s,&t", "slrt::noQuery(@1)", 0, 0, 0},
    {"opposite", "f", "s,&f", "slrt::noQuery(@1)", 0, 0, 0},
    {"opposite", "f", "s,&c", "slrt::noQuery(@1)", 0, 0, 0},
    {"opposite", "f", "s,&t", "slrt::noQuery(@1)", 0, 0, 0},
    {"attribute", "f", "s,&f", "SL::attribute($E, #0, @1)", 0, 0, 0},
    {"attribute", "f", "s,&s", "SL::attribute($E, #0, @1)", 0, 0, 0},
    {"attribute", "f", "s,&t", "SL::attribute($E, #0, @1)", 0, 0, 0},
    {"attribute", "f", "s,&f[]", "slrt::noQuery(@1)", 0, 0, 0},
    {"option", "f", "s,&f", "SL::option($E, #0, @1)", 0, 0, 0},
    {"option", "f", "s,&s", "SL::option($E, #0, @1)", 0, 0, 0},
    {"option", "f", "s,&t", "SL::option($E, #0, @1)", 0, 0, 0},
    {"option", "f", "s,&f[]", "slrt::optionArray($E, #0, @1)", 0, 0, 0},
    {"rayinfo", "f", "s,&s", "SL::rayinfo($E, #0, @1)", 0, 0, Varying},
    {"rayinfo", "f", "s,&f", "SL::rayinfo($E, #0, @1)", 0, 0, Varying},
    {"rayinfo", "f", "s,&t", "SL::rayinfo($E, #0, @1)", 0, 0, Varying},
    {"rendererinfo", "f", "s,&s", "slrt::rendererinfo($0, @1)", 0, 0, 0},
    {"rendererinfo", "f", "s,&f", "slrt::noQuery(@1)", 0, 0, 0},
    {"rendererinfo", "f", "s,&f[]", "slrt::noQuery(@1)", 0, 0, 0},

    // Values over (s, t) kept in a file for a later pass.
    {"bake", "0", "s,f,f,f", "SL::bake($E, $0, $1, $2, $3)", 0, 0, Varying},
    {"bake", "0", "s,f,f,c", "SL::bake($E, $0, $1, $2, $3)", 0, 0, Varying},

    // What the renderer cannot do.
    {"bake3d", "f", "s,s,p,n,*",
     "point-cloud baking (bake3d) is not supported: OVO computes occlusion and indirect "
     "light with its own caches",
     0, 0, Refused},
    {"texture3d", "f", "s,p,n,*",
     "point-cloud lookups (texture3d) are not supported: OVO computes occlusion and "
     "indirect light with its own caches",
     0, 0, Refused},
};

Base baseOfCode(char c) {
    switch (c) {
        case 'f':
            return Base::Float;
        case 's':
            return Base::String;
        case 'c':
            return Base::Color;
        case 'p':
            return Base::Point;
        case 'v':
            return Base::Vector;
        case 'n':
            return Base::Normal;
        case 'm':
            return Base::Matrix;
        case 't':
            return Base::Triple;
        default:
            return Base::Void;
    }
}

BuiltinSignature parseSignature(const Builtin& b) {
    BuiltinSignature s;
    s.result = baseOfCode(b.result[0]);
    for (const char* c = b.params; *c;) {
        if (*c == ',') {
            ++c;
        } else if (std::strncmp(c, "...", 3) == 0) {
            s.rest = Rest::Keywords;
            c += 3;
        } else if (*c == '*') {
            s.rest = Rest::Any;
            ++c;
        } else if (*c == '+') {
            s.rest = Rest::Repeat;
            ++c;
        } else {
            BuiltinParam p;
            if (*c == '&') {
                p.output = true;
                ++c;
            }
            p.base = baseOfCode(*c++);
            if (c[0] == '[' && c[1] == ']') {
                p.array = true;
                c += 2;
            }
            s.params.push_back(p);
        }
    }
    return s;
}

}  // namespace

const BuiltinSignature& signatureOf(const Builtin& b) {
    static const std::map<const Builtin*, BuiltinSignature> all = [] {
        std::map<const Builtin*, BuiltinSignature> m;
        for (const Builtin& row : Table) m[&row] = parseSignature(row);
        return m;
    }();
    return all.at(&b);
}

std::vector<const Builtin*> findBuiltins(const std::string& name) {
    static const std::map<std::string, std::vector<const Builtin*>> byName = [] {
        std::map<std::string, std::vector<const Builtin*>> m;
        for (const Builtin& b : Table) m[b.name].push_back(&b);
        return m;
    }();
    auto found = byName.find(name);
    return found == byName.end() ? std::vector<const Builtin*>() : found->second;
}

}  // namespace compiler
}  // namespace ovo
