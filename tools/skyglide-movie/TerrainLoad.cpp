#include "TerrainLoad.h"

#include "MovieOptions.h"
#include "app/SceneLoader.h"
#include "host/KrtSupport.h"
#include "import/Folders.h"

#include <QDir>
#include <QFileInfo>

#include <stdexcept>

namespace skyglide {

namespace {

// Looked up in the folders the stand-in host names by default: the working
// folder is the current one, the bundled palettes are the resource and
// palette folders. As in the viewer, a palette that is not found fails only
// when the drape needs it.
std::string ResolvedPalette(const QString& name)
{
    std::string palette = name == QLatin1String("none") ? "greyscale" : name.toStdString();
    THostFolders folders;
    folders.WorkingFolder = AsFolder(QDir::currentPath()).toStdString();
    folders.PaletteFolder = BundledPaletteFolder().toStdString();
    folders.ResourceFolders = {folders.PaletteFolder};
    std::int32_t code = 0;
    ResolveFileName(folders, ftPalette, palette, code);
    return palette;
}

std::unique_ptr<TRasterFile> OpenRaster(const QString& name)
{
    if (!QFileInfo(name).isFile())
        throw std::runtime_error("cannot open " + name.toStdString() +
                                 ": No such file or directory");
    auto raster = std::make_unique<TRasterFile>();
    raster->SetFileName(name.toStdString());
    if (!raster->Valid())
        throw std::runtime_error(
            "cannot read " + name.toStdString() + ": its documentation (.rdc) " +
            (raster->DocStatus() ? "does not read (status " + std::to_string(*raster->DocStatus()) +
                                       ")"
                                 : std::string("is missing")));
    return raster;
}

} // namespace

TMovieTerrain LoadTerrain(const TMovieOptions& options, const std::function<void(double)>& progress)
{
    const QString drapeFile = options.Drape == QLatin1String("none") ? options.Surface : options.Drape;
    TMovieTerrain terrain;
    terrain.Surface = OpenRaster(options.Surface);
    TRasterFile& surface = *terrain.Surface;
    const std::unique_ptr<TRasterFile> drape = OpenRaster(drapeFile);
    drape->SetPalletFile(ResolvedPalette(options.Palette));

    // The drape is decimated by the surface's step, whatever its own size.
    const std::uint16_t step =
        DecimationStep(options.ResolutionMode, surface.Doc().Columns, surface.Doc().Rows);
    surface.SetStep(step);
    drape->SetStep(step);
    drape->OnProgress = [&progress](float fraction) { progress(fraction / 2); };
    surface.OnProgress = [&progress](float fraction) { progress(0.5 + fraction / 2); };
    drape->LoadImage(drapeFile.toStdString(), true, 16);
    surface.LoadSurface(options.Surface.toStdString());
    drape->CloseStream();
    surface.CloseStream();

    TMovieScene& scene = terrain.Scene;
    scene.Surface = &surface;
    if (!drape->Bitmap().Empty())
        scene.Picture = std::make_shared<const TBitmap>(std::move(drape->Bitmap()));
    scene.Exaggeration = options.Exaggeration;
    scene.MeshSamplingFactor = ResolutionBoxFor(options.ResolutionMode).MeshSamplingFactor;
    scene.Sky = options.Sky;
    scene.FullDetail = options.FullDetail;
    scene.Background = options.Background;
    return terrain;
}

} // namespace skyglide
