#include "import/Terminal.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace skyglide {

TProgressBar::TProgressBar(std::string label, bool linesWhenNotTerminal)
    : m_label(std::move(label)), m_terminal(::isatty(STDOUT_FILENO) != 0),
      m_lines(linesWhenNotTerminal)
{
}

void TProgressBar::Show(double fraction)
{
    const double clamped = std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0;
    const int percent = static_cast<int>(std::lround(clamped * 100.0));
    if (percent == m_shown) {
        return;
    }
    m_shown = percent;
    if (m_terminal) {
        constexpr int width = 40;
        const int filled = percent * width / 100;
        std::printf("\r%s [%s%s] %3d%%", m_label.c_str(), std::string(filled, '#').c_str(),
                    std::string(width - filled, ' ').c_str(), percent);
        m_drawn = true;
    } else if (m_lines) {
        std::printf("progress %d%%\n", percent);
    }
    std::fflush(stdout);
}

void TProgressBar::End()
{
    if (!m_drawn) {
        return;
    }
    std::printf("\r\033[K");
    std::fflush(stdout);
    m_drawn = false;
}

namespace {

volatile std::sig_atomic_t g_interrupted = 0;
struct sigaction g_oldInt;
struct sigaction g_oldTerm;

extern "C" void raiseInterruptFlag(int)
{
    g_interrupted = 1;
}

} // namespace

TInterruptGuard::TInterruptGuard()
{
    g_interrupted = 0;
    struct sigaction action = {};
    action.sa_handler = raiseInterruptFlag;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &g_oldInt);
    ::sigaction(SIGTERM, &action, &g_oldTerm);
}

TInterruptGuard::~TInterruptGuard()
{
    ::sigaction(SIGINT, &g_oldInt, nullptr);
    ::sigaction(SIGTERM, &g_oldTerm, nullptr);
}

bool TInterruptGuard::Interrupted()
{
    return g_interrupted != 0;
}

} // namespace skyglide
