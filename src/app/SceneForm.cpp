#include "app/SceneForm.h"

#include "app/FlightPath.h"
#include "app/SceneData.h"
#include "app/SceneLoader.h"
#include "app/StartupTimings.h"
#include "app/SurfaceReadout.h"
#include "app/ViewerFrameSource.h"
#include "host/AppLifecycle.h"
#include "host/KrtServices.h"
#include "movie/CompressorDialog.h"
#include "paths/PathFile.h"
#include "render/Camera.h"
#include "render/DummyCube.h"
#include "render/HeightFieldMesh.h"
#include "render/SceneViewer.h"
#include "render/SkyDome.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QScopeGuard>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace skyglide {

namespace {

constexpr int StatusBarHeight = 19;

struct TStatusPanel
{
    int Width;
    bool Lowered;
    const char* Text;
};

// The observer read-out: a caption, column, row, map x, map y, the value
// under the observer, a caption, the observer's height and a spacer.
constexpr std::array<TStatusPanel, TSceneFrm::StatusPanelCount> StatusPanels = {{
    {130, false, "Observer Position:"},
    {80, true, ""},
    {80, true, ""},
    {130, true, ""},
    {130, true, ""},
    {80, true, ""},
    {70, false, " Height:"},
    {100, true, ""},
    {10, false, ""},
}};

// Numbers on screen follow the user's locale, without group separators:
// "%f" has two decimals.
QString Fixed(double value, int decimals)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'f', decimals);
}

const QString& Title()
{
    static const QString title = QString::fromLatin1(ApplicationTitle);
    return title;
}

// The captions of the path states; %1 is the path's file name (empty for a
// path that was only recorded).
constexpr const char* RecordingCaption = "Sky Glide - Recording";
constexpr const char* PlayingCaption = "Sky Glide - Playing %1";
constexpr const char* PausedCaption = "Sky Glide - Paused %1";
constexpr const char* PathLoadedCaption = "Sky Glide - Path loaded %1";
// %1 the path's file name, %2 the movie's.
constexpr const char* SavingMovieCaption = "Sky Glide - Save %1 to %2";

} // namespace

TSceneFrm::TSceneFrm(TSceneData& data, QWidget* owner)
    : QWidget(owner, Qt::Window), m_data(data), m_pathFile(std::make_unique<TPathFile>())
{
    createComponents();
    FormCreate();
}

TSceneFrm::~TSceneFrm()
{
    m_cadencer.SetEnabled(false);
    // An open movie is deleted with the recorder; it takes no frame from a
    // viewer that is going.
    m_aviRecorder.SetSceneViewer(nullptr);
    // The viewer goes first, with its GL resources, while the scene it shows
    // still exists.
    delete m_sceneViewer;
    m_sceneViewer = nullptr;
}

// ---- creation ----------------------------------------------------------------

void TSceneFrm::createComponents()
{
    setObjectName(QStringLiteral("SceneFrm"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_sceneViewer = new TSceneViewer(this);
    m_sceneViewer->setObjectName(QStringLiteral("SceneViewer1"));
    m_sceneViewer->SetCamera(m_scene.Camera);
    m_sceneViewer->Buffer().SetBackgroundColor({0, 0, 0, 1});
    m_sceneViewer->Buffer().BeforeRender = [this] { SceneViewer1BeforeRender(); };
    m_sceneViewer->Buffer().PostRender = [this] { SceneViewer1PostRender(); };
    m_sceneViewer->setContextMenuPolicy(Qt::CustomContextMenu);
    m_sceneViewer->installEventFilter(this);
    layout->addWidget(m_sceneViewer, 1);

    m_progressPanel = new QWidget(this);
    m_progressPanel->setObjectName(QStringLiteral("pnlProgress"));
    auto* progressLayout = new QHBoxLayout(m_progressPanel);
    progressLayout->setContentsMargins(0, 0, 0, 0);
    m_progressBar = new QProgressBar(m_progressPanel);
    m_progressBar->setObjectName(QStringLiteral("prbProgress"));
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_progressBar->setTextVisible(false);
    progressLayout->addWidget(m_progressBar);
    layout->addWidget(m_progressPanel);

    createStatusBar();
    layout->addWidget(m_statusBar);

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(100);
    connect(m_timer1, &QTimer::timeout, this, &TSceneFrm::Timer1Timer);
    m_timer1->start();
    m_timer2 = new QTimer(this);
    m_timer2->setObjectName(QStringLiteral("Timer2"));
    m_timer2->setInterval(60);
    connect(m_timer2, &QTimer::timeout, this, &TSceneFrm::Timer2Timer);
    m_timer2->start();

    m_aviRecorder.SetFPS(15);
    m_aviRecorder.SetSizeRestriction(TAVISizeRestriction::srNoRestriction);
    m_aviRecorder.SetImageRetrievalMode(TAVIImageRetrievalMode::irmSnapShot);
    m_aviRecorder.SetCompressor(TAVICompressor::acDefault);
    m_aviRecorder.SetWidth(320);
    m_aviRecorder.SetHeight(200);
    m_frameSource = std::make_unique<TViewerFrameSource>(*m_sceneViewer);
    m_aviRecorder.SetSceneViewer(m_frameSource.get());
    // The movie's name comes from SaveAVIDialog; the recorder asks before it
    // replaces a file.
    m_aviRecorder.OnAskFileName = [this] {
        return UserDialogs().ExecuteSaveDialog(m_saveAVIDialog, this)
                   ? m_saveAVIDialog.FileName.toStdString()
                   : std::string();
    };
    m_aviRecorder.OnConfirmOverwrite = [this](const std::string& question) {
        return UserDialogs().Confirm(Title(), QString::fromStdString(question), this);
    };
    m_aviRecorder.OnChooseCompressor = [this](const std::vector<TAVIEncoderInfo>& encoders) {
        return ChooseAVICompressor(this, encoders);
    };

    for (TFileDialogSettings* dialog : {&m_openDialog, &m_savePathDialog}) {
        dialog->DefaultExt = QStringLiteral("csv");
        dialog->Filter = QStringLiteral("Path File Format (*.csv)");
    }
    m_saveAVIDialog.DefaultExt = QStringLiteral("avi");
    m_saveAVIDialog.Filter = QStringLiteral("AVI Movie File (*.avi)");

    createCommands();
    createPopupMenu();

    m_scene.HeightField1->SetOnGetHeight(
        [this](float x, float y, float& z, TVector4f& color, TTexPoint& texPoint) {
            HeightField1GetHeight(x, y, z, color, texPoint);
        });
    m_timingFrame = TStartupTimings::Enabled();
    m_sceneViewer->Buffer().AfterRender = [this] {
        if (m_timingFrame)
            timeFirstFrame();
    };

    resize(DefaultWidth, DefaultHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - DefaultWidth) / 2,
             area.y() + (area.height() - DefaultHeight) / 2);
    }

    m_cadencer.SetTimeMultiplier(2.0);
    m_cadencer.OnProgress = [this](TCadencer&, double deltaTime, double newTime) {
        Cadencer1Progress(deltaTime, newTime);
    };
    m_cadencer.SetScene(&m_scene.Scene1);
}

void TSceneFrm::createStatusBar()
{
    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("StatusBar1"));
    m_statusBar->setMinimumHeight(StatusBarHeight);
    for (std::size_t i = 0; i < StatusPanels.size(); ++i) {
        auto* panel = new QLabel(QString::fromLatin1(StatusPanels[i].Text), m_statusBar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFixedWidth(StatusPanels[i].Width);
        panel->setFrameStyle(StatusPanels[i].Lowered ? QFrame::Panel | QFrame::Sunken
                                                     : QFrame::NoFrame);
        m_statusBar->addWidget(panel);
        m_statusPanels[i] = panel;
    }
    m_statusBar->hide();
}

void TSceneFrm::createCommands()
{
    for (const TSceneCommandInfo& info : SceneCommands) {
        auto* action = new QAction(QString::fromLatin1(info.Caption), this);
        action->setObjectName(QString::fromLatin1(info.Name));
        const QString hint = QString::fromLatin1(info.Hint);
        if (!hint.isEmpty()) {
            action->setToolTip(hint);
            action->setStatusTip(hint);
        }
        action->setProperty("category", QString::fromLatin1(info.Category));
        QList<QKeySequence> shortcuts;
        for (int key : info.Shortcuts)
            if (key != 0)
                shortcuts << QKeySequence(key);
        action->setShortcuts(shortcuts);
        action->setShortcutContext(Qt::WindowShortcut);
        action->setCheckable(info.Toggle);
        addAction(action);
        const TSceneCommand command = info.Command;
        connect(action, &QAction::triggered, this, [this, command] { Execute(command); });
        m_actions[std::size_t(command)] = action;
    }
    ActionList1Update();
    // Idle: the event loop is about to wait. The cadencer keeps the loop busy
    // while it runs, so SetPathState brings the commands up to date too.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                &TSceneFrm::ActionList1Update);
}

void TSceneFrm::createPopupMenu()
{
    m_popupMenu = new QMenu(this);
    m_popupMenu->setObjectName(QStringLiteral("PopupMenu1"));
    QMenu* menu = m_popupMenu;
    for (const TPopupEntry& entry : PopupMenuLayout) {
        switch (entry.Kind) {
        case TPopupEntry::Command:
            menu->addAction(&Action(entry.Item));
            break;
        case TPopupEntry::Separator:
            menu->addSeparator();
            break;
        case TPopupEntry::SubmenuBegin:
            menu = m_popupMenu->addMenu(QString::fromLatin1(ChangeVelocityCaption));
            break;
        case TPopupEntry::SubmenuEnd:
            menu = m_popupMenu;
            break;
        }
    }
    connect(m_popupMenu, &QMenu::aboutToShow, this, &TSceneFrm::ActionList1Update);
    connect(m_sceneViewer, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { m_popupMenu->popup(m_sceneViewer->mapToGlobal(at)); });
}

void TSceneFrm::FormCreate()
{
    setWindowTitle(QString::fromLatin1(Caption));
    setWindowState(m_data.StartMaximized ? Qt::WindowMaximized : Qt::WindowNoState);
    readDialogFolders();
    m_pathState = TPathState::psIdle;
    ActionList1Update();
}

void TSceneFrm::readDialogFolders()
{
    // One call of the host per dialog. A host that fails leaves the dialogs
    // where they start by themselves and is not asked again; the window
    // stays usable and can be closed.
    IKartovaAPIServer* server = HostServer();
    if (!server)
        return;
    for (TFileDialogSettings* dialog : {&m_openDialog, &m_savePathDialog, &m_saveAVIDialog}) {
        try {
            dialog->InitialDir = QString::fromStdString(TStartupTimings::Timed(
                TStartupTimings::tpHostCalls, [server] { return server->GetWorkingFolder(); }));
        } catch (const std::exception& error) {
            std::fprintf(stderr, "skyglide: the host's working folder cannot be read: %s\n",
                         error.what());
            UserDialogs().ShowError(Title(), QString::fromUtf8(error.what()));
            return;
        }
    }
}

// ---- show, size, housekeeping ---------------------------------------------------

void TSceneFrm::setVisible(bool visible)
{
    // Set up before the viewer is shown: its first frame, which it draws as
    // soon as it has a size, already shows the surface. A window restored
    // from the task bar is not shown anew.
    if (visible && !isVisible())
        FormShow();
    QWidget::setVisible(visible);
}

void TSceneFrm::FormShow()
{
    m_closing = false;
    TRasterFile* surface = m_data.SurfaceRaster.get();
    const int width = surface ? surface->Bitmap().Width() : 0;
    const int height = surface ? surface->Bitmap().Height() : 0;
    // A surface whose documentation did not read has an empty grid: nothing
    // to show. The placement then uses a grid of one cell, so that nothing
    // below divides by zero, and the height field stays hidden.
    const bool empty = width <= 0 || height <= 0;
    const float scaleX = empty ? 1.0f : static_cast<float>(width);
    const float scaleY = empty ? 1.0f : static_cast<float>(height);
    const long double larger = std::max(scaleX, scaleY);

    TScene& scene = m_scene.Scene1;
    THeightField& heightField = *m_scene.HeightField1;
    TDummyCube& observer = *m_scene.Observer;
    scene.BeginUpdate();
    heightField.Scale().SetX(scaleX);
    heightField.Scale().SetY(scaleY);
    heightField.Scale().SetZ(static_cast<float>(larger * 0.05L * m_data.Exaggeration));
    // Outside the surface, beyond its corner at X = 0, Z = 0 by 40 % of each
    // extent, 1.5 times as high as the surface reaches without exaggeration,
    // turned to look at the middle of the surface and tilted 2° down.
    observer.Position().SetX(static_cast<float>(0.4L * scaleX));
    observer.Position().SetZ(static_cast<float>(-0.4L * scaleY));
    observer.Position().SetY(static_cast<float>(larger * 0.05L * 1.5L));
    observer.Turn(static_cast<float>(std::atan(static_cast<double>(scaleX) / scaleY) * 180.0 /
                                     std::numbers::pi));
    m_scene.Camera->OrbitTarget(-2, 0);
    heightField.XSamplingScale().SetStep(static_cast<float>(m_data.MeshSamplingFactor / scaleX));
    heightField.YSamplingScale().SetStep(static_cast<float>(m_data.MeshSamplingFactor / scaleY));
    heightField.SetVisible(!empty);

    // The texture takes the drape's pixels over: the drape raster never
    // draws them again, and a surface-sized picture is not copied.
    TRasterFile* drape = m_data.DrapeRaster.get();
    if (drape && !drape->Bitmap().Empty()) {
        TTexture& texture = heightField.Material().Texture();
        texture.SetImage(std::move(drape->Bitmap()));
        texture.SetDisabled(false);
    }
    scene.EndUpdate();
}

void TSceneFrm::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FormResize();
    fitOuterSize();
}

void TSceneFrm::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    fitOuterSize();
}

bool TSceneFrm::eventFilter(QObject* watched, QEvent* event)
{
    // The viewer also changes size when the status bar appears or goes.
    if (watched == m_sceneViewer && event->type() == QEvent::Resize)
        FormResize();
    return QWidget::eventFilter(watched, event);
}

void TSceneFrm::FormResize()
{
    if (!m_sceneViewer)
        return;
    m_aviRecorder.SetWidth(m_sceneViewer->width());
    m_aviRecorder.SetHeight(m_sceneViewer->height());
}

void TSceneFrm::fitOuterSize()
{
    // The window's outer size includes the window manager's frame, which is
    // known only once the window is on screen: the first time it is, the
    // client area gives way to it, and the window is centred again.
    if (m_outerSizeFitted || !isVisible() || !windowHandle() ||
        (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        return;
    const QMargins frame = windowHandle()->frameMargins();
    if (frame.isNull())
        return;
    m_outerSizeFitted = true;
    resize(DefaultWidth - frame.left() - frame.right(),
           DefaultHeight - frame.top() - frame.bottom());
    if (QScreen* screen = windowHandle()->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - DefaultWidth) / 2,
             area.y() + (area.height() - DefaultHeight) / 2);
    }
}

void TSceneFrm::Timer1Timer()
{
    if (m_closing)
        return;
    QCoreApplication::processEvents();
    m_sceneViewer->ResetPerformanceMonitor();
}

void TSceneFrm::Timer2Timer()
{
    // An error box of a tick runs its own event loop, in which the timer goes
    // on: the path waits until the box is answered.
    if (m_pathTickBusy || m_closing || !m_pathFile)
        return;
    QPointer<TSceneFrm> self(this);
    m_pathTickBusy = true;
    const auto done = qScopeGuard([self] {
        if (self)
            self->m_pathTickBusy = false;
    });
    if (m_pathState == TPathState::psPlaying || m_pathState == TPathState::psSavingMovie) {
        PlaybackStep();
        // The window may have been closed while an error box was open.
        if (!self || m_closing)
            return;
    }
    if (m_pathState == TPathState::psRecording)
        RecordSample();
    if (m_pathState == TPathState::psSavingMovie)
        addMovieFrame();
}

void TSceneFrm::RecordSample()
{
    m_pathFile->Add(formatPoseLine(m_pathFile->Count(), RigPose(m_scene)));
}

void TSceneFrm::PlaybackStep()
{
    TPathFile& path = *m_pathFile;
    if (path.Next()) {
        QString failure;
        TScene& scene = m_scene.Scene1;
        scene.BeginUpdate();
        try {
            // All nine numbers convert before any is applied: a line that
            // fails leaves the rig where the previous line put it.
            ApplyRigPose(m_scene, path.currentPose());
        } catch (const std::exception& error) {
            failure = QString::fromUtf8(error.what());
        }
        scene.EndUpdate();
        m_progressBar->setValue(PlaybackProgress(path.CurrentLine(), path.Count()));
        // Shown once for this line; the next tick plays the next one.
        if (!failure.isEmpty())
            UserDialogs().ShowError(Title(), failure, this);
        return;
    }
    QString failure;
    if (m_pathState == TPathState::psSavingMovie)
        failure = closeMovie();
    SetPathState(TPathState::psStopped);
    setPathCaption(PathLoadedCaption);
    m_progressBar->setValue(0);
    if (!failure.isEmpty())
        UserDialogs().ShowError(Title(), failure, this);
}

void TSceneFrm::addMovieFrame()
{
    try {
        m_aviRecorder.AddMovieFrame();
        m_movieFrameFailing = false;
    } catch (const std::exception& error) {
        // The next tick tries again. A failure that repeats at every tick (a
        // full disk) is shown once, not at every tick; the close of the movie
        // tells whether the movie could be completed.
        if (m_movieFrameFailing)
            return;
        m_movieFrameFailing = true;
        UserDialogs().ShowError(Title(), QString::fromUtf8(error.what()), this);
    }
}

QString TSceneFrm::closeMovie()
{
    if (!m_aviRecorder.Writing())
        return {};
    try {
        m_aviRecorder.CloseMovieFile(false);
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

void TSceneFrm::setPathCaption(const char* format)
{
    setWindowTitle(QString::fromLatin1(format).arg(QString::fromStdString(m_pathFile->FileName())));
}

void TSceneFrm::SceneViewer1BeforeRender()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    if (m_timingFrame && m_frameBegin == std::chrono::steady_clock::time_point{})
        m_frameBegin = std::chrono::steady_clock::now();
}

void TSceneFrm::SceneViewer1PostRender()
{
    QGuiApplication::restoreOverrideCursor();
}

void TSceneFrm::timeFirstFrame()
{
    if (m_frameBegin == std::chrono::steady_clock::time_point{})
        return;
    m_timingFrame = false;
    const auto end = std::chrono::steady_clock::now();
    const auto meshBegin = m_heightCalls > 0 ? m_firstHeight : end;
    const auto meshEnd = m_heightCalls > 0 ? m_lastHeight : end;
    // The frame is on screen once the window has composed it.
    const auto textureUpload = meshBegin - m_frameBegin;
    const auto meshBuild = meshEnd - meshBegin;
    auto* once = new QObject(this);
    connect(m_sceneViewer, &QOpenGLWidget::frameSwapped, once, [once, textureUpload, meshBuild] {
        TStartupTimings::FirstFrameRendered(textureUpload, meshBuild);
        once->deleteLater();
    });
}

// ---- close ----------------------------------------------------------------------

void TSceneFrm::closeEvent(QCloseEvent* event)
{
    if (m_closed) {
        event->accept();
        return;
    }
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

bool TSceneFrm::FormCloseQuery()
{
    if (m_pathFile->Modified() &&
        UserDialogs().Confirm(Title(), QStringLiteral("Save Path on a file?"), this) &&
        UserDialogs().ExecuteSaveDialog(m_savePathDialog, this)) {
        try {
            m_pathFile->SaveToFile(m_savePathDialog.FileName.toStdString());
        } catch (const std::exception& error) {
            UserDialogs().ShowError(Title(), QString::fromUtf8(error.what()), this);
            // The user asked to keep the path: the window stays open so that
            // it can be saved elsewhere. The host's shutdown request still
            // ends the run.
            if (!m_closing)
                return false;
        }
    }
    if (m_pathState == TPathState::psRecording || m_pathState == TPathState::psPlaying)
        actStopExecute();
    if (m_pathState == TPathState::psSavingMovie && m_aviRecorder.Writing())
        m_aviRecorder.CloseMovieFile(true);
    // No path tick may touch the path or the aborted movie while the close
    // lets pending messages through.
    m_timer2->stop();
    m_closing = true;
    return true;
}

void TSceneFrm::FormClose()
{
    m_closed = true;
    // A failure is shown, and the run still ends: the data is freed and the
    // application ends.
    if (const std::optional<std::string> error = TellHostRunFinished())
        UserDialogs().ShowError(Title(), QString::fromStdString(*error), this);
    QCoreApplication::processEvents();
    m_cadencer.SetEnabled(false);
    m_timer1->stop();
    deleteLater();
    m_data.SurfaceRaster.reset();
    m_data.DrapeRaster.reset();
    m_pathFile.reset();
    ReleaseHostServer();
    TerminateApplication();
}

// ---- navigation -----------------------------------------------------------------

void TSceneFrm::ChangeVelocity(TVelocityChange kind)
{
    m_rates = skyglide::ChangeVelocity(m_rates.Velocity, m_defaultVelocity, kind);
}

void TSceneFrm::keyPressEvent(QKeyEvent* event)
{
    m_keys.KeyPressed(event->key(), event->isAutoRepeat());
    event->accept();
}

void TSceneFrm::keyReleaseEvent(QKeyEvent* event)
{
    m_keys.KeyReleased(event->key(), event->isAutoRepeat());
    event->accept();
}

void TSceneFrm::changeEvent(QEvent* event)
{
    // Releases that happen in another window never reach this one.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        m_keys.Clear();
    QWidget::changeEvent(event);
}

bool TSceneFrm::HoldsKeyboardFocus() const
{
    return isActiveWindow() && !QApplication::activePopupWidget() &&
           !QApplication::activeModalWidget();
}

void TSceneFrm::Cadencer1Progress(double deltaTime, double /*newTime*/)
{
    if (!m_closing)
        HandleKeys(deltaTime);
}

void TSceneFrm::HandleKeys(double deltaTime)
{
    if (m_closing)
        return;
    if (!HoldsKeyboardFocus()) {
        // Keys released while a menu or dialog had them are never seen here.
        m_keys.Clear();
        return;
    }
    TDummyCube& observer = *m_scene.Observer;
    TCamera& camera = *m_scene.Camera;
    const long double dt = deltaTime;
    const auto amount = [dt](std::int32_t rate) {
        return static_cast<float>(static_cast<long double>(rate) * dt);
    };
    for (const TNavigationRow& row : NavigationRows) {
        if (!m_keys.AnyDown(row))
            continue;
        switch (row.Action) {
        case TNavigationAction::naTiltUp:
            camera.OrbitTarget(amount(m_rates.TurnStep), 0);
            break;
        case TNavigationAction::naTiltDown:
            camera.OrbitTarget(amount(-m_rates.TurnStep), 0);
            break;
        case TNavigationAction::naTurnLeft:
            observer.Turn(amount(-m_rates.TurnStep));
            break;
        case TNavigationAction::naTurnRight:
            observer.Turn(amount(m_rates.TurnStep));
            break;
        case TNavigationAction::naRise:
            observer.Position().SetY(
                static_cast<float>(observer.Position().Y() + m_rates.LiftStep * dt));
            break;
        case TNavigationAction::naSink:
            observer.Position().SetY(
                static_cast<float>(observer.Position().Y() - m_rates.LiftStep * dt));
            break;
        case TNavigationAction::naForward:
            observer.Move(amount(m_rates.Velocity));
            break;
        case TNavigationAction::naBackward:
            observer.Move(amount(-m_rates.Velocity));
            break;
        }
    }
    ShowPositionStatus();
}

// ---- surface data ---------------------------------------------------------------

void TSceneFrm::HeightField1GetHeight(float x, float y, float& z, TVector4f& /*color*/,
                                      TTexPoint& /*texPoint*/)
{
    z = SurfaceHeight(m_data.SurfaceRaster.get(), x, y);
    if (m_timingFrame) {
        // Sampling the clock at every vertex would be part of what is timed.
        if (m_heightCalls == 0)
            m_firstHeight = m_lastHeight = std::chrono::steady_clock::now();
        else if (m_heightCalls % 256 == 0)
            m_lastHeight = std::chrono::steady_clock::now();
        ++m_heightCalls;
    }
}

void TSceneFrm::ShowPositionStatus()
{
    if (m_statusBar->isHidden() || !m_data.SurfaceRaster)
        return;
    const TPositionReadout readout =
        ReadPosition(*m_data.SurfaceRaster, m_scene.Observer->Position().AsAffineVector(),
                     m_scene.HeightField1->Scale().AsAffineVector());
    StatusPanel(1).setText(QStringLiteral("c: %1").arg(readout.Column));
    StatusPanel(2).setText(QStringLiteral("r: %1").arg(readout.Row));
    StatusPanel(3).setText(QStringLiteral("x: ") + Fixed(readout.MapX, 6));
    StatusPanel(4).setText(QStringLiteral("y: ") + Fixed(readout.MapY, 6));
    StatusPanel(7).setText(Fixed(readout.Height, 2));
    StatusPanel(5).setText(QStringLiteral("z: ") + Fixed(readout.Value, 2));
}

// ---- commands -------------------------------------------------------------------

void TSceneFrm::SetPathState(TPathState state)
{
    m_pathState = state;
    ActionList1Update();
}

void TSceneFrm::ActionList1Update()
{
    for (const TSceneCommandInfo& info : SceneCommands)
        m_actions[std::size_t(info.Command)]->setEnabled(CommandEnabled(info.Command, m_pathState));
}

void TSceneFrm::Execute(TSceneCommand command)
{
    ActionList1Update();
    if (!Action(command).isEnabled())
        return;
    using C = TSceneCommand;
    switch (command) {
    case C::actPosition:
        return actPositionExecute();
    case C::actAxes:
        return actAxesExecute();
    case C::actSky:
        return actSkyExecute();
    case C::actSmooth:
        return actSmoothExecute();
    case C::actBackGround:
        return actBackGroundExecute();
    case C::actDecrease:
        return actDecreaseExecute();
    case C::actRestore:
        return actRestoreExecute();
    case C::actIncrease:
        return actIncreaseExecute();
    case C::actRecord:
        return actRecordExecute();
    case C::actPlay:
        return actPlayExecute();
    case C::actPause:
        return actPauseExecute();
    case C::actStop:
        return actStopExecute();
    case C::actRestart:
        return actRestartExecute();
    case C::actLoad:
        return actLoadExecute();
    case C::actSave:
        return actSaveExecute();
    case C::actSaveAVI:
        return actSaveAVIExecute();
    case C::actHelp:
        return actHelpExecute();
    }
}

void TSceneFrm::actPositionExecute()
{
    // The panels are filled at the next key handling.
    m_statusBar->setVisible(Action(TSceneCommand::actPosition).isChecked());
}

void TSceneFrm::actAxesExecute()
{
    m_scene.HeightField1->SetShowAxes(Action(TSceneCommand::actAxes).isChecked());
}

void TSceneFrm::actSkyExecute()
{
    m_scene.SkyDome1->SetVisible(Action(TSceneCommand::actSky).isChecked());
}

void TSceneFrm::actSmoothExecute()
{
    m_scene.HeightField1->Material().Texture().SetMagFilter(
        Action(TSceneCommand::actSmooth).isChecked() ? TMagFilter::maLinear
                                                     : TMagFilter::maNearest);
}

void TSceneFrm::actBackGroundExecute()
{
    QColor color = m_colorDialogColor;
    if (!UserDialogs().ExecuteColorDialog(color, this))
        return;
    m_colorDialogColor = color;
    m_sceneViewer->Buffer().SetBackgroundColor({static_cast<float>(color.redF()),
                                                static_cast<float>(color.greenF()),
                                                static_cast<float>(color.blueF()), 1.0f});
}

void TSceneFrm::actHelpExecute()
{
    const QString helpFile = QString::fromStdString(m_data.HelpFile);
    if (helpFile.isEmpty()) {
        UserDialogs().ShowMessage(Title(), QStringLiteral("The host names no help file."), this);
        return;
    }
    // The help opens at its context 718: the fragment of an HTML help file.
    QUrl url = helpFile.contains(QStringLiteral("://"))
                   ? QUrl(helpFile)
                   : QUrl::fromLocalFile(QFileInfo(helpFile).absoluteFilePath());
    const QString suffix = QFileInfo(url.path()).suffix().toLower();
    if (suffix == QLatin1String("html") || suffix == QLatin1String("htm"))
        url.setFragment(QStringLiteral("718"));
    if (!QDesktopServices::openUrl(url))
        UserDialogs().ShowError(
            Title(), QStringLiteral("Cannot open the help file %1.").arg(helpFile), this);
}

// ---- path and movie commands ------------------------------------------------------

void TSceneFrm::actRecordExecute()
{
    // The previous path goes without a question.
    m_progressBar->setValue(0);
    SetPathState(TPathState::psRecording);
    m_pathFile->Clear();
    setWindowTitle(QString::fromLatin1(RecordingCaption));
}

void TSceneFrm::actPlayExecute()
{
    SetPathState(TPathState::psPlaying);
    if (m_pathFile->CurrentLine() > m_pathFile->Count())
        m_pathFile->SetCurrentLine(0);
    setPathCaption(PlayingCaption);
}

void TSceneFrm::actPauseExecute()
{
    SetPathState(TPathState::psStopped);
    setPathCaption(PausedCaption);
}

void TSceneFrm::actStopExecute()
{
    // The frames written so far stay as a complete, shorter movie. A
    // stopped playback keeps its place; a movie or a recording starts over.
    QString failure;
    if (m_pathState == TPathState::psSavingMovie) {
        failure = closeMovie();
        m_pathFile->Rewind();
    }
    if (m_pathState == TPathState::psRecording)
        m_pathFile->Rewind();
    setPathCaption(PathLoadedCaption);
    SetPathState(TPathState::psStopped);
    if (!failure.isEmpty())
        UserDialogs().ShowError(Title(), failure, this);
}

void TSceneFrm::actRestartExecute()
{
    m_progressBar->setValue(0);
    m_pathFile->Rewind();
    SetPathState(TPathState::psPlaying);
}

void TSceneFrm::actLoadExecute()
{
    QPointer<TSceneFrm> self(this);
    if (!UserDialogs().ExecuteOpenDialog(m_openDialog, this) || !self || m_closed)
        return;
    try {
        m_pathFile->LoadFromFile(m_openDialog.FileName.toStdString());
    } catch (const std::exception& error) {
        // The previous path and state stay.
        UserDialogs().ShowError(Title(), QString::fromUtf8(error.what()), this);
        return;
    }
    SetPathState(TPathState::psStopped);
    setPathCaption(PathLoadedCaption);
    // The rig jumps to the path's line 1.
    PlaybackStep();
    if (self && !m_closed)
        m_progressBar->setValue(0);
}

void TSceneFrm::actSaveExecute()
{
    QPointer<TSceneFrm> self(this);
    m_savePathDialog.FileName = QString::fromStdString(m_pathFile->FileName());
    if (!UserDialogs().ExecuteSaveDialog(m_savePathDialog, this) || !self || m_closed)
        return;
    try {
        m_pathFile->SaveToFile(m_savePathDialog.FileName.toStdString());
    } catch (const std::exception& error) {
        UserDialogs().ShowError(Title(), QString::fromUtf8(error.what()), this);
        return;
    }
    setPathCaption(PathLoadedCaption);
}

void TSceneFrm::actSaveAVIExecute()
{
    QPointer<TSceneFrm> self(this);
    if (isMaximized() &&
        !UserDialogs().Confirm(
            Title(),
            QStringLiteral("This process could be very slow in a maximized windows. Confirm?"),
            this))
        return;
    if (!self || m_closed || !UserDialogs().ExecuteSaveDialog(m_saveAVIDialog, this) || !self ||
        m_closed)
        return;
    m_aviRecorder.SetFilename(m_saveAVIDialog.FileName.toStdString());
    // Resizes during an earlier movie did not reach the recorder.
    FormResize();
    try {
        // False: the user kept the existing file.
        if (!m_aviRecorder.OpenMovieFile(0))
            return;
    } catch (const std::exception& error) {
        // Nothing is left on disk, and the path stays stopped.
        UserDialogs().ShowError(Title(), QString::fromUtf8(error.what()), this);
        return;
    }
    if (m_closing) {
        // Closed while the overwrite question was open.
        m_aviRecorder.CloseMovieFile(true);
        return;
    }
    m_movieFrameFailing = false;
    SetPathState(TPathState::psSavingMovie);
    setWindowTitle(QString::fromLatin1(SavingMovieCaption)
                       .arg(QString::fromStdString(m_pathFile->FileName()),
                            QString::fromStdString(m_aviRecorder.Filename())));
}

} // namespace skyglide
