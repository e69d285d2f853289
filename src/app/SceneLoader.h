#pragma once

#include "app/SceneData.h"
#include "host/HostLink.h"

#include <QPointer>

#include <cstdint>
#include <string>
#include <vector>

namespace skyglide {

class TSceneFrm;
class Tmsghndlr;

// The largest decimated grid a detail level aims at, and how many grid cells
// lie between two mesh vertices. Levels without a box (MaxWidth 0) keep every
// cell.
struct TResolutionBox
{
    int MaxWidth = 0;
    int MaxHeight = 0;
    std::uint8_t MeshSamplingFactor = 10;
};
TResolutionBox ResolutionBoxFor(std::uint8_t resolutionMode);

// The decimation step of a surface of columns × rows cells at a detail level.
std::uint16_t DecimationStep(std::uint8_t resolutionMode, int columns, int rows);

// One run of the viewer: its link to the host, the scene data the start-up
// load prepares, and the scene window it creates. The program makes one
// before its application object; it must outlive the message window.
class TSceneLoader
{
public:
    // factory makes the host's server (a test's scripted host); empty for
    // the host on the session bus.
    explicit TSceneLoader(THostLink::TServerFactory factory = {});

    THostLink& Host() { return m_host; }
    TSceneData& Data() { return m_data; }
    // The start-up load failed (and was reported to the host).
    bool Failed() const { return m_failed; }
    // The scene window the load created, until it is destroyed.
    TSceneFrm* SceneForm() const;

    // The start-up load, run by the creation of the hidden message window:
    // settles the process with the host, reads the run's parameters, loads
    // the drape into the texture bitmap and the surface into the sample
    // bitmap (reporting each row to the host), then creates the scene window
    // with the message window as its owner and shows it.
    //
    // Any failure is reported to the host (code -999), its reason written
    // to the standard error stream, and ends the application; no message box
    // is shown. A surface that gives no grid (no name, no such file, a
    // folder, documentation missing or unreadable, no cell) is such a
    // failure; a drape that gives no picture is not: the surface shows
    // without colours and the standard error stream says why.
    //
    // arguments are the program's (without the program itself); the first
    // overload takes the running application's.
    void LoadScene(Tmsghndlr& messageWindow);
    void LoadScene(Tmsghndlr& messageWindow, const std::vector<std::string>& arguments);

private:
    // The host's shutdown request: the scene window closes.
    void shutdownRequested();

    THostLink m_host;
    TSceneData m_data;
    QPointer<TSceneFrm> m_sceneForm;
    bool m_failed = false;
};

} // namespace skyglide
