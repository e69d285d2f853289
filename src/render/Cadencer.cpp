#include "render/Cadencer.h"

#include "render/Scene.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <QTimerEvent>

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

namespace skyglide {

// ---- clocks ---------------------------------------------------------------------

namespace {

class SystemClock final : public TCadencerClock
{
public:
    double RealTimeSeconds() override
    {
        using namespace std::chrono;
        return duration<double>(system_clock::now().time_since_epoch()).count();
    }
    double PerformanceCounterSeconds() override
    {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    }
    void Sleep(int milliseconds) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
};

std::int64_t tickCount()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

TCadencerClock& TCadencerClock::System()
{
    static SystemClock clock;
    return clock;
}

// ---- the cmASAP pump --------------------------------------------------------------

bool TTickThrottle::TickHandled(std::int64_t postedMs, std::int64_t nowMs)
{
    if (postedMs != nowMs) {
        m_count = 0;
        return false;
    }
    if (++m_count < cBurstLength)
        return false;
    m_count = 0;
    if (m_timerRunning)
        return false;
    m_timerRunning = true;
    return true;
}

void TTickThrottle::TimerFired()
{
    m_timerRunning = false;
    m_count = 0;
}

namespace {

QEvent::Type tickEventType()
{
    static const auto type = QEvent::Type(QEvent::registerEventType());
    return type;
}

class TickEvent final : public QEvent
{
public:
    TickEvent() : QEvent(tickEventType()), PostedMs(tickCount()) {}
    const std::int64_t PostedMs;
};

// Cadencers in cmASAP mode, served from the last to the first. Unregistering
// clears an entry; the pump compacts the list after each pass, so entries
// never move while the pump walks them.
std::vector<TCadencer*>* asapList = nullptr;

bool asapListHasEntries()
{
    return asapList && std::any_of(asapList->begin(), asapList->end(),
                                   [](const TCadencer* c) { return c != nullptr; });
}

// One hidden object serves every cmASAP cadencer: it posts itself a tick
// event, runs one step of each cadencer when the event arrives and posts the
// next, so the cadencers step once per pass through the event queue.
class TickPump final : public QObject
{
public:
    TickPump() { postTick(); }

    bool Inside = false;

    /// Posts a tick unless one is on its way, the throttle timer runs or a
    /// pass (which posts at its end) is under way.
    void wake()
    {
        if (!m_posted && m_timerId == 0 && !Inside)
            postTick();
    }

    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::Timer) {
            if (static_cast<QTimerEvent*>(e)->timerId() != m_timerId)
                return QObject::event(e);
            killTimer(m_timerId);
            m_timerId = 0;
            m_throttle.TimerFired();
        } else if (e->type() == tickEventType()) {
            m_posted = false;
            if (m_throttle.TickHandled(static_cast<TickEvent*>(e)->PostedMs, tickCount())) {
                m_timerId = startTimer(1);
                if (m_timerId == 0)
                    m_throttle.TimerFailed();
            }
        } else {
            return QObject::event(e);
        }
        if (m_timerId == 0 && !Inside)
            runPass();
        return true;
    }

private:
    void postTick()
    {
        m_posted = true;
        QCoreApplication::postEvent(this, new TickEvent);
    }

    void runPass();

    TTickThrottle m_throttle;
    int m_timerId = 0;
    bool m_posted = false;
};

TickPump* pump = nullptr;

void TickPump::runPass()
{
    // However the pass ends (an exception from a progress handler included),
    // the list is compacted and the next tick posted, so that one error does
    // not stop the cadencers for good. With no cadencer left the pump rests
    // (it cannot delete itself inside its own event) until one registers or
    // the last one is destroyed.
    struct PassEnd
    {
        TickPump* self;
        ~PassEnd()
        {
            self->Inside = false;
            std::erase(*asapList, nullptr);
            if (!asapList->empty())
                self->postTick();
        }
    } passEnd{this};

    Inside = true;
    for (std::size_t i = asapList->size(); i-- > 0;) {
        TCadencer* cadencer = (*asapList)[i];
        if (!cadencer || cadencer->Mode() != TCadencerMode::cmASAP || !cadencer->Enabled() ||
            cadencer->IsBusy())
            continue;
        if (QCoreApplication::closingDown())
            cadencer->SetEnabled(false);
        else
            cadencer->Tick();
    }
}

} // namespace

void TCadencer::registerAsap()
{
    if (m_asapRegistered)
        return;
    if (!asapList)
        asapList = new std::vector<TCadencer*>;
    asapList->push_back(this);
    m_asapRegistered = true;
    if (pump)
        pump->wake();
    else
        pump = new TickPump;
}

void TCadencer::unregisterAsap()
{
    if (!m_asapRegistered)
        return;
    m_asapRegistered = false;
    std::replace(asapList->begin(), asapList->end(), this, static_cast<TCadencer*>(nullptr));
    // The pump and the list go with the last cadencer, except inside a pass,
    // which still walks them.
    if (!asapListHasEntries() && pump && !pump->Inside) {
        delete pump;
        pump = nullptr;
        delete asapList;
        asapList = nullptr;
    }
}

void TCadencer::startIdle()
{
    if (!m_idleTimer) {
        // A zero-interval timer fires whenever the event queue has been
        // emptied. It is stopped, never deleted, from its own step.
        m_idleTimer = std::make_unique<QTimer>();
        m_idleTimer->setInterval(0);
        QObject::connect(m_idleTimer.get(), &QTimer::timeout, [this] { Tick(); });
    }
    if (!m_idleTimer->isActive())
        m_idleTimer->start();
}

void TCadencer::stopIdle()
{
    if (m_idleTimer)
        m_idleTimer->stop();
}

bool TCadencer::Resting() const
{
    return m_restsWhenIdle && m_frameReasons.isEmpty() && !m_frameRequested;
}

void TCadencer::updateRegistration()
{
    const bool resting = Resting();
    // Waking: the step to come measures its time from now, not from the
    // last step before the rest.
    if (m_wasResting && !resting && m_enabled)
        m_lastTime = SceneTime();
    m_wasResting = resting;
    const bool active = m_scene && m_enabled && !resting;
    if (active && m_mode == TCadencerMode::cmASAP)
        registerAsap();
    else
        unregisterAsap();
    if (active && m_mode == TCadencerMode::cmApplicationIdle)
        startIdle();
    else
        stopIdle();
}

// ---- subscribers -------------------------------------------------------------------

TCadencerSubscriber::~TCadencerSubscriber()
{
    const auto cadencers = m_cadencers;
    for (TCadencer* cadencer : cadencers)
        cadencer->Unsubscribe(this);
}

void TCadencer::Subscribe(TCadencerSubscriber* subscriber)
{
    if (!subscriber ||
        std::find(m_subscribers.begin(), m_subscribers.end(), subscriber) != m_subscribers.end())
        return;
    m_subscribers.push_back(subscriber);
    subscriber->m_cadencers.push_back(this);
}

void TCadencer::Unsubscribe(TCadencerSubscriber* subscriber)
{
    if (!subscriber)
        return;
    std::erase(m_subscribers, subscriber);
    std::erase(subscriber->m_cadencers, this);
}

// ---- the cadencer ------------------------------------------------------------------

TCadencer::TCadencer(TCadencerClock* clock)
    : m_clock(clock ? clock : &TCadencerClock::System()), m_home(std::make_unique<QObject>())
{
    m_originTime = referenceTime();
    m_downTime = m_originTime;
}

TCadencer::~TCadencer()
{
    unregisterAsap();
    stopIdle();
    if (m_scene)
        m_scene->removeCadencer(this);
    for (TCadencerSubscriber* subscriber : m_subscribers)
        std::erase(subscriber->m_cadencers, this);
}

double TCadencer::referenceTime()
{
    switch (m_timeReference) {
    case TCadencerTimeReference::cmRTC:
        return m_clock->RealTimeSeconds();
    case TCadencerTimeReference::cmPerformanceCounter:
        return m_clock->PerformanceCounterSeconds();
    case TCadencerTimeReference::cmExternal:
        break;
    }
    return m_externalTime;
}

double TCadencer::SceneTime()
{
    m_currentTime = (referenceTime() - m_originTime) * m_timeMultiplier;
    return m_currentTime;
}

void TCadencer::Reset()
{
    m_lastTime = 0.0;
    m_downTime = referenceTime();
    m_originTime = m_downTime;
}

void TCadencer::SetEnabled(bool value)
{
    if (value == m_enabled)
        return;
    m_enabled = value;
    if (m_enabled) {
        m_originTime += referenceTime() - m_downTime;
        if (m_restsWhenIdle)
            m_lastTime = SceneTime();
    } else {
        m_downTime = referenceTime();
    }
    updateRegistration();
}

void TCadencer::SetRestsWhenIdle(bool value)
{
    m_restsWhenIdle = value;
    updateRegistration();
}

void TCadencer::SetFrameReason(TFrameReason reason, bool holds)
{
    if (m_frameReasons.testFlag(reason) == holds)
        return;
    m_frameReasons.setFlag(reason, holds);
    updateRegistration();
}

void TCadencer::RequestFrame()
{
    if (QThread::currentThread() != m_home->thread()) {
        QMetaObject::invokeMethod(
            m_home.get(), [this] { RequestFrame(); }, Qt::QueuedConnection);
        return;
    }
    setFrameRequested(true);
}

void TCadencer::setFrameRequested(bool requested)
{
    if (requested == m_frameRequested)
        return;
    m_frameRequested = requested;
    updateRegistration();
}

void TCadencer::SetScene(TScene* scene)
{
    if (scene == m_scene)
        return;
    if (m_scene)
        m_scene->removeCadencer(this);
    m_scene = scene;
    if (m_scene)
        m_scene->addCadencer(this);
    updateRegistration();
}

void TCadencer::sceneDestroyed(TScene& scene)
{
    if (&scene != m_scene)
        return;
    m_scene = nullptr;
    updateRegistration();
}

void TCadencer::SetTimeMultiplier(double value)
{
    if (value == m_timeMultiplier)
        return;
    if (value == 0.0) {
        m_lastMultiplier = m_timeMultiplier;
        SetEnabled(false);
    } else {
        const double now = referenceTime();
        if (m_timeMultiplier == 0.0) {
            SetEnabled(true);
            m_originTime = now - (now - m_originTime) * m_lastMultiplier / value;
        } else {
            m_originTime = now - (now - m_originTime) * m_timeMultiplier / value;
        }
    }
    m_timeMultiplier = value;
}

void TCadencer::SetMode(TCadencerMode value)
{
    if (value == m_mode)
        return;
    unregisterAsap();
    stopIdle();
    m_mode = value;
    updateRegistration();
}

void TCadencer::SetTimeReference(TCadencerTimeReference value)
{
    if (value == m_timeReference)
        return;
    // Two references count from unrelated origins (the epoch, the boot, the
    // application's zero): shift the origin so scene time runs on unbroken.
    const double before = referenceTime();
    m_timeReference = value;
    const double shift = referenceTime() - before;
    m_originTime += shift;
    m_downTime += shift;
}

void TCadencer::Tick()
{
    if (m_progressing < 0)
        return;
    if (m_enabled && m_sleepLength >= 0)
        m_clock->Sleep(m_sleepLength);

    struct Progressing
    {
        int& counter;
        explicit Progressing(int& c) : counter(c) { ++counter; }
        ~Progressing() { --counter; }
    } progressing(m_progressing);

    if (!m_enabled)
        return;
    // A frame asked for is served by this step, however it ends; one asked
    // for during the step gets a step of its own.
    struct ServeFrame
    {
        TCadencer& cadencer;
        bool requested;
        ~ServeFrame()
        {
            if (!requested)
                return;
            if (cadencer.m_scene)
                cadencer.m_scene->NotifyChange(nullptr);
            cadencer.updateRegistration();
        }
    } serveFrame{*this, std::exchange(m_frameRequested, false)};
    double newTime = SceneTime();
    double deltaTime = newTime - m_lastTime;
    if (!(deltaTime >= m_minDeltaTime && deltaTime >= m_fixedDeltaTime))
        return;
    if (m_maxDeltaTime > 0 && deltaTime > m_maxDeltaTime && m_timeMultiplier != 0.0) {
        m_originTime += (deltaTime - m_maxDeltaTime) / m_timeMultiplier;
        deltaTime = m_maxDeltaTime;
        newTime = m_lastTime + deltaTime;
    }
    double total = deltaTime;
    if (m_fixedDeltaTime > 0)
        deltaTime = m_fixedDeltaTime;
    while (total >= deltaTime) {
        m_lastTime += deltaTime;
        if (m_scene && deltaTime != 0) {
            struct Negated
            {
                int& counter;
                explicit Negated(int& c) : counter(c) { counter = -counter; }
                ~Negated() { counter = -counter; }
            } negated(m_progressing);
            m_scene->Progress(deltaTime, m_lastTime);
        }
        for (std::size_t i = 0; i < m_subscribers.size(); ++i)
            m_subscribers[i]->DoProgress(deltaTime, m_lastTime);
        if (OnProgress)
            OnProgress(*this, deltaTime, newTime);
        if (deltaTime <= 0)
            break;
        total -= deltaTime;
    }
}

} // namespace skyglide
