#include "render/Scene.h"

#include "render/Cadencer.h"

#include <algorithm>

namespace skyglide {

void TSceneListener::SceneDestroyed(TScene&) {}

TSceneListener::~TSceneListener()
{
    const auto scenes = m_scenes;
    for (TScene* scene : scenes)
        scene->RemoveListener(this);
}

TScene::TScene() : m_root(std::make_unique<TBaseSceneObject>())
{
    m_root->m_isSceneRoot = true;
    m_root->m_scene = this;
}

TScene::~TScene()
{
    m_destroying = true;
    const auto listeners = m_listeners;
    for (TSceneListener* listener : listeners) {
        RemoveListener(listener);
        listener->SceneDestroyed(*this);
    }
    const auto cadencers = m_cadencers;
    for (TCadencer* cadencer : cadencers)
        cadencer->sceneDestroyed(*this);
    m_cadencers.clear();
    // The tree goes while the light slots and the camera pointer still exist,
    // so that its objects can sign off.
    m_root.reset();
}

void TScene::BeginUpdate()
{
    ++m_updateCount;
}

void TScene::EndUpdate()
{
    if (m_updateCount == 0)
        return;
    if (--m_updateCount == 0)
        NotifyChange(nullptr);
}

void TScene::BeginLoading()
{
    ++m_loadingCount;
}

void TScene::EndLoading()
{
    if (m_loadingCount > 0)
        --m_loadingCount;
}

void TScene::NotifyChange(TBaseSceneObject* sender)
{
    if (m_updateCount > 0 || m_loadingCount > 0 || m_destroying)
        return;
    // A listener may unregister itself or another one while being told.
    const auto listeners = m_listeners;
    for (TSceneListener* listener : listeners) {
        if (HasListener(listener))
            listener->NotifyChange(sender);
    }
}

void TScene::AddListener(TSceneListener* listener)
{
    if (!listener || HasListener(listener))
        return;
    m_listeners.push_back(listener);
    listener->m_scenes.push_back(this);
}

void TScene::RemoveListener(TSceneListener* listener)
{
    if (!HasListener(listener))
        return;
    std::erase(m_listeners, listener);
    std::erase(listener->m_scenes, this);
}

bool TScene::HasListener(const TSceneListener* listener) const
{
    return std::find(m_listeners.begin(), m_listeners.end(), listener) != m_listeners.end();
}

void TScene::SetObjectsSorting(TObjectsSorting value)
{
    if (value == m_objectsSorting)
        return;
    m_objectsSorting = value;
    NotifyChange(nullptr);
}

void TScene::SetVisibilityCulling(TVisibilityCulling value)
{
    if (value == m_visibilityCulling)
        return;
    m_visibilityCulling = value;
    NotifyChange(nullptr);
}

void TScene::addLight(TLightSource& light)
{
    auto freeSlot = std::find(m_lights.begin(), m_lights.end(), nullptr);
    if (freeSlot == m_lights.end()) {
        light.m_lightID = int(m_lights.size());
        m_lights.push_back(&light);
    } else {
        light.m_lightID = int(freeSlot - m_lights.begin());
        *freeSlot = &light;
    }
}

void TScene::removeLight(TLightSource& light)
{
    for (auto& slot : m_lights) {
        if (slot == &light)
            slot = nullptr;
    }
    light.m_lightID = -1;
}

std::vector<TLightSetup> TScene::LightSetups(int maxLights)
{
    std::vector<TLightSetup> setups(std::size_t(std::max(maxLights, 0)));
    for (std::size_t i = 0; i < setups.size() && i < m_lights.size(); ++i) {
        if (m_lights[i])
            setups[i] = m_lights[i]->Setup();
    }
    return setups;
}

void TScene::Progress(double deltaTime, double newTime)
{
    m_root->DoProgress(deltaTime, newTime);
}

void TScene::addCadencer(TCadencer* cadencer)
{
    if (std::find(m_cadencers.begin(), m_cadencers.end(), cadencer) == m_cadencers.end())
        m_cadencers.push_back(cadencer);
}

void TScene::removeCadencer(TCadencer* cadencer)
{
    std::erase(m_cadencers, cadencer);
}

} // namespace skyglide
