// What put makes of a Windows path: the full path from GetFullPathNameW, and
// the console's name of it, whose name part follows either separator.
#include <gtest/gtest.h>

#include <string>

#include "files/Cp1251.h"
#include "files/FileUpload.h"
#include "files/LocalFile.h"

namespace vemkard {
namespace {

TEST(WindowsPaths, TheFullPathHasADriveLetterAndBackslashes) {
    const std::string full = FullPath("папка/../план.h6s");
    ASSERT_GT(full.size(), 3u);
    EXPECT_EQ(full.substr(1, 2), ":\\") << full;
    EXPECT_EQ(full.find('/'), std::string::npos) << full;
    EXPECT_TRUE(full.ends_with("\\план.h6s")) << full;
}

TEST(WindowsPaths, APathOver200BytesGoesOutAsTheNameAfterEitherSeparator) {
    const std::string folder = "C:\\" + std::string(195, 'd');
    const struct {
        std::string path, name;
    } cases[] = {
        {folder + "\\name.m0", "name.m0"},
        {folder + "/name.m0", "name.m0"},
        {folder + "\\имя.z0", Utf8ToCp1251("имя.z0") + " "},
    };
    for (const auto& c : cases) EXPECT_EQ(UploadName(c.path), c.name) << c.path;
}

}  // namespace
}  // namespace vemkard
