#include "zip/ziptypes.h"

#include <gtest/gtest.h>

namespace {

void first_proc(std::int32_t, zip::ZipReport*) {}
void second_proc(std::int32_t, zip::ZipReport*) {}
bool always(zip::ZipReport*) { return true; }

TEST(ReportSetters, HandBackThePreviousProcedure)
{
    EXPECT_EQ(zip::set_report_proc(first_proc), nullptr);
    EXPECT_EQ(zip::set_report_proc(second_proc), first_proc);
    EXPECT_EQ(zip::set_report_proc(nullptr), second_proc);
    EXPECT_EQ(zip::set_overwrite_query(always), nullptr);
    EXPECT_EQ(zip::set_overwrite_query(nullptr), always);
}

}  // namespace
