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

// The rates after one velocity command: 10 more, back to defaultVelocity, or
// 10 less, never below MinimumVelocity; the turn step is half the velocity
// and the lift step 0.8 of it (rounded to a single), both truncated.
TNavigationRates ChangeVelocity(std::int32_t velocity, std::uint8_t defaultVelocity,
                                TVelocityChange kind);

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
    bool Empty() const { return m_held.empty(); }

private:
    std::set<int> m_held;
};

// Keyboard flight of the observer rig: the rates, the velocity they derive
// from, and the keys held on the scene window.
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

    TKeyState& Keys() { return m_keys; }
    const TKeyState& Keys() const { return m_keys; }

    // One poll of the held keys: every row of NavigationRows whose key is
    // down moves the rig by its rate times deltaTime, in the table's order.
    // Each amount is the integer rate times deltaTime in extended precision,
    // passed on as a single.
    void Fly(TSceneComposition& scene, double deltaTime) const;

private:
    TNavigationRates m_rates;
    std::uint8_t m_defaultVelocity = 0;
    TKeyState m_keys;
};

} // namespace skyglide
