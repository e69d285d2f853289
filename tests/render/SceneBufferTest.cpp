// The scene buffer's settings and notices, and what the GL helpers parse,
// without a GL context.

#include "render/SceneBuffer.h"
#include "render/Camera.h"
#include "render/GLStateCache.h"

#include <string>

#include <gtest/gtest.h>

using namespace skyglide;

namespace {

struct Repaints
{
    int count = 0;
    explicit Repaints(TSceneBuffer& buffer)
    {
        buffer.OnChange = [this] { ++count; };
    }
};

TEST(SceneBuffer, BackgroundColourRepaintsOnlyWhenItChanges)
{
    TSceneBuffer buffer;
    Repaints repaints(buffer);
    const TVector4f black{0, 0, 0, 1};
    buffer.SetBackgroundColor(black);
    EXPECT_EQ(repaints.count, 1);
    buffer.SetBackgroundColor(black);
    EXPECT_EQ(repaints.count, 1);
    buffer.SetBackgroundColor({0, 0, 0.5f, 1});
    EXPECT_EQ(repaints.count, 2);
}

TEST(SceneBuffer, SceneChangesRepaintOnceACameraIsSet)
{
    TScene scene;
    auto& camera = scene.Objects().AddNewChild<TCamera>();
    auto& other = scene.Objects().AddNewChild<TCamera>();
    TSceneBuffer buffer;
    Repaints repaints(buffer);
    other.Position().SetX(1);
    EXPECT_EQ(repaints.count, 0) << "not listening yet";

    buffer.SetCamera(&camera);
    EXPECT_EQ(repaints.count, 1);
    other.SetVisible(false);
    EXPECT_EQ(repaints.count, 2);

    buffer.Freeze(); // no context: nothing to freeze
    EXPECT_FALSE(buffer.Frozen());
}

TEST(SceneBuffer, ADestroyedCameraIsForgotten)
{
    TScene scene;
    TSceneBuffer buffer;
    buffer.SetCamera(&scene.Objects().AddNewChild<TCamera>());
    scene.Objects().DeleteChildren();
    EXPECT_EQ(buffer.Camera(), nullptr);
}

TEST(SceneBuffer, WithoutAContextFramesAreSkippedAndSnapshotsAreBlank)
{
    TScene scene;
    auto& camera = scene.Objects().AddNewChild<TCamera>();
    TSceneBuffer buffer;
    buffer.SetCamera(&camera);
    buffer.Resize(0, -5);
    EXPECT_EQ(buffer.Width(), 1);
    EXPECT_EQ(buffer.Height(), 1);

    buffer.Resize(801, 3);
    bool before = false;
    buffer.BeforeRender = [&] { before = true; };
    buffer.RenderFrame();
    EXPECT_FALSE(before);
    EXPECT_EQ(buffer.FrameCount(), 0);

    const TBitmap32 image = buffer.ReadFrameImage();
    EXPECT_EQ(image.Width(), 801);
    EXPECT_EQ(image.Height(), 3);
    for (std::size_t i = 0; i < image.DataSize(); ++i)
        ASSERT_EQ(image.Data()[i], 0);
}

TEST(SceneBuffer, ExtensionsAreFoundOnlyAsWholeNames)
{
    const char* list = "GL_ARB_multitexture GL_EXT_texture_filter_anisotropic_x "
                       "GL_SGIS_generate_mipmap";
    EXPECT_TRUE(TGLExtensions::HasExtension(list, "GL_ARB_multitexture"));
    EXPECT_TRUE(TGLExtensions::HasExtension(list, "GL_SGIS_generate_mipmap"));
    EXPECT_FALSE(TGLExtensions::HasExtension(list, "GL_EXT_texture_filter_anisotropic"));
    EXPECT_FALSE(TGLExtensions::HasExtension(list, "GL_ARB_multi"));
    EXPECT_FALSE(TGLExtensions::HasExtension(nullptr, "GL_ARB_multitexture"));
}

} // namespace
