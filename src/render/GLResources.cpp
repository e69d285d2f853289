#define GL_GLEXT_PROTOTYPES 1

#include "render/GLResources.h"

#include <GL/gl.h>
#include <GL/glext.h>

namespace skyglide {

unsigned int TGLResourceOwner::GenList()
{
    const GLuint name = glGenLists(1);
    if (name != 0)
        m_lists.insert(name);
    return name;
}

unsigned int TGLResourceOwner::GenTexture()
{
    GLuint name = 0;
    glGenTextures(1, &name);
    if (name != 0)
        m_textures.insert(name);
    return name;
}

unsigned int TGLResourceOwner::GenBuffer()
{
    GLuint name = 0;
    glGenBuffers(1, &name);
    if (name != 0)
        m_buffers.insert(name);
    return name;
}

void TGLResourceOwner::ReleaseList(unsigned int name)
{
    if (m_lists.erase(name) > 0)
        m_deadLists.push_back(name);
}

void TGLResourceOwner::ReleaseTexture(unsigned int name)
{
    if (m_textures.erase(name) > 0)
        m_deadTextures.push_back(name);
}

void TGLResourceOwner::ReleaseBuffer(unsigned int name)
{
    if (m_buffers.erase(name) > 0)
        m_deadBuffers.push_back(name);
}

void TGLResourceOwner::Collect()
{
    for (GLuint name : m_deadLists)
        glDeleteLists(name, 1);
    m_deadLists.clear();
    if (!m_deadTextures.empty())
        glDeleteTextures(GLsizei(m_deadTextures.size()), m_deadTextures.data());
    m_deadTextures.clear();
    if (!m_deadBuffers.empty())
        glDeleteBuffers(GLsizei(m_deadBuffers.size()), m_deadBuffers.data());
    m_deadBuffers.clear();
}

void TGLResourceOwner::DeleteAll()
{
    for (GLuint name : m_lists)
        m_deadLists.push_back(name);
    m_lists.clear();
    for (GLuint name : m_textures)
        m_deadTextures.push_back(name);
    m_textures.clear();
    for (GLuint name : m_buffers)
        m_deadBuffers.push_back(name);
    m_buffers.clear();
    Collect();
}

TGLListHandle::~TGLListHandle()
{
    if (auto owner = m_owner.lock())
        owner->ReleaseList(m_name);
}

TGLTextureHandle::~TGLTextureHandle()
{
    if (auto owner = m_owner.lock())
        owner->ReleaseTexture(m_name);
}

} // namespace skyglide
