#pragma once

#include "app/Navigation.h"
#include "app/PathState.h"
#include "app/SceneCommands.h"
#include "app/SceneComposition.h"
#include "host/UserDialogs.h"
#include "movie/AVIRecorder.h"
#include "render/Cadencer.h"
#include "render/VectorGeometry.h"

#include <QColor>
#include <QWidget>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QStatusBar;
class QTimer;

namespace skyglide {

class TPathFile;
class TSceneViewer;
class TViewerFrameSource;
struct TSceneData;

// The scene window: the 3-D viewer over a progress bar and a status bar of
// nine panels (hidden at start), the scene it shows, the frame cadencer that
// drives keyboard flight, the commands with their shortcuts and the viewer's
// popup menu, two timers, the file and colour dialogs and the movie
// recorder.
//
// The start-up load creates it (its owner is the hidden message window),
// sets DefaultVelocity, calls ChangeVelocity(vcRestore) and shows it. It
// reads the surface and the drape from the scene data from its show handler
// on, and frees both when it closes. Closing it tells the host that the run
// has finished, releases the host and ends the application.
class TSceneFrm : public QWidget
{
    Q_OBJECT

public:
    // The window's outer size and caption.
    static constexpr int DefaultWidth = 835;
    static constexpr int DefaultHeight = 600;
    static constexpr const char* Caption = "Sky Glide";

    // Creates the window and its components (FormCreate). data must outlive
    // the window.
    TSceneFrm(TSceneData& data, QWidget* owner);
    ~TSceneFrm() override;

    // Showing the window runs FormShow first.
    void setVisible(bool visible) override;

    // ---- fields ---------------------------------------------------------

    TPathState PathState() const { return m_pathState; }
    // Stores the state and sets the commands' enabled states from it.
    void SetPathState(TPathState state);
    // The flight path; freed when the window closes.
    TPathFile& PathFile() { return *m_pathFile; }
    // Set once the window has agreed to close, or when the host asks the
    // viewer to close; key handling and the housekeeping then do nothing.
    bool Closing() const { return m_closing; }
    void SetClosing(bool closing) { m_closing = closing; }

    std::int32_t Velocity() const { return m_rates.Velocity; }
    std::int32_t TurnStep() const { return m_rates.TurnStep; }
    std::int32_t LiftStep() const { return m_rates.LiftStep; }
    std::uint8_t DefaultVelocity() const { return m_defaultVelocity; }
    void SetDefaultVelocity(std::uint8_t velocity) { m_defaultVelocity = velocity; }
    void ChangeVelocity(TVelocityChange kind);

    // ---- components -----------------------------------------------------

    TSceneViewer& SceneViewer1() { return *m_sceneViewer; }
    TSceneComposition& Scene() { return m_scene; }
    TCadencer& Cadencer1() { return m_cadencer; }
    QStatusBar& StatusBar1() { return *m_statusBar; }
    static constexpr int StatusPanelCount = 9;
    QLabel& StatusPanel(int index) { return *m_statusPanels.at(std::size_t(index)); }
    QWidget& pnlProgress() { return *m_progressPanel; }
    QProgressBar& prbProgress() { return *m_progressBar; }
    QTimer& Timer1() { return *m_timer1; }
    QTimer& Timer2() { return *m_timer2; }
    QMenu& PopupMenu1() { return *m_popupMenu; }
    QAction& Action(TSceneCommand command) { return *m_actions[std::size_t(command)]; }
    TFileDialogSettings& OpenDialog1() { return m_openDialog; }
    TFileDialogSettings& SavePathDialog() { return m_savePathDialog; }
    TFileDialogSettings& SaveAVIDialog() { return m_saveAVIDialog; }
    QColor& ColorDialog1() { return m_colorDialogColor; }
    TAVIRecorder& AVIRecorder1() { return m_aviRecorder; }
    TSceneData& Data() { return m_data; }
    const TKeyState& KeyState() const { return m_keys; }

    // ---- handlers -------------------------------------------------------

    // The cadencer's progress: key handling unless the window is closing.
    void Cadencer1Progress(double deltaTime, double newTime);
    // Polls the held keys and moves the observer rig by rates × deltaTime,
    // then refreshes the position read-out; nothing while the window is
    // closing or does not hold the keyboard focus.
    void HandleKeys(double deltaTime);
    // The window is the active window and none of its menus or dialogs is
    // open.
    bool HoldsKeyboardFocus() const;
    // Writes the observer's position into the status panels; nothing while
    // the status bar is hidden.
    void ShowPositionStatus();
    // The height callback of the mesh.
    void HeightField1GetHeight(float x, float y, float& z, TVector4f& color, TTexPoint& texPoint);
    // Sets the enabled state of every path and movie command from PathState.
    void ActionList1Update();

    // The 60 ms path tick, in this order: while playing or saving a movie,
    // PlaybackStep; while recording, RecordSample; while (still) saving a
    // movie, one movie frame of the pose just applied. A tick whose error
    // box is open lets the following ticks pass without acting, and no tick
    // acts once the window is closing.
    void Timer2Timer();
    // Appends the rig's pose to the path as its next line.
    void RecordSample();
    // Applies the path's next line to the rig (all nine numbers converted
    // before any is applied, one change notice for the whole pose) and sets
    // the progress bar; a line that does not convert shows its error once
    // and the next tick goes on with the next line. At the end of the path:
    // closes an open movie, stops, and sets the caption and the progress
    // bar back.
    void PlaybackStep();

    // The commands: run them as the user would (the enabled state is
    // brought up to date first; a disabled command does nothing).
    void Execute(TSceneCommand command);

    void actPositionExecute();
    void actAxesExecute();
    void actSkyExecute();
    void actSmoothExecute();
    void actBackGroundExecute();
    void actHelpExecute();
    void actDecreaseExecute() { ChangeVelocity(TVelocityChange::vcDecrease); }
    void actRestoreExecute() { ChangeVelocity(TVelocityChange::vcRestore); }
    void actIncreaseExecute() { ChangeVelocity(TVelocityChange::vcIncrease); }
    // The path and movie commands.
    void actRecordExecute();
    void actPlayExecute();
    void actPauseExecute();
    void actStopExecute();
    void actRestartExecute();
    void actLoadExecute();
    void actSaveExecute();
    void actSaveAVIExecute();

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

    void createComponents();
    void createCommands();
    void createPopupMenu();
    void createStatusBar();
    void readDialogFolders();
    void fitOuterSize();
    void timeFirstFrame();
    void setPathCaption(const char* format);
    void addMovieFrame();
    // Closes the open movie, keeping it; the error text when it could not
    // be completed (it is then deleted), else empty.
    QString closeMovie();

    TSceneData& m_data;
    TSceneComposition m_scene;
    TCadencer m_cadencer;
    TSceneViewer* m_sceneViewer = nullptr;
    QStatusBar* m_statusBar = nullptr;
    std::array<QLabel*, StatusPanelCount> m_statusPanels{};
    QWidget* m_progressPanel = nullptr;
    QProgressBar* m_progressBar = nullptr;
    QTimer* m_timer1 = nullptr;
    QTimer* m_timer2 = nullptr;
    QMenu* m_popupMenu = nullptr;
    std::array<QAction*, SceneCommandCount> m_actions{};
    TFileDialogSettings m_openDialog;
    TFileDialogSettings m_savePathDialog;
    TFileDialogSettings m_saveAVIDialog;
    QColor m_colorDialogColor{Qt::black};
    TAVIRecorder m_aviRecorder;
    std::unique_ptr<TViewerFrameSource> m_frameSource;

    TPathState m_pathState = TPathState::psIdle;
    std::unique_ptr<TPathFile> m_pathFile;
    bool m_closing = false;
    bool m_closed = false;
    bool m_outerSizeFitted = false;
    bool m_pathTickBusy = false;
    bool m_movieFrameFailing = false;
    TNavigationRates m_rates;
    std::uint8_t m_defaultVelocity = 0;
    TKeyState m_keys;

    // Timing of the first frame (SKYGLIDE_TIMINGS=1).
    bool m_timingFrame = false;
    std::chrono::steady_clock::time_point m_frameBegin;
    std::chrono::steady_clock::time_point m_firstHeight;
    std::chrono::steady_clock::time_point m_lastHeight;
    long long m_heightCalls = 0;
};

} // namespace skyglide
