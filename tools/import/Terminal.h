#pragma once

#include <string>

namespace skyglide {

/// A progress bar on standard output, "Label [#####     ]  50%", redrawn
/// only when the shown percentage changes. When standard output is not a
/// terminal it writes a line "progress N%" per change instead, or nothing.
class TProgressBar
{
public:
    TProgressBar(std::string label, bool linesWhenNotTerminal);
    ~TProgressBar() { End(); }
    TProgressBar(const TProgressBar&) = delete;
    TProgressBar& operator=(const TProgressBar&) = delete;

    /// Shows `fraction` (0 to 1; anything else is clamped, NaN is 0).
    void Show(double fraction);
    /// Clears a bar still drawn, so that the terminal's next line starts
    /// clean.
    void End();
    /// Ends the bar and forgets the percentage shown: the next Show() draws
    /// whatever it is given.
    void Restart()
    {
        End();
        m_shown = -1;
    }

private:
    std::string m_label;
    bool m_terminal;
    bool m_lines;
    bool m_drawn = false;
    int m_shown = -1;
};

/// While it lives, Ctrl+C (SIGINT) and SIGTERM only raise a flag, so that a
/// long import can stop cleanly at its next step; the earlier handlers come
/// back when it goes.
class TInterruptGuard
{
public:
    TInterruptGuard();
    ~TInterruptGuard();
    TInterruptGuard(const TInterruptGuard&) = delete;
    TInterruptGuard& operator=(const TInterruptGuard&) = delete;

    static bool Interrupted();
};

} // namespace skyglide
