#include "app/FlightPath.h"

#include "app/SceneComposition.h"
#include "render/Camera.h"
#include "render/DummyCube.h"

namespace skyglide {

namespace {

std::array<float, 3> Components(const TCoordinates& coordinates)
{
    return {coordinates.X(), coordinates.Y(), coordinates.Z()};
}

TAffineVector Vector(const std::array<float, 3>& components)
{
    return {components[0], components[1], components[2]};
}

} // namespace

TPose RigPose(const TSceneComposition& scene)
{
    const TDummyCube& observer = *scene.Observer;
    return {Components(observer.Position()), Components(observer.Direction()),
            Components(scene.Camera->Position())};
}

void ApplyRigPose(TSceneComposition& scene, const TPose& pose)
{
    TScene& notices = scene.Scene1;
    notices.BeginUpdate();
    scene.Observer->Position().SetAsAffineVector(Vector(pose.ObserverPosition));
    scene.Observer->Direction().SetAsAffineVector(Vector(pose.ObserverDirection));
    scene.Camera->Position().SetAsAffineVector(Vector(pose.CameraPosition));
    notices.EndUpdate();
}

int PlaybackProgress(std::int32_t currentLine, std::int32_t count)
{
    if (count <= 0)
        return 0;
    // In integers, so that a half is exactly a half.
    const long long scaled = static_cast<long long>(currentLine) * 100;
    long long quotient = scaled / count;
    long long twiceRest = (scaled % count) * 2;
    if (twiceRest < 0) {
        --quotient;
        twiceRest += 2LL * count;
    }
    if (twiceRest > count || (twiceRest == count && quotient % 2 != 0))
        ++quotient;
    return static_cast<int>(quotient);
}

} // namespace skyglide
