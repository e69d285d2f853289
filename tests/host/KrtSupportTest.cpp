#include "MockKartovaServer.h"
#include "ResolveFileNameCases.h"

#include "host/KrtSupport.h"

#include <gtest/gtest.h>

namespace skyglide::test {
namespace {

TEST(FileTypeExtension, GivesEachTypesExtension)
{
    const struct
    {
        int Type;
        const char* Expected;
    } rows[] = {
        {-2, "keep"},        {-1, ""},
        {0, "keep"},         {1, ".rst"},
        {6, "keep"},         {12, ".smp"},
        {34, "keep"},        {35, ".vct"},
        {61, ".ref"},        {70, "keep"},
        {71, ".isc"},        {79, ""},
        {89, ".vct;.vxp"},   {92, ".tif;.jpg;.pcx;.tga;.clp;.png;.dcx;.wmf;.bmp;.rst"},
        {104, "imag_*.dat"}, {120, ".rdc;.vdc"},
        {130, ".bsq"},       {131, "keep"},
        {132, ".bip"},       {133, "keep"},
    };
    for (const auto& row : rows) {
        std::string text = "keep";
        FileTypeExtension(row.Type, text);
        EXPECT_EQ(text, row.Expected) << "type " << row.Type;
    }
}

class ResolveFileNameOnDisk : public testing::TestWithParam<TResolveCase>
{
protected:
    static void SetUpTestSuite() { Folders = new THostFolders(THostFolders::Create(false)); }
    static void TearDownTestSuite()
    {
        Folders->Remove();
        delete Folders;
    }
    static THostFolders* Folders;
};
THostFolders* ResolveFileNameOnDisk::Folders = nullptr;

TEST_P(ResolveFileNameOnDisk, FindsTheFileInTheHostsFolders)
{
    const TResolveCase& row = GetParam();
    THostScript script;
    script.WorkingFolder = Folders->Working;
    script.ResourceFolders = {Folders->Resource1, Folders->Resource2};
    script.Folder13 = Folders->References;
    script.Folder52 = Folders->Palettes;
    script.Folder54 = Folders->Sounds;
    TScriptedHost host(script);

    std::string name = Folders->Expand(row.Input);
    std::int32_t code = 1;
    EXPECT_EQ(ResolveFileName(&host, row.FileType, name, code), row.Found);
    EXPECT_EQ(name, Folders->Expand(row.Expected));
    EXPECT_EQ(code, row.Code);
}

INSTANTIATE_TEST_SUITE_P(Cases, ResolveFileNameOnDisk, testing::ValuesIn(ResolveCases()),
                         [](const testing::TestParamInfo<TResolveCase>& info) {
                             return info.param.Name;
                         });

TEST(ResolveFileName, WithoutAHostTriesOnlyTheNameAsItStands)
{
    std::string name = "greyscale";
    std::int32_t code = 0;
    EXPECT_FALSE(ResolveFileName(nullptr, ftPalette, name, code));
    EXPECT_EQ(name, "greyscale.smp");
    EXPECT_EQ(code, rfEmptyName);
}

} // namespace
} // namespace skyglide::test
