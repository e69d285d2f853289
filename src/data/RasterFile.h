#pragma once

#include "data/Bitmap.h"
#include "data/FileIO.h"
#include "data/ImgDoc.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace skyglide {

/// One raster image of the host (".rst") with its documentation (".rdc"),
/// decimated by a whole-number Step into a TBitmap.
///
/// The image file has no header: rows of Columns cells follow one another
/// from the top (north) row, cells from the first (west) column, in the
/// layout of the documented cell type (little-endian int16, float, byte,
/// blue-green-red triple, palette index). Decimated cell (c, r) is file cell
/// (c × Step, r × Step); the decimated grid has Columns / Step columns and
/// Rows / Step rows.
///
/// LoadSurface() keeps the raw cells (the heights) and GetValue() reads them
/// back; LoadImage() turns the cells into an 8-bit palette image or a 24-bit
/// colour image for use as a texture.
///
/// Both loads check the image file against the rows they read before they
/// take any memory, and throw TRasterError when a row they read lies beyond
/// the end of the file, or the file cannot be opened or read. The image file
/// stays open after a load until CloseStream().
class TRasterFile
{
public:
    TRasterFile();
    ~TRasterFile();
    TRasterFile(const TRasterFile&) = delete;
    TRasterFile& operator=(const TRasterFile&) = delete;

    const std::string& FileName() const { return m_fileName; }
    /// Names the image and reads its documentation: Valid() becomes true
    /// when the file exists and, for a name ending in ".rst", its ".rdc"
    /// companion exists and reads without error. A name with any other
    /// extension is valid without documentation; Doc() then keeps its
    /// earlier contents. An empty name only clears Valid().
    void SetFileName(const std::string& fileName);

    /// Palette file (".smp") for LoadImage(); empty for none.
    const std::string& PalletFile() const { return m_palletFile; }
    void SetPalletFile(const std::string& fileName) { m_palletFile = fileName; }

    std::uint16_t Step() const { return m_step; }
    /// Sets the decimation step; 0 is taken as 1.
    void SetStep(std::uint16_t step) { m_step = step == 0 ? 1 : step; }

    bool Valid() const { return m_valid; }
    const TImgDoc& Doc() const { return m_doc; }
    TImgDoc& Doc() { return m_doc; }
    const TBitmap& Bitmap() const { return m_bitmap; }
    TBitmap& Bitmap() { return m_bitmap; }

    /// The result of the documentation read of the last SetFileName(), or
    /// nothing when none was read (no ".rst" name, or no ".rdc" beside it).
    std::optional<int> DocStatus() const { return m_docStatus; }

    /// Why the named raster gives no grid to load, on one line that starts
    /// with its file name: the image is missing or a folder, the name does
    /// not end in ".rst", the documentation is missing or does not read
    /// (with its status and the line that failed), or the documented size
    /// leaves no cell at the Step(). Empty when the raster gives a grid.
    std::string UnusableReason() const;

    /// Bytes of one image row in the file (set by the loads).
    std::int32_t RowBytes() const { return m_rowBytes; }
    /// MaxValue − MinValue of the documentation (set by LoadSurface()).
    double ValueRange() const { return m_valueRange; }
    /// The last value GetValue() read inside the grid.
    double LastValue() const { return m_lastValue; }

    /// The decimation step that keeps a grid of `columns` × `rows` cells
    /// within a box of `maxWidth` × `maxHeight`: the grid is fitted by the
    /// side that limits it, the quotient truncated, and never below 1.
    static std::uint16_t CalcStep(int columns, int rows, int maxWidth, int maxHeight);

    /// Fills Bitmap() with the decimated raw cells: 16 bits per pixel for
    /// integer cells, 32 for real, 8 for byte and rgb8, 24 for rgb24. A
    /// non-empty `fileName` is assigned to FileName first. Does nothing when
    /// the raster is not Valid(). Cells equal to the flag value of a
    /// documentation whose flag definition is "missing data" or "background"
    /// take the lowest valid value of the bitmap.
    void LoadSurface(const std::string& fileName);

    /// The value of decimated cell (c, r): the integer, the single, the byte,
    /// or the first (blue) byte of an rgb24 cell. Inside the grid stores it in
    /// `value` and in LastValue(); outside leaves `value` untouched. Returns
    /// LastValue() in both cases.
    double GetValue(int c, int r, double& value);

    /// Fills Bitmap() with texture pixels: 8 bits per pixel with a palette
    /// for integer, real, byte and rgb8 cells, 24 bits (blue, green, red) for
    /// rgb24. With `stretch` the cells are scaled between the documented
    /// display limits onto the palette's colours. Stretching is switched off
    /// by a legend, by an integer or byte value range narrower than
    /// `minRange`, and by equal display limits; the cells are then palette
    /// indices (low 8 bits of the value). Missing cells (see LoadSurface())
    /// take index 0. Without a PalletFile() the bitmap gets
    /// GreyscalePalette().
    void LoadImage(const std::string& fileName, bool stretch, std::uint8_t minRange);

    /// Reads the palette file `fileName` (or PalletFile() when empty) into
    /// the bitmap's palette and returns the number of colours in use: the
    /// stretch range's size with `stretch`, else the highest index + 1.
    /// Throws TRasterError when the file cannot be opened or is too short
    /// for its header or its colour table.
    int ReadPalette(const std::string& fileName, bool stretch);

    /// Closes the image file left open by the last load.
    void CloseStream() { m_stream.Close(); }
    bool StreamOpen() const { return m_stream.IsOpen(); }

    /// Called after each bitmap row r of H rows with r / H.
    std::function<void(float)> OnProgress;

private:
    struct TGrid
    {
        int Width = 0;
        int Height = 0;
        int CellBytes = 0;
    };
    /// Checks the documented size against the image file, opens Stream and
    /// sets RowBytes; throws TRasterError for a size that cannot be.
    TGrid openImage();
    void readRow(int r, std::uint8_t* buffer);
    /// Gives cells equal to `flag` the lowest value of the other cells.
    void fillMissing(double flag);
    void progress(int r, int height);

    TReadOnlyFile m_stream;
    std::int32_t m_rowBytes = 0;
    TImgDoc m_doc;
    bool m_valid = false;
    TBitmap m_bitmap;
    std::uint16_t m_step = 1;
    double m_valueRange = 0.0;
    double m_lastValue = 0.0;
    std::string m_fileName;
    std::string m_palletFile;
    std::optional<int> m_docStatus;
};

} // namespace skyglide
