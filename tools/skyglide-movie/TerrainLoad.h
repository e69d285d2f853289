#pragma once

#include "app/MovieFrameRenderer.h"
#include "data/RasterFile.h"

#include <functional>
#include <memory>

namespace skyglide {

struct TMovieOptions;

// The terrain of a movie: the surface raster with its heights and the
// scene the movie shows, whose Surface it is.
struct TMovieTerrain
{
    std::unique_ptr<TRasterFile> Surface;
    TMovieScene Scene;
};

// Loads the rasters of options as the viewer's start-up load loads the
// host's parameters: a drape "none" is the surface itself, a palette "none"
// is greyscale, a palette's bare name is looked for in the working folder
// and the bundled palettes, the detail level decimates both rasters by the
// surface's step, the drape is stretched through the palette. progress is
// called with the fraction done. Throws std::runtime_error naming the file
// and the reason.
TMovieTerrain LoadTerrain(const TMovieOptions& options, const std::function<void(double)>& progress);

} // namespace skyglide
