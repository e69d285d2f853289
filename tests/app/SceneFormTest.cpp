// The scene window in this process, on the test's X server: the real
// start-up load against a scripted host, real key events from xdotool, and
// frames read back from the viewer.
#include "SceneWindow.h"

#include "app/SceneData.h"
#include "data/RasterFile.h"
#include "render/Camera.h"
#include "render/DummyCube.h"
#include "render/HeightFieldMesh.h"
#include "render/SceneViewer.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPointer>
#include <QStatusBar>
#include <QUrl>

#include <algorithm>
#include <cstdio>
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
    bool Coloured;
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
        Start(ViewerScript(Sample(row.Surface), row.Detail, "5", drape, row.Palette)));
    EXPECT_EQ(Form->windowTitle(), "Sky Glide");
    EXPECT_EQ(Form->frameGeometry().size(), QSize(835, 600));
    EXPECT_EQ(Form->Navigation().Velocity(), 100);
    EXPECT_EQ(Form->Data().DrapeRaster->FileName(), Sample(row.DrapeFile));
    EXPECT_EQ(Form->Data().DrapeRaster->PalletFile(),
              *row.PaletteFile ? Sample(row.PaletteFile) : "");
    const TTexture& texture = Form->Scene().HeightField1->Material().Texture();
    ASSERT_TRUE(texture.Image());
    EXPECT_EQ(texture.Image()->Width(), row.DrapeWidth);
    // The surface under the black background, in the drape's colours, or
    // in greys.
    Form->SceneViewer1().RenderFrame();
    const TBitmap32 frame = Form->SceneViewer1().ReadFrameImage();
    EXPECT_TRUE(Near(PixelAt(frame, frame.Width() / 2, frame.Height() - 1), {0, 0, 0}, 0));
    int coloured = 0;
    for (int row = 0; row < frame.Height(); row += 4)
        for (int x = 0; x < frame.Width(); x += 4) {
            const TColour p = PixelAt(frame, x, row);
            coloured += std::max({p.R, p.G, p.B}) - std::min({p.R, p.G, p.B}) > 20;
        }
    EXPECT_EQ(coloured > frame.Width() * frame.Height() / 16 / 50, row.Coloured) << coloured;
}

INSTANTIATE_TEST_SUITE_P(
    Surfaces, StartUp,
    testing::Values(TStartCase{"trinidadDetail1", "trinidad.rst", "1", "none", "elevation",
                               "trinidad.rst", "palettes/elevation.smp", 1200, true},
                    TStartCase{"olindaGreyscale", "olinda.rst", "9", "none", "none", "olinda.rst",
                               "palettes/greyscale.smp", 111, false},
                    TStartCase{"drapeOfItsOwnSizeEmptyPalette", "olinda.rst", "0",
                               "/olinda_drape.rst", "", "olinda_drape.rst", "", 349, true}),
    [](const auto& info) { return info.param.Name; });

TEST_F(SceneWindow, SurfaceWithoutDocumentationShowsAnEmptyScene)
{
    const std::string surface = (Folder / "undocumented.rst").string();
    WriteBytes(surface, "");
    ASSERT_NO_FATAL_FAILURE(Start(ViewerScript(surface)));
    EXPECT_FALSE(Form->Scene().HeightField1->Visible());
    EXPECT_TRUE(Dialogs.Shown.empty());
}

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
        QStringList expected = {"Observer Position:", "c: 600", "r: 299", text[0], text[1], text[2],
                                " Height:",           text[3],  ""};
        if (locale.language() == QLocale::German)
            for (int i : {3, 4, 5, 7})
                expected[i].replace('.', ',');
        Form->Scene().Observer->Position().SetAsAffineVector({-600.4f, 2000, 300.7f});
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
    ASSERT_TRUE(WaitUntil([&] { return Form->Cadencer1().LastTime() > released + 0.2; }))
        << "the cadencer polls on";
    EXPECT_EQ(ObserverAt(*Form).Z, start.Z);
    EXPECT_EQ(PanelTexts(*Form), shown);
    ASSERT_NO_FATAL_FAILURE(Focus(*Form));
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

TEST_F(SceneWindow, SkyBackgroundAndSmoothPixelChangeTheView)
{
    ASSERT_NO_FATAL_FAILURE(Start(ViewerScript(Sample("olinda.rst"), "0")));
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
    EXPECT_EQ(Dialogs.Shown.back().Kind, "color");
    EXPECT_EQ(Dialogs.Shown.back().Text, "#000000");
    EXPECT_TRUE(Near(TopCentre(*Form), {200, 30, 40}, 1));
    Dialogs.ColorAnswer.reset();
    Form->Action(C::actBackGround).trigger();
    EXPECT_EQ(Dialogs.Shown.back().Text, "#c81e28") << "the dialog keeps its colour";
    EXPECT_TRUE(Near(TopCentre(*Form), {200, 30, 40}, 1)) << "cancelled: unchanged";

    Form->Action(C::actSmooth).trigger();
    EXPECT_EQ(Form->Scene().HeightField1->Material().Texture().MagFilter(), TMagFilter::maLinear);
}

class TUrlCatcher : public QObject
{
    Q_OBJECT
public slots:
    void open(const QUrl& url) { Opened << url.toString(); }

public:
    QStringList Opened;
};

TEST_F(SceneWindow, MenuHelpAndThePathCommandsFollowTheCommandTable)
{
    ASSERT_NO_FATAL_FAILURE(Start(ViewerScript(Sample("olinda.rst"), "0")));
    QStringList entries;
    for (QAction* action : Form->PopupMenu1().actions())
        entries << (action->isSeparator() ? "-"
                    : action->menu()      ? action->text() + ">" +
                                           QString::number(action->menu()->actions().size())
                                          : action->text());
    EXPECT_EQ(entries.join('|'), "View Observer Position|View Surface Axes|View Sky|Smooth Pixel|"
                                 "Change Background|Change Velocity>3|-|Record|Play|Pause|Stop|"
                                 "Restart|-|Load Path|Save Path|-|Save as AVI...|-|Help");
    Form->Flight().SetPathState(TPathState::psPlaying);
    EXPECT_TRUE(Form->Action(C::actPause).isEnabled());
    EXPECT_FALSE(Form->Action(C::actRecord).isEnabled());
    Form->Flight().SetPathState(TPathState::psIdle);

    TUrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    for (const char* file : {"/h/help.html", ""}) {
        Form->Data().HelpFile = file;
        Form->Action(C::actHelp).trigger();
    }
    QDesktopServices::unsetUrlHandler("file");
    EXPECT_EQ(catcher.Opened, QStringList{"file:///h/help.html#718"});
    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_EQ(Dialogs.Shown[0].Text, "The host names no help file.");
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

} // namespace
} // namespace skyglide::test

#include "SceneFormTest.moc"
