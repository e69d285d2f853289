#include "app/Navigation.h"

#include "app/SceneComposition.h"
#include "render/Camera.h"
#include "render/DummyCube.h"

#include <Qt>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace skyglide {

TNavigationRates ChangeVelocity(std::int32_t velocity, std::uint8_t defaultVelocity,
                                TVelocityChange kind)
{
    constexpr std::int32_t Step = 10;
    switch (kind) {
    case TVelocityChange::vcIncrease:
        // However often it is pressed, the velocity stays a 32-bit number.
        velocity = velocity > std::numeric_limits<std::int32_t>::max() - Step
                       ? std::numeric_limits<std::int32_t>::max()
                       : velocity + Step;
        break;
    case TVelocityChange::vcRestore:
        velocity = defaultVelocity;
        break;
    case TVelocityChange::vcDecrease:
        velocity = velocity < MinimumVelocity + Step ? MinimumVelocity : velocity - Step;
        break;
    }
    return RatesFor(velocity);
}

TNavigationRates RatesFor(std::int32_t velocity)
{
    if (velocity <= MinimumVelocity)
        velocity = MinimumVelocity;
    TNavigationRates rates;
    rates.Velocity = velocity;
    rates.TurnStep = static_cast<std::int32_t>(static_cast<long double>(velocity) * 0.5L);
    // The product is rounded to a single before it is truncated: 10 × 0.8
    // gives 8, where the extended product alone lies a hair below or above.
    rates.LiftStep =
        static_cast<std::int32_t>(static_cast<float>(static_cast<long double>(velocity) * 0.8L));
    return rates;
}

TNavigationRates WheelVelocity(std::int32_t velocity, double notches)
{
    if (!std::isfinite(notches) || notches == 0)
        return RatesFor(velocity);
    const double scaled = std::round(double(velocity) * std::pow(WheelVelocityFactor, notches));
    double next = scaled;
    // Small velocities times 1.25 can round back to themselves.
    if (notches > 0)
        next = std::min(std::max(scaled, double(velocity) + 1),
                        double(std::max(velocity, MaximumWheelVelocity)));
    else
        next = std::max(std::min(scaled, double(velocity) - 1), double(MinimumVelocity));
    return RatesFor(static_cast<std::int32_t>(next));
}

std::uint8_t DefaultVelocityFor(std::uint8_t velocityParameter)
{
    return static_cast<std::uint8_t>((velocityParameter * 20u) & 0xFFu);
}

const std::array<TNavigationRow, 8> NavigationRows = {{
    {{Qt::Key_PageUp, Qt::Key_S}, TNavigationAction::naTiltUp},
    {{Qt::Key_PageDown, Qt::Key_X}, TNavigationAction::naTiltDown},
    {{Qt::Key_Left, 0}, TNavigationAction::naTurnLeft},
    {{Qt::Key_Right, 0}, TNavigationAction::naTurnRight},
    {{Qt::Key_Shift, Qt::Key_A}, TNavigationAction::naRise},
    {{Qt::Key_Control, Qt::Key_Z}, TNavigationAction::naSink},
    {{Qt::Key_Up, 0}, TNavigationAction::naForward},
    {{Qt::Key_Down, 0}, TNavigationAction::naBackward},
}};

void TKeyState::KeyPressed(int key, bool autoRepeat)
{
    if (!autoRepeat)
        m_held.insert(key);
}

void TKeyState::KeyReleased(int key, bool autoRepeat)
{
    if (!autoRepeat)
        m_held.erase(key);
}

bool TKeyState::AnyDown(const TNavigationRow& row) const
{
    for (int key : row.Keys)
        if (key != 0 && IsDown(key))
            return true;
    return false;
}

void TMouseFlight::Press(TMouseDrag drag, int x, int y)
{
    m_drag = drag;
    m_pressX = m_x = x;
    m_pressY = m_y = y;
}

void TMouseFlight::MoveTo(int x, int y)
{
    m_x = x;
    m_y = y;
}

double TMouseFlight::share(int offset)
{
    const int beyond = std::max(std::abs(offset) - DeadZone, 0);
    const double share = std::min(double(beyond) / (FullDeflection - DeadZone), 1.0);
    return offset < 0 ? -share : share;
}

bool TKeyState::AnyFlightKeyDown() const
{
    return std::any_of(NavigationRows.begin(), NavigationRows.end(),
                       [this](const TNavigationRow& row) { return AnyDown(row); });
}

void TNavigation::ChangeVelocity(TVelocityChange kind)
{
    m_rates = skyglide::ChangeVelocity(m_rates.Velocity, m_defaultVelocity, kind);
}

void TNavigation::TurnWheel(double notches)
{
    m_rates = WheelVelocity(m_rates.Velocity, notches);
}

bool TNavigation::FlyMouse(TSceneComposition& scene, double deltaTime) const
{
    const auto amount = [deltaTime](std::int32_t rate, double share) {
        return static_cast<float>(static_cast<long double>(rate) * share * deltaTime);
    };
    switch (m_mouse.Drag()) {
    case TMouseDrag::mdNone:
        return false;
    case TMouseDrag::mdTurnTilt:
        if (m_mouse.Upwards() != 0)
            scene.Camera->OrbitTarget(amount(m_rates.TurnStep, m_mouse.Upwards()), 0);
        if (m_mouse.Across() != 0)
            scene.Observer->Turn(amount(m_rates.TurnStep, m_mouse.Across()));
        return m_mouse.Upwards() != 0 || m_mouse.Across() != 0;
    case TMouseDrag::mdLift: {
        if (m_mouse.Upwards() == 0)
            return false;
        TCoordinates& position = scene.Observer->Position();
        position.SetY(position.Y() + amount(m_rates.LiftStep, m_mouse.Upwards()));
        return true;
    }
    }
    return false;
}

bool TNavigation::Fly(TSceneComposition& scene, double deltaTime) const
{
    bool moved = false;
    TDummyCube& observer = *scene.Observer;
    TCamera& camera = *scene.Camera;
    const long double dt = deltaTime;
    const auto amount = [dt](std::int32_t rate) {
        return static_cast<float>(static_cast<long double>(rate) * dt);
    };
    for (const TNavigationRow& row : NavigationRows) {
        if (!m_keys.AnyDown(row))
            continue;
        moved = true;
        switch (row.Action) {
        case TNavigationAction::naTiltUp:
            camera.OrbitTarget(amount(m_rates.TurnStep), 0);
            break;
        case TNavigationAction::naTiltDown:
            camera.OrbitTarget(amount(-m_rates.TurnStep), 0);
            break;
        case TNavigationAction::naTurnLeft:
            observer.Turn(amount(-m_rates.TurnStep));
            break;
        case TNavigationAction::naTurnRight:
            observer.Turn(amount(m_rates.TurnStep));
            break;
        case TNavigationAction::naRise:
            observer.Position().SetY(
                static_cast<float>(observer.Position().Y() + m_rates.LiftStep * dt));
            break;
        case TNavigationAction::naSink:
            observer.Position().SetY(
                static_cast<float>(observer.Position().Y() - m_rates.LiftStep * dt));
            break;
        case TNavigationAction::naForward:
            observer.Move(amount(m_rates.Velocity));
            break;
        case TNavigationAction::naBackward:
            observer.Move(amount(-m_rates.Velocity));
            break;
        }
    }
    return moved;
}

} // namespace skyglide
