#include "app/SceneLoader.h"

#include "app/ProcessParameters.h"
#include "app/SceneData.h"
#include "app/SceneForm.h"
#include "app/StartupTimings.h"
#include "host/KrtServices.h"
#include "host/KrtSupport.h"
#include "host/MsgHandler.h"
#include "host/StartupParameters.h"

#include <QCoreApplication>
#include <QOpenGLContext>
#include <QPointer>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <stdexcept>

namespace skyglide {

namespace {

QPointer<TSceneFrm> g_sceneForm;

// What the scene window's close does with the host, for a run that has no
// scene window.
void FinishRun()
{
    TellHostRunFinished();
    ReleaseHostServer();
}

void CloseSceneForm()
{
    if (!g_sceneForm)
        return FinishRun();
    g_sceneForm->SetClosing(true);
    g_sceneForm->close();
}

// A display without OpenGL (a platform plugin that has none) cannot show the
// viewer: window systems crash on the first paint of a GL widget there.
void RequireOpenGL()
{
    QOpenGLContext context;
    if (!context.create())
        throw std::runtime_error("LoadScene: the viewer needs OpenGL, and no OpenGL context can be "
                                 "made on this display");
}

bool NamesAFile(const std::string& name)
{
    std::error_code error;
    const auto status = std::filesystem::status(name, error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

template <class F> decltype(auto) HostCalls(F&& calls)
{
    return TStartupTimings::Timed(TStartupTimings::tpHostCalls, std::forward<F>(calls));
}

void ReportRowProgress(float fraction)
{
    TStartupTimings::Timed(TStartupTimings::tpProgressReports,
                           [fraction] { ReportProgress(fraction); });
}

// Runs work and counts its time in phase, without the time it spent in
// the phase inner (the progress reports of a load, the host calls of the
// window's creation).
template <class F>
void TimedWithout(TStartupTimings::TPhase phase, TStartupTimings::TPhase inner, F&& work)
{
    if (!TStartupTimings::Enabled())
        return work();
    using TClock = TStartupTimings::TClock;
    const TClock::duration innerBefore = TStartupTimings::Elapsed(inner);
    const TClock::time_point begin = TClock::now();
    work();
    const TClock::duration innerTime = TStartupTimings::Elapsed(inner) - innerBefore;
    TStartupTimings::Add(phase, TClock::now() - begin - innerTime);
}

} // namespace

TSceneData& SceneData()
{
    static TSceneData data;
    return data;
}

std::optional<std::string> TellHostRunFinished()
{
    try {
        if (IKartovaAPIServer* server = HostServer())
            server->FinishProcess(ProcessNumber());
        return std::nullopt;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "skyglide: the host was not told that the run has finished: %s\n",
                     error.what());
        return std::string(error.what());
    }
}

TSceneFrm* SceneForm()
{
    return g_sceneForm.data();
}

TResolutionBox ResolutionBoxFor(std::uint8_t resolutionMode)
{
    switch (resolutionMode) {
    case 1:
        return {1024, 768, 20};
    case 2:
        return {1600, 1200, 15};
    case 3:
        return {2800, 2400, 5};
    default:
        return {0, 0, 10};
    }
}

std::uint16_t DecimationStep(std::uint8_t resolutionMode, int columns, int rows)
{
    const TResolutionBox box = ResolutionBoxFor(resolutionMode);
    if (box.MaxWidth == 0)
        return 1;
    return TRasterFile::CalcStep(columns, rows, box.MaxWidth, box.MaxHeight);
}

void LoadScene(Tmsghndlr& messageWindow)
{
    std::vector<std::string> arguments;
    const QStringList all = QCoreApplication::arguments();
    for (qsizetype i = 1; i < all.size(); ++i)
        arguments.push_back(all.at(i).toStdString());
    LoadScene(messageWindow, arguments);
}

void LoadScene(Tmsghndlr& messageWindow, const std::vector<std::string>& arguments)
{
    TSceneData& data = SceneData();
    try {
        const TProcessParameters parameters = HostCalls([&arguments] {
            ReadStartupParameters(arguments);
            ClearProgress();
            return ReadProcessParameters();
        });
        data.ResolutionMode = parameters.ResolutionMode;
        data.VelocityParameter = parameters.VelocityParameter;
        data.Exaggeration = parameters.Exaggeration;
        data.StartMaximized = parameters.StartMaximized;
        data.HelpFile = parameters.HelpFile;

        const std::string& surfaceFile = parameters.SurfaceFileName;
        if (surfaceFile.empty() || !NamesAFile(surfaceFile)) {
            // Nothing to show: the host may still end the run.
            messageWindow.OnShutdownRequest = FinishRun;
            TStartupTimings::LoadFinished();
            return;
        }
        const std::string drapeFile =
            parameters.DrapeFileName == "none" ? surfaceFile : parameters.DrapeFileName;
        std::string palette =
            parameters.PaletteName == "none" ? std::string("greyscale") : parameters.PaletteName;
        std::int32_t resolved = 0;
        HostCalls([&] { ResolveFileName(HostServer(), ftPalette, palette, resolved); });

        data.SurfaceRaster = std::make_unique<TRasterFile>();
        TRasterFile& surface = *data.SurfaceRaster;
        surface.SetFileName(surfaceFile);
        data.DrapeRaster = std::make_unique<TRasterFile>();
        TRasterFile& drape = *data.DrapeRaster;
        drape.SetFileName(drapeFile);
        drape.SetPalletFile(palette);

        // The drape is decimated by the surface's step, whatever its own size.
        const std::uint16_t step =
            DecimationStep(data.ResolutionMode, surface.Doc().Columns, surface.Doc().Rows);
        surface.SetStep(step);
        drape.SetStep(step);
        data.MeshSamplingFactor = ResolutionBoxFor(data.ResolutionMode).MeshSamplingFactor;

        surface.OnProgress = ReportRowProgress;
        drape.OnProgress = ReportRowProgress;
        using T = TStartupTimings;
        TimedWithout(T::tpDrapeLoad, T::tpProgressReports,
                     [&] { drape.LoadImage(drapeFile, true, 16); });
        TimedWithout(T::tpSurfaceLoad, T::tpProgressReports,
                     [&] { surface.LoadSurface(surfaceFile); });

        TimedWithout(T::tpWindow, T::tpHostCalls, [&] {
            RequireOpenGL();
            auto* form = new TSceneFrm(data, &messageWindow);
            g_sceneForm = form;
            messageWindow.OnShutdownRequest = CloseSceneForm;
            form->SetDefaultVelocity(DefaultVelocityFor(data.VelocityParameter));
            form->ChangeVelocity(TVelocityChange::vcRestore);
            drape.CloseStream();
            surface.CloseStream();
        });
        // The viewer draws its first frame as soon as it is shown.
        TStartupTimings::WindowShowing();
        g_sceneForm->show();

        QCoreApplication::processEvents();
        HostCalls([] {
            ReportProgress(0);
            ClearProgress();
        });
        QCoreApplication::processEvents();
        TStartupTimings::LoadFinished();
    } catch (const std::exception& error) {
        AbandonStartup(error);
        data.SurfaceRaster.reset();
        data.DrapeRaster.reset();
    }
}

} // namespace skyglide
