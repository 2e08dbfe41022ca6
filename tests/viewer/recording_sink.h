// A FrameSink that writes down what it is given, for the viewer's tests.
#pragma once

#include <string>
#include <vector>

#include "viewer/frame_sink.h"

namespace ovotest {

class RecordingSink : public ovo::viewer::FrameSink {
  public:
    struct Rectangle {
        int frame;
        std::string kind;
        int x, y, width, height;
        std::vector<float> values;
    };

    void nameNextFrame(const std::string& label) override { labels.push_back(label); }
    int beginFrame(const ovo::viewer::FrameShape& shape) override {
        shapes.push_back(shape);
        return int(shapes.size()) - 1;
    }
    void addRectangle(int frame, const std::string& kind, int x, int y, int width, int height,
                      const std::vector<float>& values) override {
        rectangles.push_back({frame, kind, x, y, width, height, values});
    }
    void endFrame(int frame) override { ended.push_back(frame); }
    int lastFrame() const override { return int(shapes.size()) - 1; }

    std::vector<std::string> labels;
    std::vector<ovo::viewer::FrameShape> shapes;
    std::vector<Rectangle> rectangles;
    std::vector<int> ended;
};

}  // namespace ovotest
