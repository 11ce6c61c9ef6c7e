#include "ui/error_log.h"

#include "base/text.h"
#include "test_support.h"

namespace wbfax {
namespace {

class ErrorLogTest : public test::ScratchInstall {};

// Rows as "line|status|pc|year.month.day.hour.minute|file", separated by spaces.
TEST_F(ErrorLogTest, ShowsTheFailedNoticesAtTheirLineNumbers) {
    EXPECT_TRUE(ReadErrorLog(ErrorLogPath()).empty());  // no file yet
    // 510 characters and the line end fill the window's 512-byte buffer; one more does not fit.
    const std::string fits = "11,PC01,,2009.01.30.14.05,,,," + std::string(481, 'a');
    const std::pair<std::string, std::string> cases[] = {
        {"11,PC01,0007,2009.01.30.14.05.22,2009.01.30.14.00,Sender,0312,FAX0001.tif,no answer\r\n"
         "10,PC02,0007,2009.01.30.14.05.23,,,,FAX0001.tif,delivered\r\na line without any separator\r\n"
         "19,PC03,,2010.12.01.09.30.00,,,,FAX0002.pdf\r\n7,PC04,,2011.02.03.04.05\r\n"
         "12,192.168.1.5,0008,2012.07.08.23.59.01,,,,last.tif",  // no line end at the end
         "0|11|PC01|2009.1.30.14.5|FAX0001.tif 3|19|PC03|2010.12.1.9.30|FAX0002.pdf 4|7|PC04|2011.2.3.4.5| "
         "5|12|192.168.1.5|2012.7.8.23.59|last.tif "},
        {"11x,PC01,,2009y.3.4z\n ,PC02\n", "0|11|PC01|2009.3.4.0.0| 1|0|PC02|0.0.0.0.0| "},  // leading digits only
        {fits + "\r\n" + fits + "b\r\n" + "11,PC03,,2009.01.30.14.05\r\n", "0|11|PC01|2009.1.30.14.5|" + std::string(481, 'a') + " "},
    };
    for (const auto &[content, expected] : cases) {
        test::WriteFile(DataDir() + "/sqb_NTFY.log", content);
        std::string shown;
        for (const ErrorLogRow &r : ReadErrorLog(ErrorLogPath()))
            shown += Format("%d|%d|%s|%d.%d.%d.%d.%d|%s ", r.line, r.status, r.pcAddress.c_str(), r.year, r.month, r.day,
                            r.hour, r.minute, r.fileName.c_str());
        EXPECT_EQ(shown, expected) << content.substr(0, 40);
    }
}

}  // namespace
}  // namespace wbfax
