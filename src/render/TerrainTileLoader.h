#pragma once

#include "render/TerrainTile.h"
#include "render/TerrainTree.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

namespace skyglide {

class TBitmap;
class THeightSource;

/// What every tile of one surface is made from, fixed once prepared.
struct TTerrainData
{
    TTerrainData(std::shared_ptr<const THeightSource> source, const TTerrainLayout& layout,
                 std::shared_ptr<const TBitmap> drape, const TDrapeLayout& drapeLayout);

    std::shared_ptr<const THeightSource> Source;
    TTerrainTree Tree;
    TDrapeLayout DrapeLayout;
    TTexelSizes TexelSizes;
    /// Null without a drape.
    std::unique_ptr<TDrapePyramid> Pyramid;
};

/// A tile made by a worker, waiting to be uploaded.
struct TBuiltTile
{
    TTileKey Key;
    TTileMesh Mesh;
    TTileImage Image;
};

/// What a surface's tiles are made with: the heights, the drape (null for
/// none), the tile size and what the GL context accepts as a texture.
struct TTerrainRecipe
{
    std::shared_ptr<const THeightSource> Source;
    std::shared_ptr<const TBitmap> Drape;
    int TileCells = 16;
    int MaxTextureSide = 260;
    bool PowerOfTwoTextures = false;

    friend bool operator==(const TTerrainRecipe&, const TTerrainRecipe&) = default;
};

/// The worker threads of a level-of-detail surface: they prepare the tile
/// bounds and the drape pyramid of a surface, then make the tiles the main
/// thread wants, most wanted first, and hold them until it takes them.
///
/// Everything here is called on the main thread except OnReady.
class TTerrainTileLoader
{
public:
    explicit TTerrainTileLoader(int threads);
    /// Stops the workers: a preparation or a tile in the making is given up.
    ~TTerrainTileLoader();
    TTerrainTileLoader(const TTerrainTileLoader&) = delete;
    TTerrainTileLoader& operator=(const TTerrainTileLoader&) = delete;

    /// Drops the current surface, its wanted and finished tiles, and starts
    /// preparing the recipe's (nothing for an empty source).
    void Start(const TTerrainRecipe& recipe);
    const TTerrainRecipe& Recipe() const { return m_recipe; }
    /// The prepared surface; null while it is being prepared.
    std::shared_ptr<const TTerrainData> Data() const;
    /// Replaces the tiles wanted, most wanted first.
    void Want(std::vector<TTileKey> tiles);
    /// Hands over the finished tiles.
    std::vector<TBuiltTile> Take();
    /// Something arrived since the last Take (finished tiles, or the
    /// preparation): a new frame would show more.
    bool Arrived() const { return m_arrived; }
    /// Something arrived and a frame is worth drawing for it (as Wait).
    bool WorthAFrame() const;
    /// Waits, at most timeoutMs milliseconds, until a frame is worth drawing:
    /// the wanted tiles are all made, or tiles have been arriving for
    /// ReportInterval; or until nothing is left to do. Returns Arrived().
    bool Wait(int timeoutMs);
    /// The first failure of a preparation or a build (a height source that
    /// threw), handed over once.
    std::exception_ptr TakeError();

    /// Called on a worker thread when a frame becomes worth drawing: when the
    /// wanted tiles are all made, or with the first arrival once tiles have
    /// been waiting for ReportInterval. Set it before the first Start; it must be safe to call from
    /// any thread.
    std::function<void()> OnReady;

    /// Tiles finished and not yet taken, at most: workers wait beyond it.
    static constexpr int FinishedLimit = 24;
    /// While tiles keep arriving, a frame is asked for this often: a frame
    /// per tile would take the processor from the workers making them.
    static constexpr std::chrono::milliseconds ReportInterval{100};

private:
    void work();
    bool workAvailable() const;
    void prepare(std::unique_lock<std::mutex>& lock);
    void build(std::unique_lock<std::mutex>& lock);
    void arrived(std::unique_lock<std::mutex>& lock);
    bool idle() const;
    bool worthAFrame(std::chrono::steady_clock::time_point now) const;

    const int m_threads;
    TTerrainRecipe m_recipe;
    mutable std::mutex m_mutex;
    std::condition_variable m_workChanged;
    std::condition_variable m_arrivedChanged;
    std::vector<std::thread> m_workers;
    bool m_stop = false;
    std::uint64_t m_generation = 0;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    bool m_preparePending = false;
    bool m_preparing = false;
    int m_building = 0;
    std::shared_ptr<const TTerrainData> m_data;
    std::deque<TTileKey> m_wanted;
    std::unordered_set<std::uint64_t> m_inFlight;
    std::vector<TBuiltTile> m_finished;
    std::unordered_set<std::uint64_t> m_finishedKeys;
    std::atomic<bool> m_arrived{false};
    /// When the first of the tiles not yet taken arrived.
    std::chrono::steady_clock::time_point m_firstArrival;
    bool m_reported = false;
    std::exception_ptr m_error;
};

} // namespace skyglide
