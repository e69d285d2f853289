#pragma once

#include "paths/PathFile.h"

#include <cstdint>

namespace skyglide {

struct TSceneComposition;

// The observer rig's pose as a path line records it: the observer's position
// and direction and the camera's position relative to the observer.
TPose RigPose(const TSceneComposition& scene);

// Puts the rig into pose: the observer's position, then its direction, then
// the camera's position, each set as a whole vector inside one update
// bracket of the scene (one change notice in all). The direction is
// normalised once as a whole, so the observer heads exactly where the pose
// says; set one component at a time, each component would re-normalise the
// direction before the next one arrives and turn the heading away from the
// recorded one.
void ApplyRigPose(TSceneComposition& scene, const TPose& pose);

// The playback progress in percent: currentLine ÷ count × 100 rounded to the
// nearest integer, halves to even; 0 for a path without lines.
int PlaybackProgress(std::int32_t currentLine, std::int32_t count);

} // namespace skyglide
