#pragma once

namespace skyglide {

class Tmsghndlr;

// The start-up load, run by the creation of the hidden message window:
// settles the process with the host, reads the run's parameters and
// prepares the scene. Any failure is reported to the host (code -999) and
// ends the application; no message box is shown.
//
// Until the scene window exists the load stops after the parameters: the
// program then waits, hidden, for the host's shutdown request, tells the
// host that the run has finished and exits.
void LoadScene(Tmsghndlr& messageWindow);

} // namespace skyglide
