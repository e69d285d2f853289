#include "app/FlightController.h"

#include "app/FlightPath.h"
#include "app/SceneComposition.h"

#include <QPointer>
#include <QScopeGuard>

namespace skyglide {

namespace {

// The captions of the path states; %1 is the path's file name (empty for a
// path that was only recorded).
constexpr const char* RecordingCaption = "Sky Glide - Recording";
constexpr const char* PlayingCaption = "Sky Glide - Playing %1";
constexpr const char* PausedCaption = "Sky Glide - Paused %1";
constexpr const char* PathLoadedCaption = "Sky Glide - Path loaded %1";
// %1 the path's file name, %2 the movie's.
constexpr const char* SavingMovieCaption = "Sky Glide - Save %1 to %2";

} // namespace

TFlightController::TFlightController(TSceneComposition& scene, QObject* parent)
    : QObject(parent), m_scene(scene)
{
    m_timer2.setObjectName(QStringLiteral("Timer2"));
    m_timer2.setInterval(TickInterval);
    connect(&m_timer2, &QTimer::timeout, this, &TFlightController::Timer2Timer);
    m_timer2.start();

    m_aviRecorder.SetFPS(15);
    m_aviRecorder.SetSizeRestriction(TAVISizeRestriction::srNoRestriction);
    m_aviRecorder.SetImageRetrievalMode(TAVIImageRetrievalMode::irmSnapShot);
    m_aviRecorder.SetCompressor(TAVICompressor::acDefault);
    m_aviRecorder.SetWidth(320);
    m_aviRecorder.SetHeight(200);
}

TFlightController::~TFlightController() = default;

void TFlightController::SetPathState(TPathState state)
{
    m_pathState = state;
    if (OnPathStateChanged)
        OnPathStateChanged(state);
}

void TFlightController::caption(const char* format)
{
    if (OnCaption)
        OnCaption(QString::fromLatin1(format).arg(QString::fromStdString(m_pathFile.FileName())));
}

void TFlightController::progress(int percent)
{
    if (OnProgress)
        OnProgress(percent);
}

void TFlightController::error(const QString& text)
{
    if (OnError)
        OnError(text);
}

void TFlightController::Halt()
{
    if (m_pathState == TPathState::psRecording || m_pathState == TPathState::psPlaying)
        Stop();
    if (m_pathState == TPathState::psSavingMovie && m_aviRecorder.Writing())
        m_aviRecorder.CloseMovieFile(true);
    // No tick may touch the path or the aborted movie while the close lets
    // pending messages through.
    m_timer2.stop();
    m_closing = true;
}

// ---- commands -----------------------------------------------------------------

void TFlightController::Record()
{
    progress(0);
    SetPathState(TPathState::psRecording);
    m_pathFile.Clear();
    caption(RecordingCaption);
}

void TFlightController::Play()
{
    SetPathState(TPathState::psPlaying);
    if (m_pathFile.CurrentLine() > m_pathFile.Count())
        m_pathFile.SetCurrentLine(0);
    caption(PlayingCaption);
}

void TFlightController::Pause()
{
    SetPathState(TPathState::psStopped);
    caption(PausedCaption);
}

void TFlightController::Stop()
{
    QString failure;
    if (m_pathState == TPathState::psSavingMovie) {
        failure = closeMovie();
        m_pathFile.Rewind();
    }
    if (m_pathState == TPathState::psRecording)
        m_pathFile.Rewind();
    caption(PathLoadedCaption);
    SetPathState(TPathState::psStopped);
    if (!failure.isEmpty())
        error(failure);
}

void TFlightController::Restart()
{
    progress(0);
    m_pathFile.Rewind();
    SetPathState(TPathState::psPlaying);
}

void TFlightController::LoadPath(const std::string& fileName)
{
    // The load shows the pose of line 1: a file without one there is not
    // taken, its name never reaches the caption, and the error says which
    // line failed. Later lines that hold no pose are reported as playback
    // meets them.
    TPathFile loaded;
    try {
        loaded.LoadFromFile(fileName);
        checkPathPose(loaded, 1);
    } catch (const std::exception& failure) {
        error(QString::fromUtf8(failure.what()));
        return;
    }
    m_pathFile = std::move(loaded);
    QPointer<TFlightController> self(this);
    SetPathState(TPathState::psStopped);
    caption(PathLoadedCaption);
    PlaybackStep();
    if (self && !m_closing)
        progress(0);
}

void TFlightController::SavePath(const std::string& fileName)
{
    try {
        m_pathFile.SaveToFile(fileName);
    } catch (const std::exception& failure) {
        error(QString::fromUtf8(failure.what()));
        return;
    }
    caption(PathLoadedCaption);
}

void TFlightController::SaveMovie(const std::string& fileName)
{
    m_aviRecorder.SetFilename(fileName);
    try {
        // False: the user kept the existing file.
        if (!m_aviRecorder.OpenMovieFile(0))
            return;
    } catch (const std::exception& failure) {
        error(QString::fromUtf8(failure.what()));
        return;
    }
    if (m_closing) {
        // Closed while the overwrite question was open.
        m_aviRecorder.CloseMovieFile(true);
        return;
    }
    m_movieFrameFailing = false;
    SetPathState(TPathState::psSavingMovie);
    if (OnCaption)
        OnCaption(QString::fromLatin1(SavingMovieCaption)
                      .arg(QString::fromStdString(m_pathFile.FileName()),
                           QString::fromStdString(m_aviRecorder.Filename())));
}

// ---- the tick -------------------------------------------------------------------

void TFlightController::Timer2Timer()
{
    // An error box of a tick runs its own event loop, in which the timer goes
    // on: the path waits until the box is answered.
    if (m_tickBusy || m_closing)
        return;
    QPointer<TFlightController> self(this);
    m_tickBusy = true;
    const auto done = qScopeGuard([self] {
        if (self)
            self->m_tickBusy = false;
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

void TFlightController::RecordSample()
{
    m_pathFile.Add(formatPoseLine(m_pathFile.Count(), RigPose(m_scene)));
}

void TFlightController::PlaybackStep()
{
    if (m_pathFile.Next()) {
        QString failure;
        TScene& scene = m_scene.Scene1;
        scene.BeginUpdate();
        try {
            // All nine numbers convert before any is applied: a line that
            // fails leaves the rig where the previous line put it.
            ApplyRigPose(m_scene, m_pathFile.currentPose());
        } catch (const std::exception& e) {
            failure = QString::fromUtf8(e.what());
        }
        scene.EndUpdate();
        if (failure.isEmpty() && OnPoseApplied)
            OnPoseApplied();
        progress(PlaybackProgress(m_pathFile.CurrentLine(), m_pathFile.Count()));
        // Shown once for this line; the next tick plays the next one.
        if (!failure.isEmpty())
            error(failure);
        return;
    }
    QString failure;
    if (m_pathState == TPathState::psSavingMovie)
        failure = closeMovie();
    SetPathState(TPathState::psStopped);
    caption(PathLoadedCaption);
    progress(0);
    if (!failure.isEmpty())
        error(failure);
}

void TFlightController::addMovieFrame()
{
    try {
        m_aviRecorder.AddMovieFrame();
        m_movieFrameFailing = false;
    } catch (const std::exception& failure) {
        // The next tick tries again. A failure that repeats at every tick (a
        // full disk) is shown once, not at every tick; the close of the movie
        // tells whether the movie could be completed.
        if (m_movieFrameFailing)
            return;
        m_movieFrameFailing = true;
        error(QString::fromUtf8(failure.what()));
    }
}

QString TFlightController::closeMovie()
{
    if (!m_aviRecorder.Writing())
        return {};
    try {
        m_aviRecorder.CloseMovieFile(false);
    } catch (const std::exception& failure) {
        return QString::fromUtf8(failure.what());
    }
    return {};
}

} // namespace skyglide
