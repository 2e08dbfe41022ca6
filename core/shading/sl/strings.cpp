// The interned keyword strings.
#include "core/shading/sl/strings.h"

namespace strings {

// Tracing, occlusion and indirect diffuse.
const OIIO::ustring samples("samples");
const OIIO::ustring samplecone("samplecone");
const OIIO::ustring bias("bias");
const OIIO::ustring maxhitdist("maxhitdist");
const OIIO::ustring coneangle("coneangle");
const OIIO::ustring distribution("distribution");
const OIIO::ustring uniform("uniform");
const OIIO::ustring cosine("cosine");
const OIIO::ustring falloffmode("falloffmode");
const OIIO::ustring falloff("falloff");
const OIIO::ustring environmentdir("environmentdir");
const OIIO::ustring maxerror("maxerror");
const OIIO::ustring maxpixeldist("maxpixeldist");
const OIIO::ustring subset("subset");
const OIIO::ustring filename("filename");
const OIIO::ustring filemode("filemode");
const OIIO::ustring coordsystem("coordsystem");
const OIIO::ustring adaptative("adaptative");
const OIIO::ustring maxvariation("maxvariation");

// Textures, environments and shadows.
const OIIO::ustring fill("fill");
const OIIO::ustring blur("blur");
const OIIO::ustring width("width");
const OIIO::ustring swrap("swrap");
const OIIO::ustring twrap("twrap");
const OIIO::ustring wrap("wrap");
const OIIO::ustring filter("filter");
const OIIO::ustring default_("default");
const OIIO::ustring black("black");
const OIIO::ustring clamp("clamp");
const OIIO::ustring periodic("periodic");
const OIIO::ustring mirror("mirror");
const OIIO::ustring raytrace("raytrace");
const OIIO::ustring Kr("Kr");
const OIIO::ustring channels("channels");
const OIIO::ustring resolution("resolution");

// Spline bases.
const OIIO::ustring bezier("bezier");
const OIIO::ustring bspline("bspline");
const OIIO::ustring catmullrom("catmull-rom");
const OIIO::ustring hermite("hermite");
const OIIO::ustring power("power");
const OIIO::ustring linear("linear");

// Named spaces.
const OIIO::ustring current("current");
const OIIO::ustring world("world");
const OIIO::ustring object("object");
const OIIO::ustring shader("shader");
const OIIO::ustring camera("camera");
const OIIO::ustring screen("screen");
const OIIO::ustring raster("raster");
const OIIO::ustring NDC("NDC");

// Colour spaces.
const OIIO::ustring rgb("rgb");
const OIIO::ustring hsv("hsv");
const OIIO::ustring hsl("hsl");
const OIIO::ustring XYZ("XYZ");
const OIIO::ustring xyY("xyY");
const OIIO::ustring YIQ("YIQ");

// Ray and attribute queries.
const OIIO::ustring type("type");
const OIIO::ustring specular("specular");
const OIIO::ustring transmission("transmission");
const OIIO::ustring depth("depth");
const OIIO::ustring diffusedepth("diffusedepth");
const OIIO::ustring origin("origin");
const OIIO::ustring direction("direction");
const OIIO::ustring Sides("Sides");
const OIIO::ustring Format("Format");

// Patterns, spaces and queries: the type rayinfo gives occlusion and indirect-diffuse rays.
const OIIO::ustring diffuse("diffuse");

}  // namespace strings
