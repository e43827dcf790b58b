// The registry key under HKEY_CURRENT_USER: its reads, writes and failures;
// and the tests' own removal of keys, which every registry test relies on.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/win/registry.h"
#include "tests/platform/registry_support.h"

namespace {

using platform::win::RegistryError;
using platform::win::RegistryKey;

constexpr char TestKey[] = "Software\\Melqary\\ARVELON-tests";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(regtest::DeleteCurrentUserKey(TestKey)); }
    void TearDown() override { regtest::DeleteCurrentUserKey(TestKey); }
};

std::string ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const RegistryError& error) {
        return error.what();
    }
    return "no error";
}

TEST_F(RegistryTest, OpeningCreatesAMissingKey)
{
    ASSERT_TRUE(RegistryKey::open_current_user(TestKey).has_value());
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, TestKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(RegistryTest, BooleanIsWrittenAsA32BitIntegerAndReadBack)
{
    auto key = RegistryKey::open_current_user(TestKey);
    ASSERT_TRUE(key);
    key->write_bool("flag", true);
    EXPECT_TRUE(key->read_bool("flag"));
    EXPECT_EQ(key->read_integer("flag"), 1);
    key->write_bool("flag", false);
    EXPECT_FALSE(key->read_bool("flag"));
}

TEST_F(RegistryTest, MissingIntegerFailsToGetData)
{
    auto key = RegistryKey::open_current_user(TestKey);
    ASSERT_TRUE(key);
    EXPECT_EQ(ErrorOf([&] { (void)key->read_bool("imuterms"); }), "Failed to get data for 'imuterms'");
}

TEST_F(RegistryTest, StringWhereAnIntegerIsExpectedIsAnInvalidDataType)
{
    auto key = RegistryKey::open_current_user(TestKey);
    ASSERT_TRUE(key);
    key->write_string("imuterms", "1");
    EXPECT_EQ(ErrorOf([&] { (void)key->read_bool("imuterms"); }), "Invalid data type for 'imuterms'");
}

TEST_F(RegistryTest, IntegerWhereAStringIsExpectedIsAnInvalidDataType)
{
    auto key = RegistryKey::open_current_user(TestKey);
    ASSERT_TRUE(key);
    key->write_integer("imudir", 5);
    EXPECT_EQ(ErrorOf([&] { (void)key->read_string("imudir"); }), "Invalid data type for 'imudir'");
}

TEST_F(RegistryTest, MissingStringReadsAsEmpty)
{
    auto key = RegistryKey::open_current_user(TestKey);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->read_string("imudir"), "");
    key->write_string("imudir", "C:\\ARVELON");
    EXPECT_EQ(key->read_string("imudir"), "C:\\ARVELON");
}

TEST_F(RegistryTest, WriteThroughAReadOnlyKeyFailsToSetData)
{
    ASSERT_TRUE(RegistryKey::open_current_user(TestKey));
    auto key = RegistryKey::open_current_user(TestKey, KEY_READ);
    ASSERT_TRUE(key);
    EXPECT_EQ(ErrorOf([&] { key->write_bool("imuterms", true); }), "Failed to set data for 'imuterms'");
}

TEST_F(RegistryTest, DeletingRemovesTheKeyWithSubkeysTwoDeepAndSparesItsSibling)
{
    const std::string sibling = std::string(TestKey) + "-sibling";
    for (const std::string& path :
         {std::string(TestKey) + "\\a\\b", std::string(TestKey) + "\\a\\c", std::string(TestKey) + "\\d", sibling}) {
        auto key = RegistryKey::open_current_user(path);
        ASSERT_TRUE(key);
        key->write_string("v", "x");
    }
    EXPECT_TRUE(regtest::DeleteCurrentUserKey(TestKey));
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, TestKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, sibling.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_TRUE(regtest::DeleteCurrentUserKey(sibling));
    EXPECT_TRUE(regtest::DeleteCurrentUserKey(TestKey)) << "a missing key counts as gone";
}

}  // namespace
