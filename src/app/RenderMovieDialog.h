#pragma once

#include "app/UserDialogs.h"
#include "movie/MovieRender.h"
#include "paths/PathResampler.h"

#include <QDialog>

#include <functional>
#include <vector>

class QComboBox;
class QLineEdit;
class QSpinBox;

namespace skyglide {

struct TMovieScene;

// What Render Movie... makes of the path: the movie's file, format, size,
// rate and quality, and how the poses become frames.
struct TRenderMovieChoice
{
    TMovieSettings Settings;
    TPathSmoothing Smoothing = TPathSmoothing::smSpline;
};

// The dialog of Render Movie...: the movie file (typed, or chosen with
// Browse..., which runs the save dialog of the program's dialogs), the
// format, the frame size, the frame rate, the quality (MP4 only) and the
// smoothing. OK takes a file name only.
class TRenderMovieDialog : public QDialog
{
    Q_OBJECT

public:
    // browse: the save dialog's settings, kept by the caller between runs.
    TRenderMovieDialog(const TRenderMovieChoice& choice, TFileDialogSettings& browse,
                       QWidget* parent = nullptr);

    TRenderMovieChoice Choice() const;

private:
    void browse();
    void formatChanged();

    TFileDialogSettings& m_browse;
    QLineEdit* m_file = nullptr;
    QComboBox* m_format = nullptr;
    QSpinBox* m_width = nullptr;
    QSpinBox* m_height = nullptr;
    QSpinBox* m_fps = nullptr;
    QSpinBox* m_quality = nullptr;
    QComboBox* m_smoothing = nullptr;
};

// Renders poses into the movie of choice off-screen, with a window-modal
// progress dialog under parent whose Cancel stops before the next frame;
// the window goes on painting meanwhile. abandoned is asked before every
// frame too (the window is closing). A rounded size is said in the
// progress dialog. Returns mrCancelled when stopped (no file is left);
// throws EMovieError and the renderer's errors, leaving no file either.
TMovieRenderResult RenderPathMovie(QWidget* parent, const TMovieScene& scene,
                                   std::vector<TPose> poses, const TRenderMovieChoice& choice,
                                   const std::function<bool()>& abandoned);

} // namespace skyglide
