#pragma once

// Foreign rasters made from the bundled samples by the tool tests, with GDAL's
// own programs: a virtual raster reads a sample in place.

#include "TestSupport.h"
#include "data/ImgDoc.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace skyglide::test {

inline std::string text17(double value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

/// A GDAL virtual raster that reads the bundled sample NAME.rst in place,
/// with the extent and reference system of its documentation.
inline std::string sampleVrt(const std::filesystem::path& folder, const std::string& name)
{
    TImgDoc doc;
    EXPECT_EQ(doc.ReadDoc(Sample(name + ".rdc")), TImgDoc::StatusOk);
    const std::string srs = doc.RefSystem == "latlong" ? "EPSG:4326" : "EPSG:32725";
    const double width = (doc.MaxX - doc.MinX) / doc.Columns;
    const double height = (doc.MaxY - doc.MinY) / doc.Rows;
    const int bytes = CellBytes(doc.DataType);
    std::string vrt = "<VRTDataset rasterXSize=\"" + std::to_string(doc.Columns) +
                      "\" rasterYSize=\"" + std::to_string(doc.Rows) + "\"><SRS>" + srs +
                      "</SRS><GeoTransform>" + text17(doc.MinX) + "," + text17(width) + ",0," +
                      text17(doc.MaxY) + ",0," + text17(-height) + "</GeoTransform>";
    const char* type = doc.DataType == dtInteger ? "Int16"
                       : doc.DataType == dtReal  ? "Float32"
                                                 : "Byte";
    const int bands = doc.DataType == dtRgb24 ? 3 : 1;
    for (int band = 1; band <= bands; ++band) {
        // rgb24 cells are blue, green, red: band 1 (red) is the third byte.
        const int offset = bands == 3 ? 3 - band : 0;
        vrt += "<VRTRasterBand dataType=\"" + std::string(type) + "\" band=\"" +
               std::to_string(band) + "\" subClass=\"VRTRawRasterBand\"><SourceFilename>" +
               std::filesystem::absolute(Sample(name + ".rst")).string() +
               "</SourceFilename><ImageOffset>" + std::to_string(offset) +
               "</ImageOffset><PixelOffset>" + std::to_string(bytes) +
               "</PixelOffset><LineOffset>" + std::to_string(bytes * doc.Columns) +
               "</LineOffset><ByteOrder>LSB</ByteOrder></VRTRasterBand>";
    }
    const std::string file = (folder / (name + ".vrt")).string();
    std::ofstream(file, std::ios::binary | std::ios::trunc) << vrt << "</VRTDataset>";
    return file;
}

} // namespace skyglide::test
