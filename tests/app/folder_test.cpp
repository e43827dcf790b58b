// The target folder browser and the folder-name dialog, under Wine.
#include "tests/app/app_fixture.h"

namespace {

TEST(ParentFolder, OfADeepFolderEndsInASeparatorAndOfATopFolderIsTheDrive)
{
    EXPECT_EQ(ParentFolderOf("C:\\data\\sub"), "C:\\data\\");
    EXPECT_EQ(ParentFolderOf("C:\\data"), "C:\\");
}

}  // namespace
