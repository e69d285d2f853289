// The scene window's mouse flight, its ground clearance, its pictures, its
// frame rate and key card, on the test's X server with real pointer and key
// events from xdotool.
#include "SceneWindow.h"

#include "app/SurfaceReadout.h"
#include "data/RasterFile.h"
#include "paths/PathFile.h"
#include "render/Camera.h"
#include "render/DummyCube.h"
#include "render/HeightFieldMesh.h"
#include "render/Bitmap32.h"
#include "render/SceneViewer.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>

#include <cmath>
#include <numbers>

namespace skyglide::test {
namespace {

using C = TSceneCommand;

constexpr double Degrees = 180 / std::numbers::pi;

// The observer's heading in degrees (0 along +Z, growing to the right).
double Heading(TSceneFrm& form)
{
    const TAffineVector d = form.Scene().Observer->Direction().AsAffineVector();
    return std::atan2(-d.X, d.Z) * Degrees;
}

// The camera's angle from the vertical above its target, in degrees: 90 is
// level, more looks up.
double Pitch(TSceneFrm& form)
{
    const TAffineVector camera = form.Scene().Camera->Position().AsAffineVector();
    const TAffineVector target = form.Scene().CameraTarget->Position().AsAffineVector();
    const TAffineVector offset = camera - target;
    return std::acos(std::clamp(double(offset.Y / vectorLength(offset)), -1.0, 1.0)) * Degrees;
}

class ViewingWindow : public SceneWindow
{
protected:
    void StartTrinidad()
    {
        ASSERT_NO_FATAL_FAILURE(Start(ViewerScript(Sample("trinidad.rst")), true));
        Viewer = Form->SceneViewer1().winId();
        // The cadencer time in which the drag was at full deflection and
        // in which keys were held, counted from the steps themselves: the
        // moves are scaled by it.
        Form->Cadencer1().OnProgress = [this, original = Form->Cadencer1().OnProgress](
                                           TCadencer& sender, double deltaTime, double time) {
            const TNavigation& navigation = Form->Navigation();
            const TMouseFlight& mouse = navigation.Mouse();
            if (mouse.Active() && (std::abs(mouse.Across()) == 1 || std::abs(mouse.Upwards()) == 1))
                DragTime += deltaTime;
            if (!navigation.Keys().Empty() && Form->HoldsKeyboardFocus())
                KeyTime += deltaTime;
            original(sender, deltaTime, time);
            if (EachStep)
                EachStep();
        };
    }

    void Pointer(const QStringList& arguments)
    {
        ASSERT_TRUE(Xdotool(arguments)) << arguments.join(' ').toStdString();
    }
    void MoveTo(int x, int y)
    {
        Pointer({"mousemove", "--sync", "--window", QString::number(Viewer), QString::number(x),
                 QString::number(y)});
    }

    // Drags with button from (200, 200) by (dx, dy) and holds there until
    // seconds of cadencer time have passed at full deflection, holding keys
    // for a while in between; returns once the button and the keys are up.
    void Drag(int button, int dx, int dy, double seconds, const QStringList& keys = {})
    {
        const TMouseFlight& mouse = Form->Navigation().Mouse();
        MoveTo(200, 200);
        Pointer({"mousedown", QString::number(button)});
        ASSERT_TRUE(WaitUntil([&] { return mouse.Active(); }));
        DragTime = KeyTime = 0;
        MoveTo(200 + dx, 200 + dy);
        if (!keys.isEmpty()) {
            ASSERT_NO_FATAL_FAILURE(Hold(keys, [&] { return KeyTime >= seconds / 2; }));
        }
        EXPECT_TRUE(WaitUntil([&] { return DragTime >= seconds; }));
        Pointer({"mouseup", QString::number(button)});
        ASSERT_TRUE(WaitUntil([&] { return !mouse.Active(); }));
    }

    WId Viewer = 0;
    double DragTime = 0, KeyTime = 0;
    std::function<void()> EachStep;
};

constexpr int Full = TMouseFlight::FullDeflection + 20;

// ---- mouse flight --------------------------------------------------------------

// Each move is the keys' rate times the cadencer time the drag was held at
// full deflection; the pointer's event rate plays no part. The wheel steps
// the velocity (its steps are the navigation's test) and shows it; the right
// button opens the menu instead of flying.
TEST_F(ViewingWindow, DragsFlyAtTheKeysRatesWithTheKeys_TheWheelStepsTheVelocity_RightOpensTheMenu)
{
    ASSERT_NO_FATAL_FAILURE(StartTrinidad());
    const TNavigationRates rates = Form->Navigation().Rates();
    ASSERT_EQ(rates.TurnStep, 50);
    // A step may fall between the pointer's report and the count.
    const double slack = 0.03;

    double heading = Heading(*Form);
    ASSERT_NO_FATAL_FAILURE(Drag(1, Full, 0, 0.6));
    EXPECT_NEAR(std::remainder(Heading(*Form) - heading, 360.0), rates.TurnStep * DragTime, rates.TurnStep * slack)
        << "dragged right for " << DragTime;

    heading = Heading(*Form);
    ASSERT_NO_FATAL_FAILURE(Drag(1, Full, 0, 0.6, {"Right"}));
    EXPECT_GT(KeyTime, 0.3);
    EXPECT_NEAR(std::remainder(Heading(*Form) - heading, 360.0), rates.TurnStep * (DragTime + KeyTime),
                2 * rates.TurnStep * slack)
        << "the Right key held " << KeyTime << " within a drag of " << DragTime;

    const double pitch = Pitch(*Form);
    ASSERT_NO_FATAL_FAILURE(Drag(1, 0, -Full, 0.4));
    EXPECT_NEAR(Pitch(*Form) - pitch, rates.TurnStep * DragTime, rates.TurnStep * slack)
        << "dragged up: the view tilts up as with Page Up";
    ASSERT_NO_FATAL_FAILURE(Drag(1, 0, Full, 5));
    EXPECT_NEAR(Pitch(*Form), 0.025 * Degrees, 0.01) << "down to Page Down's stop, not beyond";

    const float y = Form->Scene().Observer->Position().Y();
    ASSERT_NO_FATAL_FAILURE(Drag(2, 0, -Full, 0.3));
    EXPECT_NEAR(Form->Scene().Observer->Position().Y() - y, rates.LiftStep * DragTime,
                rates.LiftStep * slack)
        << "the middle button rises";

    MoveTo(300, 300);
    const TNavigation& navigation = Form->Navigation();
    for (const auto& [button, expected] : {std::pair{"4", 125}, {"4", 156}, {"5", 125}}) {
        Pointer({"click", button});
        EXPECT_TRUE(WaitUntil([&] { return navigation.Velocity() == expected; }))
            << "button " << button << ": " << navigation.Velocity();
    }
    EXPECT_TRUE(Form->VelocityShown());
    EXPECT_TRUE(WaitUntil([&] { return !Form->VelocityShown(); })) << "and then goes";

    Pointer({"click", "3"});
    EXPECT_TRUE(WaitUntil([&] { return Form->PopupMenu1().isVisible(); }));
    EXPECT_FALSE(navigation.Mouse().Active());
    Form->PopupMenu1().close();
}

// ---- ground clearance ----------------------------------------------------------

TEST_F(ViewingWindow, KeepAboveGroundStopsASinkAtTheClearanceAndIsOffByDefault)
{
    ASSERT_NO_FATAL_FAILURE(StartTrinidad());
    TCoordinates& observer = Form->Scene().Observer->Position();
    const TAffineVector scale = Form->Scene().HeightField1->Scale().AsAffineVector();
    const auto lowest = [&] {
        return LowestObserverHeight(*Form->Data().SurfaceRaster, observer.AsAffineVector(), scale);
    };
    EXPECT_FALSE(lowest()) << "the start, off the grid, has no ground";
    EXPECT_FALSE(Form->Action(C::actKeepAboveGround).isChecked());

    // Over the middle of the surface, half its height range above its top.
    observer.SetAsAffineVector({-600, 1.5f * scale.Z, 300});
    ASSERT_TRUE(lowest());
    const float ground = *lowest() - float(GroundClearanceShare) * scale.Z;
    EXPECT_GE(ground, 0);
    Form->Action(C::actKeepAboveGround).trigger();
    float lowestSeen = observer.Y();
    EachStep = [&] { lowestSeen = std::min(lowestSeen, observer.Y()); };
    const double sink = 2 * scale.Z / Form->Navigation().LiftStep();
    KeyTime = 0;
    ASSERT_NO_FATAL_FAILURE(Hold({"ctrl"}, [&] { return KeyTime > sink; }));
    EXPECT_EQ(observer.Y(), *lowest()) << "at the clearance over its cell";
    EXPECT_GE(lowestSeen, *lowest()) << "never below it";

    Form->Action(C::actKeepAboveGround).trigger();
    KeyTime = 0;
    ASSERT_NO_FATAL_FAILURE(Hold({"ctrl"}, [&] { return KeyTime > 0.5; }));
    EXPECT_LT(observer.Y(), ground) << "off: through the ground as before";

    // Playback puts the rig where the path says, under the ground or not.
    Form->Action(C::actKeepAboveGround).trigger();
    const QString path = File("under.csv");
    std::string lines;
    for (int i = 0; i < 2; ++i) {
        TPose pose = NorthwardPose(i);
        pose.ObserverPosition[1] = -50.0f - 10.0f * float(i);
        lines += formatPoseLine(i, pose) + "\r\n";
    }
    WriteBytes(path.toStdString(), lines);
    Form->Flight().LoadPath(path.toStdString());
    Form->Execute(C::actPlay);
    ASSERT_TRUE(WaitUntil([&] { return Form->Flight().PathState() == TPathState::psStopped; }));
    EXPECT_EQ(observer.Y(), -60);
}

// ---- pictures --------------------------------------------------------------------

TEST_F(ViewingWindow, SavePictureWritesTheViewersFrameAtItsSizeOrRenderedLarger)
{
    ASSERT_NO_FATAL_FAILURE(StartTrinidad());
    Form->Action(C::actSky).trigger();
    TSceneViewer& viewer = Form->SceneViewer1();
    viewer.RenderFrame();
    const TBitmap32 frame = viewer.ReadFrameImage();

    Dialogs.FileAnswer = File("view.png");
    Pointer({"key", "ctrl+p"});
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(*Dialogs.FileAnswer); }));
    EXPECT_EQ(Dialogs.Shown.back().Kind, "save");
    const QImage one(*Dialogs.FileAnswer);
    ASSERT_EQ(one.size(), viewer.size());
    int differing = 0;
    for (int y = 0; y < frame.Height(); ++y)
        for (int x = 0; x < frame.Width(); ++x) {
            const QRgb p = one.pixel(x, one.height() - 1 - y);
            differing += !(PixelAt(frame, x, y) == TColour{qRed(p), qGreen(p), qBlue(p)});
        }
    EXPECT_EQ(differing, 0) << "at 1x the pixels the viewer shows";

    Dialogs.FileAnswer = File("view2.png");
    Dialogs.FilterAnswer = TSceneFrm::PictureFilter().split(";;")[1];
    Form->Execute(C::actSavePicture);
    const QImage two(*Dialogs.FileAnswer);
    ASSERT_EQ(two.size(), viewer.size() * 2);
    const QImage down = two.scaled(one.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    double difference = 0;
    for (int y = 0; y < one.height(); ++y)
        for (int x = 0; x < one.width(); ++x) {
            const QRgb a = one.pixel(x, y), b = down.pixel(x, y);
            difference += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                          std::abs(qBlue(a) - qBlue(b));
        }
    EXPECT_LT(difference / (3.0 * one.width() * one.height()), 6)
        << "at 2x the same view, finer: not a shifted or wider one";

    Dialogs.FileAnswer = File("no-such-folder/view.png");
    Form->Execute(C::actSavePicture);
    EXPECT_EQ(Dialogs.Shown.back().Kind, "error");
    EXPECT_TRUE(QString::fromStdString(Dialogs.Shown.back().Text)
                    .startsWith("Cannot save the picture " + *Dialogs.FileAnswer + ": "));
}

// ---- frame rate and key card -------------------------------------------------------

TEST_F(ViewingWindow, FrameRateGoesToTheLastPanelOrTheCaptionAndTheKeyCardToggles)
{
    ASSERT_NO_FATAL_FAILURE(StartTrinidad());
    Form->Action(C::actShowFrameRate).trigger();
    ASSERT_TRUE(WaitUntil([&] { return !Form->FrameRateText().isEmpty(); }));
    const QString triangles =
        QLocale().toString(Form->Scene().HeightField1->EmittedTriangles()) + " triangles";
    EXPECT_TRUE(Form->FrameRateText().endsWith(" fps, " + triangles)) << Form->FrameRateText().toStdString();
    EXPECT_EQ(Form->windowTitle(), "Sky Glide - " + Form->FrameRateText())
        << "no status bar: in the caption";

    Form->Action(C::actPosition).trigger();
    EXPECT_EQ(Form->windowTitle(), "Sky Glide");
    ASSERT_TRUE(WaitUntil([&] { return !Form->StatusPanel(1).text().isEmpty(); }));
    QCoreApplication::processEvents();
    const QSize size = Form->size();
    Form->StatusPanel(TSceneFrm::StatusPanelCount - 1).clear();
    EXPECT_TRUE(WaitUntil([&] {
        return Form->StatusPanel(TSceneFrm::StatusPanelCount - 1).text() == Form->FrameRateText();
    }));
    EXPECT_EQ(Form->size(), size) << "the window did not grow for the text";
    Form->Action(C::actShowFrameRate).trigger();
    EXPECT_EQ(Form->StatusPanel(TSceneFrm::StatusPanelCount - 1).text(), "");

    // The card is a dark panel over the frame: over a white background too.
    Dialogs.ColorAnswer = Qt::white;
    Form->Execute(C::actBackGround);
    const auto corner = [&] {
        // What the window last painted, the card included.
        Form->SceneViewer1().repaint();
        const TBitmap32 shown = Form->SceneViewer1().ReadFrameImage();
        const TColour c = PixelAt(shown, 20, shown.Height() - 21);
        return (c.R + c.G + c.B) / 3;
    };
    EXPECT_TRUE(WaitUntil([&] { return corner() == 255; }, 10000)) << corner();
    Pointer({"key", "h"});
    ASSERT_TRUE(WaitUntil([&] { return Form->KeyCardShown(); }));
    EXPECT_TRUE(WaitUntil([&] { return corner() < 110; }, 10000)) << corner();
    Pointer({"key", "question"});
    ASSERT_TRUE(WaitUntil([&] { return !Form->KeyCardShown(); }));
    EXPECT_TRUE(WaitUntil([&] { return corner() == 255; }, 10000)) << corner();
    EXPECT_TRUE(Form->Navigation().Keys().Empty());
}

} // namespace
} // namespace skyglide::test
