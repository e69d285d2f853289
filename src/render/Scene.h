#pragma once

#include "render/LightSource.h"
#include "render/SceneObject.h"

#include <memory>
#include <vector>

namespace skyglide {

class TCadencer;
class TCamera;
class TScene;

/// Whoever shows a scene (the render engine's buffer and viewer): told of
/// every change notice that the scene lets through, and asked to repaint.
///
/// A listener unregisters itself from every scene when it is destroyed; a
/// scene that is destroyed first calls SceneDestroyed and forgets it.
class TSceneListener
{
public:
    /// Something in the scene changed (sender: the object whose notice it is,
    /// or nullptr for the scene's own notice at the end of an update bracket).
    virtual void NotifyChange(TBaseSceneObject* sender) = 0;
    /// The scene is being destroyed and has already forgotten this listener.
    virtual void SceneDestroyed(TScene& scene);

protected:
    TSceneListener() = default;
    virtual ~TSceneListener();
    TSceneListener(const TSceneListener&) = delete;
    TSceneListener& operator=(const TSceneListener&) = delete;

private:
    friend class TScene;
    std::vector<TScene*> m_scenes;
};

/// The scene: the tree of objects under a root object, its lights, its
/// listeners and the change notices that flow to them.
///
/// Notices reach the listeners unless the scene is inside BeginUpdate/EndUpdate
/// (leaving the outermost bracket sends exactly one) or is loading its
/// composition (BeginLoading/EndLoading: nothing is sent, not even at the end;
/// the viewer paints when it is first shown).
class TScene
{
public:
    TScene();
    ~TScene();
    TScene(const TScene&) = delete;
    TScene& operator=(const TScene&) = delete;

    /// The root object. Its children are the top-level objects; its own
    /// placement never applies to them.
    TBaseSceneObject& Objects() { return *m_root; }

    void BeginUpdate();
    /// Unbalanced calls are ignored.
    void EndUpdate();
    int UpdateCount() const { return m_updateCount; }
    void BeginLoading();
    void EndLoading();
    bool IsLoading() const { return m_loadingCount > 0; }

    /// Passes a change notice on to the listeners (unless held back).
    void NotifyChange(TBaseSceneObject* sender);

    void AddListener(TSceneListener* listener);
    void RemoveListener(TSceneListener* listener);
    bool HasListener(const TSceneListener* listener) const;
    /// In registration order: the first one's context is the scene's master.
    const std::vector<TSceneListener*>& Listeners() const { return m_listeners; }

    /// The camera of the frame being rendered; cleared when it is destroyed
    /// or leaves the scene.
    TCamera* CurrentCamera() const { return m_currentCamera; }
    void SetCurrentCamera(TCamera* camera) { m_currentCamera = camera; }

    TObjectsSorting ObjectsSorting() const { return m_objectsSorting; }
    void SetObjectsSorting(TObjectsSorting value);
    TVisibilityCulling VisibilityCulling() const { return m_visibilityCulling; }
    void SetVisibilityCulling(TVisibilityCulling value);

    /// Light slots in scene order; a slot left by a light that went away is
    /// null until the next light takes it.
    const std::vector<TLightSource*>& Lights() const { return m_lights; }
    /// The setups of GL lights 0 to maxLights − 1: the slot's light, or a
    /// disabled entry for a free slot, a light that does not shine and every
    /// number beyond the slots.
    std::vector<TLightSetup> LightSetups(int maxLights);

    /// One cadencer step through the object tree (each object passes it to
    /// its children last child first, then raises its own OnProgress).
    void Progress(double deltaTime, double newTime);

private:
    friend class TLightSource;
    friend class TCadencer;

    void addLight(TLightSource& light);
    void removeLight(TLightSource& light);
    void addCadencer(TCadencer* cadencer);
    void removeCadencer(TCadencer* cadencer);

    std::unique_ptr<TBaseSceneObject> m_root;
    int m_updateCount = 0;
    int m_loadingCount = 0;
    bool m_destroying = false;
    std::vector<TSceneListener*> m_listeners;
    std::vector<TCadencer*> m_cadencers;
    std::vector<TLightSource*> m_lights;
    TCamera* m_currentCamera = nullptr;
    TObjectsSorting m_objectsSorting = TObjectsSorting::osRenderBlendedLast;
    TVisibilityCulling m_visibilityCulling = TVisibilityCulling::vcNone;
};

} // namespace skyglide
