// skyglide-movie: renders a flight path over a terrain into a movie file,
// off-screen: no window, no host.
#include "MovieOptions.h"
#include "TerrainLoad.h"
#include "app/MovieFrameRenderer.h"
#include "import/ForeignRasters.h"
#include "import/Terminal.h"
#include "paths/PathFile.h"

#include <QFileInfo>
#include <QGuiApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {

using namespace skyglide;

int Render(TMovieOptions& options)
{
    // Ctrl+C and SIGTERM from here on stop at the next step and leave no file.
    const TInterruptGuard interrupts;
    // The path first: a bad one is told before a long import.
    const std::string pathFile = options.Path.toStdString();
    if (!QFileInfo(options.Path).isFile())
        throw std::runtime_error("cannot open " + pathFile + ": No such file or directory");
    std::vector<TPose> poses;
    try {
        TPathFile path;
        path.LoadFromFile(pathFile);
        poses = RecordedPoses(path);
    } catch (const std::exception& error) {
        throw std::runtime_error("cannot read " + pathFile + ": " + error.what());
    }
    if (!ImportForeignRasters(options.Surface, options.Drape, "skyglide-movie"))
        return 1;

    TMovieTerrain terrain;
    {
        TProgressBar bar("Loading", false);
        terrain = LoadTerrain(options, [&bar](double fraction) { bar.Show(fraction); });
    }
    if (!options.Note.empty())
        std::fprintf(stderr, "skyglide-movie: %s\n", options.Note.c_str());

    const TMovieSettings& settings = options.Settings;
    TMovieFrameRenderer frames(terrain.Scene,
                               TPathResampler(std::move(poses), options.Smoothing, settings.FPS),
                               settings.Width, settings.Height);
    QuietEncoderMessages();
    TMovieRender render;
    TProgressBar bar("Rendering", false);
    render.OnProgress = [&bar](const TMovieProgress& progress) {
        bar.Show(double(progress.FramesDone) / progress.FrameCount, MovieProgressText(progress));
    };
    render.OnQueryCancel = [] { return TInterruptGuard::Interrupted(); };
    const auto start = std::chrono::steady_clock::now();
    const TMovieRenderResult result = render.Render(frames, settings);
    bar.End();
    if (result == TMovieRenderResult::mrCancelled) {
        std::fprintf(stderr, "skyglide-movie: interrupted; no movie written\n");
        return 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("skyglide-movie: wrote %s: %d frames of %dx%d at %d frames/s in %.1f s\n",
                settings.FileName.c_str(), frames.FrameCount(), settings.Width, settings.Height,
                settings.FPS, seconds);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    // Without a display there is no OpenGL either, but --help still answers
    // and a render says what is missing instead of the platform aborting.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("skyglide-movie"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SKYGLIDE_VERSION));

    int exitCode = 0;
    std::optional<TMovieOptions> options =
        ParseMovieOptions(QCoreApplication::arguments(), exitCode);
    if (!options)
        return exitCode;
    try {
        return Render(*options);
    } catch (const skyglide::TRenderContextError& error) {
        std::fprintf(stderr,
                     "skyglide-movie: no OpenGL to render with: %s (on a machine without a "
                     "display, run it under an X server: xvfb-run skyglide-movie ...)\n",
                     error.what());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "skyglide-movie: %s\n", error.what());
    }
    return 1;
}
