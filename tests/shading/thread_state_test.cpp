// What render threads keep side by side: the store behind bake() (one sorted file per name at
// the frame's end; a file that cannot be written: tests/compiler), and shader data blocks.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "common/test_util.h"
#include "core/shading/bake.h"
#include "core/shading/blocks.h"
#include "core/shading/compiled.h"
#include "sys/tasking.h"

namespace {

using namespace ovo;

TEST(BakeStore, ThreadsAddSideBySideAndTheFileIsSorted) {
    ovotest::ScratchDir dir;
    const OIIO::ustring colours(dir / "c.bake"), greys(dir / "g.bake");
    const int Threads = 4, PerThread = 500;
    BakeStore store(3);  // the fourth thread's id wraps onto the first one's slot
    std::vector<std::thread> threads;
    for (int id = 0; id < Threads; ++id)
        threads.emplace_back([&, id] {
            sys::setThreadID(unsigned(id));
            for (int i = 0; i < PerThread; ++i) {
                const float s = float(i) / PerThread, t = float(id) / Threads;
                const float colour[3] = {s, t, 0.5f};
                store.add(colours, s, t, colour, 3);
                store.add(greys, t, s, &s, 1);
            }
        });
    for (std::thread& t : threads) t.join();
    EXPECT_TRUE(store.write().empty());

    for (const auto& file : {colours, greys}) {
        const auto r = ovotest::numberRows(ovotest::readText(file.string()));
        ASSERT_EQ(r.size(), size_t(Threads * PerThread)) << file;
        const size_t width = file == colours ? 5 : 3;
        for (size_t i = 0; i < r.size(); ++i) {
            ASSERT_EQ(r[i].size(), width) << file << " line " << i;
            if (i > 0) {
                EXPECT_TRUE(r[i - 1] < r[i]) << file << " line " << i;
            }
            // Each value is the s it was baked with: the colour's red, the grey (baked at (t, s)).
            EXPECT_NEAR(r[i][2], r[i][file == colours ? 0 : 1], 1e-5f);
            if (file == colours) {
                EXPECT_NEAR(r[i][4], 0.5f, 1e-6f);
            }
        }
    }
    // Written samples are gone: a second frame end writes nothing again.
    std::remove(colours.c_str());
    EXPECT_TRUE(store.write().empty());
    EXPECT_EQ(ovotest::readText(colours.string()), "");
}

TEST(BakeStore, AFileGivenFloatsAndColoursWritesTheFloatsAsGrey) {
    ovotest::ScratchDir dir;
    const OIIO::ustring file(dir / "mixed.bake");
    BakeStore store(1);
    const float grey = 0.25f, colour[3] = {0.1f, 0.2f, 0.3f};
    store.add(file, 0.5f, 0.5f, &grey, 1);
    store.add(file, 0.75f, 0.5f, colour, 3);
    EXPECT_TRUE(store.write().empty());
    EXPECT_EQ(ovotest::readText(file.string()), "0.5 0.5 0.25 0.25 0.25\n0.75 0.5 0.1 0.2 0.3\n");
}

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
