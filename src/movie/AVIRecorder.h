#pragma once

#include "data/Bitmap.h"
#include "movie/AVIEncoders.h"
#include "movie/AVIFrameSource.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace skyglide {

class TAVIStreamWriter;

/// How the recorder picks the video encoder when a movie is opened.
enum class TAVICompressor {
    acDefault,    ///< Video-1 ("MSVC"), frames padded to multiples of 4
    acShowDialog, ///< the user picks one (OnChooseCompressor); none: uncompressed
    acDivX,       ///< MPEG-4 part 2 with the FourCC "divx"
};

/// Rounding applied to Width and Height (down to a multiple of the block).
enum class TAVISizeRestriction {
    srNoRestriction,
    srForceBlock2x2,
    srForceBlock4x4,
    srForceBlock8x8,
};

/// How a frame is taken from the viewer (see TAVIFrameSource).
enum class TAVIImageRetrievalMode {
    irmSnapShot,
    irmRenderToBitmap,
    irmBitBlt,
};

/// A failure of the recorder. what() is the recorder's message, e.g.
/// "Cannot create AVI file. Disk full or file in use?".
class EAVIRecorderError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// Writes the images of a viewer into an AVI movie, one frame per call.
///
/// The movie has one video stream at FPS() frames per second of
/// Width() × Height() pixels as they were when OpenMovieFile() ran; every
/// frame is a key frame. Each frame passes through FrameBitmap (24-bit, the
/// movie's size): the frame source fills it, OnPostProcessEvent may draw on
/// it, and it is then encoded. Files beyond 1 GiB carry the OpenDML
/// extension.
///
/// Two states: idle and Writing(). Width and Height are frozen while a
/// movie is open. The movie is written under a hidden temporary name beside
/// its file and takes the file's name only once it is complete, so that the
/// name never holds a part of a movie, whatever happens to the program. After
/// any failure in OpenMovieFile() the recorder is idle again and the file it
/// had started is gone. Destroying a recorder in the middle of a movie
/// deletes the unfinished file.
///
/// The recorder shows no windows itself: the save dialog, the overwrite
/// question and the encoder chooser are hooks that the application sets
/// (see UseStandardAVIDialogs() in movie/CompressorDialog.h).
class TAVIRecorder
{
public:
    TAVIRecorder();
    /// Aborts an open movie (the file is deleted).
    ~TAVIRecorder();
    TAVIRecorder(const TAVIRecorder&) = delete;
    TAVIRecorder& operator=(const TAVIRecorder&) = delete;

    /// Frames per second written into the stream header (default 25).
    std::uint8_t FPS() const { return m_fps; }
    void SetFPS(std::uint8_t fps) { m_fps = fps; }

    /// The frame sources. Setting either makes it the one frames are taken
    /// from; setting either to nullptr leaves the recorder without a source
    /// (frames then repeat FrameBitmap's previous content). Not owned.
    TAVIFrameSource* SceneViewer() const { return m_sceneViewer; }
    void SetSceneViewer(TAVIFrameSource* viewer);
    TAVIFrameSource* NonVisualViewer() const { return m_nonVisualViewer; }
    void SetNonVisualViewer(TAVIFrameSource* viewer);

    /// Frame size (default 320 × 200). A setter ignores values below 1, the
    /// current value and any value while Writing(); otherwise it stores the
    /// value rounded down by SizeRestriction() (which may give 0).
    std::int32_t Width() const { return m_width; }
    void SetWidth(std::int32_t width);
    std::int32_t Height() const { return m_height; }
    void SetHeight(std::int32_t height);

    /// The movie file to write; empty means ask the user (OnAskFileName).
    const std::string& Filename() const { return m_filename; }
    void SetFilename(const std::string& filename) { m_filename = filename; }

    TAVICompressor Compressor() const { return m_compressor; }
    void SetCompressor(TAVICompressor compressor) { m_compressor = compressor; }

    /// Default srForceBlock8x8. A change re-rounds Height() and then
    /// Width(), also while Writing(); the open movie keeps its frame size.
    TAVISizeRestriction SizeRestriction() const { return m_sizeRestriction; }
    void SetSizeRestriction(TAVISizeRestriction restriction);

    /// Default irmBitBlt.
    TAVIImageRetrievalMode ImageRetrievalMode() const { return m_imageRetrievalMode; }
    void SetImageRetrievalMode(TAVIImageRetrievalMode mode) { m_imageRetrievalMode = mode; }

    /// Called with the recorder and FrameBitmap before each frame is
    /// written; the handler may draw on the bitmap. A handler that changes
    /// the bitmap's size or format makes that frame fail with
    /// "Add Frame Error" (the bitmap is then reset to the movie's size).
    std::function<void(TAVIRecorder& sender, TBitmap& frame)> OnPostProcessEvent;

    /// Save dialog, shown by OpenMovieFile() when Filename() is empty, with
    /// SaveDialogDefaultExt and SaveDialogFilter. Returns the chosen name, or
    /// an empty text when cancelled. Unset: OpenMovieFile() returns false.
    std::function<std::string()> OnAskFileName;
    static constexpr const char* SaveDialogDefaultExt = ".avi";
    static constexpr const char* SaveDialogFilter = "AVI Files (*.avi)|*.avi";

    /// Yes/No confirmation "Overwrite file <name>?", asked when the movie file
    /// exists; true is Yes. Unset counts as No: an existing file is never
    /// overwritten without an answer.
    std::function<bool(const std::string& question)> OnConfirmOverwrite;

    /// Encoder choice for acShowDialog: receives AVIEncodersPresent() for the
    /// movie's frame size and returns the chosen encoder's Name, or an empty
    /// text when cancelled. Unset or cancelled: uncompressed frames.
    std::function<std::string(const std::vector<TAVIEncoderInfo>& encoders)> OnChooseCompressor;

    /// Opens a movie: takes Filename() or asks for a name, asks before
    /// replacing an existing file (Yes: the complete movie will replace it;
    /// until then the file stays as it is), creates the movie's file and its
    /// stream and gets the encoder ready. `dpi` is passed on to
    /// irmRenderToBitmap. Returns true when the movie is open, false when
    /// nothing was created (no name, or the user declined to overwrite).
    /// Throws EAVIRecorderError with the failing step's message; the recorder
    /// is then idle and no file is left behind.
    bool OpenMovieFile(int dpi = 0);

    /// Takes one image from the frame source by ImageRetrievalMode(), runs
    /// OnPostProcessEvent and appends the frame. Throws "Cannot add frame to
    /// AVI. AVI file not created." while idle and "Add Frame Error" when the
    /// frame cannot be written; the movie stays open either way.
    void AddMovieFrame();

    /// Finishes the movie and puts it in place under its name, or with
    /// `abort` deletes it. Throws "Cannot close AVI file. AVI file not
    /// created." while idle. When a finished movie cannot be completed on
    /// disk (disk full), the incomplete file is deleted and an
    /// EAVIRecorderError names the movie and the reason. The recorder is idle
    /// afterwards in every case.
    void CloseMovieFile(bool abort = false);

    bool Writing() const { return m_writing; }
    /// Frames written into the open (or last) movie.
    std::int32_t FrameIndex() const { return m_frameIndex; }
    /// The file of the open (or last) movie.
    const std::string& MovieFileName() const { return m_movieFileName; }
    /// Bytes of one frame (rows of 24-bit pixels padded to 4 bytes): of the
    /// open movie while Writing(), else of Width() × Height().
    std::size_t FrameSize() const;

    /// ((width × 24 + 31) div 32) × 4 × height.
    static std::size_t FrameSizeOf(std::int32_t width, std::int32_t height);
    /// `value` rounded down to a multiple of the restriction's block.
    static std::int32_t RestrictSize(std::int32_t value, TAVISizeRestriction restriction);

private:
    void takeFrame();
    void drawSnapshot();
    void fillFrameBits();

    std::uint8_t m_fps = 25;
    TAVIFrameSource* m_sceneViewer = nullptr;
    TAVIFrameSource* m_nonVisualViewer = nullptr;
    TAVIFrameSource* m_source = nullptr;
    std::int32_t m_width = 320;
    std::int32_t m_height = 200;
    std::string m_filename;
    TAVICompressor m_compressor = TAVICompressor::acDefault;
    TAVISizeRestriction m_sizeRestriction = TAVISizeRestriction::srForceBlock8x8;
    TAVIImageRetrievalMode m_imageRetrievalMode = TAVIImageRetrievalMode::irmBitBlt;

    bool m_writing = false;
    std::string m_movieFileName;
    std::string m_recordingName;
    std::int32_t m_frameIndex = 0;
    int m_renderDPI = 0;
    TBitmap m_frameBitmap;
    int m_frameWidth = 0;
    int m_frameHeight = 0;
    std::vector<std::uint8_t> m_frameBits;
    TAVISnapshot m_snapshot;
    std::uint64_t m_movieSerial = 0;
    std::unique_ptr<TAVIStreamWriter> m_stream;
};

} // namespace skyglide
