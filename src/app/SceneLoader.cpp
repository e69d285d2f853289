#include "app/SceneLoader.h"

#include "app/ProcessParameters.h"
#include "app/SceneForm.h"
#include "app/SkyGlideApplication.h"
#include "app/StartupTimings.h"
#include "app/UserDialogs.h"
#include "data/FileIO.h"
#include "host/KrtSupport.h"
#include "host/MsgHandler.h"
#include "host/StartupParameters.h"

#include <QCoreApplication>
#include <QOpenGLContext>

#include <cstdio>
#include <exception>
#include <stdexcept>

namespace skyglide {

namespace {

// A display without OpenGL (a platform plugin that has none) cannot show the
// viewer: window systems crash on the first paint of a GL widget there.
void RequireOpenGL()
{
    QOpenGLContext context;
    if (!context.create())
        throw std::runtime_error("LoadScene: the viewer needs OpenGL, and no OpenGL context can be "
                                 "made on this display");
}

// A raster that gives no grid ends the start-up like any other failure: an
// empty window would tell the user nothing.
void RequireGrid(const TRasterFile& raster)
{
    if (const std::string reason = raster.UnusableReason(); !reason.empty())
        throw std::runtime_error(reason);
}

template <class F> decltype(auto) HostCalls(F&& calls)
{
    return TStartupTimings::Timed(TStartupTimings::tpHostCalls, std::forward<F>(calls));
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

TSceneLoader::TSceneLoader(THostLink::TServerFactory factory) : m_host(std::move(factory))
{
    m_host.OnServerNotFound = [](const char* text) {
        // Started by hand, the program has no host to hand it a terrain: the
        // terminal says how to get one.
        std::fprintf(stderr, "skyglide: %s\nskyglide: without the host GIS, start the viewer "
                             "through the stand-in host: skyglide-host [options] SURFACE "
                             "(see skyglide-host --help)\n",
                     text);
        UserDialogs().ShowMessage(QString::fromLatin1(ApplicationTitle), QString::fromLatin1(text));
    };
    m_host.OnHostGone = [this] { hostGone(); };
}

void TSceneLoader::hostGone()
{
    if (m_host.ShuttingDown())
        return;
    // Without a scene window nobody is left to end the run.
    if (!m_sceneForm) {
        m_host.TerminateApplication();
        return;
    }
    // The flight goes on: a recorded path can still be saved, and a close
    // ends the run without asking the host anything.
    UserDialogs().ShowMessage(QString::fromLatin1(ApplicationTitle),
                              QString::fromLatin1(HostGoneText), m_sceneForm);
}

TSceneFrm* TSceneLoader::SceneForm() const
{
    return m_sceneForm.data();
}

void TSceneLoader::shutdownRequested()
{
    // Once the window has gone the run has already been finished with the
    // host.
    if (!m_sceneForm)
        return;
    m_sceneForm->SetClosing(true);
    m_sceneForm->close();
}

void TSceneLoader::LoadScene(Tmsghndlr& messageWindow)
{
    std::vector<std::string> arguments;
    const QStringList all = QCoreApplication::arguments();
    for (qsizetype i = 1; i < all.size(); ++i)
        arguments.push_back(all.at(i).toStdString());
    LoadScene(messageWindow, arguments);
}

void TSceneLoader::LoadScene(Tmsghndlr& messageWindow, const std::vector<std::string>& arguments)
{
    TSceneData& data = m_data;
    try {
        const TProcessParameters parameters = HostCalls([this, &arguments] {
            ReadStartupParameters(m_host, arguments);
            m_host.ClearProgress();
            return ReadProcessParameters(m_host);
        });
        data.ResolutionMode = parameters.ResolutionMode;
        data.VelocityParameter = parameters.VelocityParameter;
        data.Exaggeration = parameters.Exaggeration;
        data.StartMaximized = parameters.StartMaximized;
        data.HelpFile = parameters.HelpFile;

        const std::string& surfaceFile = parameters.SurfaceFileName;
        if (surfaceFile.empty())
            throw std::runtime_error("the host names no surface file (process parameter 2 is empty)");
        if (!RegularFileExists(surfaceFile)) {
            TRasterFile missing;
            missing.SetFileName(surfaceFile);
            RequireGrid(missing);
        }
        const std::string drapeFile =
            parameters.DrapeFileName == "none" ? surfaceFile : parameters.DrapeFileName;
        std::string palette =
            parameters.PaletteName == "none" ? std::string("greyscale") : parameters.PaletteName;
        std::int32_t resolved = 0;
        HostCalls([&] { ResolveFileName(m_host.Server(), ftPalette, palette, resolved); });

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
        RequireGrid(surface);
        // A drape that gives no picture leaves the surface without colours, as
        // the host's own viewer shows it; the user is told why.
        if (const std::string reason = drape.UnusableReason(); !reason.empty())
            std::fprintf(stderr,
                         "skyglide: the drape cannot be used, the surface is shown without its "
                         "colours: %s\n",
                         reason.c_str());

        const auto reportRow = [this](float fraction) {
            TStartupTimings::Timed(TStartupTimings::tpProgressReports,
                                   [this, fraction] { m_host.ReportProgress(fraction); });
        };
        surface.OnProgress = reportRow;
        drape.OnProgress = reportRow;
        using T = TStartupTimings;
        TimedWithout(T::tpDrapeLoad, T::tpProgressReports,
                     [&] { drape.LoadImage(drapeFile, true, 16); });
        TimedWithout(T::tpSurfaceLoad, T::tpProgressReports,
                     [&] { surface.LoadSurface(surfaceFile); });
        // A row report that failed fails the start-up here, not the window's
        // own calls of the host, which would only show it in a box.
        TStartupTimings::Timed(T::tpProgressReports, [this] { m_host.AwaitProgressReports(); });

        TimedWithout(T::tpWindow, T::tpHostCalls, [&] {
            RequireOpenGL();
            auto* form = new TSceneFrm(data, m_host, &messageWindow);
            m_sceneForm = form;
            messageWindow.OnShutdownRequest = [this] { shutdownRequested(); };
            form->Navigation().SetDefaultVelocity(DefaultVelocityFor(data.VelocityParameter));
            form->Navigation().ChangeVelocity(TVelocityChange::vcRestore);
            drape.CloseStream();
            surface.CloseStream();
        });
        // The viewer draws its first frame as soon as it is shown.
        TStartupTimings::WindowShowing();
        m_sceneForm->show();

        QCoreApplication::processEvents();
        HostCalls([this] {
            m_host.ReportProgress(0);
            m_host.ClearProgress();
        });
        QCoreApplication::processEvents();
        TStartupTimings::LoadFinished();
    } catch (const std::exception& error) {
        m_failed = true;
        AbandonStartup(m_host, error);
        data.SurfaceRaster.reset();
        data.DrapeRaster.reset();
    }
}

} // namespace skyglide
