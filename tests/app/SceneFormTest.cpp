// The scene window in this process, on the test's X server: the real
// start-up load against a scripted host, real key events from xdotool,
// frames read back from the viewer, flights recorded, played back and saved
// as movies that ffprobe and ffmpeg read back.
#include "SceneWindow.h"

#include "app/FlightPath.h"
#include "app/MovieFrameRenderer.h"
#include "app/SceneData.h"
#include "app/SurfaceReadout.h"
#include "data/RasterFile.h"
#include "render/Camera.h"
#include "render/DummyCube.h"
#include "render/HeightFieldMesh.h"
#include "render/HeightSource.h"
#include "render/SceneViewer.h"
#include "render/SkyDome.h"
#include "render/TerrainLOD.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QProgressDialog>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>

namespace skyglide::test {
namespace {

using C = TSceneCommand;

TAffineVector ObserverAt(TSceneFrm& form)
{
    return form.Scene().Observer->Position().AsAffineVector();
}

// ---- start-up -------------------------------------------------------------

struct TStartCase
{
    const char *Name, *Surface, *Detail, *Drape, *Palette;
    const char *DrapeFile, *PaletteFile; // in the samples, or "" for none
    int DrapeWidth;
};

class StartUp : public SceneWindow, public testing::WithParamInterface<TStartCase>
{
};

// The drape "none" is the surface itself, the palette "none" the greyscale;
// the drape is loaded at the surface's decimation step.
TEST_P(StartUp, ShowsTheSurfaceWithItsDrapeUnderTheCaption)
{
    const TStartCase& row = GetParam();
    const std::string drape = *row.Drape == '/' ? Sample(row.Drape + 1) : row.Drape;
    ASSERT_NO_FATAL_FAILURE(
        Start(ViewerScript(Sample(row.Surface), row.Detail, drape, row.Palette)));
    EXPECT_EQ(Form->windowTitle(), "Sky Glide");
    EXPECT_EQ(Form->frameGeometry().size(), QSize(835, 600));
    EXPECT_EQ(Form->Navigation().Velocity(), 100);
    EXPECT_EQ(Form->Data().DrapeRaster->FileName(), Sample(row.DrapeFile));
    EXPECT_EQ(Form->Data().DrapeRaster->PalletFile(),
              *row.PaletteFile ? Sample(row.PaletteFile) : "");
    const TTexture& texture = Form->Scene().HeightField1->Material().Texture();
    ASSERT_TRUE(texture.Image());
    EXPECT_EQ(texture.Image()->Width(), row.DrapeWidth);
    EXPECT_GT(Form->Scene().HeightField1->EmittedTriangles(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Surfaces, StartUp,
    testing::Values(TStartCase{"trinidadDetail1", "trinidad.rst", "1", "none", "elevation",
                               "trinidad.rst", "palettes/elevation.smp", 1200},
                    TStartCase{"olindaGreyscale", "olinda.rst", "9", "none", "none", "olinda.rst",
                               "palettes/greyscale.smp", 111},
                    TStartCase{"drapeOfItsOwnSizeEmptyPalette", "olinda.rst", "0",
                               "/olinda_drape.rst", "", "olinda_drape.rst", "", 349}),
    [](const auto& info) { return info.param.Name; });

// ---- keyboard flight --------------------------------------------------------

// Up flies Velocity × cadencer time, which runs twice as fast as the X
// server's clock; F5, F6 and F7 change the velocity.
TEST_F(SceneWindow, HeldKeysFlyInCadencerTimeAndFunctionKeysChangeTheVelocity)
{
    ASSERT_NO_FATAL_FAILURE(Start(ViewerScript(Sample("trinidad.rst")), true));
    double polled = 0, longestStep = 0;
    Form->Cadencer1().OnProgress = [&, original = Form->Cadencer1().OnProgress](
                                       TCadencer& sender, double deltaTime, double time) {
        if (Form->Navigation().Keys().IsDown(Qt::Key_Up) && Form->HoldsKeyboardFocus()) {
            polled += deltaTime;
            longestStep = std::max(longestStep, deltaTime);
        }
        original(sender, deltaTime, time);
    };
    TKeyEvents keys(*Form);
    const TAffineVector start = ObserverAt(*Form);
    ASSERT_NO_FATAL_FAILURE(Hold({"Up"}, [&] { return polled > 2.0; }));
    EXPECT_TRUE(Form->Cadencer1().Resting()) << "the window takes no steps once no key is held";
    const double velocity = Form->Navigation().Velocity();
    const float distance = vectorLength(ObserverAt(*Form) - start);
    EXPECT_NEAR(distance, velocity * polled, 1e-3 * distance);
    ASSERT_GT(keys.Released, keys.Pressed);
    const double held = double(keys.Released - keys.Pressed) / 1000.0;
    EXPECT_NEAR(distance, velocity * 2.0 * held, 0.1 * distance + velocity * longestStep)
        << "held " << held << " s";

    for (const auto& [key, expected] :
         {std::pair{"F7", 110}, {"F7", 120}, {"F5", 110}, {"F6", 100}}) {
        ASSERT_TRUE(Xdotool({"key", key}));
        EXPECT_TRUE(WaitUntil([&] { return Form->Navigation().Velocity() == expected; }))
            << key << ": " << Form->Navigation().Velocity();
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

    // The read-out's arithmetic is its own test's; here what the panels show.
    const TPositionReadout r = ReadPosition(*Form->Data().SurfaceRaster, {-600.4f, 2000, 300.7f},
                                            Form->Scene().HeightField1->Scale().AsAffineVector());
    const auto text = [](const char* label, double value, int decimals) {
        return label + QString::number(value, 'f', decimals);
    };

    ASSERT_NO_FATAL_FAILURE(Focus(*Form));
    for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany)}) {
        QLocale::setDefault(locale);
        QStringList expected = {"Observer Position:",
                                "c: 600",
                                "r: 299",
                                text("x: ", r.MapX, 6),
                                text("y: ", r.MapY, 6),
                                text("z: ", r.Value, 2),
                                " Height:",
                                text("", r.Height, 2),
                                ""};
        if (locale.language() == QLocale::German)
            for (int i : {3, 4, 5, 7})
                expected[i].replace('.', ',');
        // The window rests while nothing flies: a move from outside a flight
        // asks for the frame that shows it.
        Form->Scene().Observer->Position().SetAsAffineVector({-600.4f, 2000, 300.7f});
        Form->Cadencer1().RequestFrame();
        EXPECT_TRUE(WaitUntil([&] { return PanelTexts(*Form) == expected; }))
            << qPrintable(locale.name() + ": " + PanelTexts(*Form).join('|'));
    }

    // Without the focus nothing moves and the panels stay as they are.
    const QStringList shown = PanelTexts(*Form);
    QWidget other;
    other.resize(200, 200);
    other.show();
    ASSERT_NO_FATAL_FAILURE(Focus(other));
    EXPECT_FALSE(Form->HoldsKeyboardFocus());
    const TAffineVector start = ObserverAt(*Form);
    Form->Scene().Observer->Position().SetX(-100);
    TKeyEvents keys(other);
    ASSERT_TRUE(Xdotool({"key", "Up"}));
    ASSERT_TRUE(WaitUntil([&] { return keys.Releases > 0; })) << "the key went elsewhere";
    const double released = Form->Cadencer1().LastTime();
    Form->Cadencer1().RequestFrame();
    ASSERT_TRUE(WaitUntil([&] { return Form->Cadencer1().LastTime() > released; }))
        << "the frame asked for was not stepped";
    EXPECT_TRUE(Form->Cadencer1().Resting()) << "a key held elsewhere keeps the window awake";
    EXPECT_EQ(ObserverAt(*Form).Z, start.Z);
    EXPECT_EQ(PanelTexts(*Form), shown);
    ASSERT_NO_FATAL_FAILURE(Focus(*Form));
    Form->Cadencer1().RequestFrame();
    EXPECT_TRUE(WaitUntil([&] { return Form->StatusPanel(1).text() == "c: 100"; }));

    Form->Action(C::actPosition).trigger();
    EXPECT_TRUE(Form->StatusBar1().isHidden()) << "a second time hides the bar";
}

TColour TopCentre(TSceneFrm& form)
{
    form.SceneViewer1().RenderFrame();
    const TBitmap32 frame = form.SceneViewer1().ReadFrameImage();
    return PixelAt(frame, frame.Width() / 2, frame.Height() - 4);
}

// The popup menu is the command table's; the view commands repaint the
// viewer with their setting.
TEST_F(SceneWindow, TheMenuFollowsTheCommandTableAndViewCommandsChangeTheView)
{
    ASSERT_NO_FATAL_FAILURE(Start(ViewerScript(Sample("olinda.rst"), "0")));
    QStringList entries;
    for (QAction* action : Form->PopupMenu1().actions())
        entries << (action->isSeparator() ? "-"
                    : action->menu()
                        ? action->text() + ">" + QString::number(action->menu()->actions().size())
                        : action->text());
    EXPECT_EQ(entries.join('|'),
              "View Observer Position|View Surface Axes|View Sky|Smooth Pixel|Full Detail|"
              "Change Background|Keep Above Ground|Show Frame Rate|"
              "Change Velocity>3|-|Record|Play|Pause|Stop|"
              "Restart|-|Load Path|Save Path|-|Save as AVI...|Render Movie...|Save Picture...|-|"
              "Key Card|Help");

    const TColour black{0, 0, 0};
    EXPECT_TRUE(Near(TopCentre(*Form), black, 0)) << "the background starts black";
    Form->Action(C::actSky).trigger();
    const TColour sky = TopCentre(*Form);
    EXPECT_GT(sky.B, sky.R + 20) << "blue above the horizon";
    EXPECT_GT(sky.R, 60);
    Form->Action(C::actSky).trigger();
    EXPECT_TRUE(Near(TopCentre(*Form), black, 0));

    Dialogs.ColorAnswer = QColor(200, 30, 40);
    Form->Action(C::actBackGround).trigger();
    EXPECT_EQ(Dialogs.Shown.back().Text, "#000000");
    EXPECT_TRUE(Near(TopCentre(*Form), {200, 30, 40}, 1));
    Dialogs.ColorAnswer.reset();
    Form->Action(C::actBackGround).trigger();
    EXPECT_EQ(Dialogs.Shown.back().Text, "#c81e28") << "the dialog keeps its colour";
    EXPECT_TRUE(Near(TopCentre(*Form), {200, 30, 40}, 1)) << "cancelled: unchanged";

    Form->Action(C::actSmooth).trigger();
    EXPECT_EQ(Form->Scene().HeightField1->Material().Texture().MagFilter(), TMagFilter::maLinear);
    Form->Data().HelpFile.clear();
    Form->Action(C::actHelp).trigger();
    EXPECT_EQ(Dialogs.Shown.back().Text, "The host names no help file.");
}

bool SameFrame(const TBitmap32& a, const TBitmap32& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return false;
    for (int row = 0; row < a.Height(); ++row)
        if (std::memcmp(a.ScanLine(row), b.ScanLine(row), std::size_t(a.Width()) * 4) != 0)
            return false;
    return true;
}

bool FullDetailRemembered()
{
    return QSettings("Kartova", "Sky Glide").value("fullDetail", false).toBool();
}

// Full Detail on: every cell of the loaded grid through the level-of-detail
// surface, which follows Smooth Pixel and the axes; remembered for the next
// run. Off again: the mesh's frame exactly as a window that never had it.
TEST_F(SceneWindow, FullDetailShowsEveryCellAndOffGivesBackTheMeshFrameExactly)
{
    ASSERT_NO_FATAL_FAILURE(Start(ViewerScript(Sample("trinidad.rst"))));
    TSceneViewer& viewer = Form->SceneViewer1();
    const auto frame = [&] {
        viewer.RenderFrame();
        return viewer.ReadFrameImage();
    };
    ASSERT_EQ(Form->Scene().FullDetail, nullptr) << "off unless asked for";
    const TBitmap32 mesh = frame();

    Form->Action(C::actFullDetail).trigger();
    TTerrainLOD* lod = Form->Scene().FullDetail;
    ASSERT_NE(lod, nullptr);
    EXPECT_TRUE(FullDetailRemembered());
    EXPECT_FALSE(Form->Scene().HeightField1->Visible());
    EXPECT_EQ(lod->HeightSource()->Columns(), Form->Data().SurfaceRaster->Bitmap().Width());
    TBitmap32 detailed = frame();
    for (int i = 0; i < 200 && !lod->FrameComplete(); ++i) {
        lod->WaitForTiles(5000);
        detailed = frame();
    }
    EXPECT_TRUE(lod->FrameComplete());
    EXPECT_GT(lod->Statistics().Triangles, Form->Scene().HeightField1->EmittedTriangles());
    EXPECT_FALSE(SameFrame(mesh, detailed));
    Form->Action(C::actSmooth).trigger();
    Form->Action(C::actAxes).trigger();
    EXPECT_EQ(lod->Material().Texture().MagFilter(), TMagFilter::maLinear);
    EXPECT_TRUE(lod->ShowAxes());
    Form->Action(C::actSmooth).trigger();
    Form->Action(C::actAxes).trigger();

    Form->Action(C::actFullDetail).trigger();
    EXPECT_EQ(Form->Scene().FullDetail, nullptr);
    EXPECT_FALSE(FullDetailRemembered());
    EXPECT_TRUE(SameFrame(mesh, frame()));
}

// SKYGLIDE_FULL_DETAIL decides for one run and leaves the remembered choice
// alone.
TEST_F(SceneWindow, FullDetailFromTheEnvironmentHoldsForOneRun)
{
    qputenv("SKYGLIDE_FULL_DETAIL", "1");
    Start(ViewerScript(Sample("olinda.rst"), "0"));
    qunsetenv("SKYGLIDE_FULL_DETAIL");
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(Form->Action(C::actFullDetail).isChecked());
    EXPECT_NE(Form->Scene().FullDetail, nullptr);
    EXPECT_FALSE(FullDetailRemembered());
}

// ---- closing -----------------------------------------------------------------

// A scene window made without the start-up load, on an empty surface, with a
// scripted host that fails the given methods once connected.
struct TBareWindow
{
    explicit TBareWindow(QStringList& calls, std::set<std::string> failing = {})
        : Host([&calls] { return std::make_unique<TScriptedHost>(THostScript{}, &calls); })
    {
        EXPECT_TRUE(Host.Connect());
        static_cast<TScriptedHost*>(Host.Server())->Script.Failing = std::move(failing);
        calls.clear();
        Data.SurfaceRaster = std::make_unique<TRasterFile>();
        Data.DrapeRaster = std::make_unique<TRasterFile>();
        Form = new TSceneFrm(Data, Host, nullptr);
    }
    ~TBareWindow() { delete Form; }
    THostLink Host;
    TSceneData Data;
    QPointer<TSceneFrm> Form;
};

// What the user chose stays for the next run; a fresh home starts as the
// host expects, and the host still decides whether the window is maximized.
TEST_F(SceneWindow, TheNextRunStartsWithTheViewOptionsAndPlacementOfTheLast)
{
    const C options[] = {C::actSky, C::actAxes, C::actSmooth, C::actKeepAboveGround,
                         C::actShowFrameRate};
    QRect placement;
    {
        TBareWindow first(Calls);
        for (const C option : options)
            EXPECT_FALSE(first.Form->Action(option).isChecked()) << int(option);
        EXPECT_EQ(first.Form->SceneViewer1().Buffer().BackgroundColor(), (TVector4f{0, 0, 0, 1}));
        first.Form->show();
        ASSERT_TRUE(WaitUntil([&] { return first.Form->isVisible(); }));
        for (const C option : options)
            first.Form->Action(option).trigger();
        Dialogs.ColorAnswer = QColor(0, 51, 102);
        first.Form->Execute(C::actBackGround);
        first.Form->setGeometry(first.Form->geometry().translated(-40, 30).adjusted(0, 0, -100, -50));
        ASSERT_TRUE(WaitUntil([&] { return first.Form->pos() != QPoint(); }));
        placement = first.Form->geometry();
        EXPECT_TRUE(first.Form->close());
    }
    TBareWindow second(Calls);
    for (const C option : options)
        EXPECT_TRUE(second.Form->Action(option).isChecked()) << int(option);
    EXPECT_TRUE(second.Form->Scene().SkyDome1->Visible());
    EXPECT_EQ(second.Form->Scene().HeightField1->Material().Texture().MagFilter(),
              TMagFilter::maLinear);
    EXPECT_EQ(second.Form->SceneViewer1().Buffer().BackgroundColor(),
              (TVector4f{0, 0.2f, 0.4f, 1}));
    second.Form->show();
    EXPECT_TRUE(WaitUntil([&] { return second.Form->geometry() == placement; }))
        << "at " << second.Form->geometry().x() << "," << second.Form->geometry().y();
    EXPECT_TRUE(second.Form->close());

    TBareWindow maximized(Calls);
    maximized.Data.StartMaximized = true;
    delete maximized.Form;
    maximized.Form = new TSceneFrm(maximized.Data, maximized.Host, nullptr);
    EXPECT_TRUE(maximized.Form->windowState() & Qt::WindowMaximized) << "the host's size first";
}

TEST_F(SceneWindow, FailingHostCallsNeitherStopTheCreationNorTheClose)
{
    TBareWindow bare(Calls, {"GetWorkingFolder", "FinishProcess"});
    EXPECT_EQ(Calls, QStringList{"GetWorkingFolder()"}) << "asked once";
    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_EQ(Dialogs.Shown[0].Kind, "error");
    EXPECT_EQ(Dialogs.Shown[0].Text, "GetWorkingFolder: the host fails");

    bare.Form->show();
    EXPECT_TRUE(bare.Form->close());
    ASSERT_EQ(Dialogs.Shown.size(), 2u);
    EXPECT_EQ(Dialogs.Shown[1].Text, "FinishProcess: the host fails");
    EXPECT_EQ(bare.Data.SurfaceRaster, nullptr);
    EXPECT_EQ(bare.Data.DrapeRaster, nullptr);
    EXPECT_EQ(bare.Host.Server(), nullptr);
    EXPECT_TRUE(bare.Host.ShuttingDown());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(bare.Form) << "the window is freed";
}

TEST_F(SceneWindow, CloseOffersToSaveAModifiedPathAndNeverLosesItToAFailedSave)
{
    const QString saved = File("close-query.csv");
    const QString unwritable = File("no-such-folder/close-query.csv");
    const std::string line = "0,1.00,2.00,3.00,0.00,0.00,1.00,0.00,0.00,0.00";
    struct TCase
    {
        const char* Name;
        bool Modified, Yes;
        std::optional<QString> File;
        std::vector<std::string> Asked;
        bool Closes, Saved;
    };
    // clang-format off
    const TCase cases[] = {
        {"unmodified path: no question", false, true, saved, {}, true, false},
        {"No: closes without saving", true, false, saved, {"confirm"}, true, false},
        {"Yes, Cancel: closes without saving", true, true, {}, {"confirm", "save"}, true, false},
        {"Yes, a name: saves, closes", true, true, saved, {"confirm", "save"}, true, true},
        {"Yes, a failed save: stays open", true, true, unwritable, {"confirm", "save", "error"}, false, false},
    };
    // clang-format on
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        QFile::remove(saved);
        TBareWindow bare(Calls);
        if (c.Modified)
            bare.Form->Flight().PathFile().Add(line);
        bare.Form->show();
        Dialogs.Shown.clear();
        Dialogs.ConfirmAnswer = c.Yes;
        Dialogs.FileAnswer = c.File;

        EXPECT_EQ(bare.Form->close(), c.Closes);
        std::vector<std::string> asked;
        for (const auto& shown : Dialogs.Shown)
            asked.push_back(shown.Kind);
        EXPECT_EQ(asked, c.Asked);
        if (c.Modified) {
            EXPECT_EQ(Dialogs.Shown[0].Text, "Save Path on a file?");
        }
        EXPECT_EQ(ReadBytes(saved.toStdString()), c.Saved ? line + "\r\n" : "");
        if (!c.Closes) {
            EXPECT_TRUE(bare.Form->Flight().PathFile().Modified());
            Dialogs.ConfirmAnswer = false;
            EXPECT_TRUE(bare.Form->close()) << "a second close, answered No, still closes";
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(bare.Form);
    }
}

// ---- flights and movies ----------------------------------------------------

using S = TPathState;

// Where the path stands after one path tick.
struct TTick
{
    S State;
    std::int32_t Line;
    std::int32_t Frames;
};

// ---- ffprobe and ffmpeg ---------------------------------------------------------

// Mean colour of rows [top, bottom) of an RGB picture width pixels wide.
TColour MeanColour(const QByteArray& rgb, int width, int top, int bottom)
{
    long long sum[3] = {};
    const auto* p = reinterpret_cast<const std::uint8_t*>(rgb.constData());
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                sum[c] += p[(std::size_t(y) * width + x) * 3 + c];
    const long long n = std::max(1LL, (long long)(bottom - top) * width);
    return {int(sum[0] / n), int(sum[1] / n), int(sum[2] / n)};
}

// Mean difference per colour value between a decoded RGB picture and the
// viewer's read-back (RGBA, bottom row first) of the same size.
double Difference(const QByteArray& rgb, const TBitmap32& frame)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(rgb.constData());
    double sum = 0;
    for (int y = 0; y < frame.Height(); ++y) {
        const std::uint8_t* q = frame.ScanLine(frame.Height() - 1 - y);
        for (int x = 0; x < frame.Width(); ++x)
            for (int c = 0; c < 3; ++c)
                sum += std::abs(int(p[(std::size_t(y) * frame.Width() + x) * 3 + c]) -
                                int(q[x * 4 + c]));
    }
    return sum / (double(frame.Width()) * frame.Height() * 3);
}

// ---- the window -------------------------------------------------------------------

class FlightWindow : public SceneWindow
{
protected:
    // Trinidad at detail 1, the viewer resized to viewer unless it is empty;
    // every path tick logged.
    void StartTrinidad(QSize viewer = {})
    {
        ASSERT_NO_FATAL_FAILURE(Start(ViewerScript(Sample("trinidad.rst"))));
        TFlightController& flight = Form->Flight();
        // Connected after the controller's own handler, so it runs right after it.
        QObject::connect(&flight.Timer2(), &QTimer::timeout, [this, &flight] {
            Ticks.push_back({flight.PathState(), flight.PathFile().CurrentLine(),
                             flight.AVIRecorder1().FrameIndex()});
        });
        if (!viewer.isEmpty()) {
            Form->resize(viewer + Form->size() - Form->SceneViewer1().size());
            ASSERT_TRUE(WaitUntil([&] { return Form->SceneViewer1().size() == viewer; }));
        }
    }

    // The logged ticks that ended in state.
    std::vector<TTick> Applied(S state) const
    {
        std::vector<TTick> applied;
        std::copy_if(Ticks.begin(), Ticks.end(), std::back_inserter(applied),
                     [state](const TTick& tick) { return tick.State == state; });
        return applied;
    }

    // Runs command with its file dialog answered by file.
    void Answer(C command, const QString& file)
    {
        Dialogs.FileAnswer = file;
        Form->Execute(command);
        Dialogs.FileAnswer.reset();
    }

    // Loads a path file of lines, the cursor at its line 1.
    void LoadLines(const QString& name, const std::vector<std::string>& lines)
    {
        WritePath(File(name).toStdString(), lines);
        Answer(C::actLoad, File(name));
    }

    bool WaitForState(S state)
    {
        return WaitUntil([&] { return Form->Flight().PathState() == state; });
    }
    // Waits for count more path ticks.
    bool WaitForTicks(std::size_t count)
    {
        const std::size_t seen = Ticks.size();
        return WaitUntil([&] { return Ticks.size() >= seen + count; });
    }

    static void Key(const char* key) { ASSERT_TRUE(Xdotool({"key", key})); }

    std::vector<std::string> Errors() const
    {
        std::vector<std::string> errors;
        for (const auto& shown : Dialogs.Shown)
            if (shown.Kind == "error")
                errors.push_back(shown.Text);
        return errors;
    }

    std::vector<TTick> Ticks;
};

// ---- recording and playback ---------------------------------------------------

TEST_F(FlightWindow, FlightRecordedFromKeysSavesLoadsAndPlaysBackByKeys)
{
    ASSERT_NO_FATAL_FAILURE(StartTrinidad());
    ASSERT_NO_FATAL_FAILURE(Focus(*Form));
    TFlightController& flight = Form->Flight();
    TPathFile& path = flight.PathFile();
    // F8, a turning climb with the view tilted up, F9 (disabled while
    // recording), F11.
    ASSERT_NO_FATAL_FAILURE(Key("F8"));
    ASSERT_TRUE(WaitForState(S::psRecording));
    ASSERT_NO_FATAL_FAILURE(Hold({"Up", "Left", "shift"}, [&] { return path.Count() >= 12; }));
    ASSERT_NO_FATAL_FAILURE(Hold({"Prior"}, [&] { return path.Count() >= 18; }));
    TKeyEvents keys(*Form);
    ASSERT_NO_FATAL_FAILURE(Key("F9"));
    ASSERT_TRUE(WaitUntil([&] { return keys.Releases > 0; }));
    ASSERT_TRUE(WaitForTicks(2));
    EXPECT_EQ(flight.PathState(), S::psRecording) << "F9 does nothing while recording";
    ASSERT_NO_FATAL_FAILURE(Key("F11"));
    ASSERT_TRUE(WaitForState(S::psStopped));

    // The keys moved the rig while it was recorded.
    EXPECT_NE(path[0], path[path.Count() - 1]);

    // Saved (the dialog starts in the host's folder without a name), loaded,
    // saved again under the name it is preset to; the file's bytes are the
    // path file's own test.
    const QString file = File("recorded.csv");
    Answer(C::actSave, file);
    ASSERT_EQ(Dialogs.Shown.back().Kind, "save");
    EXPECT_EQ(Dialogs.Shown.back().Text, "");
    EXPECT_EQ(QString::fromStdString(Dialogs.Shown.back().Caption), File(""));
    Answer(C::actLoad, file);
    EXPECT_EQ(Form->windowTitle(), "Sky Glide - Path loaded " + file);
    Answer(C::actSave, File("again.csv"));
    EXPECT_EQ(Dialogs.Shown.back().Text, file.toStdString()) << "preset to the path's name";

    // F9 plays on from the line the load put the rig on.
    Ticks.clear();
    ASSERT_NO_FATAL_FAILURE(Key("F9"));
    ASSERT_TRUE(WaitForState(S::psPlaying));
    ASSERT_TRUE(WaitForState(S::psStopped));
    EXPECT_EQ(Applied(S::psPlaying).front().Line, 2);

    // F12 plays from line 1 again, Space pauses.
    Ticks.clear();
    ASSERT_NO_FATAL_FAILURE(Key("F12"));
    ASSERT_TRUE(WaitUntil([&] { return path.CurrentLine() >= 3; }));
    EXPECT_EQ(Applied(S::psPlaying).front().Line, 1);
    ASSERT_NO_FATAL_FAILURE(Key("space"));
    ASSERT_TRUE(WaitForState(S::psStopped));
    EXPECT_EQ(Form->windowTitle(), "Sky Glide - Paused " + File("again.csv"));
    EXPECT_TRUE(Errors().empty());
}

// ---- movies ----------------------------------------------------------------------

TEST_F(FlightWindow, SaveAsAVIWritesOneFramePerRecordPlayedAsTheViewerShowsIt)
{
    const QSize viewer(832, 560);
    ASSERT_NO_FATAL_FAILURE(StartTrinidad(viewer));
    // A movie frame is the view in its own pixels: twice the window's size
    // when the screen's scale factor is 2 (SceneFormAtScaleFactor2).
    const QSize pixels = viewer * int(Form->SceneViewer1().devicePixelRatio());
    Form->Action(C::actSky).trigger();
    // The movie starts after the path's current line, here 289 of 300: the
    // progress bar then stays put for most ticks, so nothing but the movie's
    // own frame renders the pose.
    const std::vector<std::string> path = NorthwardFlight(300, 288);
    const QString movie = File("northward.avi");
    ASSERT_NO_FATAL_FAILURE(LoadLines("northward.csv", path));
    Form->Flight().PathFile().SetCurrentLine(289);

    Answer(C::actSaveAVI, movie);
    EXPECT_EQ(Dialogs.Shown.back().Kind, "save") << "no question for a window not maximized";
    EXPECT_EQ(QString::fromStdString(Dialogs.Shown.back().Caption), File(""));
    EXPECT_EQ(Form->Flight().PathState(), S::psSavingMovie);
    ASSERT_TRUE(WaitForState(S::psStopped));
    EXPECT_EQ(Form->prbProgress().value(), 0);
    const std::vector<TTick> played = Applied(S::psSavingMovie);
    ASSERT_EQ(played.size(), 10u) << "lines 290 to 299";
    for (const TTick& tick : played)
        EXPECT_EQ(tick.Frames, tick.Line - 289) << "a frame right after each line";

    const QJsonObject stream = VideoStream(movie);
    EXPECT_EQ(stream["codec_name"].toString(), "msvideo1");
    EXPECT_EQ(stream["width"].toInt(), pixels.width());
    EXPECT_EQ(stream["height"].toInt(), pixels.height());
    EXPECT_EQ(stream["r_frame_rate"].toString(), "15/1");
    EXPECT_EQ(stream["nb_read_frames"].toString().toInt(), int(played.size()));

    const qsizetype frameBytes = qsizetype(pixels.width()) * pixels.height() * 3;
    const QByteArray frames = DecodeFrames(movie);
    ASSERT_EQ(frames.size(), frameBytes * qsizetype(played.size()));
    const auto viewAt = [&](int line) {
        ApplyRigPose(Form->Scene(), NorthwardPose(line, 288));
        Form->SceneViewer1().RenderFrame();
        return Form->SceneViewer1().ReadFrameImage();
    };
    for (std::size_t i = 0; i < played.size(); ++i) {
        SCOPED_TRACE(played[i].Line);
        const QByteArray frame = frames.mid(qsizetype(i) * frameBytes, frameBytes);
        // Upright: the sky at the top, the terrain at the bottom.
        const TColour top = MeanColour(frame, pixels.width(), 0, pixels.height() / 10);
        const TColour bottom =
            MeanColour(frame, pixels.width(), pixels.height() * 9 / 10, pixels.height());
        EXPECT_GT(top.B, top.R + 25) << "sky blue at the top";
        EXPECT_GT(top.B, 150);
        EXPECT_LT(bottom.B, bottom.R) << "terrain at the bottom";
        // The pose applied just before the frame, not the one before it.
        const double own = Difference(frame, viewAt(played[i].Line));
        const double previous = Difference(frame, viewAt(played[i].Line - 1));
        EXPECT_LT(own * 1.5, previous) << "own " << own << ", previous " << previous;
    }
    EXPECT_TRUE(Errors().empty());
}

// An odd view: Video-1 stores it padded to multiples of 4, and the view's
// last columns (beyond its read-back, 824 wide) and the padding show the
// sky, not a black stripe. A movie keeps the size of its start; the next one
// takes the view's; closing the window mid-movie deletes it, for good.
TEST_F(FlightWindow, MoviesOfAnOddViewKeepTheirSizeWithoutAStripe_ClosingKeepsNone)
{
    ASSERT_NO_FATAL_FAILURE(StartTrinidad({827, 530}));
    Form->Action(C::actSky).trigger();
    TAVIRecorder& recorder = Form->Flight().AVIRecorder1();
    ASSERT_NO_FATAL_FAILURE(LoadLines("long.csv", NorthwardFlight(40)));
    ASSERT_NO_FATAL_FAILURE(Focus(*Form));
    Answer(C::actSaveAVI, File("odd.avi"));
    ASSERT_TRUE(WaitUntil([&] { return recorder.FrameIndex() >= 4; }));
    Form->resize(Form->size() + QSize(100, 60));
    ASSERT_TRUE(WaitUntil([&] { return recorder.FrameIndex() >= 8; }));
    ASSERT_NO_FATAL_FAILURE(Key("Escape"));
    ASSERT_TRUE(WaitForState(S::psStopped));
    const QJsonObject stream = VideoStream(File("odd.avi"));
    EXPECT_EQ(stream["width"].toInt(), 828);
    EXPECT_EQ(stream["height"].toInt(), 532);
    const int frames = recorder.FrameIndex();
    EXPECT_EQ(stream["nb_read_frames"].toString().toInt(), frames);
    const QByteArray decoded = DecodeFrames(File("odd.avi"));
    ASSERT_EQ(decoded.size(), qsizetype(828) * 532 * 3 * frames);
    for (int y = 0; y < 20; ++y)
        for (int x = 820; x < 828; ++x)
            ASSERT_GT(std::uint8_t(decoded[(qsizetype(y) * 828 + x) * 3 + 2]), 150)
                << "blue at " << x << ", " << y;

    Answer(C::actSaveAVI, File("resized.avi"));
    Form->Execute(C::actStop);
    const QJsonObject resized = VideoStream(File("resized.avi"));
    EXPECT_EQ(resized["width"].toInt(), 928);
    EXPECT_EQ(resized["height"].toInt(), 592);

    const QString closing = File("closing.avi");
    Answer(C::actSaveAVI, closing);
    ASSERT_TRUE(WaitUntil([&] { return recorder.FrameIndex() >= 3; }));
    EXPECT_FALSE(QFile::exists(closing)) << "the name waits for the complete movie";
    QPointer<TSceneFrm> form = Form;
    EXPECT_TRUE(Form->close());
    EXPECT_EQ(QDir(File("")).entryList({"*closing.avi*"}, QDir::Files | QDir::Hidden),
              QStringList());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(form) << "the window goes, and its path tick with it";
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(Dialogs.Shown.back().Kind, "save") << "a loaded path asks nothing at the close";
}

// Render Movie... through its dialog: each frame of a movie of the recorded
// poses at the view's size is the view's own frame at that pose, pixel for
// pixel; Cancel in its progress dialog stops within a frame and leaves
// nothing in the folder.
TEST_F(FlightWindow, RenderMovieShowsTheViewersFrames_CancelLeavesNoFile)
{
    const QSize viewer(320, 240);
    ASSERT_NO_FATAL_FAILURE(StartTrinidad(viewer));
    Form->Action(C::actSky).trigger();
    ASSERT_NO_FATAL_FAILURE(LoadLines("northward.csv", NorthwardFlight(40)));

    // Fills the dialog in when it opens and presses Render; onProgress is
    // then called with the progress dialog while the movie renders.
    const auto render = [&](const QString& file, const QString& format, int smoothing,
                            const std::function<void(QProgressDialog&)>& onProgress) {
        QTimer poll;
        poll.setInterval(0);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* dialog = Form->findChild<TRenderMovieDialog*>(); dialog && dialog->isVisible()) {
                dialog->findChild<QLineEdit*>("File")->setText(file);
                auto* formats = dialog->findChild<QComboBox*>("Format");
                formats->setCurrentIndex(formats->findText(format));
                dialog->findChild<QSpinBox*>("Width")->setValue(viewer.width());
                dialog->findChild<QSpinBox*>("Height")->setValue(viewer.height());
                dialog->findChild<QComboBox*>("Smoothing")->setCurrentIndex(smoothing);
                dialog->accept();
            } else if (auto* progress = Form->findChild<QProgressDialog*>("RenderMovieProgress")) {
                onProgress(*progress);
            }
        });
        poll.start();
        Form->Execute(C::actRenderMovie);
    };

    const QString pictures = File("frames");
    render(pictures, "PNG pictures in a new folder", 0, [](QProgressDialog&) {});
    const qsizetype frameBytes = qsizetype(viewer.width()) * viewer.height() * 3;
    const QByteArray frames = DecodeFrames(pictures + "/frame-%06d.png");
    ASSERT_EQ(frames.size(), frameBytes * 40) << "one frame per recorded pose";
    // The poses as the path file holds them, rounded as it rounds them.
    const std::vector<TPose> poses = RecordedPoses(Form->Flight().PathFile());
    for (const int line : {0, 20, 39}) {
        ApplyRigPose(Form->Scene(), poses[std::size_t(line)]);
        Form->SceneViewer1().RenderFrame();
        EXPECT_EQ(Difference(frames.mid(line * frameBytes, frameBytes),
                             Form->SceneViewer1().ReadFrameImage()),
                  0.0)
            << "frame " << line;
    }
    // A frame too large to be drawn whole is drawn in bands of rows (here
    // bands of 50 rows, the last one shorter): the same pixels, no seam.
    TMovieFrameRenderer banded(Form->MovieScene(),
                               TPathResampler(poses, TPathSmoothing::smNone, 30), viewer.width(),
                               viewer.height(), viewer.width() * 50);
    const TRGBFrame band = banded.RenderFrame(20);
    QByteArray rgb;
    for (int y = 0; y < band.Height; ++y)
        for (int x = 0; x < band.Width; ++x)
            rgb.append(reinterpret_cast<const char*>(band.topRow() + y * band.rowStep() + x * 4), 3);
    EXPECT_TRUE(rgb == frames.mid(20 * frameBytes, frameBytes)) << "a frame drawn in bands";

    const QString movie = File("cancelled.mp4");
    int cancelledAt = -1, lastSeen = -1;
    render(movie, "MP4, H.264", 1, [&](QProgressDialog& progress) {
        lastSeen = std::max(lastSeen, progress.value());
        if (cancelledAt < 0 && progress.value() >= 3) {
            cancelledAt = progress.value();
            progress.cancel();
        }
    });
    EXPECT_GE(cancelledAt, 3);
    EXPECT_LE(lastSeen, cancelledAt + 1) << "stopped within a frame";
    EXPECT_EQ(QDir(File("")).entryList(QDir::Files | QDir::Hidden),
              QStringList({"northward.csv"}));
    EXPECT_TRUE(Errors().empty());
}

// A file size limit stands in for a full disk. The application object lets
// the writes that pass it fail (without it SIGXFSZ would end this process):
// the path keeps its old file, the movie is dropped with one frame error and
// one word that it was deleted, and the window goes on.
TEST_F(FlightWindow, AFullDiskFailsTheSavesButNotTheWindow)
{
    ASSERT_NO_FATAL_FAILURE(StartTrinidad());
    ASSERT_NO_FATAL_FAILURE(LoadLines("long.csv", NorthwardFlight(40)));
    const QString kept = File("kept.csv"), movie = File("full.avi");
    WriteBytes(kept.toStdString(), "old\r\n");
    EXPECT_EQ(std::signal(SIGXFSZ, SIG_IGN), SIG_IGN) << "by the application object";
    TFileSizeLimit fileSize;
    fileSize.Limit(1000);
    Answer(C::actSave, kept);
    fileSize.Limit(100000);
    Answer(C::actSaveAVI, movie);
    ASSERT_TRUE(WaitForState(S::psStopped));
    fileSize.Lift();

    EXPECT_EQ(ReadBytes(kept.toStdString()), "old\r\n");
    EXPECT_EQ(Errors(), (std::vector<std::string>{
                            "Cannot write file \"" + kept.toStdString() + "\": File too large",
                            "Add Frame Error",
                            "Cannot finish AVI file \"" + movie.toStdString() +
                                "\": File too large. The unfinished file has been deleted."}));
    EXPECT_EQ(QDir(File("")).entryList({"*.avi*"}, QDir::Files | QDir::Hidden), QStringList());
    Answer(C::actSave, kept);
    EXPECT_EQ(ReadBytes(kept.toStdString()).size(), ReadBytes(File("long.csv").toStdString()).size());
}

} // namespace
} // namespace skyglide::test
