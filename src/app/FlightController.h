#pragma once

#include "app/PathState.h"
#include "movie/AVIRecorder.h"
#include "paths/PathFile.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <string>

namespace skyglide {

struct TSceneComposition;

// The scene window's flight path: recording the observer rig's poses,
// playing them back and playing them into a movie. It owns the path and its
// state, the 60 ms path tick (Timer2), the movie recorder's part in a tick
// and the window captions that tell what is going on; the window shows what
// it reports and runs the dialogs. It needs no window: the pose goes to the
// scene, the frames to whichever viewer the recorder is given.
class TFlightController : public QObject
{
public:
    static constexpr int TickInterval = 60;

    // scene must outlive the controller. The tick starts at once.
    explicit TFlightController(TSceneComposition& scene, QObject* parent = nullptr);
    ~TFlightController() override;

    TPathState PathState() const { return m_pathState; }
    // Stores the state and raises OnPathStateChanged.
    void SetPathState(TPathState state);
    TPathFile& PathFile() { return m_pathFile; }
    QTimer& Timer2() { return m_timer2; }
    // The movie recorder: 15 frames per second at the size it is given, one
    // snapshot of its viewer per frame, Video-1 unless set otherwise.
    TAVIRecorder& AVIRecorder1() { return m_aviRecorder; }

    // Set while the window closes: no tick acts and no command reports to it.
    bool Closing() const { return m_closing; }
    void SetClosing(bool closing) { m_closing = closing; }
    // The window agreed to close: a recording or playback stops, a movie
    // being made is deleted, and the tick stops for good.
    void Halt();

    // The path commands, each fit only for the states in which the command
    // table enables it.
    // Record: the previous path goes without a question.
    void Record();
    // Play from the current line; from the start once the path is through.
    void Play();
    void Pause();
    // Stops recording, playback or a movie. The frames written so far stay
    // as a complete, shorter movie. A stopped playback keeps its place; a
    // movie or a recording starts over.
    void Stop();
    // Plays from the start.
    void Restart();
    // Loads a path and puts the rig at its line 1. A file that cannot be
    // read, or whose line 1 holds no pose, is reported; the path,
    // its name, the state and the caption stay as they were.
    void LoadPath(const std::string& fileName);
    // A file that cannot be written is reported; nothing else changes.
    void SavePath(const std::string& fileName);
    // Opens a movie of fileName at the recorder's size and plays the path
    // into it from the current line. A movie that cannot be opened is
    // reported and leaves nothing on disk; a declined overwrite does nothing.
    void SaveMovie(const std::string& fileName);

    // The 60 ms path tick, in this order: while playing or saving a movie,
    // PlaybackStep; while recording, RecordSample; while (still) saving a
    // movie, one movie frame of the pose just applied. A tick whose error
    // box is open lets the following ticks pass without acting, and no tick
    // acts while closing.
    void Timer2Timer();
    // Appends the rig's pose to the path as its next line.
    void RecordSample();
    // Applies the path's next line to the rig (all nine numbers converted
    // before any is applied, one change notice for the whole pose) and sets
    // the progress; a line that does not convert is reported once and the
    // next tick goes on with the next line. At the end of the path: closes
    // an open movie, stops, and sets the caption and the progress back.
    void PlaybackStep();

    // The window caption for the path's state.
    std::function<void(const QString& caption)> OnCaption;
    // The playback progress in percent.
    std::function<void(int percent)> OnProgress;
    // An error to show in the error box; the box may let events through.
    std::function<void(const QString& text)> OnError;
    std::function<void(TPathState state)> OnPathStateChanged;
    // A line of the path has been applied to the rig.
    std::function<void()> OnPoseApplied;

private:
    void caption(const char* format);
    void progress(int percent);
    void error(const QString& text);
    void addMovieFrame();
    // Closes the open movie, keeping it; the error text when it could not
    // be completed (it is then deleted), else empty.
    QString closeMovie();

    TSceneComposition& m_scene;
    TPathFile m_pathFile;
    TPathState m_pathState = TPathState::psIdle;
    QTimer m_timer2;
    TAVIRecorder m_aviRecorder;
    bool m_closing = false;
    bool m_tickBusy = false;
    bool m_movieFrameFailing = false;
};

} // namespace skyglide
