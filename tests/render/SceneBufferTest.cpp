// The scene buffer's settings and notices, and what the GL helpers parse,
// without a GL context.

#include "render/SceneBuffer.h"
#include "render/Camera.h"
#include "render/GLStateCache.h"

#include <algorithm>

#include <gtest/gtest.h>

using namespace skyglide;

namespace {

TEST(SceneBuffer, RepaintsForChangesOfItsSettingsAndOfItsCamerasScene)
{
    TScene scene;
    auto& camera = scene.Objects().AddNewChild<TCamera>();
    auto& other = scene.Objects().AddNewChild<TCamera>();
    TSceneBuffer buffer;
    int repaints = 0;
    buffer.OnChange = [&] { ++repaints; };
    buffer.SetBackgroundColor({0, 0, 0, 1});
    buffer.SetBackgroundColor({0, 0, 0, 1}); // unchanged: no repaint
    EXPECT_EQ(repaints, 1);
    other.Position().SetX(1);
    EXPECT_EQ(repaints, 1) << "not listening to the scene yet";
    buffer.SetCamera(&camera);
    EXPECT_EQ(repaints, 2);
    other.SetVisible(false);
    EXPECT_EQ(repaints, 3);

    buffer.Freeze(); // no context: nothing to freeze
    EXPECT_FALSE(buffer.Frozen());
    scene.Objects().DeleteChildren();
    EXPECT_EQ(buffer.Camera(), nullptr) << "a destroyed camera is forgotten";
}

TEST(SceneBuffer, WithoutAContextFramesAreSkippedAndSnapshotsAreBlank)
{
    TScene scene;
    TSceneBuffer buffer;
    buffer.SetCamera(&scene.Objects().AddNewChild<TCamera>());
    buffer.Resize(0, -5);
    EXPECT_EQ(buffer.Width(), 1);
    EXPECT_EQ(buffer.Height(), 1);

    buffer.Resize(801, 3);
    buffer.BeforeRender = [] { ADD_FAILURE() << "a frame without a context"; };
    buffer.RenderFrame();
    EXPECT_EQ(buffer.FrameCount(), 0);
    const TBitmap32 image = buffer.ReadFrameImage();
    EXPECT_EQ(image.Width(), 801);
    EXPECT_EQ(image.Height(), 3);
    EXPECT_EQ(std::count(image.Data(), image.Data() + image.DataSize(), 0),
              std::ptrdiff_t(image.DataSize()));
}

TEST(SceneBuffer, ExtensionsAndSoftwareRenderersAreFoundOnlyByName)
{
    const char* list = "GL_ARB_multitexture GL_EXT_texture_filter_anisotropic_x "
                       "GL_SGIS_generate_mipmap";
    EXPECT_TRUE(TGLExtensions::HasExtension(list, "GL_ARB_multitexture"));
    EXPECT_TRUE(TGLExtensions::HasExtension(list, "GL_SGIS_generate_mipmap"));
    EXPECT_FALSE(TGLExtensions::HasExtension(list, "GL_EXT_texture_filter_anisotropic"));
    EXPECT_FALSE(TGLExtensions::HasExtension(list, "GL_ARB_multi"));
    EXPECT_FALSE(TGLExtensions::HasExtension(nullptr, "GL_ARB_multitexture"));
    EXPECT_TRUE(TGLExtensions::IsSoftwareRenderer("llvmpipe (LLVM 15.0.6, 256 bits)"));
    EXPECT_FALSE(TGLExtensions::IsSoftwareRenderer("Mesa Intel(R) UHD Graphics 620 (KBL GT2)"));
    EXPECT_FALSE(TGLExtensions::IsSoftwareRenderer(nullptr));
}

} // namespace
