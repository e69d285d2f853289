// How each kind of scene object draws itself in a frame: the render hooks
// of the scene-graph types, kept here beside the GL calls so that the scene
// graph's own files stay free of OpenGL.
#include "render/DummyCube.h"
#include "render/GLResources.h"
#include "render/GLStateCache.h"
#include "render/RenderContextInfo.h"
#include "render/SceneObject.h"
#include "render/TextureUpload.h"

#include <GL/gl.h>

#include <memory>

namespace skyglide {

void TBaseSceneObject::DoRender(TRenderContextInfo& rci)
{
    if (ObjectStyle().testFlag(TObjectStyleFlag::ofImmediateGeometry) || rci.Compiling) {
        BuildList(rci);
        return;
    }
    auto* handle = dynamic_cast<TGLListHandle*>(RenderData());
    if (!handle || !handle->BelongsTo(rci.Resources)) {
        const unsigned int name = rci.Resources->GenList();
        if (name == 0) {
            CheckOpenGLError();
            throw TOpenGLError("glGenLists: no display list name left");
        }
        auto made = std::make_unique<TGLListHandle>(rci.Resources, name);
        handle = made.get();
        SetRenderData(std::move(made));
    }
    if (!handle->Compiled || GeometryStale()) {
        ClearGeometryStale();
        handle->Compiled = false;
        glNewList(handle->Name(), GL_COMPILE);
        rci.Compiling = true;
        try {
            BuildList(rci);
        } catch (...) {
            rci.Compiling = false;
            glEndList();
            // Built again at the next frame; the notice this sends is held
            // back while the frame renders.
            MarkGeometryStale();
            throw;
        }
        rci.Compiling = false;
        glEndList();
        handle->Compiled = true;
        ++rci.Statistics->ListsCompiled;
    }
    glCallList(handle->Name());
}

void TCustomSceneObject::DoRender(TRenderContextInfo& rci)
{
    rci.GLStates->SetMaterialColors(TGLMaterialColors{});
    const bool textured = ApplyTexture(Material().Texture(), rci);
    TBaseSceneObject::DoRender(rci);
    if (textured)
        UnApplyTexture(rci);
}

void TDummyCube::DoRender(TRenderContextInfo& rci)
{
    if (DrawsWireCube()) {
        const float h = CubeSize() * 0.5f;
        glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT);
        glDisable(GL_LIGHTING);
        glDisable(GL_TEXTURE_2D);
        glColor4fv(&EdgeColor().X);
        glBegin(GL_LINES);
        for (int axis = 0; axis < 3; ++axis) {
            for (int corner = 0; corner < 4; ++corner) {
                float p[3];
                p[(axis + 1) % 3] = (corner & 1) ? h : -h;
                p[(axis + 2) % 3] = (corner & 2) ? h : -h;
                p[axis] = -h;
                glVertex3fv(p);
                p[axis] = h;
                glVertex3fv(p);
            }
        }
        glEnd();
        glPopAttrib();
    }
    TBaseSceneObject::DoRender(rci);
}

} // namespace skyglide
