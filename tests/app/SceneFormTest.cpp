// The scene window in this process, on the test's X server: the real
// start-up load against a scripted host, real key events from xdotool, and
// frames read back from the viewer.
#include "ViewerTestSupport.h"

#include "app/SkyGlideApplication.h"
#include "paths/PathFile.h"
#include "render/Camera.h"
#include "render/DummyCube.h"
#include "render/HeightFieldMesh.h"

#include <QAction>
#include <QDesktopServices>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QStatusBar>
#include <QUrl>

#include <cmath>
#include <cstdio>
#include <numbers>

namespace skyglide::test {
namespace {

using C = TSceneCommand;

float Degrees(double radians)
{
    return float(radians * 180.0 / std::numbers::pi);
}

void ExpectNear(const TAffineVector& actual, const TAffineVector& expected, float tolerance)
{
    EXPECT_NEAR(actual.X, expected.X, tolerance);
    EXPECT_NEAR(actual.Y, expected.Y, tolerance);
    EXPECT_NEAR(actual.Z, expected.Z, tolerance);
}

TAffineVector ObserverAt(TSceneFrm& form)
{
    return form.Scene().Observer->Position().AsAffineVector();
}

// ---- start-up -------------------------------------------------------------

struct TStartCase
{
    const char *Name, *Surface, *Detail, *Exaggeration, *Drape, *Palette;
    int Width, Height;
    float Exaggerated, SamplingFactor;
    const char *DrapeFile, *PaletteFile; // in the samples, or "" for none
    int DrapeWidth;
};

class StartPose : public SceneWindow, public testing::WithParamInterface<TStartCase>
{
};

TEST_P(StartPose, ObserverBeyondTheCornerLooksAtTheMiddleTilted2DegreesDown)
{
    const TStartCase& row = GetParam();
    const std::string drape = *row.Drape == '/' ? Sample(row.Drape + 1) : row.Drape;
    ASSERT_NO_FATAL_FAILURE(Start(
        ViewerScript(Sample(row.Surface), row.Detail, "5", drape, row.Palette, row.Exaggeration)));
    EXPECT_EQ(Form->windowTitle(), "Sky Glide");
    EXPECT_EQ(Form->frameGeometry().size(), QSize(835, 600));
    EXPECT_EQ(Form->Velocity(), 100);
    EXPECT_EQ(SceneData().DrapeRaster->FileName(), Sample(row.DrapeFile));
    EXPECT_EQ(SceneData().DrapeRaster->PalletFile(),
              *row.PaletteFile ? Sample(row.PaletteFile) : "");

    TSceneComposition& scene = Form->Scene();
    const float w = float(row.Width), h = float(row.Height), m = std::max(w, h);
    const TAffineVector scale = scene.HeightField1->Scale().AsAffineVector();
    EXPECT_EQ(scale.X, w);
    EXPECT_EQ(scale.Y, h);
    EXPECT_FLOAT_EQ(scale.Z, m * 0.05f * row.Exaggerated);
    EXPECT_FLOAT_EQ(scene.HeightField1->XSamplingScale().Step(), row.SamplingFactor / w);
    EXPECT_FLOAT_EQ(scene.HeightField1->YSamplingScale().Step(), row.SamplingFactor / h);
    ExpectNear(ObserverAt(*Form), {0.4f * w, m * 0.075f, -0.4f * h}, 1e-3f);
    const double turn = std::atan(double(w) / h);
    ExpectNear(scene.Observer->Direction().AsAffineVector(),
               {float(-std::sin(turn)), 0, float(std::cos(turn))}, 1e-5f);
    const TAffineVector view = normalized(scene.CameraTarget->AbsolutePosition().Affine() -
                                          scene.Camera->AbsolutePosition().Affine());
    EXPECT_NEAR(Degrees(std::asin(-view.Y)), 2.0f, 1e-3f) << "tilted down";
    EXPECT_NEAR(Degrees(std::atan2(-view.X, view.Z)), Degrees(turn), 1e-3f) << "at the middle";

    const TTexture& texture = scene.HeightField1->Material().Texture();
    EXPECT_FALSE(texture.Disabled());
    ASSERT_TRUE(texture.Image());
    EXPECT_EQ(texture.Image()->Width(), row.DrapeWidth) << "the drape at the surface's step";
    EXPECT_GT(scene.HeightField1->EmittedTriangles(), 0);
}

// The drape "none" is the surface itself, the palette "none" the greyscale.
INSTANTIATE_TEST_SUITE_P(
    Surfaces, StartPose,
    testing::Values(TStartCase{"trinidadDetail1", "trinidad.rst", "1", "100", "none", "elevation",
                               1200, 600, 1.0f, 20, "trinidad.rst", "palettes/elevation.smp", 1200},
                    TStartCase{"olindaSquare", "olinda.rst", "9", "150", "none", "none", 111, 111,
                               1.5f, 10, "olinda.rst", "palettes/greyscale.smp", 111},
                    TStartCase{"drapeOfItsOwnSizeEmptyPalette", "olinda.rst", "0", "100",
                               "/olinda_drape.rst", "", 111, 111, 1.0f, 10, "olinda_drape.rst", "",
                               349}),
    [](const auto& info) { return info.param.Name; });

TEST_F(SceneWindow, SurfaceWithoutDocumentationShowsAnEmptyScene)
{
    const std::string surface = TmpFile("undocumented.rst").toStdString();
    std::FILE* file = std::fopen(surface.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    ASSERT_NO_FATAL_FAILURE(Start(ViewerScript(surface)));
    EXPECT_FALSE(Form->Scene().HeightField1->Visible());
    ExpectNear(ObserverAt(*Form), {0.4f, 0.075f, -0.4f}, 1e-6f);
    ExpectNear(Form->Scene().Observer->Direction().AsAffineVector(),
               {-std::sqrt(0.5f), 0, std::sqrt(0.5f)}, 1e-6f);
    EXPECT_TRUE(Dialogs.Shown.empty());
}

// ---- keyboard flight --------------------------------------------------------

// The scene window given the focus, with every key poll in which it handled
// keys recorded: the cadencer time and the rows of the key table that acted.
class KeyFlight : public SceneWindow
{
protected:
    struct TPoll
    {
        double DeltaTime;
        std::array<bool, 8> Rows;
    };

    void StartFlying(const std::string& velocity)
    {
        ASSERT_NO_FATAL_FAILURE(Start(ViewerScript(Sample("trinidad.rst"), "1", velocity), true));
        Form->Cadencer1().OnProgress = [this, original = Form->Cadencer1().OnProgress](
                                           TCadencer& sender, double deltaTime, double time) {
            TPoll poll{deltaTime, {}};
            for (std::size_t i = 0; i < NavigationRows.size(); ++i)
                poll.Rows[i] = Form->KeyState().AnyDown(NavigationRows[i]);
            const bool handles = !Form->Closing() && Form->HoldsKeyboardFocus();
            original(sender, deltaTime, time);
            if (handles)
                Polls.push_back(poll);
        };
    }

    // Cadencer time during which the row of action acted.
    double Seconds(TNavigationAction action) const
    {
        double seconds = 0;
        for (const TPoll& poll : Polls)
            for (std::size_t i = 0; i < NavigationRows.size(); ++i)
                seconds += NavigationRows[i].Action == action && poll.Rows[i] ? poll.DeltaTime : 0;
        return seconds;
    }

    std::vector<TPoll> Polls;
};

// Press and release times of one key as the X server stamped them.
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
    quint64 Pressed = 0, Released = 0;

private:
    int m_key;
};

TEST_F(KeyFlight, HeldKeysFlyAtTheirRatesInCadencerTime)
{
    ASSERT_NO_FATAL_FAILURE(StartFlying("5"));
    {
        // Up: Velocity times the cadencer's time, which runs twice as fast as
        // the X server's clock.
        TKeyTimes times(Qt::Key_Up);
        Form->installEventFilter(&times);
        Polls.clear();
        const TAffineVector start = ObserverAt(*Form);
        ASSERT_NO_FATAL_FAILURE(Hold({"Up"}, 1000));
        const float distance = vectorLength(ObserverAt(*Form) - start);
        EXPECT_NEAR(distance, Form->Velocity() * Seconds(TNavigationAction::naForward),
                    1e-3 * distance);
        ASSERT_GT(times.Released, times.Pressed);
        const double held = double(times.Released - times.Pressed) / 1000.0;
        const double expected = Form->Velocity() * 2.0 * held;
        double longestStep = 0;
        for (const auto& poll : Polls)
            longestStep = std::max(longestStep, poll.DeltaTime);
        EXPECT_NEAR(distance, expected, 0.1 * expected + Form->Velocity() * longestStep)
            << "held " << held << " s";
    }
    for (const bool withCtrl : {false, true}) {
        // Shift rises by LiftStep; Ctrl sinks as much, so together they cancel.
        Polls.clear();
        const float y = ObserverAt(*Form).Y;
        ASSERT_NO_FATAL_FAILURE(
            Hold(withCtrl ? QStringList{"shift", "ctrl"} : QStringList{"shift"}, 500));
        const double risen = Form->LiftStep() * Seconds(TNavigationAction::naRise);
        EXPECT_GT(Seconds(withCtrl ? TNavigationAction::naSink : TNavigationAction::naRise), 0.5);
        EXPECT_NEAR(ObserverAt(*Form).Y - y, withCtrl ? 0 : risen,
                    withCtrl ? 1e-2 : 1e-3 * risen + 1e-2)
            << (withCtrl ? "shift and ctrl" : "shift");
    }
    {
        // Page Up orbits the camera up to its clamp, short of straight below.
        Polls.clear();
        ASSERT_NO_FATAL_FAILURE(Hold({"Prior"}, 1500));
        ASSERT_GT(Form->TurnStep() * Seconds(TNavigationAction::naTiltUp), 100.0)
            << "held long enough to pass straight below";
        const TAffineVector offset = Form->Scene().Camera->AbsolutePosition().Affine() -
                                     Form->Scene().CameraTarget->AbsolutePosition().Affine();
        EXPECT_NEAR(std::acos(dotProduct(normalized(offset), {0, 1, 0})), std::numbers::pi - 0.025,
                    2e-3);
    }
}

TEST_F(KeyFlight, LeftThenUpTurnsBeforeMovingInEachPoll)
{
    ASSERT_NO_FATAL_FAILURE(StartFlying("1"));
    TDummyCube start;
    start.Direction().Assign(Form->Scene().Observer->Direction());
    start.Position().Assign(Form->Scene().Observer->Position());
    Polls.clear();
    ASSERT_TRUE(Xdotool({"keydown", "Left"}));
    Settle(300);
    ASSERT_NO_FATAL_FAILURE(Hold({"Up"}, 600));
    ASSERT_TRUE(Xdotool({"keyup", "Left"}));
    Settle(200);

    ASSERT_GT(Seconds(TNavigationAction::naTurnLeft), Seconds(TNavigationAction::naForward));
    // The polls replayed on a rig from the start, turning before moving and
    // the other way round.
    TAffineVector replayed[2];
    for (const bool turnFirst : {true, false}) {
        TDummyCube rig;
        rig.Up().SetAsAffineVector({0, 1, 0});
        rig.Direction().Assign(start.Direction());
        rig.Position().Assign(start.Position());
        for (const auto& poll : Polls)
            for (const bool turning : {turnFirst, !turnFirst}) {
                if (turning && poll.Rows[2])
                    rig.Turn(float(static_cast<long double>(-Form->TurnStep()) * poll.DeltaTime));
                if (!turning && poll.Rows[6])
                    rig.Move(float(static_cast<long double>(Form->Velocity()) * poll.DeltaTime));
            }
        replayed[turnFirst] = rig.Position().AsAffineVector();
    }
    ExpectNear(ObserverAt(*Form), replayed[true], 1e-2f);
    EXPECT_GT(vectorLength(ObserverAt(*Form) - replayed[false]), 0.1f)
        << "moving before turning would end elsewhere";
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
        ASSERT_NO_FATAL_FAILURE(
            Start(ViewerScript(Sample("olinda.rst"), "0", row.VelocityParameter), true));
        for (const auto& [key, velocity] : row.Keys) {
            ASSERT_TRUE(Xdotool({"key", key}));
            EXPECT_TRUE(WaitUntil([&] { return Form->Velocity() == velocity; }, 3000))
                << row.VelocityParameter << " then " << key << ": " << Form->Velocity();
        }
    }
}

// ---- status and view options -------------------------------------------------

QStringList PanelTexts(TSceneFrm& form)
{
    QStringList texts;
    for (int i = 0; i < TSceneFrm::StatusPanelCount; ++i)
        texts << form.StatusPanel(i).text();
    return texts;
}

TEST_F(SceneWindow, StatusPanelsReadTheRasterAtTheObserversCellWhileTheWindowHasTheFocus)
{
    ASSERT_NO_FATAL_FAILURE(Start(ViewerScript(Sample("trinidad.rst"))));
    Form->Action(C::actPosition).trigger();
    EXPECT_TRUE(Form->StatusBar1().isVisible());
    EXPECT_EQ(PanelTexts(*Form),
              (QStringList{"Observer Position:", "", "", "", "", "", " Height:", "", ""}))
        << "empty until keys are handled";

    TRasterFile check;
    check.SetFileName(Sample("trinidad.rst"));
    check.SetStep(2);
    check.LoadSurface("");
    const TImgDoc& doc = check.Doc();
    double value = 0;
    check.GetValue(600, 299, value);
    char text[4][64];
    std::snprintf(text[0], 64, "x: %.6f", 600.4 / 1200 * (doc.MaxX - doc.MinX) + doc.MinX);
    std::snprintf(text[1], 64, "y: %.6f", 300.7 / 600 * (doc.MaxY - doc.MinY) + doc.MinY);
    std::snprintf(text[2], 64, "z: %.2f", value);
    std::snprintf(text[3], 64, "%.2f", 2000.0 / 60.0 * doc.MaxValue);

    ASSERT_NO_FATAL_FAILURE(Focus(*Form));
    for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany)}) {
        QLocale::setDefault(locale);
        Form->Scene().Observer->Position().SetAsAffineVector({-600.4f, 2000, 300.7f});
        Settle(200);
        QStringList expected = {"Observer Position:", "c: 600", "r: 299", text[0], text[1], text[2],
                                " Height:",           text[3],  ""};
        if (locale.language() == QLocale::German)
            for (int i : {3, 4, 5, 7})
                expected[i].replace('.', ',');
        EXPECT_EQ(PanelTexts(*Form), expected) << qPrintable(locale.name());
    }

    // Without the focus nothing moves and the panels stay as they are.
    const QStringList shown = PanelTexts(*Form);
    QWidget other;
    other.resize(200, 200);
    other.show();
    ASSERT_NO_FATAL_FAILURE(Focus(other));
    EXPECT_FALSE(Form->HoldsKeyboardFocus());
    const TAffineVector start = ObserverAt(*Form);
    ASSERT_NO_FATAL_FAILURE(Hold({"Up"}, 500));
    EXPECT_EQ(ObserverAt(*Form), start);
    Form->Scene().Observer->Position().SetX(-100);
    Settle(200);
    EXPECT_EQ(PanelTexts(*Form), shown);
    ASSERT_NO_FATAL_FAILURE(Focus(*Form));
    EXPECT_TRUE(WaitUntil([&] { return Form->StatusPanel(1).text() == "c: 100"; }));

    Form->Action(C::actPosition).trigger();
    EXPECT_TRUE(Form->StatusBar1().isHidden()) << "a second time hides the bar";
}

RGB TopCentre(TSceneFrm& form)
{
    form.SceneViewer1().RenderFrame();
    const TBitmap32 frame = form.SceneViewer1().ReadFrameImage();
    const std::uint8_t* p = frame.ScanLine(frame.Height() - 4) + 4 * (frame.Width() / 2);
    return {p[0], p[1], p[2]};
}

TEST_F(SceneWindow, SkyBackgroundAndSmoothPixelRepaintWithoutRebuildingTheMesh)
{
    ASSERT_NO_FATAL_FAILURE(Start(ViewerScript(Sample("olinda.rst"), "0")));
    EXPECT_EQ(TopCentre(*Form), (RGB{0, 0, 0})) << "the background starts black";
    Form->Action(C::actSky).trigger();
    const RGB sky = TopCentre(*Form);
    EXPECT_GT(sky[2], sky[0] + 20) << "blue above the horizon";
    EXPECT_GT(sky[0], 60);
    Form->Action(C::actSky).trigger();
    EXPECT_EQ(TopCentre(*Form), (RGB{0, 0, 0}));

    const auto nearRed = [](const RGB& c) {
        return std::abs(c[0] - 200) <= 1 && std::abs(c[1] - 30) <= 1 && std::abs(c[2] - 40) <= 1;
    };
    Dialogs.ColorAnswer = QColor(200, 30, 40);
    Form->Action(C::actBackGround).trigger();
    EXPECT_EQ(Dialogs.Shown.back().Kind, "color");
    EXPECT_EQ(Dialogs.Shown.back().Text, "#000000");
    EXPECT_TRUE(nearRed(TopCentre(*Form)));
    Dialogs.ColorAnswer.reset();
    Form->Action(C::actBackGround).trigger();
    EXPECT_EQ(Dialogs.Shown.back().Text, "#c81e28") << "the dialog keeps its colour";
    EXPECT_TRUE(nearRed(TopCentre(*Form))) << "cancelled: unchanged";

    // Smooth Pixel sets the texture's filter without rebuilding the mesh.
    const TTexture& texture = Form->Scene().HeightField1->Material().Texture();
    const TRenderStatistics& statistics = Form->SceneViewer1().Buffer().Statistics();
    for (const TMagFilter filter : {TMagFilter::maLinear, TMagFilter::maNearest}) {
        const TRenderStatistics before = statistics;
        Form->Action(C::actSmooth).trigger();
        EXPECT_EQ(texture.MagFilter(), filter);
        Form->SceneViewer1().RenderFrame();
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
    ASSERT_NO_FATAL_FAILURE(Start(ViewerScript(Sample("olinda.rst"), "0")));
    TUrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    for (const char* file : {"/h/help.html", "/h/Help.HTM", "/h/help.pdf", ""}) {
        Form->Data().HelpFile = file;
        Form->Action(C::actHelp).trigger();
    }
    QDesktopServices::unsetUrlHandler("file");
    EXPECT_EQ(catcher.Opened, (QStringList{"file:///h/help.html#718", "file:///h/Help.HTM#718",
                                           "file:///h/help.pdf"}));
    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_EQ(Dialogs.Shown[0].Text, "The host names no help file.");
}

TEST_F(SceneWindow, PopupMenuAndThePathCommandsEnabledInEachState)
{
    ASSERT_NO_FATAL_FAILURE(Start(ViewerScript(Sample("olinda.rst"), "0")));
    QStringList entries;
    for (QAction* action : Form->PopupMenu1().actions()) {
        QString entry = action->isSeparator() ? "-" : action->text();
        if (action->menu())
            for (QAction* item : action->menu()->actions())
                entry += (item == action->menu()->actions().front() ? ">" : ",") + item->text();
        entries << entry;
    }
    EXPECT_EQ(entries, (QStringList{"View Observer Position", "View Surface Axes", "View Sky",
                                    "Smooth Pixel", "Change Background",
                                    "Change Velocity>Decrease,Restore,Increase", "-", "Record",
                                    "Play", "Pause", "Stop", "Restart", "-", "Load Path",
                                    "Save Path", "-", "Save as AVI...", "-", "Help"}));

    // Record, Play, Pause, Stop, Restart, Load Path, Save Path, Save as AVI...
    const std::pair<TPathState, const char*> enabled[] = {{TPathState::psIdle, "10000100"},
                                                          {TPathState::psRecording, "00010000"},
                                                          {TPathState::psStopped, "11001111"},
                                                          {TPathState::psPlaying, "00111000"},
                                                          {TPathState::psSavingMovie, "00010000"}};
    for (const auto& [state, flags] : enabled) {
        Form->SetPathState(state);
        QString shown;
        for (int i = int(C::actRecord); i <= int(C::actSaveAVI); ++i)
            shown += Form->Action(C(i)).isEnabled() ? '1' : '0';
        EXPECT_EQ(shown, flags) << int(state);
        EXPECT_TRUE(Form->Action(C::actIncrease).isEnabled());
    }
}

// ---- closing -----------------------------------------------------------------

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

    form->show();
    EXPECT_TRUE(form->close());
    ASSERT_EQ(Dialogs.Shown.size(), 2u);
    EXPECT_EQ(Dialogs.Shown[1].Text, "FinishProcess: the host fails");
    EXPECT_EQ(data.SurfaceRaster, nullptr);
    EXPECT_EQ(data.DrapeRaster, nullptr);
    EXPECT_EQ(HostServer(), nullptr);
    EXPECT_TRUE(ApplicationShuttingDown());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(form) << "the window is freed";
}

TEST_F(SceneWindow, CloseOffersToSaveAModifiedPathAndNeverLosesItToAFailedSave)
{
    const QString saved = TmpFile("close-query.csv");
    const QString unwritable = TmpFile("no-such-folder/close-query.csv");
    const std::string line = "0,1.00,2.00,3.00,0.00,0.00,1.00,0.00,0.00,0.00";
    struct TCase
    {
        const char* Name;
        bool Modified, Yes;
        std::optional<QString> File;
        std::vector<std::string> Asked;
        bool Closes, Saved;
    };
    const TCase cases[] = {
        {"unmodified path: no question", false, true, saved, {}, true, false},
        {"No: closes without saving", true, false, saved, {"confirm"}, true, false},
        {"Yes, Cancel: closes without saving", true, true, {}, {"confirm", "save"}, true, false},
        {"Yes, a name: saves, closes", true, true, saved, {"confirm", "save"}, true, true},
        {"Yes, a failed save: stays open",
         true,
         true,
         unwritable,
         {"confirm", "save", "error"},
         false,
         false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        QFile::remove(saved);
        SetApplicationShuttingDown(false);
        SetHostServer(std::make_unique<TScriptedHost>(THostScript{}));
        TSceneData data;
        data.SurfaceRaster = std::make_unique<TRasterFile>();
        data.DrapeRaster = std::make_unique<TRasterFile>();
        QPointer<TSceneFrm> form = new TSceneFrm(data, nullptr);
        if (c.Modified)
            form->PathFile().Add(line);
        form->show();
        Dialogs.Shown.clear();
        Dialogs.ConfirmAnswer = c.Yes;
        Dialogs.FileAnswer = c.File;

        EXPECT_EQ(form->close(), c.Closes);
        std::vector<std::string> asked;
        for (const auto& shown : Dialogs.Shown)
            asked.push_back(shown.Kind);
        EXPECT_EQ(asked, c.Asked);
        if (c.Modified) {
            EXPECT_EQ(Dialogs.Shown[0].Text, "Save Path on a file?");
        }
        QFile file(saved);
        EXPECT_EQ(file.open(QIODevice::ReadOnly), c.Saved);
        if (c.Saved) {
            EXPECT_EQ(file.readAll().toStdString(), line + "\r\n");
        }
        if (!c.Closes) {
            EXPECT_TRUE(form->PathFile().Modified());
            Dialogs.ConfirmAnswer = false;
            EXPECT_TRUE(form->close()) << "a second close, answered No, still closes";
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(form);
    }
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
