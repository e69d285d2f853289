// The raster documentation reader on any text: it returns one of its status
// codes, and a documentation it accepts holds counts and types the loads can
// rely on.

#include "FuzzSupport.h"

#include "data/ImgDoc.h"

#include <cmath>

using namespace skyglide;
using skyglide::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text = fuzz::AsText(data, size);
    const std::string file = fuzz::WriteInputFile("doc.rdc", text);

    TImgDoc doc;
    const int status = doc.ReadDoc(file);
    switch (status) {
    case TImgDoc::StatusOk:
        Check(doc.DataType >= dtInteger && doc.DataType <= dtRgb8, "an accepted data type");
        Check(doc.FileType >= ftAscii && doc.FileType <= ftPackedBinary, "an accepted file type");
        Check(doc.Columns >= 0 && doc.Rows >= 0, "counts of an accepted documentation");
        // A negative count is kept as stored files have it: no legend lines.
        Check(doc.LegendCats <= TImgDoc::MaxLegendCats,
              "legend categories of an accepted documentation");
        Check(doc.ErrorText.empty(), "no error text after a success");
        break;
    case TImgDoc::StatusNotA1:
    case TImgDoc::StatusBadDataType:
    case TImgDoc::StatusBadFileType:
        break;
    case TImgDoc::StatusReadError:
        Check(doc.ErrorText == file, "a read error names the file");
        break;
    default:
        Check(false, "a status that the reader does not document");
    }

    // The same reader reads a documentation again over the fields of the
    // last one, as a raster does when it is named again.
    Check(doc.ReadDoc(file) == status, "the same status for the same file");

    float value = 0.0F;
    if (TImgDoc::ParseReal(std::string(text), value)) {
        Check(std::isfinite(value), "a parsed real is finite");
    } else {
        Check(value == 0.0F, "a refused real reads as 0");
    }
    return 0;
}
