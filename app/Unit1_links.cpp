// The Internet page: each link opens its page in the user's browser.
#include "app/Unit1.h"

#include "settings.h"

namespace {

const std::string ProductPage = std::string("https://") + IMU_PRODUCT_HOST;
const std::string MakerPage = std::string("https://") + IMU_MAKER_HOST;
const std::string GroupPage = std::string("http://") + IMU_GROUP_HOST + "/neo/groups/arvelon_english/info";

}  // namespace

void TForm1::SpeedButton6Click(Object& Sender)
{
    if (&Sender == &SpeedButton6)
        OpenWithShell(ProductPage);
    else if (&Sender == &SpeedButton8)
        OpenWithShell(MakerPage);
    else if (&Sender == &SpeedButton9)
        OpenWithShell(GroupPage);
}
