#include "render/Camera.h"
#include "render/DummyCube.h"
#include "render/Scene.h"

#include <vector>

#include <benchmark/benchmark.h>

using namespace skyglide;

namespace {

// One navigation step as the scene window takes it when the arrow keys and
// the look-up key are held: turn, move, orbit. The pitch alternates so the
// camera never rests against a stop.
void BM_RigStep(benchmark::State& state)
{
    TScene scene;
    auto& afterSky = scene.Objects().AddNewChild<TDummyCube>();
    auto& observer = afterSky.AddNewChild<TDummyCube>();
    observer.SetVisible(false);
    auto& camera = observer.AddNewChild<TCamera>();
    camera.Direction().SetAsAffineVector({0, 0, 1});
    camera.SetFocalLength(100);
    camera.SetDepthOfView(100000);
    auto& target = observer.AddNewChild<TDummyCube>();
    target.Position().SetAsAffineVector({0, 0, 1});
    camera.SetTargetObject(&target);
    observer.Position().SetAsAffineVector({96, 18, -64});
    camera.OrbitTarget(-2, 0);

    float pitch = 0.4f;
    for (auto _ : state) {
        observer.Turn(0.8f);
        observer.Move(1.6f);
        camera.OrbitTarget(pitch, 0);
        pitch = -pitch;
        benchmark::DoNotOptimize(camera.Position().AsVector());
    }
    state.counters["ns_per_step"] = benchmark::Counter(
        double(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert,
        benchmark::Counter::kIs1000);
}
BENCHMARK(BM_RigStep);

// A tree of 1000 nodes (1 + 9 + 90 + 900): the root moves, then every
// node's absolute matrix is asked for, as a frame that draws them all does.
void BM_AbsoluteMatricesAfterRootMove(benchmark::State& state)
{
    TScene scene;
    std::vector<TBaseSceneObject*> nodes;
    auto& top = scene.Objects().AddNewChild<TDummyCube>();
    nodes.push_back(&top);
    for (int i = 0; i < 9; ++i) {
        auto& group = top.AddNewChild<TDummyCube>();
        group.Position().SetAsAffineVector({float(i), 0, 1});
        group.Turn(10.0f * float(i));
        nodes.push_back(&group);
        for (int j = 0; j < 10; ++j) {
            auto& sub = group.AddNewChild<TDummyCube>();
            sub.Position().SetAsAffineVector({0, float(j), 2});
            sub.Scale().SetAsAffineVector({2, 2, 2});
            nodes.push_back(&sub);
            for (int k = 0; k < 10; ++k) {
                auto& leaf = sub.AddNewChild<TDummyCube>();
                leaf.Position().SetAsAffineVector({float(k), 1, 0});
                nodes.push_back(&leaf);
            }
        }
    }
    if (nodes.size() != 1000)
        state.SkipWithError("the tree does not have 1000 nodes");

    for (auto _ : state) {
        top.Move(0.001f);
        for (TBaseSceneObject* node : nodes)
            benchmark::DoNotOptimize(node->AbsoluteMatrix());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(nodes.size()));
    state.counters["ns_per_matrix"] = benchmark::Counter(
        double(state.iterations() * nodes.size()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}
BENCHMARK(BM_AbsoluteMatricesAfterRootMove);

} // namespace

BENCHMARK_MAIN();
