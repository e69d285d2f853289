// The scene window in this process, on the test's X server: the real
// start-up load against a scripted host, real key events from xdotool, and
// frames read back from the viewer.
#include "SceneWindowFixture.h"

#include "app/SceneData.h"
#include "app/SceneLoader.h"
#include "app/SkyGlideApplication.h"
#include "app/SurfaceReadout.h"
#include "host/MsgHandler.h"
#include "paths/PathFile.h"
#include "render/Camera.h"
#include "render/DummyCube.h"
#include "render/HeightFieldMesh.h"
#include "render/SceneViewer.h"
#include "render/SkyDome.h"

#include <QAction>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QStatusBar>
#include <QUrl>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <sstream>

namespace skyglide::test {
namespace {

float Degrees(double radians)
{
    return float(radians * 180.0 / std::numbers::pi);
}

// ---- start-up -------------------------------------------------------------

struct TStartCase
{
    const char* Name;
    const char* Surface;
    const char* Detail;
    const char* Exaggeration;
    int Width, Height;
    float Exaggerated;
    float SamplingFactor;
};

class StartPose : public SceneWindow, public testing::WithParamInterface<TStartCase>
{
};

TEST_P(StartPose, ObserverBeyondTheCornerLooksAtTheMiddleTilted2DegreesDown)
{
    const TStartCase& row = GetParam();
    TSceneFrm* form = Start(
        ViewerScript(Sample(row.Surface), row.Detail, "5", "none", "elevation", row.Exaggeration));
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle(), "Sky Glide");
    EXPECT_EQ(form->frameGeometry().size(), QSize(835, 600));
    EXPECT_TRUE(form->StatusBar1().isHidden());

    TSceneComposition& scene = form->Scene();
    const float w = float(row.Width), h = float(row.Height), m = std::max(w, h);
    const TAffineVector scale = scene.HeightField1->Scale().AsAffineVector();
    EXPECT_EQ(scale.X, w);
    EXPECT_EQ(scale.Y, h);
    EXPECT_FLOAT_EQ(scale.Z, m * 0.05f * row.Exaggerated);
    EXPECT_FLOAT_EQ(scene.HeightField1->XSamplingScale().Step(), row.SamplingFactor / w);
    EXPECT_FLOAT_EQ(scene.HeightField1->YSamplingScale().Step(), row.SamplingFactor / h);
    expectNear(scene.Observer->Position().AsAffineVector(), {0.4f * w, m * 0.075f, -0.4f * h},
               1e-3f);
    const double turn = std::atan(double(w) / h);
    expectNear(scene.Observer->Direction().AsAffineVector(),
               {float(-std::sin(turn)), 0, float(std::cos(turn))}, 1e-5f);

    const TVector4f eye = scene.Camera->AbsolutePosition();
    const TVector4f target = scene.CameraTarget->AbsolutePosition();
    const TAffineVector view = normalized(target.Affine() - eye.Affine());
    EXPECT_NEAR(Degrees(std::asin(-view.Y)), 2.0f, 1e-3f) << "tilted down";
    EXPECT_NEAR(Degrees(std::atan2(-view.X, view.Z)), Degrees(turn), 1e-3f) << "at the middle";

    EXPECT_EQ(form->Velocity(), 100);
    EXPECT_EQ(form->TurnStep(), 50);
    EXPECT_EQ(form->LiftStep(), 80);
    const TTexture& texture = scene.HeightField1->Material().Texture();
    EXPECT_FALSE(texture.Disabled());
    ASSERT_TRUE(texture.Image());
    EXPECT_EQ(texture.Image()->Width(), row.Width) << "the drape at the surface's step";
    EXPECT_GT(scene.HeightField1->EmittedTriangles(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Surfaces, StartPose,
    testing::Values(TStartCase{"trinidadDetail1", "trinidad.rst", "1", "100", 1200, 600, 1.0f, 20},
                    TStartCase{"olindaSquare", "olinda.rst", "9", "150", 111, 111, 1.5f, 10}),
    [](const auto& info) { return info.param.Name; });

struct TLoadCase
{
    const char* Name;
    const char* Drape;
    const char* Palette;
    const char* DrapeFile;   // relative to the samples
    const char* PaletteFile; // relative to the samples, or "" for none
    int DrapeRows;
};

class LoadedData : public SceneWindow, public testing::WithParamInterface<TLoadCase>
{
};

TEST_P(LoadedData, DrapeAndPaletteAndOneProgressReportPerRow)
{
    const TLoadCase& row = GetParam();
    const std::string drape = *row.Drape == '/' ? Sample(row.Drape + 1) : row.Drape;
    ASSERT_NE(Start(ViewerScript(Sample("olinda.rst"), "0", "5", drape, row.Palette)), nullptr);
    const TRasterFile& loaded = *SceneData().DrapeRaster;
    EXPECT_EQ(loaded.FileName(), Sample(row.DrapeFile));
    EXPECT_EQ(loaded.PalletFile(), *row.PaletteFile ? Sample(row.PaletteFile) : "");

    // The drape's rows, then the surface's, each as r / H; then the window's
    // three dialog folders and the end of the progress.
    std::vector<std::string> expected;
    for (int height : {row.DrapeRows, 111})
        for (int r = 0; r < height; ++r) {
            std::ostringstream call;
            call << "ReportProgress(1," << float(double(r) / height) << ")";
            expected.push_back(call.str());
        }
    for (const char* call : {"GetWorkingFolder()", "GetWorkingFolder()", "GetWorkingFolder()",
                             "ReportProgress(1,0)", "ClearProgress(1)"})
        expected.push_back(call);
    const auto first = std::find(Calls.begin(), Calls.end(), expected.front());
    EXPECT_EQ(std::vector<std::string>(first, Calls.end()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Parameters, LoadedData,
    testing::Values(TLoadCase{"noneAndNone", "none", "none", "olinda.rst", "palettes/greyscale.smp",
                              111},
                    TLoadCase{"emptyPaletteStaysEmpty", "none", "", "olinda.rst", "", 111},
                    TLoadCase{"drapeOfItsOwnSize", "/olinda_drape.rst", "elevation",
                              "olinda_drape.rst", "palettes/elevation.smp", 352}),
    [](const auto& info) { return info.param.Name; });

TEST_F(SceneWindow, SurfaceWithoutDocumentationShowsAnEmptyScene)
{
    const std::string surface =
        qEnvironmentVariable("SKYGLIDE_TEST_TMP").toStdString() + "/undocumented.rst";
    std::FILE* file = std::fopen(surface.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    TSceneFrm* form = Start(ViewerScript(surface));
    ASSERT_NE(form, nullptr);
    EXPECT_FALSE(form->Scene().HeightField1->Visible());
    expectNear(form->Scene().Observer->Position().AsAffineVector(), {0.4f, 0.075f, -0.4f}, 1e-6f);
    expectNear(form->Scene().Observer->Direction().AsAffineVector(),
               {-std::sqrt(0.5f), 0, std::sqrt(0.5f)}, 1e-6f);
    EXPECT_TRUE(Dialogs.Shown.empty());
}

// ---- keyboard flight --------------------------------------------------------

// Key press and release times of one key as the X server stamped them.
class TKeyTimes : public QObject
{
public:
    explicit TKeyTimes(int key) : m_key(key) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == m_key && !key->isAutoRepeat())
                (event->type() == QEvent::KeyPress ? Pressed : Released) = key->timestamp();
        }
        return false;
    }
    quint64 Pressed = 0;
    quint64 Released = 0;

private:
    int m_key;
};

TEST_F(SceneWindow, UpMovesTheObserverByVelocityTimesTwoPerSecond)
{
    TSceneFrm* form = Start(ViewerScript(Sample("trinidad.rst")));
    ASSERT_NE(form, nullptr);
    ASSERT_NO_FATAL_FAILURE(Focus(*form));
    TKeyTimes times(Qt::Key_Up);
    form->installEventFilter(&times);
    TPollRecorder polls(*form);
    const TAffineVector start = form->Scene().Observer->Position().AsAffineVector();
    ASSERT_NO_FATAL_FAILURE(Hold({"Up"}, 1000));
    const float distance =
        vectorLength(form->Scene().Observer->Position().AsAffineVector() - start);

    EXPECT_NEAR(distance, form->Velocity() * polls.Seconds(TNavigationAction::naForward),
                1e-3 * distance);
    ASSERT_GT(times.Released, times.Pressed);
    const double held = double(times.Released - times.Pressed) / 1000.0;
    const double expected = form->Velocity() * 2.0 * held;
    EXPECT_NEAR(distance, expected, 0.1 * expected + form->Velocity() * polls.LongestStep())
        << "held " << held << " s";
}

// Replays the turning and moving rows of polls on a rig starting at the
// observer's pose.
TAffineVector Replay(const TSceneFrm& form, const TDummyCube& observer,
                     const std::vector<TPoll>& polls, bool turnFirst)
{
    TDummyCube rig;
    rig.Up().SetAsAffineVector({0, 1, 0});
    rig.Direction().Assign(observer.Direction());
    rig.Position().Assign(observer.Position());
    const auto amount = [](std::int32_t rate, double dt) {
        return float(static_cast<long double>(rate) * dt);
    };
    for (const TPoll& poll : polls) {
        const auto turn = [&] {
            if (poll.Rows[2])
                rig.Turn(amount(-form.TurnStep(), poll.DeltaTime));
        };
        const auto move = [&] {
            if (poll.Rows[6])
                rig.Move(amount(form.Velocity(), poll.DeltaTime));
        };
        turnFirst ? (turn(), move()) : (move(), turn());
    }
    return rig.Position().AsAffineVector();
}

TEST_F(SceneWindow, LeftThenUpTurnsBeforeMovingInEachPoll)
{
    TSceneFrm* form = Start(ViewerScript(Sample("trinidad.rst"), "1", "1"));
    ASSERT_NE(form, nullptr);
    ASSERT_NO_FATAL_FAILURE(Focus(*form));
    TDummyCube start;
    start.Direction().Assign(form->Scene().Observer->Direction());
    start.Position().Assign(form->Scene().Observer->Position());
    TPollRecorder polls(*form);
    ASSERT_TRUE(Xdotool({"keydown", "Left"}));
    Settle(300);
    ASSERT_NO_FATAL_FAILURE(Hold({"Up"}, 600));
    ASSERT_TRUE(Xdotool({"keyup", "Left"}));
    Settle(200);

    const double turned = form->TurnStep() * polls.Seconds(TNavigationAction::naTurnLeft);
    const TAffineVector direction = form->Scene().Observer->Direction().AsAffineVector();
    const TAffineVector before = start.Direction().AsAffineVector();
    EXPECT_NEAR(Degrees(std::atan2(-direction.X, direction.Z)) -
                    Degrees(std::atan2(-before.X, before.Z)),
                -turned, 1e-2);
    const TAffineVector position = form->Scene().Observer->Position().AsAffineVector();
    expectNear(position, Replay(*form, start, polls.Polls, true), 1e-2f);
    EXPECT_GT(vectorLength(position - Replay(*form, start, polls.Polls, false)), 0.1f)
        << "moving before turning would end elsewhere";
}

TEST_F(SceneWindow, PageUpTiltsUntilTheOrbitStops)
{
    TSceneFrm* form = Start(ViewerScript(Sample("trinidad.rst")));
    ASSERT_NE(form, nullptr);
    ASSERT_NO_FATAL_FAILURE(Focus(*form));
    TPollRecorder polls(*form);
    ASSERT_NO_FATAL_FAILURE(Hold({"Prior"}, 1500));
    ASSERT_GT(form->TurnStep() * polls.Seconds(TNavigationAction::naTiltUp), 100.0)
        << "held long enough to pass straight below";
    const TAffineVector offset = form->Scene().Camera->AbsolutePosition().Affine() -
                                 form->Scene().CameraTarget->AbsolutePosition().Affine();
    const double fromUp = std::acos(dotProduct(normalized(offset), {0, 1, 0}));
    EXPECT_NEAR(fromUp, std::numbers::pi - 0.025, 2e-3);
}

TEST_F(SceneWindow, ShiftAndCtrlTogetherCancel_ShiftAloneRises)
{
    TSceneFrm* form = Start(ViewerScript(Sample("trinidad.rst")));
    ASSERT_NE(form, nullptr);
    ASSERT_NO_FATAL_FAILURE(Focus(*form));
    const float y0 = form->Scene().Observer->Position().Y();
    {
        TPollRecorder polls(*form);
        ASSERT_NO_FATAL_FAILURE(Hold({"shift", "ctrl"}, 500));
        EXPECT_GT(polls.Seconds(TNavigationAction::naSink), 0.5);
        EXPECT_NEAR(form->Scene().Observer->Position().Y(), y0, 1e-2f);
    }
    TPollRecorder polls(*form);
    const float y1 = form->Scene().Observer->Position().Y();
    ASSERT_NO_FATAL_FAILURE(Hold({"shift"}, 400));
    const double risen = form->LiftStep() * polls.Seconds(TNavigationAction::naRise);
    EXPECT_GT(risen, 0);
    EXPECT_NEAR(form->Scene().Observer->Position().Y() - y1, risen, 1e-3 * risen + 1e-2);
}

TEST_F(SceneWindow, FunctionKeysChangeTheVelocity)
{
    const struct
    {
        const char* VelocityParameter;
        std::vector<std::pair<const char*, int>> Keys;
    } rows[] = {
        {"1", {{"F5", 10}, {"F7", 20}, {"F7", 30}, {"F6", 20}}}, // Decrease at 20 gives 10
        {"13", {{"F7", 20}, {"F6", 10}, {"F5", 10}}},            // Restore to 4 gives 10
    };
    for (const auto& row : rows) {
        TSceneFrm* form = Start(ViewerScript(Sample("olinda.rst"), "0", row.VelocityParameter));
        ASSERT_NE(form, nullptr);
        ASSERT_NO_FATAL_FAILURE(Focus(*form));
        for (const auto& [key, velocity] : row.Keys) {
            ASSERT_TRUE(Xdotool({"key", key}));
            EXPECT_TRUE(WaitUntil([&] { return form->Velocity() == velocity; }, 3000))
                << row.VelocityParameter << " then " << key << ": " << form->Velocity();
        }
    }
}

QStringList PanelTexts(TSceneFrm& form)
{
    QStringList texts;
    for (int i = 0; i < TSceneFrm::StatusPanelCount; ++i)
        texts << form.StatusPanel(i).text();
    return texts;
}

TEST_F(SceneWindow, NothingMovesOrReadsOutWhileAnotherWindowHasTheFocus)
{
    TSceneFrm* form = Start(ViewerScript(Sample("trinidad.rst")));
    ASSERT_NE(form, nullptr);
    form->Action(TSceneCommand::actPosition).trigger();
    ASSERT_NO_FATAL_FAILURE(Focus(*form));
    Settle(200);
    const QStringList shown = PanelTexts(*form);
    EXPECT_EQ(shown[1], "c: -480");

    QWidget other;
    other.resize(200, 200);
    other.show();
    ASSERT_NO_FATAL_FAILURE(Focus(other));
    EXPECT_FALSE(form->HoldsKeyboardFocus());
    TDummyCube& observer = *form->Scene().Observer;
    const TAffineVector start = observer.Position().AsAffineVector();
    ASSERT_NO_FATAL_FAILURE(Hold({"Up"}, 500));
    EXPECT_EQ(observer.Position().AsAffineVector(), start);
    observer.Position().SetX(-100);
    Settle(200);
    EXPECT_EQ(PanelTexts(*form), shown) << "the panels are not refreshed";

    ASSERT_NO_FATAL_FAILURE(Focus(*form));
    EXPECT_TRUE(WaitUntil([&] { return form->StatusPanel(1).text() == "c: 100"; }));
}

// ---- view options and status -------------------------------------------------

TEST_F(SceneWindow, StatusPanelsReadTheRasterAtTheObserversCell)
{
    TSceneFrm* form = Start(ViewerScript(Sample("trinidad.rst")));
    ASSERT_NE(form, nullptr);
    form->Action(TSceneCommand::actPosition).trigger();
    EXPECT_TRUE(form->StatusBar1().isVisible());
    EXPECT_EQ(PanelTexts(*form),
              (QStringList{"Observer Position:", "", "", "", "", "", " Height:", "", ""}))
        << "empty until keys are handled";
    const int widths[] = {130, 80, 80, 130, 130, 80, 70, 100, 10};
    for (int i = 0; i < TSceneFrm::StatusPanelCount; ++i) {
        EXPECT_EQ(form->StatusPanel(i).width(), widths[i]);
        const bool lowered = i != 0 && i != 6 && i != 8;
        EXPECT_EQ(form->StatusPanel(i).frameShadow() == QFrame::Sunken, lowered) << i;
    }

    TRasterFile check;
    check.SetFileName(Sample("trinidad.rst"));
    check.SetStep(2);
    check.LoadSurface("");
    const TImgDoc& doc = check.Doc();
    double value = 0;
    check.GetValue(600, 299, value);
    const double mapX = 600.4 / 1200 * (doc.MaxX - doc.MinX) + doc.MinX;
    const double mapY = 300.7 / 600 * (doc.MaxY - doc.MinY) + doc.MinY;
    const double height = 2000.0 / 60.0 * doc.MaxValue;
    char text[4][64];
    std::snprintf(text[0], 64, "x: %.6f", mapX);
    std::snprintf(text[1], 64, "y: %.6f", mapY);
    std::snprintf(text[2], 64, "z: %.2f", value);
    std::snprintf(text[3], 64, "%.2f", height);

    ASSERT_NO_FATAL_FAILURE(Focus(*form));
    for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany)}) {
        QLocale::setDefault(locale);
        form->Scene().Observer->Position().SetAsAffineVector({-600.4f, 2000, 300.7f});
        Settle(200);
        QStringList expected = {"Observer Position:", "c: 600", "r: 299", text[0], text[1], text[2],
                                " Height:",           text[3],  ""};
        if (locale.language() == QLocale::German)
            for (int i : {3, 4, 5, 7})
                expected[i].replace('.', ',');
        EXPECT_EQ(PanelTexts(*form), expected) << qPrintable(locale.name());
    }

    form->Action(TSceneCommand::actPosition).trigger();
    EXPECT_TRUE(form->StatusBar1().isHidden()) << "a second time hides the bar";
}

RGB TopCentre(TSceneFrm& form)
{
    form.SceneViewer1().RenderFrame();
    const TBitmap32 frame = form.SceneViewer1().ReadFrameImage();
    const std::uint8_t* p = frame.ScanLine(frame.Height() - 4) + 4 * (frame.Width() / 2);
    return {p[0], p[1], p[2]};
}

TEST_F(SceneWindow, SkyAndBackgroundFillTheViewAboveTheHorizon)
{
    TSceneFrm* form = Start(ViewerScript(Sample("olinda.rst"), "0"));
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(TopCentre(*form), (RGB{0, 0, 0})) << "the background starts black";
    form->Action(TSceneCommand::actSky).trigger();
    const RGB sky = TopCentre(*form);
    EXPECT_GT(sky[2], sky[0] + 20) << "blue above the horizon";
    EXPECT_GT(sky[0], 60);
    form->Action(TSceneCommand::actSky).trigger();
    EXPECT_EQ(TopCentre(*form), (RGB{0, 0, 0}));

    Dialogs.ColorAnswer = QColor(200, 30, 40);
    form->Action(TSceneCommand::actBackGround).trigger();
    EXPECT_EQ(Dialogs.Shown.back().Kind, "color");
    EXPECT_EQ(Dialogs.Shown.back().Text, "#000000");
    EXPECT_TRUE(near(TopCentre(*form), {200, 30, 40}, 1));
    Dialogs.ColorAnswer.reset();
    form->Action(TSceneCommand::actBackGround).trigger();
    EXPECT_EQ(Dialogs.Shown.back().Text, "#c81e28") << "the dialog keeps its colour";
    EXPECT_TRUE(near(TopCentre(*form), {200, 30, 40}, 1)) << "cancelled: unchanged";
}

TEST_F(SceneWindow, SmoothPixelSetsTheFilterWithoutRebuildingTheMesh)
{
    TSceneFrm* form = Start(ViewerScript(Sample("olinda.rst"), "0"));
    ASSERT_NE(form, nullptr);
    const TTexture& texture = form->Scene().HeightField1->Material().Texture();
    const TRenderStatistics& statistics = form->SceneViewer1().Buffer().Statistics();
    for (const TMagFilter filter : {TMagFilter::maLinear, TMagFilter::maNearest}) {
        form->SceneViewer1().RenderFrame();
        const TRenderStatistics before = statistics;
        form->Action(TSceneCommand::actSmooth).trigger();
        EXPECT_EQ(texture.MagFilter(), filter);
        form->SceneViewer1().RenderFrame();
        EXPECT_EQ(statistics.ListsCompiled, before.ListsCompiled);
        EXPECT_EQ(statistics.TexturesUploaded, before.TexturesUploaded);
        EXPECT_EQ(statistics.TextureParameterSets, before.TextureParameterSets + 1);
    }
}

class TUrlCatcher : public QObject
{
    Q_OBJECT
public slots:
    void open(const QUrl& url) { Opened << url.toString(); }

public:
    QStringList Opened;
};

TEST_F(SceneWindow, HelpOpensTheHostsHelpFileAtContext718)
{
    TSceneFrm* form = Start(ViewerScript(Sample("olinda.rst"), "0"));
    ASSERT_NE(form, nullptr);
    TUrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    for (const char* file : {"/h/help.html", "/h/Help.HTM", "/h/help.pdf", ""}) {
        form->Data().HelpFile = file;
        form->Action(TSceneCommand::actHelp).trigger();
    }
    QDesktopServices::unsetUrlHandler("file");
    EXPECT_EQ(catcher.Opened, (QStringList{"file:///h/help.html#718", "file:///h/Help.HTM#718",
                                           "file:///h/help.pdf"}));
    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_EQ(Dialogs.Shown[0].Text, "The host names no help file.");
}

TEST_F(SceneWindow, CommandsPopupMenuAndEnabledStates)
{
    TSceneFrm* form = Start(ViewerScript(Sample("olinda.rst"), "0"));
    ASSERT_NE(form, nullptr);
    QStringList entries;
    for (QAction* action : form->PopupMenu1().actions()) {
        if (action->isSeparator()) {
            entries << "-";
        } else if (action->menu()) {
            QStringList items;
            for (QAction* item : action->menu()->actions())
                items << item->text();
            entries << action->text() + ">" + items.join(',');
        } else {
            entries << action->text();
        }
    }
    EXPECT_EQ(entries, (QStringList{"View Observer Position", "View Surface Axes", "View Sky",
                                    "Smooth Pixel", "Change Background",
                                    "Change Velocity>Decrease,Restore,Increase", "-", "Record",
                                    "Play", "Pause", "Stop", "Restart", "-", "Load Path",
                                    "Save Path", "-", "Save as AVI...", "-", "Help"}));

    // Two shortcuts each, acting on the window; toggles only in the Show category.
    EXPECT_EQ(QKeySequence::listToString(form->Action(TSceneCommand::actPause).shortcuts()),
              "F10; Space");
    EXPECT_EQ(QKeySequence::listToString(form->Action(TSceneCommand::actStop).shortcuts()),
              "F11; Esc");
    EXPECT_EQ(form->Action(TSceneCommand::actStop).shortcutContext(), Qt::WindowShortcut);
    for (const TSceneCommandInfo& info : SceneCommands)
        EXPECT_EQ(form->Action(info.Command).isCheckable(),
                  form->Action(info.Command).property("category") == "Show" &&
                      info.Command != TSceneCommand::actBackGround)
            << info.Name;

    // Record, Play, Pause, Stop, Restart, Load Path, Save Path, Save as AVI...
    const std::pair<TPathState, const char*> enabled[] = {{TPathState::psIdle, "10000100"},
                                                          {TPathState::psRecording, "00010000"},
                                                          {TPathState::psStopped, "11001111"},
                                                          {TPathState::psPlaying, "00111000"},
                                                          {TPathState::psSavingMovie, "00010000"}};
    for (const auto& [state, flags] : enabled) {
        form->SetPathState(state);
        QString shown;
        for (int i = int(TSceneCommand::actRecord); i <= int(TSceneCommand::actSaveAVI); ++i)
            shown += form->Action(TSceneCommand(i)).isEnabled() ? '1' : '0';
        EXPECT_EQ(shown, flags) << int(state);
        EXPECT_TRUE(form->Action(TSceneCommand::actIncrease).isEnabled());
    }
}

// ---- closing -----------------------------------------------------------------

TEST_F(SceneWindow, ShutdownRequestClosesTheWindowAndEndsTheRun)
{
    QPointer<TSceneFrm> form = Start(ViewerScript(Sample("olinda.rst"), "0"));
    ASSERT_TRUE(form);
    m_window->SendMessage(Tmsghndlr::ShutdownMessage, Tmsghndlr::ShutdownWParam,
                          Tmsghndlr::ShutdownLParam);
    EXPECT_TRUE(WaitUntil([] { return ApplicationShuttingDown(); }));
    EXPECT_EQ(Calls.back(), "FinishProcess(1)");
    EXPECT_EQ(HostServer(), nullptr);
    EXPECT_EQ(SceneData().SurfaceRaster, nullptr);
    EXPECT_EQ(SceneData().DrapeRaster, nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(form) << "the window is freed";
}

TEST_F(SceneWindow, FailingHostCallsNeitherStopTheCreationNorTheClose)
{
    THostScript script;
    script.Failing = {"GetWorkingFolder", "FinishProcess"};
    auto host = std::make_unique<TScriptedHost>(script);
    host->Calls = &Calls;
    SetHostServer(std::move(host));
    TSceneData data;
    data.SurfaceRaster = std::make_unique<TRasterFile>();
    data.DrapeRaster = std::make_unique<TRasterFile>();
    QPointer<TSceneFrm> form = new TSceneFrm(data, nullptr);
    EXPECT_EQ(Calls, std::vector<std::string>{"GetWorkingFolder()"}) << "asked once";
    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_EQ(Dialogs.Shown[0].Kind, "error");
    EXPECT_EQ(Dialogs.Shown[0].Text, "GetWorkingFolder: the host fails");
    EXPECT_EQ(form->PathFile().Count(), 0);
    EXPECT_EQ(form->PathState(), TPathState::psIdle);

    form->show();
    EXPECT_TRUE(form->close());
    ASSERT_EQ(Dialogs.Shown.size(), 2u);
    EXPECT_EQ(Dialogs.Shown[1].Text, "FinishProcess: the host fails");
    EXPECT_EQ(data.SurfaceRaster, nullptr);
    EXPECT_EQ(data.DrapeRaster, nullptr);
    EXPECT_EQ(HostServer(), nullptr);
    EXPECT_TRUE(ApplicationShuttingDown());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(form);
}

} // namespace
} // namespace skyglide::test

int main(int argc, char** argv)
{
    skyglide::TSceneViewer::SetDefaultSurfaceFormat();
    skyglide::TSkyGlideApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "SceneFormTest.moc"
