// The binary encoding: a small writer encodes a scene token by token, every kind of encoded
// token at least once, and the reader must make of it exactly what it makes of the same scene
// as text.
#include <gtest/gtest.h>

#include <cstdint>

#include "tests/rib/recorder.h"

namespace {

class BinaryWriter {
  public:
    std::string out;

    BinaryWriter& bytes(uint64_t v, int n) {
        for (int i = n - 1; i >= 0; --i) out += char((v >> (8 * i)) & 0xff);
        return *this;
    }
    // A token byte, then `v` in n bytes.
    BinaryWriter& token(int code, uint64_t v = 0, int n = 0) {
        out += char(code);
        return bytes(v, n);
    }
    // An integer (d = 0) or fixed-point number with d bytes after the point, in w + 1 bytes.
    BinaryWriter& fixed(double value, int w, int d) {
        return token(0200 + 4 * d + w, uint64_t(int64_t(value * double(1 << (8 * d)))), w + 1);
    }
    // A float or double by its bits.
    template <class T>
    BinaryWriter& raw(T value) {
        uint64_t b = 0;
        std::memcpy(&b, &value, sizeof value);
        return bytes(b, int(sizeof value));
    }
    BinaryWriter& f32(float f) { return token(0244).raw(f); }
    BinaryWriter& f64(double f) { return token(0245).raw(f); }
    BinaryWriter& str(const std::string& s, bool longForm = false) {
        return (longForm ? token(0241, s.size(), 2) : token(int(0220 + s.size()))).text(s);
    }
    BinaryWriter& floats(const std::vector<float>& v) {
        token(0310, v.size(), 1);
        for (float f : v) raw(f);
        return *this;
    }
    BinaryWriter& defineRequest(int c, const std::string& s) { return token(0314, c, 1).str(s); }
    BinaryWriter& request(int c) { return token(0246, c, 1); }
    BinaryWriter& defineString(int c, const std::string& s) {
        return token(0316, c, 2).str(s, true);
    }
    BinaryWriter& stringRef(int c) { return token(0320, c, 2); }
    BinaryWriter& text(const std::string& s) {
        out += s;
        return *this;
    }
};

std::string recorded(const std::string& rib) { return ovotest::Recorder().read(rib).all(); }

}  // namespace

TEST(RibBinary, EveryEncodedTokenReadsLikeItsText) {
    BinaryWriter b;
    b.defineRequest(7, "Sphere").defineString(300, "uniform float Kd").text("WorldBegin\n");
    b.request(7).fixed(2, 0, 0).fixed(-1.5, 1, 1).fixed(1.25, 3, 2).f32(360);
    b.stringRef(300).floats({0.5f});
    b.text("Translate").fixed(-3, 0, 0).f64(0.125).fixed(100000, 3, 0);
    b.text("Surface ").str("plastic").str("Ks", true).text("[").f32(0.25f).text("]\n");
    b.text("Polygon").str("P").floats({0, 0, 0, 1, 0, 0, 1, 1, 0}).text("\nWorldEnd\n");
    EXPECT_EQ(recorded(b.out),
              recorded("WorldBegin\nSphere 2 -1.5 1.25 360 \"uniform float Kd\" [0.5]\n"
                       "Translate -3 0.125 100000\nSurface \"plastic\" \"Ks\" [0.25]\n"
                       "Polygon \"P\" [0 0 0 1 0 0 1 1 0]\nWorldEnd\n"));
}

TEST(RibBinary, BrokenTokensAreReportedNotTrusted) {
    using namespace std::string_literals;
    std::string chain;  // a definition named by a definition, and so on: refused, not nested
    for (int i = 0; i < 200000; ++i) chain += "\314\001";
    const std::pair<std::string, const char*> rows[] = {
        {"WorldBegin\n\246\011"s, "undefined binary request 9"},
        {"WorldBegin\nSurface \317\004"s, "undefined binary string 4"},
        {"WorldBegin\nSurface \242\0\0"s, "truncated binary token 0xa2"},
        {"WorldBegin\nSphere \310\002\077\200\0"s, "truncated binary token 0xc8"},
        {"WorldBegin\nSphere 1 -1 1 \244\177\200\0\0"s, "binary number out of range"},
        {"WorldBegin\n" + chain + "\"x\"", "a binary definition needs a string"},
    };
    for (const auto& [rib, message] : rows) {
        const auto d = ovotest::Recorder().read(rib).diagnostics();
        ASSERT_FALSE(d.empty()) << message;
        EXPECT_NE(d.front().find(message), std::string::npos) << d.front();
    }
}
