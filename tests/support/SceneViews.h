#pragma once

// What a frame reads from the viewer's scene tree, without a GL context.

#include "TestSupport.h"

namespace skyglide {

struct TSceneComposition;

namespace test {

// What the render pass reads from the scene for one frame of an 827 × 530
// view: the projection and view of the camera, the lights, and the local
// matrix of every visible object, whose geometry it compiles.
void ReadAsAFrame(TSceneComposition& scene);

} // namespace test
} // namespace skyglide
