#pragma once

#include <memory>
#include <vector>

namespace skyglide {

class TBitmap;

/// The heights of a grid of Columns() × Rows() cells, as the level-of-detail
/// surface reads them: row 0 is the north row, column 0 the west column, and
/// a height is in the height field's own z units (the value scaled so that
/// the documented minimum is 0 and the maximum 1), exactly what the mesh's
/// height callback gives for that cell.
///
/// The surface reads from worker threads, several at a time, for as long as
/// it holds the source: ReadRow must be safe to call concurrently and the
/// heights must not change meanwhile.
class THeightSource
{
public:
    virtual ~THeightSource() = default;

    virtual int Columns() const = 0;
    virtual int Rows() const = 0;
    /// Writes count heights of row `row` into out: the cells at column,
    /// column + step, … (step ≥ 1). The caller keeps every cell it asks for
    /// inside the grid.
    virtual void ReadRow(int row, int column, int step, int count, float* out) const = 0;
};

/// A height source over a bitmap of raw cells, as the data library loads a
/// surface: 16-bit signed integers, 32-bit singles, bytes, or 24-bit cells
/// of which the first (blue) byte is the value. Heights are
/// (value − minValue) / (maxValue − minValue); equal limits, or a value that
/// is not a finite number, give 0 (a flat base rather than a torn surface).
///
/// The cells stay in their own width: nothing is converted or copied. The
/// bitmap is shared, so it lives as long as the surface reads it.
class TBitmapHeightSource final : public THeightSource
{
public:
    TBitmapHeightSource(std::shared_ptr<const TBitmap> cells, double minValue, double maxValue);

    int Columns() const override;
    int Rows() const override;
    void ReadRow(int row, int column, int step, int count, float* out) const override;

private:
    std::shared_ptr<const TBitmap> m_cells;
    double m_minValue;
    double m_scale;
};

/// Reads a source as if the grid went on for ever, every cell past an edge
/// repeating the edge cell next to it: the tile lattice runs on past the
/// grid's east and south edges, and normals at an edge become one-sided.
class TClampedHeights
{
public:
    explicit TClampedHeights(const THeightSource& source) : m_source(source) {}

    /// Heights of row `row` at columns column + k × step, k = 0 … count − 1.
    void Row(int row, int column, int step, int count, float* out) const;
    /// Heights of column `column` at rows row + k × step.
    void Column(int column, int row, int step, int count, float* out) const;
    float At(int column, int row) const;

private:
    const THeightSource& m_source;
};

} // namespace skyglide
