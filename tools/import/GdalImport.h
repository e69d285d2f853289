#pragma once

#include "import/RasterDoc.h"

#include <functional>
#include <string>

namespace skyglide {

/// How a foreign raster is imported.
struct TImportOptions
{
    /// The band to import, from 1; 0 takes the three colour bands of a byte
    /// image of three or four bands, otherwise band 1.
    int Band = 0;
    /// The documentation's title; empty gives the source's file name.
    std::string Title;
    /// Called with the fraction done as the rows go by; returning false
    /// stops the import (TImportError) and leaves nothing behind.
    std::function<bool(double)> OnProgress;
};

/// Converts any raster GDAL opens into an image file `destination` (".rst")
/// with its documentation (".rdc") beside it, and returns that
/// documentation.
///
/// One band becomes integer cells when its cells are 8- or 16-bit integers
/// that fit a signed 16-bit cell, real cells otherwise; a byte image of
/// three or four bands, or a byte band with a colour table, becomes rgb24
/// cells. The grid must be north-up (a grid stored south to north is turned
/// over); the value range is that of the valid cells, and the source's
/// nodata value becomes the flag value of "missing data". Rows are streamed
/// through a buffer of a few megabytes, so the source may be far larger
/// than memory. Both files are written under temporary names and renamed
/// at the end, the documentation last. Throws TImportError.
TRasterDoc ImportRaster(const std::string& source, const std::string& destination,
                        const TImportOptions& options);

/// Reads `source` as ImportRaster() would and returns the documentation it
/// would write, writing nothing.
TRasterDoc DescribeRaster(const std::string& source, const TImportOptions& options);

/// The map grid of a surface: its extent, size and coordinate system (WKT,
/// empty when unknown).
struct TSurfaceGrid
{
    double MinX = 0.0;
    double MaxX = 0.0;
    double MinY = 0.0;
    double MaxY = 0.0;
    int Columns = 0;
    int Rows = 0;
    std::string Wkt;
};

/// The grid of a surface given as a raster pair (".rst") or as any raster
/// GDAL opens. Throws TImportError.
TSurfaceGrid SurfaceGridOf(const std::string& surface);

/// Imports a drape for the surface of `grid`. A drape that covers the same
/// extent in the same coordinate system (or that has no map position at
/// all) is imported as it is; any other is resampled, or warped from its
/// own coordinate system, by GDAL onto the surface's extent, on a grid that
/// divides each surface cell evenly into about as many cells as the drape
/// has there, so that the image keeps its detail.
TRasterDoc ImportDrape(const std::string& drape, const TSurfaceGrid& grid,
                       const std::string& destination, const TImportOptions& options);

} // namespace skyglide
