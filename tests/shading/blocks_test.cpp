// Shader data blocks kept by a render thread: a block given back serves only the next request
// of the same shader, nested scopes leave the outer one's blocks alone, and every block is freed
// by the end of the scope that kept it, or at once without one.
#include <gtest/gtest.h>

#include "core/shading/blocks.h"
#include "core/shading/compiled.h"

namespace {

using namespace ovo;

struct Data {
    int tag = 0;
};
const ShaderInfo Info = {"counting", 0, 0};

// Counts its blocks that are alive.
class Counting : public CompiledShader<Data> {
  public:
    Counting() : CompiledShader(Info) {}
    void initialize(ShaderEnvironment&, void*) const override {}
    void execute(ShaderEnvironment&, void*) const override {}
    void* createData() const override {
        ++live;
        return CompiledShader::createData();
    }
    void destroyData(void* data) const override {
        --live;
        CompiledShader::destroyData(data);
    }
    mutable int live = 0;
};

TEST(BlockReuse, AKeptBlockServesItsOwnShaderAndIsFreedWithTheScope) {
    Counting a, b;
    {
        BlockReuse scope;
        void* first = takeBlock(a);
        giveBlock(a, first);
        EXPECT_EQ(a.live, 1);  // kept, not freed
        void* other = takeBlock(b);
        EXPECT_NE(other, first);
        EXPECT_EQ(takeBlock(a), first);
        {
            BlockReuse nested;  // does nothing: the outer scope keeps what is given back
            giveBlock(a, first);
            giveBlock(b, other);
        }
        EXPECT_EQ(a.live + b.live, 2);
        EXPECT_EQ(takeBlock(b), other);
        giveBlock(b, other);
        giveBlock(a, nullptr);  // ignored
    }
    EXPECT_EQ(a.live, 0);
    EXPECT_EQ(b.live, 0);

    // Without a scope every block is made and freed.
    void* block = takeBlock(a);
    EXPECT_EQ(a.live, 1);
    giveBlock(a, block);
    EXPECT_EQ(a.live, 0);
}

}  // namespace
