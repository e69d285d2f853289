#pragma once

#include <array>
#include <cstdint>
#include <set>

namespace skyglide {

struct TSceneComposition;

// The observer's rates: Velocity in world units, TurnStep in degrees and
// LiftStep in world units, each per unit of cadencer time.
struct TNavigationRates
{
    std::int32_t Velocity = 0;
    std::int32_t TurnStep = 0;
    std::int32_t LiftStep = 0;

    friend bool operator==(const TNavigationRates&, const TNavigationRates&) = default;
};

enum class TVelocityChange { vcIncrease, vcRestore, vcDecrease };

// The slowest the observer flies.
inline constexpr std::int32_t MinimumVelocity = 10;

// The wheel's velocity steps: a factor per notch, up to a ceiling at which a
// 16 000-cell surface is crossed in about four seconds (cadencer time runs
// twice as fast as the clock). The function keys are not held to it.
inline constexpr double WheelVelocityFactor = 1.25;
inline constexpr std::int32_t MaximumWheelVelocity = 2000;

// The rates that derive from a velocity (never below MinimumVelocity): the
// turn step is half the velocity and the lift step 0.8 of it (rounded to a
// single), both truncated.
TNavigationRates RatesFor(std::int32_t velocity);

// The rates after one velocity command: 10 more, back to defaultVelocity, or
// 10 less, never below MinimumVelocity; the turn step is half the velocity
// and the lift step 0.8 of it (rounded to a single), both truncated.
TNavigationRates ChangeVelocity(std::int32_t velocity, std::uint8_t defaultVelocity,
                                TVelocityChange kind);

// The rates after notches of the wheel (positive away from the user: faster):
// the velocity times WheelVelocityFactor per notch, rounded, between
// MinimumVelocity and MaximumWheelVelocity; a velocity the keys set above the
// ceiling is not pulled down by turning faster. Every notch changes a
// velocity that is not at its limit by at least 1.
TNavigationRates WheelVelocity(std::int32_t velocity, double notches);

// The velocity that Restore returns to for the host's velocity parameter:
// 20 times it, of which only the low 8 bits are kept (13 gives 4).
std::uint8_t DefaultVelocityFor(std::uint8_t velocityParameter);

// What one row of held keys does to the observer rig.
enum class TNavigationAction {
    naTiltUp,    // camera orbit, pitch +TurnStep
    naTiltDown,  // camera orbit, pitch -TurnStep
    naTurnLeft,  // observer turn by -TurnStep
    naTurnRight, // observer turn by +TurnStep
    naRise,      // observer height +LiftStep
    naSink,      // observer height -LiftStep
    naForward,   // observer move by +Velocity
    naBackward,  // observer move by -Velocity
};

// One row of the key table: any of its keys (Qt key codes; 0 for none)
// makes the row act.
struct TNavigationRow
{
    std::array<int, 2> Keys;
    TNavigationAction Action;
};

// The rows in the order in which they act within one poll; several rows can
// act in the same poll. Letters are their keys, so "s" and "S" are one.
extern const std::array<TNavigationRow, 8> NavigationRows;

// The keys held on the scene window, fed by its own key press and release
// events. Auto-repeated events change nothing: a key stays down from its
// press to its release.
class TKeyState
{
public:
    void KeyPressed(int key, bool autoRepeat);
    void KeyReleased(int key, bool autoRepeat);
    void Clear() { m_held.clear(); }
    bool IsDown(int key) const { return m_held.count(key) != 0; }
    bool AnyDown(const TNavigationRow& row) const;
    // A key of NavigationRows is down: a poll would move the rig.
    bool AnyFlightKeyDown() const;
    bool Empty() const { return m_held.empty(); }

private:
    std::set<int> m_held;
};

// What a held mouse button does while the pointer is dragged from where it
// was pressed: the left button turns (across) and tilts (up and down), the
// middle button rises and sinks.
enum class TMouseDrag { mdNone, mdTurnTilt, mdLift };

// The mouse as a joystick: the pointer's offset from where the button went
// down sets a share of the keys' rate, which then acts for as long as the
// button is held, scaled by elapsed time like a held key. How often the
// pointer reports does not matter, only where it is.
class TMouseFlight
{
public:
    // The offset in pixels at which the full rate is reached.
    static constexpr int FullDeflection = 120;
    // An offset this small is no move: a hand never holds quite still.
    static constexpr int DeadZone = 3;

    void Press(TMouseDrag drag, int x, int y);
    void MoveTo(int x, int y);
    void Release() { m_drag = TMouseDrag::mdNone; }
    TMouseDrag Drag() const { return m_drag; }
    bool Active() const { return m_drag != TMouseDrag::mdNone; }
    // The share of the rate, -1 to 1: to the right (turn right) and upwards
    // (tilt up, rise) positive.
    double Across() const { return share(m_x - m_pressX); }
    double Upwards() const { return share(m_pressY - m_y); }

private:
    static double share(int offset);

    TMouseDrag m_drag = TMouseDrag::mdNone;
    int m_pressX = 0, m_pressY = 0, m_x = 0, m_y = 0;
};

// Flight of the observer rig by keys and mouse: the rates, the velocity they
// derive from, the keys held on the scene window and the mouse drag.
class TNavigation
{
public:
    const TNavigationRates& Rates() const { return m_rates; }
    std::int32_t Velocity() const { return m_rates.Velocity; }
    std::int32_t TurnStep() const { return m_rates.TurnStep; }
    std::int32_t LiftStep() const { return m_rates.LiftStep; }
    // The velocity that Restore returns to.
    std::uint8_t DefaultVelocity() const { return m_defaultVelocity; }
    void SetDefaultVelocity(std::uint8_t velocity) { m_defaultVelocity = velocity; }
    void ChangeVelocity(TVelocityChange kind);
    // See WheelVelocity.
    void TurnWheel(double notches);

    TKeyState& Keys() { return m_keys; }
    const TKeyState& Keys() const { return m_keys; }
    TMouseFlight& Mouse() { return m_mouse; }
    const TMouseFlight& Mouse() const { return m_mouse; }

    // One poll of the held keys: every row of NavigationRows whose key is
    // down moves the rig by its rate times deltaTime, in the table's order.
    // Each amount is the integer rate times deltaTime in extended precision,
    // passed on as a single. True when a row acted.
    bool Fly(TSceneComposition& scene, double deltaTime) const;
    // One step of the mouse drag: the same rates times its share times
    // deltaTime, added to what the keys did. True when the rig moved.
    bool FlyMouse(TSceneComposition& scene, double deltaTime) const;

private:
    TNavigationRates m_rates;
    std::uint8_t m_defaultVelocity = 0;
    TKeyState m_keys;
    TMouseFlight m_mouse;
};

} // namespace skyglide
