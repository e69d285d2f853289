#pragma once

#include "app/FlightController.h"
#include "app/Navigation.h"
#include "app/RenderMovieDialog.h"
#include "app/SceneCommands.h"
#include "app/SceneComposition.h"
#include "app/UserDialogs.h"
#include "app/ViewerSettings.h"
#include "render/Cadencer.h"
#include "render/VectorGeometry.h"

#include <QColor>
#include <QElapsedTimer>
#include <QWidget>

#include <array>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QPainter;
class QProgressBar;
class QStatusBar;
class QTimer;

namespace skyglide {

class TFirstFrameTiming;
class TRunTimings;
class THostLink;
class TSceneViewer;
class TViewerFrameSource;
struct TSceneData;

// The scene window: the 3-D viewer over a progress bar and a status bar of
// nine panels (hidden at start), the scene it shows, the frame cadencer that
// drives keyboard flight, the commands with their shortcuts and the viewer's
// popup menu, the housekeeping timer, the file and colour dialogs. Its
// flight path, the path tick and the movie recorder are the flight
// controller's (Flight()); its rates and held keys are Navigation()'s; the
// scene's layout is the composition's.
//
// The start-up load creates it (its owner is the hidden message window),
// sets the navigation's DefaultVelocity, restores the velocity and shows it.
// It reads the surface and the drape from the scene data from its show
// handler on, and frees both when it closes. Closing it tells the host that
// the run has finished, releases the host and ends the application.
class TSceneFrm : public QWidget
{
    Q_OBJECT

public:
    // The window's outer size and caption.
    static constexpr int DefaultWidth = 835;
    static constexpr int DefaultHeight = 600;
    static constexpr const char* Caption = "Sky Glide";
    static constexpr int StatusPanelCount = 9;

    // Creates the window and its components (FormCreate). data and host must
    // outlive the window.
    TSceneFrm(TSceneData& data, THostLink& host, QWidget* owner);
    ~TSceneFrm() override;

    // Showing the window runs FormShow first.
    void setVisible(bool visible) override;

    // Set once the window has agreed to close, or when the host asks the
    // viewer to close; key handling, the housekeeping and the path tick then
    // do nothing.
    bool Closing() const { return m_closing; }
    void SetClosing(bool closing);

    // Runs a command as the user would: the enabled states are brought up to
    // date first, and a disabled command does nothing.
    void Execute(TSceneCommand command);

    TSceneComposition& Scene() { return m_scene; }
    TNavigation& Navigation() { return m_navigation; }
    TFlightController& Flight() { return m_flight; }
    TSceneData& Data() { return m_data; }
    TSceneViewer& SceneViewer1() { return *m_sceneViewer; }
    TCadencer& Cadencer1() { return m_cadencer; }
    QStatusBar& StatusBar1() { return *m_statusBar; }
    QLabel& StatusPanel(int index) { return *m_statusPanels.at(std::size_t(index)); }
    QProgressBar& prbProgress() { return *m_progressBar; }
    QMenu& PopupMenu1() { return *m_popupMenu; }
    QAction& Action(TSceneCommand command) { return *m_actions[std::size_t(command)]; }

    // The window is the active window and none of its menus or dialogs is
    // open.
    bool HoldsKeyboardFocus() const;

    // The velocity notice is up: the velocity changed a moment ago.
    bool VelocityShown() const { return m_velocityShown; }
    bool KeyCardShown() const;
    // The frame rate's text as last measured ("… fps, … triangles"); empty
    // while Show Frame Rate is off or before its first second.
    const QString& FrameRateText() const { return m_frameRateText; }
    // The current view as a picture at scale times the viewer's size.
    QImage Picture(int scale);
    // What a movie of a path shows: the surface and picture, the sky, the
    // axes, the texture's smoothing and the background of the window.
    TMovieScene MovieScene() const;
    // The saved picture's scale for each filter of the Save Picture dialog.
    static constexpr std::array<int, 3> PictureScales = {1, 2, 4};
    static const QString& PictureFilter();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormResize();
    bool FormCloseQuery();
    void FormClose();
    void Timer1Timer();
    void SceneViewer1BeforeRender();
    void SceneViewer1PostRender();
    void SceneViewer1AfterRender();
    // The cadencer's progress: polls the held keys and moves the observer
    // rig, then refreshes the position read-out; nothing while the window
    // is closing or does not hold the keyboard focus.
    void Cadencer1Progress(double deltaTime, double newTime);
    // The height callback of the mesh.
    void HeightField1GetHeight(float x, float y, float& z, TVector4f& color, TTexPoint& texPoint);
    // Sets the enabled state of every path and movie command from the path
    // state.
    void ActionList1Update();
    // Writes the observer's position into the status panels; nothing while
    // the status bar is hidden.
    void ShowPositionStatus();
    // The held keys changed: the cadencer steps while a flight key is held.
    void keysChanged();

    void actPositionExecute();
    void actAxesExecute();
    void actSkyExecute();
    void actSmoothExecute();
    void actFullDetailExecute();
    void actBackGroundExecute();
    void actHelpExecute();
    void actDecreaseExecute();
    void actRestoreExecute();
    void actIncreaseExecute();
    void actRecordExecute() { m_flight.Record(); }
    void actPlayExecute() { m_flight.Play(); }
    void actPauseExecute() { m_flight.Pause(); }
    void actStopExecute() { m_flight.Stop(); }
    void actRestartExecute() { m_flight.Restart(); }
    void actLoadExecute();
    void actSaveExecute();
    void actSaveAVIExecute();
    void actRenderMovieExecute();
    void actKeepAboveGroundExecute();
    void actShowFrameRateExecute();
    void actSavePictureExecute();
    void actKeyCardExecute();

    // Every change of the rig that the mouse makes, and the ground check
    // after every step of the user's flight, go through here.
    void flyByMouse(double deltaTime, bool keysMoved);
    // Keep Above Ground: lifts the observer to its lowest height over the
    // surface, unless a path is playing.
    void keepAboveGround();
    // Keeps frames coming while a drag moves the rig.
    void mouseChanged();
    void velocityChanged();
    void paintOverlay(QPainter& painter);
    bool viewerMouseEvent(QEvent* event);
    void measureFrameRate();
    void setCaption(const QString& caption);
    void showCaption();
    void applySettings();
    void storeSettings(bool withPlacement = false);
    void savePicture(const QString& fileName, int scale);
    void createComponents();
    void createRecorderDialogs();
    void createCommands();
    void createPopupMenu();
    void createStatusBar();
    void readDialogFolders();
    void readFullDetail();
    void fitOuterSize();
    void showError(const QString& text);

    TSceneData& m_data;
    THostLink& m_host;
    TSceneComposition m_scene;
    TNavigation m_navigation;
    TFlightController m_flight;
    TCadencer m_cadencer;
    TSceneViewer* m_sceneViewer = nullptr;
    QStatusBar* m_statusBar = nullptr;
    std::array<QLabel*, StatusPanelCount> m_statusPanels{};
    QWidget* m_progressPanel = nullptr;
    QProgressBar* m_progressBar = nullptr;
    QTimer* m_timer1 = nullptr;
    QMenu* m_popupMenu = nullptr;
    std::array<QAction*, SceneCommandCount> m_actions{};
    TFileDialogSettings m_openDialog;
    TFileDialogSettings m_savePathDialog;
    TFileDialogSettings m_saveAVIDialog;
    // Render Movie... keeps what was chosen last, and its save dialog.
    TRenderMovieChoice m_renderMovie;
    TFileDialogSettings m_renderMovieDialog;
    TFileDialogSettings m_savePictureDialog;
    TViewSettings m_settings;
    QTimer* m_velocityNotice = nullptr;
    bool m_velocityShown = false;
    QString m_caption;
    QString m_frameRateText;
    QElapsedTimer m_frameRateClock;
    long long m_frameRateFrames = 0;
    // Wheel turns finer than a notch (touch pads) add up.
    int m_wheelAngle = 0;
    QColor m_colorDialogColor{Qt::black};
    std::unique_ptr<TViewerFrameSource> m_frameSource;
    std::unique_ptr<TFirstFrameTiming> m_firstFrameTiming;
    std::unique_ptr<TRunTimings> m_runTimings;

    bool m_closing = false;
    bool m_closed = false;
    bool m_outerSizeFitted = false;
    bool m_settingsApplied = false;
};

} // namespace skyglide
