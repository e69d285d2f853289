// Faults injected into real runs of the program started by the stand-in host
// on the test's X server and session bus: the host killed at each stage or
// no longer answering, the X server gone, the viewer stopped in the middle of
// a movie. The viewer is started through a script that keeps its process
// number and its standard error, both of which outlive a killed host; this
// process adopts the viewers whose host it killed, to see how they end.
#include "HostRun.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <csignal>

#include <sys/prctl.h>
#include <sys/wait.h>

namespace skyglide::test {
namespace {

const QString Olinda = QString::fromStdString(Sample("olinda.rst"));
const QString MessageWindow = QStringLiteral("org.kartova.skyglide_msghndlr");

class TViewer
{
public:
    explicit TViewer(const std::filesystem::path& folder)
        : m_script(QString::fromStdString((folder / "viewer.sh").string()))
    {
        QFile file(m_script);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\necho $$ >\"$0.pid\"\nexec '" + ProgramPath("skyglide").toUtf8() +
                   "' \"$@\" 2>>\"$0.log\"\n");
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    }
    ~TViewer()
    {
        if (m_pid > 1 && !m_ended) {
            ::kill(-m_pid, SIGKILL);
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    QStringList HostArguments() const { return {"--viewer", m_script}; }
    pid_t Pid()
    {
        QFile file(m_script + ".pid");
        WaitUntil([&] { return file.open(QIODevice::ReadOnly) && file.size() > 0; });
        if (m_pid <= 1)
            m_pid = file.readAll().trimmed().toInt();
        return m_pid;
    }
    QString Log() const
    {
        QFile file(m_script + ".log");
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    // The wait status of a viewer whose host has gone, once it has ended.
    std::optional<int> WaitForEnd(int timeoutMs)
    {
        const pid_t pid = Pid();
        int status = 0;
        m_ended = WaitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, timeoutMs);
        return m_ended ? std::optional(status) : std::nullopt;
    }

private:
    QString m_script;
    pid_t m_pid = 0;
    bool m_ended = false;
};

// The visible windows whose names match pattern, one a line; with sync,
// once there is one.
QString Visible(const QString& pattern, bool sync = false)
{
    return Xdotool(QStringList{"search"} + (sync ? QStringList{"--sync"} : QStringList()) +
                   QStringList{"--onlyvisible", "--name", pattern})
        .value_or(QString());
}

// The first visible window whose name matches pattern, once there is one.
QString Window(const QString& pattern)
{
    return Visible(pattern, true).section('\n', 0, 0);
}

// Types a file's name into the file dialog named title and takes it, again
// until the dialog has gone: on a busy machine the first keys can come
// before the name field takes input, and the dialog then answers a name
// that is not there with a box of the same title, which is closed first.
void ChooseFile(const QString& title, const QString& file)
{
    const QString dialog = Window(title);
    ASSERT_FALSE(dialog.isEmpty()) << qPrintable(title);
    const auto open = [&] { return Visible(title).split('\n', Qt::SkipEmptyParts); };
    ASSERT_TRUE(WaitUntil([&] {
        const QStringList windows = open();
        if (!windows.contains(dialog))
            return true;
        for (const QString& box : windows) {
            if (box != dialog) {
                Xdotool({"windowfocus", "--sync", box});
                Xdotool({"key", "Return"});
            }
        }
        Xdotool({"windowfocus", "--sync", dialog});
        Xdotool({"key", "--clearmodifiers", "ctrl+a"});
        Xdotool({"type", "--delay", "5", file});
        Xdotool({"key", "Return"});
        return WaitUntil([&] { return !open().contains(dialog); }, 5000);
    })) << "the dialog stays: " << qPrintable(title);
}

bool WaitForCaption(const QString& window, const QString& caption, int timeoutMs = 60000)
{
    return WaitUntil([&] { return Xdotool({"getwindowname", window}) == caption; }, timeoutMs);
}

// Presses key in window, again until its caption reads caption: a key that
// comes while the window has not yet taken the focus back is lost.
bool PressFor(const QString& window, const QString& key, const QString& caption)
{
    return WaitUntil([&] {
        Xdotool({"windowfocus", "--sync", window});
        Xdotool({"key", "--clearmodifiers", key});
        return WaitForCaption(window, caption, 3000);
    });
}

// Opens the viewer's popup menu, takes the command `fromBottom` places up
// from its end (counting only the commands enabled at the moment), and
// waits for the dialog named title it opens. A click or key that comes
// before the window or the menu takes input is lost: the whole is made again.
void PopupCommand(const QString& scene, pid_t viewer, int fromBottom, const QString& title)
{
    const auto windows = [viewer] {
        return Xdotool({"search", "--onlyvisible", "--pid", QString::number(viewer)})
            .value_or(QString())
            .count('\n');
    };
    const auto shown = [&] { return !Visible(title).isEmpty(); };
    QStringList keys{"key"};
    for (int i = 0; i < fromBottom; ++i)
        keys << "Up";
    keys << "Return";
    ASSERT_TRUE(WaitUntil([&] {
        if (shown())
            return true;
        Xdotool({"key", "Escape"}); // a menu left open
        const auto before = windows();
        Xdotool({"mousemove", "--window", scene, "400", "300", "click", "3"});
        if (WaitUntil([&] { return windows() > before; }, 3000))
            Xdotool(keys);
        return WaitUntil(shown, 5000);
    })) << qPrintable(title);
}

// Answers the viewer's message box with key, again until the box has gone:
// a key that comes before the box takes input is lost.
void AnswerBox(const QString& key)
{
    const QString box = Window("^SkyGlide$");
    ASSERT_FALSE(box.isEmpty());
    ASSERT_TRUE(WaitUntil([&] {
        Xdotool({"windowfocus", "--sync", box});
        Xdotool({"key", "--clearmodifiers", key});
        return WaitUntil([&] { return !Visible("^SkyGlide$").contains(box); }, 3000);
    })) << "the box stays";
}

std::string Describe(int status)
{
    return WIFEXITED(status) ? "exit " + std::to_string(WEXITSTATUS(status))
                             : "signal " + std::to_string(WTERMSIG(status)) +
                                   (WCOREDUMP(status) ? " (core dumped)" : "");
}

// ---- the host killed --------------------------------------------------------

class HostKilledDuringStartUp : public testing::TestWithParam<const char*>
{
};

// The host dies while the viewer waits for its answer: the call fails, the
// start-up ends with its message, and no signal takes the viewer.
TEST_P(HostKilledDuringStartUp, TheViewerEndsWithAMessage)
{
    const QString method = GetParam();
    TViewer viewer(TestFolder());
    THostRun host(QStringList{Olinda, "--stall", method} + viewer.HostArguments());
    ASSERT_TRUE(WaitUntil([&] {
        const auto calls = host.Calls();
        return !calls.empty() && calls.back().Method == method && calls.back().Outcome == "stalled";
    }));
    host.Signal(SIGKILL);
    ASSERT_TRUE(host.WaitForExit());
    const std::optional<int> status = viewer.WaitForEnd(5000);
    ASSERT_TRUE(status) << "still running 5 s after its host died";
    EXPECT_EQ(Describe(*status), "exit 1") << "a start-up that failed says so";
    EXPECT_TRUE(viewer.Log().contains("skyglide: the start-up failed: " + method + ": "))
        << qPrintable(viewer.Log());
}

INSTANTIATE_TEST_SUITE_P(Stages, HostKilledDuringStartUp,
                         testing::Values("ConfirmProcess", "ReportProgress"));

// Flying on after the host has gone: said once, within 5 s; the path being
// recorded is still saved when the viewer is asked to shut down, and the run
// then ends at once, asking the dead host nothing.
TEST(ViewerFaults, HostKilledWhileFlying_TheViewerSaysSoAndStillSavesThePath)
{
    const std::filesystem::path folder = TestFolder();
    const QString saved = QString::fromStdString((folder / "kept.csv").string());
    TViewer viewer(folder);
    THostRun host(QStringList{Olinda} + viewer.HostArguments());
    ASSERT_TRUE(host.WaitForBusName(MessageWindow));
    const QString scene = Window("^Sky Glide$");
    ASSERT_TRUE(PressFor(scene, "F8", "Sky Glide - Recording"));

    host.Signal(SIGKILL);
    ASSERT_TRUE(host.WaitForExit());
    EXPECT_TRUE(WaitUntil([&] { return viewer.Log().contains("the host has gone"); }, 5000))
        << qPrintable(viewer.Log());
    ASSERT_NO_FATAL_FAILURE(AnswerBox("Return"));
    // xdotool's output loses the caption's last blank (no file name yet).
    ASSERT_TRUE(PressFor(scene, "Escape", "Sky Glide - Path loaded"));

    EXPECT_EQ(SendWindowMessage("37021 4242 2424"), "(int64 0,)");
    ASSERT_NO_FATAL_FAILURE(AnswerBox("Return")); // Save Path on a file? Yes
    ASSERT_NO_FATAL_FAILURE(ChooseFile("^Save As$", saved));
    const std::optional<int> status = viewer.WaitForEnd(5000);
    ASSERT_TRUE(status) << "still running 5 s after the path was saved";
    EXPECT_EQ(Describe(*status), "exit 0");
    EXPECT_EQ(viewer.Log().count("the host has gone"), 1) << qPrintable(viewer.Log());
    const QStringList lines = QString::fromStdString(ReadBytes(saved.toStdString()))
                                  .split("\r\n", Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.back().count(','), 9) << qPrintable(lines.back());
}

// ---- the host alive but silent, the X server gone --------------------------------

TEST(ViewerFaults, HostThatNoLongerAnswers_TheCallTimesOutAndTheRunEnds)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("SKYGLIDE_HOST_TIMEOUT_MS", "1000");
    THostRun host({Olinda, "--stall", "ReportProgress"}, environment);
    ASSERT_TRUE(host.WaitForExit());
    EXPECT_LT(host.ExitCode(), 128) << "the viewer died of a signal";
    EXPECT_TRUE(host.Stderr().contains("skyglide: the start-up failed: ReportProgress: "))
        << qPrintable(host.Stderr());
    EXPECT_TRUE(host.Stderr().contains("reports error -999"));
}

TEST(ViewerFaults, XServerGoneWhileFlying_TheViewerEndsWithAStatusNotACrash)
{
    QProcess xvfb; // an X server of this test's own, to be killed
    xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    ASSERT_TRUE(WaitUntil([&] { return xvfb.canReadLine(); }, 30000));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", ":" + QString::fromUtf8(xvfb.readLine()).trimmed());
    TViewer viewer(TestFolder());
    THostRun host(QStringList{Olinda} + viewer.HostArguments(), environment);
    ASSERT_TRUE(host.WaitForBusName(MessageWindow));

    xvfb.kill();
    ASSERT_TRUE(host.WaitForExit());
    EXPECT_GT(host.ExitCode(), 0);
    EXPECT_LT(host.ExitCode(), 128) << "the viewer died of a signal";
    EXPECT_TRUE(viewer.Log().contains("X11 connection broke")) << qPrintable(viewer.Log());
}

// ---- the viewer stopped in the middle of a movie -----------------------------------

// The movie takes its name once complete: SIGTERM leaves nothing, not even
// the unfinished recording; SIGKILL leaves that recording under its hidden
// name and still nothing under the movie's.
TEST(ViewerFaults, ViewerStoppedInTheMiddleOfAMovie_NoBrokenMovieUnderItsName)
{
    for (const auto& [signal, left] : {std::pair{SIGTERM, 0}, {SIGKILL, 1}}) {
        SCOPED_TRACE(strsignal(signal));
        const std::filesystem::path folder = TestFolder(std::to_string(signal));
        const QString path = QString::fromStdString((folder / "long.csv").string());
        const QString movie = QString::fromStdString((folder / "long.avi").string());
        WritePath(path.toStdString(), NorthwardFlight(3000));
        TViewer viewer(folder);
        THostRun host(QStringList{Olinda} + viewer.HostArguments());
        ASSERT_TRUE(host.WaitForBusName(MessageWindow));
        const QString scene = Window("^Sky Glide$");
        ASSERT_NO_FATAL_FAILURE(PopupCommand(scene, viewer.Pid(), 4, "^Open$")); // Load Path
        ASSERT_NO_FATAL_FAILURE(ChooseFile("^Open$", path));
        ASSERT_TRUE(WaitForCaption(scene, "Sky Glide - Path loaded " + path));
        ASSERT_NO_FATAL_FAILURE(PopupCommand(scene, viewer.Pid(), 5, "^Save As$")); // as AVI
        ASSERT_NO_FATAL_FAILURE(ChooseFile("^Save As$", movie));
        ASSERT_TRUE(WaitForCaption(scene, "Sky Glide - Save " + path + " to " + movie));

        const QDir dir(QString::fromStdString(folder.string()));
        const auto recordings = [&] {
            return dir.entryInfoList({".long.avi.recording-*"}, QDir::Files | QDir::Hidden);
        };
        ASSERT_TRUE(WaitUntil([&] {
            const auto found = recordings();
            return !found.isEmpty() && found.first().size() > 100000;
        })) << "no frames written";
        ::kill(viewer.Pid(), signal);
        ASSERT_TRUE(host.WaitForExit());
        EXPECT_EQ(host.ExitCode(), 128 + signal);
        EXPECT_FALSE(QFile::exists(movie));
        EXPECT_EQ(recordings().size(), left);
    }
}

} // namespace
} // namespace skyglide::test
