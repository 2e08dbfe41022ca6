// Renders the out-of-tree "square" shape with the out-of-tree "tinted" shader through the
// installed library, writes the frame to argv[1] and checks it: the square's coverage against
// its projection and the shader's colour inside it. Exits 0 when every check holds.
#include <OpenImageIO/imageio.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "core/api/renderer_api.h"
#include "core/params/error.h"

namespace {

constexpr int Width = 64, Height = 48;
const float Tint[3] = {0.9f, 0.3f, 0.1f};
int failures = 0;

void expect(bool ok, const char* what, double got, double want) {
    if (ok) return;
    std::fprintf(stderr, "render_square: %s: got %g, want %g\n", what, got, want);
    ++failures;
}

class CountingHandler : public OIIO::ErrorHandler {
  public:
    void operator()(int code, const std::string& message) override {
        std::fprintf(stderr, "render_square: renderer says: %s\n", message.c_str());
        if ((code & 0xffff0000) >= EH_WARNING) ++reports;
    }
    int reports = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: render_square image.exr\n");
        return 2;
    }
    CountingHandler handler;
    ovo::ErrorManager* errors = ovo::ErrorManager::Create(&handler, 1);
    ovo::RendererAPI* renderer = ovo::RendererAPI::CreateRenderer("raytracer", errors);
    if (!renderer) return 1;
    const int resolution[2] = {Width, Height};
    renderer->Attribute("int[2] resolution", resolution);
    const int samples[2] = {4, 4};
    renderer->Attribute("int[2] spatialquality", samples);
    renderer->Output(argv[1], "openexr", "rgba", "camera");
    renderer->World();
    renderer->Parameter("color tint", Tint);
    renderer->Shader("surface", "tinted", nullptr);
    // Half-size 2 four units ahead: half a unit of screen, 12 pixels, each way from the centre.
    renderer->Translate(0.0f, 0.0f, 4.0f);
    renderer->Parameter("float half", 2.0f);
    renderer->Shape("square");
    renderer->Render(nullptr);
    delete renderer;
    expect(handler.reports == 0, "warnings and errors", handler.reports, 0);

    auto in = OIIO::ImageInput::open(argv[1]);
    if (!in) {
        std::fprintf(stderr, "render_square: cannot read %s\n", argv[1]);
        delete errors;
        return 1;
    }
    std::vector<float> pixels(Width * Height * 4);
    const bool read = in->read_image(0, 0, 0, 4, OIIO::TypeDesc::FLOAT, pixels.data());
    expect(read && in->spec().width == Width && in->spec().height == Height, "image read", 0, 1);
    auto at = [&](int x, int y, int c) { return pixels[(y * Width + x) * 4 + c]; };
    double sums[3] = {0.0, 0.0, 0.0};
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x)
            for (int c = 0; c < 3; ++c) sums[c] += at(x, y, c);
    // The filter spreads the edges, but the covered area stays the square's 24 x 24 pixels,
    // each channel in the tint's proportion.
    const double covered = sums[0] / Tint[0];
    expect(std::fabs(covered - 576.0) < 576.0 * 0.02, "coverage in pixels", covered, 576.0);
    for (int c = 1; c < 3; ++c)
        expect(std::fabs(sums[c] / Tint[c] - covered) < 1e-2 * covered, "coverage by channel",
               sums[c] / Tint[c], covered);
    for (int c = 0; c < 3; ++c)
        expect(std::fabs(at(32, 24, c) - Tint[c]) < 1e-3f, "centre colour", at(32, 24, c), Tint[c]);
    expect(at(17, 24, 0) == 0.0f && at(32, 9, 0) == 0.0f, "black outside", at(17, 24, 0), 0.0);
    delete errors;
    if (failures == 0) std::printf("render_square: the square and its tint are as expected\n");
    return failures == 0 ? 0 : 1;
}
