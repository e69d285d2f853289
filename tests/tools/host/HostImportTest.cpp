// skyglide-host on foreign rasters: imported once into the cache, flown, and
// imported again when the source changes.
#include "../SampleRasters.h"
#include "HostRun.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace skyglide::test {
namespace {

QString Parameter(const THostRun& host, int index)
{
    for (const TLoggedCall& call : host.Calls())
        if (call.Method == "GetProcessParameter" && call.Args.at(1).toInt() == index)
            return call.Value.toString();
    return {};
}

TImgDoc DocOf(const QString& rst)
{
    TImgDoc doc;
    EXPECT_EQ(doc.ReadDoc(rst.chopped(4).toStdString() + ".rdc"), TImgDoc::StatusOk)
        << qPrintable(rst);
    return doc;
}

void MakeGeoTiff(const std::filesystem::path& folder, const std::string& sample, const QString& tif)
{
    QProcess translate;
    translate.start("gdal_translate",
                    {"-q", QString::fromStdString(test::sampleVrt(folder, sample)), tif});
    ASSERT_TRUE(translate.waitForFinished(60000) && translate.exitCode() == 0)
        << translate.readAllStandardError().toStdString();
}

TEST(HostImport, FliesAGeoTiffFromTheCacheAndImportsItAgainOnceChanged)
{
    const std::filesystem::path path = TestFolder();
    const auto file = [&path](const char* name) { return QString::fromStdString((path / name).string()); };
    const QString dem = file("dem.tif");
    const QString drape = file("drape.tif");
    MakeGeoTiff(path, "olinda", dem);
    MakeGeoTiff(path, "olinda_drape", drape);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CACHE_HOME", file("cache"));
    const QString cache = file("cache/Kartova/Sky Glide/rasters/");

    // The viewer flies the imported pair, the drape fitted onto the surface's grid.
    THostRun first({dem, "--drape", drape}, environment);
    ASSERT_TRUE(first.WaitForBusName("org.kartova.skyglide_msghndlr"))
        << qPrintable(first.Stderr());
    first.Signal(SIGINT);
    ASSERT_TRUE(first.WaitForExit());
    EXPECT_EQ(first.ExitCode(), 0) << qPrintable(first.Stderr());
    const QString surface = Parameter(first, 2);
    EXPECT_TRUE(surface.startsWith(cache) && surface.endsWith("/dem.rst")) << qPrintable(surface);
    EXPECT_TRUE(first.Stderr().contains("skyglide-host: importing " + dem + " into " + cache));
    const TImgDoc surfaceDoc = DocOf(surface);
    const TImgDoc drapeDoc = DocOf(Parameter(first, 3));
    EXPECT_EQ(drapeDoc.DataType, dtRgb24);
    EXPECT_EQ(drapeDoc.Columns, 3 * surfaceDoc.Columns) << "30 m cells within the 90 m ones";
    EXPECT_DOUBLE_EQ(drapeDoc.MaxX, surfaceDoc.MaxX);
    EXPECT_DOUBLE_EQ(drapeDoc.MinY, surfaceDoc.MinY);
    EXPECT_NE(drapeDoc.MinValueText, "0 0 0") << "the strip the image does not cover is black "
                                                 "but left out of its colour range";

    // A viewer that only asks for the surface and the drape.
    const QString viewer = file("viewer.sh");
    QFile script(viewer);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nfor n in 2 3; do gdbus call --session --dest org.kartova.APIServer "
                 "--object-path /org/kartova/APIServer "
                 "--method org.kartova.APIServer.GetProcessParameter 1 $n >/dev/null; done\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QDateTime imported = QFileInfo(surface).lastModified();

    THostRun second({dem, "--viewer", viewer}, environment);
    ASSERT_TRUE(second.WaitForExit());
    EXPECT_EQ(Parameter(second, 2), surface);
    EXPECT_FALSE(second.Stderr().contains("importing")) << qPrintable(second.Stderr());
    EXPECT_EQ(QFileInfo(surface).lastModified(), imported);

    QFile source(dem);
    ASSERT_TRUE(source.open(QIODevice::ReadWrite));
    source.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime);
    source.close();
    // The drape now in geographic coordinates: warped back onto the surface's grid.
    const QString geographic = file("geographic.tif");
    QProcess warp;
    warp.start("gdalwarp", {"-q", "-t_srs", "EPSG:4326", drape, geographic});
    ASSERT_TRUE(warp.waitForFinished(60000) && warp.exitCode() == 0);
    THostRun third({dem, "--viewer", viewer, "--drape", geographic}, environment);
    ASSERT_TRUE(third.WaitForExit());
    EXPECT_TRUE(third.Stderr().contains("importing")) << qPrintable(third.Stderr());
    const QString again = Parameter(third, 2);
    EXPECT_TRUE(again.endsWith("/dem.rst") && again != surface) << qPrintable(again);
    EXPECT_TRUE(QFileInfo::exists(again));
    EXPECT_FALSE(QFileInfo(surface).dir().exists()) << "the out-of-date import is removed";
    const QString warped = Parameter(third, 3);
    const TImgDoc warpedDoc = DocOf(warped);
    EXPECT_EQ(warpedDoc.RefSystem, "utm-25s");
    EXPECT_DOUBLE_EQ(warpedDoc.MinX, surfaceDoc.MinX);
    EXPECT_DOUBLE_EQ(warpedDoc.MaxY, surfaceDoc.MaxY);
    ASSERT_EQ(warpedDoc.Lineage.size(), 2u);
    EXPECT_NE(warpedDoc.Lineage[1].find("warped from its own coordinate system"),
              std::string::npos);
    // The same scene: its mean brightness stays that of the Landsat image.
    const auto mean = [](const QString& file) {
        QFile image(file);
        EXPECT_TRUE(image.open(QIODevice::ReadOnly));
        const QByteArray bytes = image.readAll();
        double sum = 0;
        for (const char byte : bytes)
            sum += static_cast<unsigned char>(byte);
        return sum / std::max<qsizetype>(bytes.size(), 1);
    };
    const double original =
        mean(QString::fromStdString(test::Sample("olinda_drape.rst")));
    EXPECT_NEAR(mean(warped), original, original / 10);
}

} // namespace
} // namespace skyglide::test
