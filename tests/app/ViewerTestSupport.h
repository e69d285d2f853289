#pragma once

// What the scene window's tests share: the samples, the X server's tools
// (xdotool), the event loop run for a while, and a record of the key polls
// the window makes.

#include "app/Navigation.h"
#include "app/SceneForm.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace skyglide::test {

using RGB = std::array<int, 3>;

inline bool near(const RGB& a, const RGB& b, int tolerance)
{
    for (std::size_t i = 0; i < 3; ++i)
        if (std::abs(a[i] - b[i]) > tolerance)
            return false;
    return true;
}

inline void expectNear(const TAffineVector& actual, const TAffineVector& expected, float tolerance)
{
    EXPECT_NEAR(actual.X, expected.X, tolerance);
    EXPECT_NEAR(actual.Y, expected.Y, tolerance);
    EXPECT_NEAR(actual.Z, expected.Z, tolerance);
}

inline std::string SamplesDir()
{
    const char* dir = std::getenv("SKYGLIDE_SAMPLES_DIR");
    return dir ? dir : "samples";
}

// Runs xdotool; its output, or nullopt when it failed or took too long.
inline std::optional<QString> Xdotool(const QStringList& arguments, int timeoutMs = 15000)
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), arguments);
    if (!xdotool.waitForFinished(timeoutMs)) {
        xdotool.kill();
        xdotool.waitForFinished();
        return std::nullopt;
    }
    if (xdotool.exitStatus() != QProcess::NormalExit || xdotool.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(xdotool.readAllStandardOutput()).trimmed();
}

// Lets the event loop run for ms milliseconds.
inline void Settle(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Lets the event loop run until done() or timeoutMs; done()'s last answer.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// One key poll of the scene window: its cadencer time and the rows of the
// key table that acted.
struct TPoll
{
    double DeltaTime = 0;
    std::array<bool, 8> Rows{};
};

// Records every poll in which the window handled keys, for as long as it
// lives.
class TPollRecorder
{
public:
    explicit TPollRecorder(TSceneFrm& form) : m_form(form), m_original(form.Cadencer1().OnProgress)
    {
        form.Cadencer1().OnProgress = [this](TCadencer& sender, double deltaTime, double time) {
            const bool handles = !m_form.Closing() && m_form.HoldsKeyboardFocus();
            TPoll poll{deltaTime, {}};
            for (std::size_t i = 0; i < NavigationRows.size(); ++i)
                poll.Rows[i] = handles && m_form.KeyState().AnyDown(NavigationRows[i]);
            m_original(sender, deltaTime, time);
            if (handles)
                Polls.push_back(poll);
        };
    }
    ~TPollRecorder() { m_form.Cadencer1().OnProgress = m_original; }

    // Cadencer time during which the row of action acted.
    double Seconds(TNavigationAction action) const
    {
        double seconds = 0;
        for (const TPoll& poll : Polls)
            for (std::size_t i = 0; i < NavigationRows.size(); ++i)
                if (NavigationRows[i].Action == action && poll.Rows[i])
                    seconds += poll.DeltaTime;
        return seconds;
    }
    double LongestStep() const
    {
        double longest = 0;
        for (const TPoll& poll : Polls)
            longest = std::max(longest, poll.DeltaTime);
        return longest;
    }

    std::vector<TPoll> Polls;

private:
    TSceneFrm& m_form;
    TCadencerProgressEvent m_original;
};

} // namespace skyglide::test
