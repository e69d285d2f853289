#include "app/SceneForm.h"

#include "app/FirstFrameTiming.h"
#include "app/MovieFrameRenderer.h"
#include "app/RunTimings.h"
#include "app/SceneData.h"
#include "app/SkyGlideApplication.h"
#include "app/StartupTimings.h"
#include "app/SurfaceReadout.h"
#include "app/ViewerFrameSource.h"
#include "app/ViewerOverlay.h"
#include "host/HostLink.h"
#include "movie/CompressorDialog.h"
#include "render/DummyCube.h"
#include "render/Camera.h"
#include "render/HeightFieldMesh.h"
#include "render/SceneViewer.h"
#include "render/SkyDome.h"
#include "render/TerrainLOD.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QSaveFile>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace skyglide {

namespace {

constexpr int StatusBarHeight = 19;
// The last panel: a spacer, and the frame rate's place while it is shown.
constexpr int FrameRatePanel = TSceneFrm::StatusPanelCount - 1;
// How long the velocity stays on screen after it last changed.
constexpr int VelocityNoticeMs = 1500;

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

// Where the Full Detail setting is remembered between runs, beside the
// other view options.
constexpr const char* FullDetailKey = "fullDetail";

const QString& Title()
{
    static const QString title = QString::fromLatin1(ApplicationTitle);
    return title;
}

} // namespace

TSceneFrm::TSceneFrm(TSceneData& data, THostLink& host, QWidget* owner)
    : QWidget(owner, Qt::Window), m_data(data), m_host(host), m_flight(m_scene)
{
    createComponents();
    FormCreate();
}

TSceneFrm::~TSceneFrm()
{
    m_cadencer.SetEnabled(false);
    // The level-of-detail surface's workers stop before the viewer they wake
    // goes.
    m_scene.DropFullDetail();
    // An open movie is deleted with the recorder; it takes no frame from a
    // viewer that is going.
    m_flight.AVIRecorder1().SetSceneViewer(nullptr);
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
    m_sceneViewer->setMouseTracking(false);
    m_sceneViewer->OnPaintOverlay = [this](QPainter& painter) { paintOverlay(painter); };
    m_velocityNotice = new QTimer(this);
    m_velocityNotice->setSingleShot(true);
    m_velocityNotice->setInterval(VelocityNoticeMs);
    connect(m_velocityNotice, &QTimer::timeout, this, [this] {
        m_velocityShown = false;
        m_cadencer.RequestFrame();
        m_sceneViewer->update();
    });
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

    m_flight.OnCaption = [this](const QString& caption) { setCaption(caption); };
    m_flight.OnProgress = [this](int percent) { m_progressBar->setValue(percent); };
    m_flight.OnError = [this](const QString& text) { showError(text); };
    m_flight.OnPathStateChanged = [this](TPathState state) {
        ActionList1Update();
        m_cadencer.SetFrameReason(TFrameReason::frPathPlaying,
                                  state == TPathState::psPlaying ||
                                      state == TPathState::psSavingMovie);
    };
    // The read-out follows the observer wherever a path takes it, also
    // after the playback or the movie has ended.
    m_flight.OnPoseApplied = [this] { ShowPositionStatus(); };
    m_frameSource = std::make_unique<TViewerFrameSource>(*m_sceneViewer);
    m_frameSource->DetailPending = [this] {
        TTerrainLOD* lod = m_scene.FullDetail;
        return lod && !lod->FrameComplete() && lod->WaitForTiles(10000);
    };
    m_flight.AVIRecorder1().SetSceneViewer(m_frameSource.get());
    createRecorderDialogs();

    for (TFileDialogSettings* dialog : {&m_openDialog, &m_savePathDialog}) {
        dialog->DefaultExt = QStringLiteral("csv");
        dialog->Filter = QStringLiteral("Path File Format (*.csv)");
    }
    m_saveAVIDialog.DefaultExt = QStringLiteral("avi");
    m_saveAVIDialog.Filter = QStringLiteral("AVI Movie File (*.avi)");
    m_savePictureDialog.DefaultExt = QStringLiteral("png");
    m_savePictureDialog.Filter = PictureFilter();

    createCommands();
    createPopupMenu();

    // Tiles made on a worker thread: the viewer draws them at its next turn.
    m_scene.OnTilesReady = [viewer = m_sceneViewer] {
        QMetaObject::invokeMethod(
            viewer, [viewer] { viewer->update(); }, Qt::QueuedConnection);
    };
    m_scene.HeightField1->SetOnGetHeight(
        [this](float x, float y, float& z, TVector4f& color, TTexPoint& texPoint) {
            HeightField1GetHeight(x, y, z, color, texPoint);
        });
    if (TStartupTimings::Enabled()) {
        m_firstFrameTiming = std::make_unique<TFirstFrameTiming>(*m_sceneViewer);
        m_runTimings = std::make_unique<TRunTimings>();
        m_sceneViewer->Buffer().AfterRender = [this] { SceneViewer1AfterRender(); };
    }

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
    // The cadencer steps from the event loop while a flight key is held or a
    // path plays, and rests otherwise: an idle window takes no CPU. What
    // changes without it (a command, a resize) repaints through the scene's
    // notices or the window system.
    m_cadencer.SetMode(TCadencerMode::cmApplicationIdle);
    m_cadencer.SetRestsWhenIdle(true);
    m_cadencer.SetScene(&m_scene.Scene1);
}

void TSceneFrm::createRecorderDialogs()
{
    // The movie's name comes from SaveAVIDialog; the recorder asks before it
    // replaces a file.
    TAVIRecorder& recorder = m_flight.AVIRecorder1();
    recorder.OnAskFileName = [this] {
        return UserDialogs().ExecuteSaveDialog(m_saveAVIDialog, this)
                   ? m_saveAVIDialog.FileName.toStdString()
                   : std::string();
    };
    recorder.OnConfirmOverwrite = [this](const std::string& question) {
        return UserDialogs().Confirm(Title(), QString::fromStdString(question), this);
    };
    recorder.OnChooseCompressor = [this](const std::vector<TAVIEncoderInfo>& encoders) {
        return ChooseAVICompressor(this, encoders);
    };
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
        // The last panel is a spacer of fixed width, and takes what room
        // is left while it shows the frame rate.
        m_statusBar->addWidget(panel, i + 1 == StatusPanels.size() ? 1 : 0);
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
    setCaption(QString::fromLatin1(Caption));
    // What the user chose in earlier runs, then the host's start-up
    // parameters over it: the host decides whether the window starts
    // maximized.
    applySettings();
    setWindowState(m_data.StartMaximized ? Qt::WindowMaximized : Qt::WindowNoState);
    readDialogFolders();
    readFullDetail();
    // The pictures start where the movies do; the host is not asked again.
    m_savePictureDialog.InitialDir = m_saveAVIDialog.InitialDir;
    m_flight.SetPathState(TPathState::psIdle);
}

void TSceneFrm::applySettings()
{
    m_settings = ReadViewSettings();
    using C = TSceneCommand;
    const std::pair<C, bool> options[] = {{C::actSky, m_settings.Sky},
                                          {C::actAxes, m_settings.Axes},
                                          {C::actSmooth, m_settings.SmoothPixel},
                                          {C::actKeepAboveGround, m_settings.KeepAboveGround},
                                          {C::actShowFrameRate, m_settings.ShowFrameRate}};
    for (const auto& [command, on] : options)
        Action(command).setChecked(on);
    actSkyExecute();
    actAxesExecute();
    actSmoothExecute();
    actShowFrameRateExecute();
    m_colorDialogColor = m_settings.Background;
    m_sceneViewer->Buffer().SetBackgroundColor({static_cast<float>(m_settings.Background.redF()),
                                                static_cast<float>(m_settings.Background.greenF()),
                                                static_cast<float>(m_settings.Background.blueF()),
                                                1.0f});
    // A placement from an earlier run is the window's outer placement as the
    // window manager framed it then: it is not fitted again.
    if (!m_settings.Geometry.isEmpty() && restoreGeometry(m_settings.Geometry))
        m_outerSizeFitted = true;
    m_settingsApplied = true;
}

void TSceneFrm::storeSettings(bool withPlacement)
{
    // Applying the stored options stores nothing.
    if (!m_settingsApplied)
        return;
    using C = TSceneCommand;
    m_settings.Sky = Action(C::actSky).isChecked();
    m_settings.Axes = Action(C::actAxes).isChecked();
    m_settings.SmoothPixel = Action(C::actSmooth).isChecked();
    m_settings.KeepAboveGround = Action(C::actKeepAboveGround).isChecked();
    m_settings.ShowFrameRate = Action(C::actShowFrameRate).isChecked();
    m_settings.Background = m_colorDialogColor;
    m_settings.Geometry = withPlacement ? saveGeometry() : QByteArray();
    WriteViewSettings(m_settings);
}

void TSceneFrm::readDialogFolders()
{
    // One call of the host per dialog. A host that fails leaves the dialogs
    // where they start by themselves and is not asked again; the window
    // stays usable and can be closed.
    IKartovaAPIServer* server = m_host.Server();
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

void TSceneFrm::readFullDetail()
{
    // SKYGLIDE_FULL_DETAIL=1 or 0 decides for this run only (scripts,
    // benchmarks); the remembered choice is left as it is.
    bool on =
        QSettings(SettingsOrganisation, SettingsApplication).value(FullDetailKey, false).toBool();
    if (const char* forced = std::getenv("SKYGLIDE_FULL_DETAIL")) {
        if (std::strcmp(forced, "1") == 0)
            on = true;
        else if (std::strcmp(forced, "0") == 0)
            on = false;
    }
    Action(TSceneCommand::actFullDetail).setChecked(on);
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
    SetClosing(false);
    m_scene.ShowSurface(m_data.SurfaceRaster.get(), m_data.DrapeRaster.get(), m_data.Exaggeration,
                        m_data.MeshSamplingFactor);
    m_scene.ShowFullDetail(m_data.SurfaceRaster.get(),
                           Action(TSceneCommand::actFullDetail).isChecked());
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
    if (watched == m_sceneViewer && !m_closing && viewerMouseEvent(event))
        return true;
    return QWidget::eventFilter(watched, event);
}

void TSceneFrm::FormResize()
{
    if (!m_sceneViewer)
        return;
    // In the view's own pixels, as its frames are read back: at a scale
    // factor of 2 the movie has twice the window's width and height.
    m_flight.AVIRecorder1().SetWidth(m_sceneViewer->PixelWidth());
    m_flight.AVIRecorder1().SetHeight(m_sceneViewer->PixelHeight());
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
    measureFrameRate();
}

void TSceneFrm::measureFrameRate()
{
    if (!Action(TSceneCommand::actShowFrameRate).isChecked())
        return;
    const long long frames = m_sceneViewer->Buffer().Statistics().FramesRendered;
    if (!m_frameRateClock.isValid()) {
        m_frameRateClock.start();
        m_frameRateFrames = frames;
        return;
    }
    const qint64 elapsed = m_frameRateClock.elapsed();
    if (elapsed < 1000)
        return;
    m_frameRateClock.restart();
    // A view that rests draws nothing: the rate of its last frames stands
    // rather than a rate of nought.
    if (frames != m_frameRateFrames || m_frameRateText.isEmpty()) {
        const double fps = double(frames - m_frameRateFrames) * 1000.0 / double(elapsed);
        m_frameRateFrames = frames;
        const long long triangles = m_scene.FullDetail ? m_scene.FullDetail->Statistics().Triangles
                                    : m_scene.HeightField1->Visible()
                                        ? m_scene.HeightField1->EmittedTriangles()
                                        : 0;
        m_frameRateText = QStringLiteral("%1 fps, %2 triangles")
                              .arg(Fixed(fps, 1), QLocale().toString(triangles));
    }
    StatusPanel(FrameRatePanel).setText(m_frameRateText);
    showCaption();
}

void TSceneFrm::setCaption(const QString& caption)
{
    m_caption = caption;
    showCaption();
}

void TSceneFrm::showCaption()
{
    // Without the status bar the frame rate goes into the caption.
    if (m_frameRateText.isEmpty() || m_statusBar->isVisible() ||
        !Action(TSceneCommand::actShowFrameRate).isChecked())
        setWindowTitle(m_caption);
    else
        setWindowTitle(m_caption + QStringLiteral(" - ") + m_frameRateText);
}

void TSceneFrm::SceneViewer1BeforeRender()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    if (m_firstFrameTiming)
        m_firstFrameTiming->FrameBegins();
}

void TSceneFrm::SceneViewer1PostRender()
{
    QGuiApplication::restoreOverrideCursor();
}

void TSceneFrm::SceneViewer1AfterRender()
{
    m_firstFrameTiming->FrameRendered();
    m_runTimings->FrameRendered(m_scene.FullDetail ? m_scene.FullDetail->Statistics().Triangles
                                                   : m_scene.HeightField1->EmittedTriangles());
}

void TSceneFrm::showError(const QString& text)
{
    UserDialogs().ShowError(Title(), text, this);
}

// ---- close ----------------------------------------------------------------------

void TSceneFrm::SetClosing(bool closing)
{
    m_closing = closing;
    m_flight.SetClosing(closing);
}

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
    TPathFile& path = m_flight.PathFile();
    if (path.Modified() &&
        UserDialogs().Confirm(Title(), QStringLiteral("Save Path on a file?"), this) &&
        UserDialogs().ExecuteSaveDialog(m_savePathDialog, this)) {
        try {
            path.SaveToFile(m_savePathDialog.FileName.toStdString());
        } catch (const std::exception& error) {
            showError(QString::fromUtf8(error.what()));
            // The user asked to keep the path: the window stays open so that
            // it can be saved elsewhere. The host's shutdown request still
            // ends the run.
            if (!m_closing)
                return false;
        }
    }
    m_flight.Halt();
    m_closing = true;
    return true;
}

void TSceneFrm::FormClose()
{
    m_closed = true;
    if (m_runTimings) {
        std::fputs(m_runTimings->Report(TRunTimings::PeakMemoryMiB()).c_str(), stderr);
        std::fflush(stderr);
    }
    storeSettings(true);
    // A failure is shown, and the run still ends: the data is freed and the
    // application ends.
    if (const std::optional<std::string> error = m_host.FinishRun())
        showError(QString::fromStdString(*error));
    QCoreApplication::processEvents();
    m_cadencer.SetEnabled(false);
    m_timer1->stop();
    deleteLater();
    m_scene.DropFullDetail();
    m_data.SurfaceRaster.reset();
    m_data.DrapeRaster.reset();
    m_host.Release();
    m_host.TerminateApplication();
}

// ---- navigation -----------------------------------------------------------------

void TSceneFrm::keyPressEvent(QKeyEvent* event)
{
    m_navigation.Keys().KeyPressed(event->key(), event->isAutoRepeat());
    keysChanged();
    event->accept();
}

void TSceneFrm::keyReleaseEvent(QKeyEvent* event)
{
    m_navigation.Keys().KeyReleased(event->key(), event->isAutoRepeat());
    keysChanged();
    event->accept();
}

void TSceneFrm::changeEvent(QEvent* event)
{
    // Releases that happen in another window never reach this one.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) {
        m_navigation.Keys().Clear();
        keysChanged();
    }
    QWidget::changeEvent(event);
}

void TSceneFrm::keysChanged()
{
    m_cadencer.SetFrameReason(TFrameReason::frKeyHeld, m_navigation.Keys().AnyFlightKeyDown());
}

bool TSceneFrm::HoldsKeyboardFocus() const
{
    return isActiveWindow() && !QApplication::activePopupWidget() &&
           !QApplication::activeModalWidget();
}

void TSceneFrm::Cadencer1Progress(double deltaTime, double /*newTime*/)
{
    if (m_closing)
        return;
    // Keys released while a menu or dialog had them are never seen here, nor
    // is a button released over it.
    const bool keys = HoldsKeyboardFocus();
    if (!keys) {
        m_navigation.Keys().Clear();
        keysChanged();
    }
    if (QApplication::activePopupWidget() || QApplication::activeModalWidget()) {
        m_navigation.Mouse().Release();
        mouseChanged();
    }
    if (!keys && !m_navigation.Mouse().Active())
        return;
    const bool keysMoved = keys && m_navigation.Fly(m_scene, deltaTime);
    flyByMouse(deltaTime, keysMoved);
    ShowPositionStatus();
}

void TSceneFrm::flyByMouse(double deltaTime, bool keysMoved)
{
    // Only the user's own flight is held above the ground: a pose a path
    // put there stays until the user moves.
    if (m_navigation.FlyMouse(m_scene, deltaTime) || keysMoved)
        keepAboveGround();
}

void TSceneFrm::keepAboveGround()
{
    const TPathState state = m_flight.PathState();
    if (!Action(TSceneCommand::actKeepAboveGround).isChecked() || !m_data.SurfaceRaster ||
        state == TPathState::psPlaying || state == TPathState::psSavingMovie)
        return;
    TCoordinates& position = m_scene.Observer->Position();
    const std::optional<float> lowest =
        LowestObserverHeight(*m_data.SurfaceRaster, position.AsAffineVector(),
                             m_scene.HeightField1->Scale().AsAffineVector());
    if (lowest && position.Y() < *lowest)
        position.SetY(*lowest);
}

bool TSceneFrm::viewerMouseEvent(QEvent* event)
{
    TMouseFlight& mouse = m_navigation.Mouse();
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* press = static_cast<QMouseEvent*>(event);
        const QPoint at = press->position().toPoint();
        if (mouse.Active())
            return false;
        if (press->button() == Qt::LeftButton)
            mouse.Press(TMouseDrag::mdTurnTilt, at.x(), at.y());
        else if (press->button() == Qt::MiddleButton)
            mouse.Press(TMouseDrag::mdLift, at.x(), at.y());
        else
            return false; // the right button opens the menu
        mouseChanged();
        return true;
    }
    case QEvent::MouseMove: {
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        mouse.MoveTo(at.x(), at.y());
        mouseChanged();
        return mouse.Active();
    }
    case QEvent::MouseButtonRelease: {
        const auto* release = static_cast<QMouseEvent*>(event);
        const Qt::MouseButton held =
            mouse.Drag() == TMouseDrag::mdTurnTilt ? Qt::LeftButton : Qt::MiddleButton;
        if (!mouse.Active() || release->button() != held)
            return false;
        mouse.Release();
        mouseChanged();
        return true;
    }
    case QEvent::Wheel: {
        // One notch is 120; finer wheels add up to whole notches.
        m_wheelAngle += static_cast<QWheelEvent*>(event)->angleDelta().y();
        const int notches = m_wheelAngle / 120;
        if (notches == 0)
            return true;
        m_wheelAngle -= notches * 120;
        m_navigation.TurnWheel(notches);
        velocityChanged();
        return true;
    }
    default:
        return false;
    }
}

void TSceneFrm::mouseChanged()
{
    // A button held still on its press point moves nothing: the viewer
    // rests until the pointer leaves it.
    const TMouseFlight& mouse = m_navigation.Mouse();
    m_cadencer.SetFrameReason(TFrameReason::frMouseHeld,
                              mouse.Active() && (mouse.Across() != 0 || mouse.Upwards() != 0));
}

void TSceneFrm::velocityChanged()
{
    m_velocityShown = true;
    m_velocityNotice->start();
    m_cadencer.RequestFrame();
    m_sceneViewer->update();
}

bool TSceneFrm::KeyCardShown() const
{
    return m_actions[std::size_t(TSceneCommand::actKeyCard)]->isChecked();
}

void TSceneFrm::paintOverlay(QPainter& painter)
{
    const QRect area = m_sceneViewer->rect();
    if (KeyCardShown())
        PaintKeyCard(painter, area, m_navigation.Velocity());
    if (m_velocityShown)
        PaintVelocityNotice(painter, area, m_navigation.Velocity());
}

// ---- surface data ---------------------------------------------------------------

void TSceneFrm::HeightField1GetHeight(float x, float y, float& z, TVector4f& /*color*/,
                                      TTexPoint& /*texPoint*/)
{
    z = SurfaceHeight(m_data.SurfaceRaster.get(), x, y);
    if (m_firstFrameTiming)
        m_firstFrameTiming->HeightAsked();
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

void TSceneFrm::ActionList1Update()
{
    for (const TSceneCommandInfo& info : SceneCommands)
        m_actions[std::size_t(info.Command)]->setEnabled(
            CommandEnabled(info.Command, m_flight.PathState()));
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
    case C::actFullDetail:
        return actFullDetailExecute();
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
    case C::actRenderMovie:
        return actRenderMovieExecute();
    case C::actHelp:
        return actHelpExecute();
    case C::actKeepAboveGround:
        return actKeepAboveGroundExecute();
    case C::actShowFrameRate:
        return actShowFrameRateExecute();
    case C::actSavePicture:
        return actSavePictureExecute();
    case C::actKeyCard:
        return actKeyCardExecute();
    }
}

void TSceneFrm::actPositionExecute()
{
    // The panels are filled at the next key handling, which a frame asked
    // for brings at once.
    m_statusBar->setVisible(Action(TSceneCommand::actPosition).isChecked());
    showCaption();
    m_cadencer.RequestFrame();
}

void TSceneFrm::actAxesExecute()
{
    const bool on = Action(TSceneCommand::actAxes).isChecked();
    m_scene.HeightField1->SetShowAxes(on);
    if (m_scene.FullDetail)
        m_scene.FullDetail->SetShowAxes(on);
    storeSettings();
}

void TSceneFrm::actSkyExecute()
{
    m_scene.SkyDome1->SetVisible(Action(TSceneCommand::actSky).isChecked());
    storeSettings();
}

void TSceneFrm::actSmoothExecute()
{
    const TMagFilter filter =
        Action(TSceneCommand::actSmooth).isChecked() ? TMagFilter::maLinear : TMagFilter::maNearest;
    m_scene.HeightField1->Material().Texture().SetMagFilter(filter);
    if (m_scene.FullDetail)
        m_scene.FullDetail->Material().Texture().SetMagFilter(filter);
    storeSettings();
}

void TSceneFrm::actFullDetailExecute()
{
    const bool on = Action(TSceneCommand::actFullDetail).isChecked();
    QSettings(SettingsOrganisation, SettingsApplication).setValue(FullDetailKey, on);
    m_scene.ShowFullDetail(m_data.SurfaceRaster.get(), on);
}

void TSceneFrm::actKeepAboveGroundExecute()
{
    keepAboveGround();
    storeSettings();
}

void TSceneFrm::actShowFrameRateExecute()
{
    QLabel& panel = StatusPanel(FrameRatePanel);
    m_frameRateText.clear();
    m_frameRateClock.invalidate();
    panel.clear();
    if (Action(TSceneCommand::actShowFrameRate).isChecked()) {
        // The spacer takes the room the bar has left; the text never makes
        // the window wider.
        panel.setMinimumWidth(StatusPanels[FrameRatePanel].Width);
        panel.setMaximumWidth(QWIDGETSIZE_MAX);
    } else {
        panel.setFixedWidth(StatusPanels[FrameRatePanel].Width);
    }
    showCaption();
    storeSettings();
}

void TSceneFrm::actKeyCardExecute()
{
    m_cadencer.RequestFrame();
    m_sceneViewer->update();
}

void TSceneFrm::actDecreaseExecute()
{
    m_navigation.ChangeVelocity(TVelocityChange::vcDecrease);
    velocityChanged();
}

void TSceneFrm::actRestoreExecute()
{
    m_navigation.ChangeVelocity(TVelocityChange::vcRestore);
    velocityChanged();
}

void TSceneFrm::actIncreaseExecute()
{
    m_navigation.ChangeVelocity(TVelocityChange::vcIncrease);
    velocityChanged();
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
    storeSettings();
}

void TSceneFrm::actHelpExecute()
{
    const QString helpFile = QString::fromStdString(m_data.HelpFile);
    if (helpFile.isEmpty()) {
        UserDialogs().ShowMessage(Title(), QStringLiteral("The host names no help file."), this);
        return;
    }
    if (!QDesktopServices::openUrl(HelpUrl(helpFile)))
        showError(QStringLiteral("Cannot open the help file %1.").arg(helpFile));
}

// ---- path and movie commands ------------------------------------------------------

void TSceneFrm::actLoadExecute()
{
    QPointer<TSceneFrm> self(this);
    if (!UserDialogs().ExecuteOpenDialog(m_openDialog, this) || !self || m_closed)
        return;
    m_flight.LoadPath(m_openDialog.FileName.toStdString());
}

void TSceneFrm::actSaveExecute()
{
    QPointer<TSceneFrm> self(this);
    m_savePathDialog.FileName = QString::fromStdString(m_flight.PathFile().FileName());
    if (!UserDialogs().ExecuteSaveDialog(m_savePathDialog, this) || !self || m_closed)
        return;
    m_flight.SavePath(m_savePathDialog.FileName.toStdString());
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
    // Resizes during an earlier movie did not reach the recorder.
    FormResize();
    m_flight.SaveMovie(m_saveAVIDialog.FileName.toStdString());
}

void TSceneFrm::actRenderMovieExecute()
{
    QPointer<TSceneFrm> self(this);
    std::vector<TPose> poses;
    try {
        poses = RecordedPoses(m_flight.PathFile());
    } catch (const std::exception& error) {
        return showError(QString::fromUtf8(error.what()));
    }
    if (m_renderMovieDialog.InitialDir.isEmpty())
        m_renderMovieDialog.InitialDir = m_saveAVIDialog.InitialDir;
    TRenderMovieDialog dialog(m_renderMovie, m_renderMovieDialog, this);
    if (dialog.exec() != QDialog::Accepted || !self || m_closed)
        return;
    m_renderMovie = dialog.Choice();
    const QString file = QString::fromStdString(m_renderMovie.Settings.FileName);
    if (QFileInfo(file).isFile() &&
        (!UserDialogs().Confirm(Title(), QStringLiteral("Overwrite file %1?").arg(file), this) ||
         !self || m_closed))
        return;

    try {
        // The window closing stops the movie before the surface goes.
        RenderPathMovie(this, MovieScene(), std::move(poses), m_renderMovie,
                        [this, self] { return !self || m_closing; });
    } catch (const std::exception& error) {
        if (self && !m_closed)
            showError(QString::fromUtf8(error.what()));
    }
}

// ---- pictures -------------------------------------------------------------------

const QString& TSceneFrm::PictureFilter()
{
    static const QString filter = QStringLiteral(
        "PNG Picture (*.png);;PNG Picture, Twice the Size (*.png);;"
        "PNG Picture, Four Times the Size (*.png)");
    return filter;
}

QImage TSceneFrm::Picture(int scale)
{
    return m_sceneViewer->RenderPicture(scale);
}

TMovieScene TSceneFrm::MovieScene() const
{
    TMovieScene scene;
    scene.Surface = m_data.SurfaceRaster.get();
    scene.Picture = m_scene.HeightField1->Material().Texture().Image();
    scene.Exaggeration = m_data.Exaggeration;
    scene.MeshSamplingFactor = m_data.MeshSamplingFactor;
    scene.Sky = m_scene.SkyDome1->Visible();
    scene.FullDetail = m_scene.FullDetail != nullptr;
    scene.Axes = m_scene.HeightField1->ShowAxes();
    scene.SmoothPixel =
        m_scene.HeightField1->Material().Texture().MagFilter() == TMagFilter::maLinear;
    scene.Background = m_sceneViewer->Buffer().BackgroundColor();
    return scene;
}

void TSceneFrm::actSavePictureExecute()
{
    QPointer<TSceneFrm> self(this);
    if (!UserDialogs().ExecuteSaveDialog(m_savePictureDialog, this) || !self || m_closed)
        return;
    const QStringList filters = PictureFilter().split(QStringLiteral(";;"));
    const qsizetype chosen = filters.indexOf(m_savePictureDialog.SelectedFilter);
    const int scale = PictureScales[std::size_t(chosen < 0 ? 0 : chosen)];
    const QString fileName = m_savePictureDialog.FileName;
    if (QFileInfo::exists(fileName) &&
        (!UserDialogs().Confirm(Title(), QStringLiteral("Overwrite file %1?").arg(fileName),
                                this) ||
         !self || m_closed))
        return;
    savePicture(fileName, scale);
}

void TSceneFrm::savePicture(const QString& fileName, int scale)
{
    QString failure;
    try {
        const QImage picture = Picture(scale);
        if (picture.isNull())
            failure = QStringLiteral("the view has not been drawn yet");
        else {
            // Written under a temporary name: a failed save leaves an earlier
            // picture of that name as it was.
            QSaveFile file(fileName);
            if (!file.open(QIODevice::WriteOnly) || !picture.save(&file, "PNG") ||
                !file.commit())
                failure = file.errorString();
        }
    } catch (const std::exception& error) {
        failure = QString::fromUtf8(error.what());
    }
    if (!failure.isEmpty())
        showError(QStringLiteral("Cannot save the picture %1: %2").arg(fileName, failure));
}

} // namespace skyglide
