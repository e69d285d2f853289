#pragma once

namespace skyglide {

// Where the scene window's flight path stands: nothing yet, being recorded,
// present and still, being played, or being played into a movie.
enum class TPathState { psIdle, psRecording, psStopped, psPlaying, psSavingMovie };

} // namespace skyglide
