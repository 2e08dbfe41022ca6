// The renderer's texture system, made on first use: a frame's settings reach it whether they
// come before it is made or after (a later frame of the same renderer).
#include <gtest/gtest.h>

#include <OpenImageIO/texture.h>

#include "core/image/library.h"

using ovo::image::LazyTextureSystem;

TEST(LazyTextureSystem, SettingsReachTheSystemBeforeAndAfterItIsMade) {
    for (const bool madeFirst : {false, true}) {
        SCOPED_TRACE(madeFirst ? "made, then configured" : "configured, then made");
        LazyTextureSystem textures;
        EXPECT_EQ(textures.made(), nullptr);
        if (madeFirst) {
            ASSERT_NE(textures.get(), nullptr);
        }
        LazyTextureSystem::Settings settings;
        settings.searchPath = madeFirst ? "/second/frame" : "/first/frame";
        settings.autoMipmap = true;
        settings.maxOpenFiles = 7;
        textures.configure(settings);
        OIIO::TextureSystem* system = textures.get();
        ASSERT_NE(system, nullptr);
        EXPECT_EQ(textures.made(), system);
        std::string path;
        int automip = 0, files = 0;
        ASSERT_TRUE(system->getattribute("searchpath", path));
        ASSERT_TRUE(system->getattribute("automip", automip));
        ASSERT_TRUE(system->getattribute("max_open_files", files));
        EXPECT_EQ(path, settings.searchPath);
        EXPECT_EQ(automip, 1);
        EXPECT_EQ(files, 7);
    }
}
