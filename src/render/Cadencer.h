#pragma once

#include "render/Flags.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QObject;
class QTimer;

namespace skyglide {

class TCadencer;
class TScene;

enum class TCadencerMode {
    cmManual,          ///< the application calls Tick
    cmASAP,            ///< one step per pass through the Qt event queue
    cmApplicationIdle, ///< one step whenever the event loop is idle
};

enum class TCadencerTimeReference {
    cmRTC,                ///< the system's wall clock
    cmPerformanceCounter, ///< a steady, monotonic clock
    cmExternal,           ///< a time the application sets (SetExternalTime)
};

/// Why a cadencer that rests when idle keeps stepping (TCadencer::
/// SetRestsWhenIdle): while any of these holds, it steps as often as its mode
/// allows; while none does, it rests.
enum class TFrameReason : std::uint32_t {
    frKeyHeld = 1 << 0,     ///< a key that flies the observer is held
    frPathPlaying = 1 << 1, ///< a path plays back, or plays into a movie
    frMouseHeld = 1 << 2,   ///< a mouse button that flies the observer is held off its press point
};
using TFrameReasons = TFlags<TFrameReason>;

/// The time sources of a cadencer. Tests hand a cadencer their own clock.
class TCadencerClock
{
public:
    virtual ~TCadencerClock() = default;
    /// Wall-clock seconds (cmRTC).
    virtual double RealTimeSeconds() = 0;
    /// Monotonic seconds (cmPerformanceCounter).
    virtual double PerformanceCounterSeconds() = 0;
    /// Blocks for the given milliseconds (SleepLength).
    virtual void Sleep(int milliseconds) = 0;

    /// std::chrono's system_clock, steady_clock and this_thread::sleep_for.
    static TCadencerClock& System();
};

/// A component that wants every cadencer step. It signs off from its
/// cadencers when destroyed; a destroyed cadencer forgets its subscribers.
class TCadencerSubscriber
{
public:
    /// One step of deltaTime scene seconds, ending at scene time newTime.
    virtual void DoProgress(double deltaTime, double newTime) = 0;

protected:
    TCadencerSubscriber() = default;
    virtual ~TCadencerSubscriber();
    TCadencerSubscriber(const TCadencerSubscriber&) = delete;
    TCadencerSubscriber& operator=(const TCadencerSubscriber&) = delete;

private:
    friend class TCadencer;
    std::vector<TCadencer*> m_cadencers;
};

/// (sender, deltaTime, newTime) of one cadencer step.
using TCadencerProgressEvent =
    std::function<void(TCadencer& sender, double deltaTime, double newTime)>;

/// The heartbeat of the viewer: measures time, advances the scene by the
/// elapsed scene time and raises OnProgress, as often as the event loop
/// allows (cmASAP), when it is idle (cmApplicationIdle) or when the
/// application calls Tick (cmManual). A step never runs the event loop
/// itself: pending events are handled between steps.
///
/// A cadencer that rests when idle steps only while it has a reason to
/// (SetFrameReason) or a frame has been asked for (RequestFrame); otherwise
/// it leaves the event loop alone, which then sleeps until something
/// happens. Frames themselves come from the scene's change notices, which
/// invalidate its viewers: a step that moves nothing draws nothing.
///
/// Scene time is (reference time − origin) × TimeMultiplier; the origin moves
/// so that scene time stays continuous across multiplier changes, disabled
/// periods and changes of TimeReference. Lives on the thread of the Qt event
/// loop; cmASAP and cmApplicationIdle need a QCoreApplication.
class TCadencer
{
public:
    /// clock: the time sources to use (the system's when null); it must
    /// outlive the cadencer.
    explicit TCadencer(TCadencerClock* clock = nullptr);
    ~TCadencer();
    TCadencer(const TCadencer&) = delete;
    TCadencer& operator=(const TCadencer&) = delete;

    bool Enabled() const { return m_enabled; }
    /// Disabled time does not count: re-enabling resumes scene time where it stopped.
    void SetEnabled(bool value);
    TScene* Scene() const { return m_scene; }
    /// Cleared when the scene is destroyed.
    void SetScene(TScene* scene);
    double TimeMultiplier() const { return m_timeMultiplier; }
    /// 0 freezes time (and disables the cadencer); a later non-zero value
    /// re-enables it and time resumes where it stopped, at the new rate.
    void SetTimeMultiplier(double value);
    TCadencerMode Mode() const { return m_mode; }
    void SetMode(TCadencerMode value);
    TCadencerTimeReference TimeReference() const { return m_timeReference; }
    /// Scene time continues without a jump on the new reference.
    void SetTimeReference(TCadencerTimeReference value);
    /// Milliseconds to sleep before every step; negative: no sleep.
    int SleepLength() const { return m_sleepLength; }
    void SetSleepLength(int value) { m_sleepLength = value; }
    /// Steps shorter than this are not taken; the time accumulates.
    double MinDeltaTime() const { return m_minDeltaTime; }
    void SetMinDeltaTime(double value) { m_minDeltaTime = value; }
    /// Longer steps are cut to this; the lost time is dropped. 0: no limit.
    double MaxDeltaTime() const { return m_maxDeltaTime; }
    void SetMaxDeltaTime(double value) { m_maxDeltaTime = value; }
    /// Steps of exactly this length; the remainder waits for the next Tick.
    /// 0: variable steps.
    double FixedDeltaTime() const { return m_fixedDeltaTime; }
    void SetFixedDeltaTime(double value) { m_fixedDeltaTime = value; }

    /// The reference time in cmExternal mode, in seconds, as the application sets it.
    double ExternalTime() const { return m_externalTime; }
    void SetExternalTime(double seconds) { m_externalTime = seconds; }
    /// Scene time now: (reference time − origin) × TimeMultiplier; also stored
    /// as CurrentTime.
    double SceneTime();
    /// The scene time of the last query.
    double CurrentTime() const { return m_currentTime; }
    /// Scene time at which the last step ended.
    double LastTime() const { return m_lastTime; }
    /// Starts scene time again from 0 now.
    void Reset();

    /// Rest when nothing moves (default false: step as often as the mode
    /// allows). Resting, a cmASAP or cmApplicationIdle cadencer takes no
    /// step until a reason holds or a frame is asked for. The first step
    /// after a rest, or after it is enabled again, measures its deltaTime
    /// from that moment: the time it stood still never reaches a handler,
    /// so rates times deltaTime move things as they would without resting.
    bool RestsWhenIdle() const { return m_restsWhenIdle; }
    void SetRestsWhenIdle(bool value);
    TFrameReasons FrameReasons() const { return m_frameReasons; }
    /// Sets or clears one reason to keep stepping.
    void SetFrameReason(TFrameReason reason, bool holds);
    /// Asks for one frame: one more step (also of a resting cadencer), after
    /// which the scene sends its own change notice, so that its viewers
    /// repaint. For a change that sends no notice of its own, or a poll of
    /// the step's handlers. Any thread may call it: a call from another
    /// thread is carried to the cadencer's thread (the cadencer must outlive
    /// the call).
    void RequestFrame();
    /// Resting: no reason holds and no frame is asked for.
    bool Resting() const;

    /// One step: when enabled, sleep SleepLength, then advance the scene and
    /// raise OnProgress by the elapsed scene time; a frame asked for is
    /// served by it. Refused while the cadencer is advancing its scene.
    void Tick();
    /// A step is under way.
    bool IsBusy() const { return m_progressing != 0; }

    void Subscribe(TCadencerSubscriber* subscriber);
    void Unsubscribe(TCadencerSubscriber* subscriber);

    TCadencerProgressEvent OnProgress;

private:
    friend class TScene;
    void sceneDestroyed(TScene& scene);
    double referenceTime();
    void updateRegistration();
    void registerAsap();
    void unregisterAsap();
    void startIdle();
    void stopIdle();
    void setFrameRequested(bool requested);

    TCadencerClock* m_clock;
    std::vector<TCadencerSubscriber*> m_subscribers;
    TScene* m_scene = nullptr;
    double m_timeMultiplier = 1.0;
    double m_lastTime = 0.0;
    double m_downTime = 0.0;
    double m_lastMultiplier = 0.0;
    bool m_enabled = true;
    int m_sleepLength = -1;
    TCadencerMode m_mode = TCadencerMode::cmASAP;
    TCadencerTimeReference m_timeReference = TCadencerTimeReference::cmPerformanceCounter;
    double m_currentTime = 0.0;
    double m_externalTime = 0.0;
    double m_originTime = 0.0;
    double m_maxDeltaTime = 0.0;
    double m_minDeltaTime = 0.0;
    double m_fixedDeltaTime = 0.0;
    int m_progressing = 0;
    bool m_asapRegistered = false;
    std::unique_ptr<QTimer> m_idleTimer;
    bool m_restsWhenIdle = false;
    TFrameReasons m_frameReasons;
    bool m_frameRequested = false;
    bool m_wasResting = false;
    // Lives on the cadencer's thread: frames asked for from other threads
    // are carried to it.
    std::unique_ptr<QObject> m_home;
};

/// The brake of the cmASAP pump. The pump posts itself one tick event per
/// pass; when 5001 ticks in a row are handled within the millisecond in which
/// they were posted, the queue holds nothing but the pump's own posts, and the
/// pump yields for one 1 ms timer tick.
class TTickThrottle
{
public:
    static constexpr int cBurstLength = 5001;

    /// A tick event posted at postedMs was handled at nowMs (milliseconds of a
    /// steady clock). True when the pump must start its 1 ms timer now.
    bool TickHandled(std::int64_t postedMs, std::int64_t nowMs);
    /// The 1 ms timer has fired (and is gone).
    void TimerFired();
    /// The timer could not be started: carry on without it.
    void TimerFailed() { m_timerRunning = false; }
    bool TimerRunning() const { return m_timerRunning; }
    int Count() const { return m_count; }

private:
    int m_count = 0;
    bool m_timerRunning = false;
};

} // namespace skyglide
