#include "data/RasterFile.h"

#include "data/Endian.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

namespace skyglide {

namespace {

/// The low 8 bits of the value truncated toward zero. Exact for every
/// double: from 2^63 upwards a double is a multiple of 2^11, so its low
/// bits are 0; a NaN gives 0 as well.
std::uint8_t lowByteOfTruncated(double value)
{
    if (!(std::fabs(value) < 9.2e18)) {
        return 0;
    }
    return static_cast<std::uint8_t>(static_cast<std::int64_t>(value));
}

/// Truncates toward zero into [lo, hi]; NaN gives 0 clamped into the range.
std::int64_t truncClamped(double value, std::int64_t lo, std::int64_t hi)
{
    if (std::isnan(value)) {
        return std::clamp<std::int64_t>(0, lo, hi);
    }
    const double t = std::trunc(value);
    if (t <= static_cast<double>(lo)) {
        return lo;
    }
    if (t >= static_cast<double>(hi)) {
        return hi;
    }
    return static_cast<std::int64_t>(t);
}

TPixelFormat surfaceFormat(std::int16_t dataType)
{
    switch (dataType) {
    case dtInteger:
        return TPixelFormat::pf16bit;
    case dtReal:
        return TPixelFormat::pf32bit;
    case dtRgb24:
        return TPixelFormat::pf24bit;
    default:
        return TPixelFormat::pf8bit;
    }
}

/// The flag value of cells that hold no value, when the documentation
/// defines it as "missing data" or "background".
std::optional<double> missingDataFlag(const TImgDoc& doc)
{
    if (!doc.FlagValueKnown) {
        return std::nullopt;
    }
    std::string_view defn = doc.FlagDefn; // lower case as read
    while (!defn.empty() && (defn.back() == ' ' || defn.back() == '\t')) {
        defn.remove_suffix(1);
    }
    while (!defn.empty() && (defn.front() == ' ' || defn.front() == '\t')) {
        defn.remove_prefix(1);
    }
    if (defn != "missing data" && defn != "background") {
        return std::nullopt;
    }
    return doc.FlagValue;
}

/// Maps palette-type cells onto texture indices between the display limits.
class TStretch
{
public:
    TStretch(const TImgDoc& doc, int colours, bool stretch)
        : m_on(stretch), m_min(doc.DisplayMin), m_max(doc.DisplayMax), m_colours(colours - 1),
          m_span(static_cast<double>(doc.DisplayMax) - static_cast<double>(doc.DisplayMin))
    {
        // A clamped value takes the limit in the cell's own type.
        switch (doc.DataType) {
        case dtInteger:
            m_lowLimit = static_cast<double>(truncClamped(m_min, -32768, 32767));
            m_highLimit = static_cast<double>(truncClamped(m_max, -32768, 32767));
            break;
        case dtReal:
            m_lowLimit = static_cast<float>(m_min);
            m_highLimit = static_cast<float>(m_max);
            break;
        default:
            m_lowLimit = static_cast<double>(truncClamped(m_min, 0, 255));
            m_highLimit = static_cast<double>(truncClamped(m_max, 0, 255));
            break;
        }
    }

    std::uint8_t Index(double value) const
    {
        if (!m_on) {
            return lowByteOfTruncated(value);
        }
        if (value < m_min) {
            value = m_lowLimit;
        }
        if (value > m_max) {
            value = m_highLimit;
        }
        // Multiplying before dividing keeps whole quotients whole: the top
        // of the range gets the last colour, not the one below it.
        const double index = (value - m_min) * m_colours / m_span;
        // A value clamped to a whole-number limit below a fractional display
        // minimum lands under 0; it belongs to the first colour, not to the
        // top of the palette that its low byte would pick.
        return index < 0.0 ? 0 : lowByteOfTruncated(index);
    }

private:
    bool m_on;
    double m_min;
    double m_max;
    double m_colours;
    double m_span;
    double m_lowLimit = 0.0;
    double m_highLimit = 0.0;
};

} // namespace

TRasterFile::TRasterFile() = default;

TRasterFile::~TRasterFile()
{
    CloseStream();
}

namespace {

/// The documentation beside an image named "….rst", or nothing for a name
/// with another extension.
std::optional<std::string> docFileName(const std::string& fileName)
{
    const std::size_t slash = fileName.rfind('/');
    const std::size_t dot = fileName.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    if (!hasExtension || fileName.compare(dot, std::string::npos, ".rst") != 0) {
        return std::nullopt;
    }
    return fileName.substr(0, dot) + ".rdc";
}

} // namespace

void TRasterFile::SetFileName(const std::string& fileName)
{
    m_valid = false;
    m_docStatus.reset();
    if (fileName.empty()) {
        return;
    }
    m_fileName = fileName;
    if (!RegularFileExists(fileName)) {
        return;
    }
    if (const std::optional<std::string> docName = docFileName(fileName)) {
        if (RegularFileExists(*docName)) {
            m_docStatus = m_doc.ReadDoc(*docName);
            m_valid = *m_docStatus == TImgDoc::StatusOk;
        }
        return;
    }
    m_valid = true;
}

std::string TRasterFile::UnusableReason() const
{
    const std::string& name = m_fileName;
    if (!RegularFileExists(name)) {
        std::error_code error;
        return name + (std::filesystem::is_directory(name, error) ? ": is a folder, not a raster file"
                                                                  : ": no such file");
    }
    const std::optional<std::string> docName = docFileName(name);
    if (!docName) {
        return name + ": expected a raster file with the extension .rst";
    }
    if (!m_docStatus) {
        return name + ": documentation file " + *docName + " not found";
    }
    if (*m_docStatus != TImgDoc::StatusOk) {
        return name + ": documentation file " + *docName + " " + DocStatusText(*m_docStatus, m_doc);
    }
    if (m_doc.Columns / m_step == 0 || m_doc.Rows / m_step == 0) {
        return name + ": the documented grid of " + std::to_string(m_doc.Columns) + " x " +
               std::to_string(m_doc.Rows) + " cells" +
               (m_step > 1 ? " at step " + std::to_string(m_step) : std::string()) +
               " holds no cell";
    }
    return {};
}

std::uint16_t TRasterFile::CalcStep(int columns, int rows, int maxWidth, int maxHeight)
{
    if (columns <= 0 || rows <= 0 || maxWidth <= 0 || maxHeight <= 0) {
        return 1;
    }
    // maxWidth / maxHeight > columns / rows, compared exactly.
    const bool boxWider =
        static_cast<std::int64_t>(maxWidth) * rows > static_cast<std::int64_t>(columns) * maxHeight;
    const int step = boxWider ? rows / maxHeight : columns / maxWidth;
    return static_cast<std::uint16_t>(std::clamp(step, 1, 65535));
}

TRasterFile::TGrid TRasterFile::openImage()
{
    const int cellBytes = CellBytes(m_doc.DataType);
    if (cellBytes == 0) {
        throw TRasterError(m_fileName + ": cell data type " + std::to_string(m_doc.DataType) +
                           " cannot be read");
    }
    if (m_doc.Columns < 0 || m_doc.Rows < 0) {
        throw TRasterError(m_fileName + ": documented size " + std::to_string(m_doc.Columns) +
                           " x " + std::to_string(m_doc.Rows) + " is negative");
    }
    const std::uint64_t rowBytes =
        static_cast<std::uint64_t>(m_doc.Columns) * static_cast<std::uint64_t>(cellBytes);
    if (rowBytes > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
        throw TRasterError(m_fileName + ": documented row of " + std::to_string(m_doc.Columns) +
                           " cells of " + std::to_string(cellBytes) +
                           " bytes is too long, expected at most 2147483647 bytes");
    }
    // Only every Step-th row is read: the file must reach the end of the
    // last of them, not of the documented image (rows beyond it are never
    // read).
    const int height = m_doc.Rows / m_step;
    const std::uint64_t imageBytes =
        height == 0 ? 0
                    : (static_cast<std::uint64_t>(m_step) * static_cast<std::uint64_t>(height - 1) + 1) *
                          rowBytes;

    m_stream.OpenOrThrow(m_fileName, "image file");
    if (m_stream.Size() < imageBytes) {
        const std::uint64_t got = m_stream.Size();
        m_stream.Close();
        throw TRasterError(m_fileName + ": image file too short, expected " +
                           std::to_string(imageBytes) + " bytes but got " + std::to_string(got));
    }
    m_rowBytes = static_cast<std::int32_t>(rowBytes);
    return {m_doc.Columns / m_step, height, cellBytes};
}

void TRasterFile::readRow(int r, std::uint8_t* buffer)
{
    const std::uint64_t offset = static_cast<std::uint64_t>(m_step) *
                                 static_cast<std::uint64_t>(r) *
                                 static_cast<std::uint64_t>(m_rowBytes);
    const std::size_t want = static_cast<std::size_t>(m_rowBytes);
    const std::size_t got = m_stream.ReadAt(offset, buffer, want);
    if (got < want) {
        // The file shrank after it was measured: never keep a partial row.
        throw TRasterError(m_fileName + ": image file too short, expected " +
                           std::to_string(offset + want) + " bytes but got " +
                           std::to_string(offset + got));
    }
}

void TRasterFile::progress(int r, int height)
{
    if (OnProgress) {
        OnProgress(static_cast<float>(static_cast<double>(r) / static_cast<double>(height)));
    }
}

void TRasterFile::LoadSurface(const std::string& fileName)
{
    if (!fileName.empty()) {
        SetFileName(fileName);
    }
    if (!m_valid) {
        return;
    }
    m_valueRange = static_cast<double>(m_doc.MaxValue) - static_cast<double>(m_doc.MinValue);
    const TGrid grid = openImage();
    m_bitmap.SetSize(grid.Width, grid.Height, surfaceFormat(m_doc.DataType));
    if (m_bitmap.Empty()) {
        return;
    }
    std::vector<std::uint8_t> row(static_cast<std::size_t>(m_rowBytes));
    const std::size_t cellBytes = static_cast<std::size_t>(grid.CellBytes);
    const std::size_t stride = static_cast<std::size_t>(m_step) * cellBytes;
    for (int r = 0; r < grid.Height; ++r) {
        std::uint8_t* out = m_bitmap.ScanLine(r);
        if (m_step == 1) {
            // Rows are read straight into the bitmap when no cell is skipped.
            readRow(r, out);
        } else {
            readRow(r, row.data());
            const std::uint8_t* in = row.data();
            for (int c = 0; c < grid.Width; ++c, in += stride, out += cellBytes) {
                std::memcpy(out, in, cellBytes);
            }
        }
        progress(r, grid.Height);
    }
    if (const auto flag = missingDataFlag(m_doc)) {
        fillMissing(*flag);
    }
}

void TRasterFile::fillMissing(double flag)
{
    if (m_bitmap.PixelFormat() == TPixelFormat::pf24bit) {
        return;
    }
    const std::size_t bytes = static_cast<std::size_t>(m_bitmap.BytesPerPixel());
    const std::size_t rowBytes = static_cast<std::size_t>(m_bitmap.Width()) * bytes;
    const auto valueAt = [this](const std::uint8_t* pixel) -> double {
        switch (m_bitmap.PixelFormat()) {
        case TPixelFormat::pf16bit:
            return LittleEndianInt16(pixel);
        case TPixelFormat::pf32bit:
            return LittleEndianSingle(pixel);
        default:
            return pixel[0];
        }
    };
    // Missing cells take the lowest valid value, the surface's floor: a
    // flag far below or above the terrain would stand out as a pit or a
    // spike.
    std::array<std::uint8_t, 4> lowest{};
    double lowestValue = std::numeric_limits<double>::infinity();
    for (int r = 0; r < m_bitmap.Height(); ++r) {
        const std::uint8_t* row = m_bitmap.ScanLine(r);
        for (std::size_t i = 0; i < rowBytes; i += bytes) {
            const double value = valueAt(row + i);
            if (value != flag && value < lowestValue) {
                lowestValue = value;
                std::memcpy(lowest.data(), row + i, bytes);
            }
        }
    }
    if (std::isinf(lowestValue)) {
        return; // no valid cell to take a value from
    }
    for (int r = 0; r < m_bitmap.Height(); ++r) {
        std::uint8_t* row = m_bitmap.ScanLine(r);
        for (std::size_t i = 0; i < rowBytes; i += bytes) {
            if (valueAt(row + i) == flag) {
                std::memcpy(row + i, lowest.data(), bytes);
            }
        }
    }
}

double TRasterFile::GetValue(int c, int r, double& value)
{
    if (r >= 0 && c >= 0 && r < m_bitmap.Height() && c < m_bitmap.Width()) {
        // Read by the bitmap's own format, which is the cell type's after
        // LoadSurface() and never reaches past a row otherwise.
        const std::uint8_t* pixel =
            m_bitmap.ScanLine(r) + static_cast<std::size_t>(c) * m_bitmap.BytesPerPixel();
        switch (m_bitmap.PixelFormat()) {
        case TPixelFormat::pf16bit:
            value = LittleEndianInt16(pixel);
            break;
        case TPixelFormat::pf32bit:
            value = LittleEndianSingle(pixel);
            break;
        case TPixelFormat::pf8bit:
        case TPixelFormat::pf24bit:
            value = pixel[0];
            break;
        }
        m_lastValue = value;
    }
    return m_lastValue;
}

void TRasterFile::LoadImage(const std::string& fileName, bool stretch, std::uint8_t minRange)
{
    if (!fileName.empty()) {
        SetFileName(fileName);
    }
    if (!m_valid) {
        return;
    }
    const std::int16_t type = m_doc.DataType;
    const TGrid grid = openImage();

    if (type != dtRgb24) {
        int colours = 256;
        if (!m_palletFile.empty()) {
            colours = ReadPalette(m_palletFile, stretch);
        } else {
            m_bitmap.SetPalette(GreyscalePalette());
        }
        if (m_doc.LegendCats != 0) {
            colours = m_doc.LegendCats;
            stretch = false;
        }
        const double range =
            static_cast<double>(m_doc.MaxValue) - static_cast<double>(m_doc.MinValue);
        if (type != dtReal && range < minRange) {
            colours = static_cast<int>(truncClamped(std::nearbyint(range), -65536, 65536));
            stretch = false;
        }
        // Equal limits leave nothing to stretch between: show the cells as
        // they are, as for a narrow value range.
        if (m_doc.DisplayMax == m_doc.DisplayMin) {
            stretch = false;
        }
        const TStretch map(m_doc, colours, stretch);

        m_bitmap.SetSize(grid.Width, grid.Height, TPixelFormat::pf8bit);
        if (m_bitmap.Empty()) {
            return;
        }
        // Integer and byte cells take their index from a table of every
        // possible value; real cells are mapped one by one.
        // Missing cells take the first colour.
        const std::optional<double> missing = missingDataFlag(m_doc);
        std::vector<std::uint8_t> table;
        if (type == dtInteger) {
            table.resize(65536);
            for (int v = -32768; v <= 32767; ++v) {
                table[static_cast<std::uint16_t>(v)] = v == missing ? 0 : map.Index(v);
            }
        } else if (type != dtReal) {
            table.resize(256);
            for (int v = 0; v <= 255; ++v) {
                table[static_cast<std::size_t>(v)] = v == missing ? 0 : map.Index(v);
            }
        }
        std::vector<std::uint8_t> row(static_cast<std::size_t>(m_rowBytes));
        const std::size_t stride =
            static_cast<std::size_t>(m_step) * static_cast<std::size_t>(grid.CellBytes);
        for (int r = 0; r < grid.Height; ++r) {
            readRow(r, row.data());
            const std::uint8_t* in = row.data();
            std::uint8_t* out = m_bitmap.ScanLine(r);
            switch (type) {
            case dtInteger:
                for (int c = 0; c < grid.Width; ++c, in += stride) {
                    out[c] = table[LittleEndianUInt16(in)];
                }
                break;
            case dtReal:
                for (int c = 0; c < grid.Width; ++c, in += stride) {
                    const double value = LittleEndianSingle(in);
                    out[c] = value == missing ? 0 : map.Index(value);
                }
                break;
            default:
                for (int c = 0; c < grid.Width; ++c, in += stride) {
                    out[c] = table[*in];
                }
                break;
            }
            progress(r, grid.Height);
        }
        return;
    }

    // rgb24: the display limits pack red (low byte), green and blue (high
    // byte); the cells in the file are blue, green, red.
    const std::int64_t low = truncClamped(m_doc.DisplayMin, 0, 0xFFFFFF);
    const std::int64_t high = truncClamped(m_doc.DisplayMax, 0, 0xFFFFFF);
    std::array<std::array<std::uint8_t, 256>, 3> channel{};
    for (int position = 0; position < 3; ++position) {
        const int shift = 8 * (2 - position); // blue first: the high byte of the limits
        const int lower = static_cast<int>((low >> shift) & 0xFF);
        const int upper = static_cast<int>((high >> shift) & 0xFF);
        const bool stretchChannel = stretch && upper != lower;
        for (int b = 0; b <= 255; ++b) {
            int v = b;
            if (stretchChannel) {
                if (v < lower) {
                    v = lower;
                }
                if (v > upper) {
                    v = upper;
                }
                // Whole numbers throughout: truncating (v − lower) × 255 ÷
                // (upper − lower) exactly, so the upper limit gives 255.
                v = ((v - lower) * 255 / (upper - lower)) & 0xFF;
            }
            channel[static_cast<std::size_t>(position)][static_cast<std::size_t>(b)] =
                static_cast<std::uint8_t>(v);
        }
    }
    m_bitmap.SetSize(grid.Width, grid.Height, TPixelFormat::pf24bit);
    if (m_bitmap.Empty()) {
        return;
    }
    std::vector<std::uint8_t> row(static_cast<std::size_t>(m_rowBytes));
    const std::size_t stride = static_cast<std::size_t>(m_step) * 3;
    for (int r = 0; r < grid.Height; ++r) {
        readRow(r, row.data());
        const std::uint8_t* in = row.data();
        std::uint8_t* out = m_bitmap.ScanLine(r);
        for (int c = 0; c < grid.Width; ++c, in += stride, out += 3) {
            out[0] = channel[0][in[0]];
            out[1] = channel[1][in[1]];
            out[2] = channel[2][in[2]];
        }
        progress(r, grid.Height);
    }
}

int TRasterFile::ReadPalette(const std::string& fileName, bool stretch)
{
    constexpr std::size_t HeaderBytes = 18;
    constexpr std::size_t TableBytes = 256 * 3;
    if (!fileName.empty()) {
        m_palletFile = fileName;
    }
    TReadOnlyFile file;
    file.OpenOrThrow(m_palletFile, "palette file");
    std::uint8_t header[HeaderBytes] = {};
    const std::size_t got = file.ReadAt(0, header, HeaderBytes);
    if (got < HeaderBytes) {
        throw TRasterError(m_palletFile + ": palette file too short, expected at least " +
                           std::to_string(HeaderBytes) + " bytes but got " + std::to_string(got));
    }
    const std::size_t tableOffset = header[11];
    const int highest = LittleEndianUInt16(header + 12);
    const int first = LittleEndianUInt16(header + 14);
    const int last = LittleEndianUInt16(header + 16);
    std::uint8_t table[TableBytes] = {};
    const std::size_t tableGot = file.ReadAt(tableOffset, table, TableBytes);
    if (tableGot < TableBytes) {
        throw TRasterError(m_palletFile + ": palette file too short for its colour table at byte " +
                           std::to_string(tableOffset) + ", expected " +
                           std::to_string(tableOffset + TableBytes) + " bytes but got " +
                           std::to_string(file.Size()));
    }
    const int colours = stretch ? last - first + 1 : highest + 1;
    TPalette palette;
    for (int i = 0; i < 256; ++i) {
        auto& entry = palette[static_cast<std::size_t>(i)];
        entry = {0, 0, 0, PaletteNoCollapse};
        if (i < colours && (!stretch || i >= first)) {
            const std::uint8_t* rgb = table + 3 * i;
            entry = {rgb[0], rgb[1], rgb[2], PaletteNoCollapse};
        }
    }
    m_bitmap.SetPalette(palette);
    return colours;
}

} // namespace skyglide
