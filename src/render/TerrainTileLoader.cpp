#include "render/TerrainTileLoader.h"

#include "data/Bitmap.h"
#include "render/HeightSource.h"

#include <algorithm>
#include <chrono>

namespace skyglide {

TTerrainData::TTerrainData(std::shared_ptr<const THeightSource> source,
                           const TTerrainLayout& layout, std::shared_ptr<const TBitmap> drape,
                           const TDrapeLayout& drapeLayout)
    : Source(std::move(source)), Tree(layout), DrapeLayout(drapeLayout),
      TexelSizes(drapeLayout.TexelSizes())
{
    if (drape && !drapeLayout.Empty())
        Pyramid = std::make_unique<TDrapePyramid>(std::move(drape));
}

TTerrainTileLoader::TTerrainTileLoader(int threads) : m_threads(std::max(1, threads))
{
    for (int i = 0; i < m_threads; ++i)
        m_workers.emplace_back([this] { work(); });
}

TTerrainTileLoader::~TTerrainTileLoader()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
        if (m_cancel)
            *m_cancel = true;
    }
    m_workChanged.notify_all();
    m_arrivedChanged.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
}

void TTerrainTileLoader::Start(const TTerrainRecipe& recipe)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_cancel)
            *m_cancel = true;
        m_cancel = std::make_shared<std::atomic<bool>>(false);
        ++m_generation;
        m_recipe = recipe;
        m_data.reset();
        m_wanted.clear();
        m_finished.clear();
        m_finishedKeys.clear();
        m_error = nullptr;
        m_arrived = false;
        m_preparePending =
            recipe.Source && recipe.Source->Columns() >= 2 && recipe.Source->Rows() >= 2;
    }
    m_workChanged.notify_all();
}

std::shared_ptr<const TTerrainData> TTerrainTileLoader::Data() const
{
    const std::lock_guard lock(m_mutex);
    return m_data;
}

void TTerrainTileLoader::Want(std::vector<TTileKey> tiles)
{
    {
        const std::lock_guard lock(m_mutex);
        m_wanted.assign(tiles.begin(), tiles.end());
    }
    m_workChanged.notify_all();
}

std::vector<TBuiltTile> TTerrainTileLoader::Take()
{
    std::vector<TBuiltTile> tiles;
    {
        const std::lock_guard lock(m_mutex);
        tiles.swap(m_finished);
        m_finishedKeys.clear();
        m_arrived = false;
        m_reported = false;
    }
    m_workChanged.notify_all();
    return tiles;
}

bool TTerrainTileLoader::idle() const
{
    return !m_preparePending && !m_preparing && m_building == 0 && (m_wanted.empty() || !m_data);
}

bool TTerrainTileLoader::worthAFrame(std::chrono::steady_clock::time_point now) const
{
    if (!m_arrived)
        return false;
    const bool batchDone =
        m_building == 0 && (m_wanted.empty() || int(m_finished.size()) >= FinishedLimit);
    return batchDone || !m_data || now - m_firstArrival >= ReportInterval;
}

bool TTerrainTileLoader::WorthAFrame() const
{
    const std::lock_guard lock(m_mutex);
    return worthAFrame(std::chrono::steady_clock::now());
}

bool TTerrainTileLoader::Wait(int timeoutMs)
{
    using TClock = std::chrono::steady_clock;
    const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock lock(m_mutex);
    for (;;) {
        const TClock::time_point now = TClock::now();
        if (m_stop || m_error || worthAFrame(now) || (idle() && !m_arrived) || now >= deadline)
            return m_arrived;
        // Arrivals wake this; so does the end of the interval.
        const TClock::time_point wake =
            m_arrived ? std::min(deadline, m_firstArrival + ReportInterval) : deadline;
        m_arrivedChanged.wait_until(lock, wake);
    }
}

std::exception_ptr TTerrainTileLoader::TakeError()
{
    const std::lock_guard lock(m_mutex);
    std::exception_ptr error = m_error;
    m_error = nullptr;
    return error;
}

bool TTerrainTileLoader::workAvailable() const
{
    if (m_preparePending)
        return true;
    return m_data && !m_wanted.empty() && int(m_finished.size()) + m_building < FinishedLimit;
}

void TTerrainTileLoader::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_workChanged.wait(lock, [this] { return m_stop || workAvailable(); });
        if (m_stop)
            return;
        if (m_preparePending)
            prepare(lock);
        else
            build(lock);
    }
}

void TTerrainTileLoader::arrived(std::unique_lock<std::mutex>& lock)
{
    const auto now = std::chrono::steady_clock::now();
    if (!m_arrived)
        m_firstArrival = now;
    m_arrived = true;
    const bool report = !m_reported && worthAFrame(now);
    m_reported = m_reported || report;
    const std::function<void()> ready = report ? OnReady : nullptr;
    lock.unlock();
    m_arrivedChanged.notify_all();
    if (ready)
        ready();
    lock.lock();
}

void TTerrainTileLoader::prepare(std::unique_lock<std::mutex>& lock)
{
    m_preparePending = false;
    m_preparing = true;
    const std::uint64_t generation = m_generation;
    const TTerrainRecipe recipe = m_recipe;
    const std::shared_ptr<std::atomic<bool>> cancel = m_cancel;
    lock.unlock();

    std::shared_ptr<TTerrainData> data;
    std::exception_ptr error;
    try {
        const TTerrainLayout layout(recipe.Source->Columns(), recipe.Source->Rows(),
                                    recipe.TileCells);
        TDrapeLayout drapeLayout;
        if (recipe.Drape && !recipe.Drape->Empty())
            drapeLayout = TDrapeLayout(layout, recipe.Drape->Width(), recipe.Drape->Height(),
                                       recipe.MaxTextureSide, recipe.PowerOfTwoTextures);
        data = std::make_shared<TTerrainData>(recipe.Source, layout, recipe.Drape, drapeLayout);
        bool done = data->Tree.Build(*recipe.Source, m_threads, *cancel);
        if (done && data->Pyramid)
            done = data->Pyramid->Build(drapeLayout.PyramidLevels(), m_threads, *cancel);
        if (!done)
            data.reset();
    } catch (...) {
        error = std::current_exception();
        data.reset();
    }

    lock.lock();
    m_preparing = false;
    if (generation != m_generation)
        return;
    if (error && !m_error)
        m_error = error;
    m_data = std::move(data);
    arrived(lock);
    m_workChanged.notify_all();
}

void TTerrainTileLoader::build(std::unique_lock<std::mutex>& lock)
{
    // The most wanted tile nobody is making and nobody has made.
    TTileKey key;
    bool found = false;
    while (!m_wanted.empty() && !found) {
        key = m_wanted.front();
        m_wanted.pop_front();
        const std::uint64_t packed = key.Packed();
        found = !m_inFlight.contains(packed) && !m_finishedKeys.contains(packed);
    }
    if (!found)
        return;
    const std::uint64_t packed = key.Packed();
    const std::uint64_t generation = m_generation;
    const std::shared_ptr<const TTerrainData> data = m_data;
    m_inFlight.insert(packed);
    ++m_building;
    lock.unlock();

    TBuiltTile tile;
    tile.Key = key;
    std::exception_ptr error;
    try {
        if (data->Tree.Layout().Exists(key)) {
            tile.Mesh = BuildTileMesh(data->Tree, *data->Source, data->DrapeLayout, key);
            if (data->Pyramid)
                tile.Image = BuildTileImage(*data->Pyramid, data->DrapeLayout.Place(key));
        }
    } catch (...) {
        error = std::current_exception();
    }

    lock.lock();
    --m_building;
    m_inFlight.erase(packed);
    if (generation != m_generation) {
        m_arrivedChanged.notify_all();
        return;
    }
    if (error) {
        if (!m_error)
            m_error = error;
    } else if (!tile.Mesh.Vertices.empty()) {
        m_finished.push_back(std::move(tile));
        m_finishedKeys.insert(packed);
    }
    arrived(lock);
}

} // namespace skyglide
