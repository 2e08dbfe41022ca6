// The interned keyword strings of the shading library: the names that compiled shaders pass
// as keyword arguments, space and basis names, and the messages of the lighting functions.
// Made when the library is loaded; equal strings compare by identity.
#pragma once

#include <OpenImageIO/ustring.h>

namespace strings {

// Tracing, occlusion and indirect diffuse.
extern const OIIO::ustring samples;
extern const OIIO::ustring samplecone;
extern const OIIO::ustring bias;
extern const OIIO::ustring maxhitdist;
extern const OIIO::ustring coneangle;
extern const OIIO::ustring distribution;
extern const OIIO::ustring uniform;
extern const OIIO::ustring cosine;
extern const OIIO::ustring falloffmode;
extern const OIIO::ustring falloff;
extern const OIIO::ustring environmentdir;
extern const OIIO::ustring maxerror;
extern const OIIO::ustring maxpixeldist;
extern const OIIO::ustring subset;
extern const OIIO::ustring filename;
extern const OIIO::ustring filemode;
extern const OIIO::ustring coordsystem;
extern const OIIO::ustring adaptative;
extern const OIIO::ustring maxvariation;

// Textures, environments and shadows.
extern const OIIO::ustring fill;
extern const OIIO::ustring blur;
extern const OIIO::ustring width;
extern const OIIO::ustring swrap;
extern const OIIO::ustring twrap;
extern const OIIO::ustring wrap;
extern const OIIO::ustring filter;
extern const OIIO::ustring default_;  // "default"
extern const OIIO::ustring black;
extern const OIIO::ustring clamp;
extern const OIIO::ustring periodic;
extern const OIIO::ustring mirror;
extern const OIIO::ustring raytrace;
extern const OIIO::ustring Kr;
extern const OIIO::ustring channels;
extern const OIIO::ustring resolution;

// Spline bases.
extern const OIIO::ustring bezier;
extern const OIIO::ustring bspline;
extern const OIIO::ustring catmullrom;  // "catmull-rom"
extern const OIIO::ustring hermite;
extern const OIIO::ustring power;
extern const OIIO::ustring linear;

// Named spaces.
extern const OIIO::ustring current;
extern const OIIO::ustring world;
extern const OIIO::ustring object;
extern const OIIO::ustring shader;
extern const OIIO::ustring camera;
extern const OIIO::ustring screen;
extern const OIIO::ustring raster;
extern const OIIO::ustring NDC;

// Colour spaces.
extern const OIIO::ustring rgb;
extern const OIIO::ustring hsv;
extern const OIIO::ustring hsl;
extern const OIIO::ustring XYZ;
extern const OIIO::ustring xyY;
extern const OIIO::ustring YIQ;

// Ray and attribute queries.
extern const OIIO::ustring type;
extern const OIIO::ustring specular;
extern const OIIO::ustring transmission;
extern const OIIO::ustring depth;
extern const OIIO::ustring diffusedepth;
extern const OIIO::ustring origin;
extern const OIIO::ustring direction;
extern const OIIO::ustring Sides;
extern const OIIO::ustring Format;

// Patterns, spaces and queries: the type rayinfo gives occlusion and indirect-diffuse rays.
extern const OIIO::ustring diffuse;

}  // namespace strings
