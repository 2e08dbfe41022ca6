/* A host program written in C against the binding: renders a red sphere of radius 1 five
 * units in front of a camera with a 40 degree field of view into the picture argv[1]. */
#include <ri.h>

int main(int argc, char** argv) {
    RtFloat fov = 40.0f;
    RtColor red = {1.0f, 0.0f, 0.0f};
    if (argc < 2) return 2;
    RiBegin(RI_NULL);
    RiFormat(64, 64, 1.0f);
    RiPixelSamples(4, 4);
    RiDisplay(argv[1], RI_FILE, RI_RGBA, RI_NULL);
    RiProjection(RI_PERSPECTIVE, RI_FOV, &fov, RI_NULL);
    RiTranslate(0.0f, 0.0f, 5.0f);
    RiWorldBegin();
    RiAttributeBegin();
    RiColor(red);
    RiSurface(RI_CONSTANT, RI_NULL);
    RiSphere(1.0f, -1.0f, 1.0f, 360.0f, RI_NULL);
    RiAttributeEnd();
    RiWorldEnd();
    RiEnd();
    return 0;
}
