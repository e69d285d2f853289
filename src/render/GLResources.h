#pragma once

#include "render/Material.h"
#include "render/SceneObject.h"

#include <memory>
#include <set>
#include <vector>

namespace skyglide {

/// The display lists, texture names and buffer objects made in one GL
/// context, so that they are deleted in that context and no other.
///
/// The scene buffer holds one owner per context it renders with. Objects keep
/// their names in handles (TGLListHandle, TGLTextureHandle) that point back at
/// the owner weakly: a handle destroyed while the context lives queues its
/// name, and the buffer deletes the queue the next time the context is
/// current (Collect). When the context goes, the buffer deletes every name
/// (DeleteAll, with the context current) and drops the owner, so the handles
/// that remain know their names are gone and are rebuilt in the next context.
class TGLResourceOwner
{
public:
    TGLResourceOwner() = default;
    TGLResourceOwner(const TGLResourceOwner&) = delete;
    TGLResourceOwner& operator=(const TGLResourceOwner&) = delete;

    /// glGenLists(1) / glGenTextures(1) / glGenBuffers(1) in the current
    /// context; 0 on failure. Buffers need OpenGL 1.5.
    unsigned int GenList();
    unsigned int GenTexture();
    unsigned int GenBuffer();
    /// Queues a name for deletion at the next Collect.
    void ReleaseList(unsigned int name);
    void ReleaseTexture(unsigned int name);
    void ReleaseBuffer(unsigned int name);
    /// Deletes the queued names. The owner's context must be current.
    void Collect();
    /// Deletes every name made here. The owner's context must be current.
    void DeleteAll();

    int LiveLists() const { return int(m_lists.size()); }
    int LiveTextures() const { return int(m_textures.size()); }
    int LiveBuffers() const { return int(m_buffers.size()); }

private:
    std::set<unsigned int> m_lists;
    std::set<unsigned int> m_textures;
    std::set<unsigned int> m_buffers;
    std::vector<unsigned int> m_deadLists;
    std::vector<unsigned int> m_deadTextures;
    std::vector<unsigned int> m_deadBuffers;
};

/// An object's display list, in its owner's context.
class TGLListHandle : public TObjectRenderData
{
public:
    TGLListHandle(const std::shared_ptr<TGLResourceOwner>& owner, unsigned int name)
        : m_owner(owner), m_name(name)
    {
    }
    ~TGLListHandle() override;

    unsigned int Name() const { return m_name; }
    /// The list was made by owner (and owner still holds it).
    bool BelongsTo(const std::shared_ptr<TGLResourceOwner>& owner) const
    {
        return owner && m_owner.lock() == owner;
    }
    /// The list holds a complete compile (false while compiling and after a
    /// compile that failed).
    bool Compiled = false;

private:
    std::weak_ptr<TGLResourceOwner> m_owner;
    unsigned int m_name;
};

/// A texture's GL name, in its owner's context.
class TGLTextureHandle : public TTextureRenderData
{
public:
    TGLTextureHandle(const std::shared_ptr<TGLResourceOwner>& owner, unsigned int name)
        : m_owner(owner), m_name(name)
    {
    }
    ~TGLTextureHandle() override;

    unsigned int Name() const { return m_name; }
    bool BelongsTo(const std::shared_ptr<TGLResourceOwner>& owner) const
    {
        return owner && m_owner.lock() == owner;
    }
    /// The picture has been uploaded into this name.
    bool Uploaded = false;

private:
    std::weak_ptr<TGLResourceOwner> m_owner;
    unsigned int m_name;
};

} // namespace skyglide
