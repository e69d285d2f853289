#pragma once

#include "data/RasterFile.h"

#include <cstdint>
#include <memory>
#include <string>

namespace skyglide {

// What the start-up load prepares from the host's parameters for the scene
// window: the surface (heights) and the drape (the texture), held from the
// load until the scene window closes, and the settings of the run.
struct TSceneData
{
    std::unique_ptr<TRasterFile> SurfaceRaster;
    std::unique_ptr<TRasterFile> DrapeRaster;
    std::uint8_t ResolutionMode = 0;
    std::uint8_t VelocityParameter = 0;
    float Exaggeration = 1.0f;
    bool StartMaximized = false;
    std::string HelpFile;
    // One mesh vertex every this many grid cells in each direction.
    std::uint8_t MeshSamplingFactor = 10;
};

} // namespace skyglide
