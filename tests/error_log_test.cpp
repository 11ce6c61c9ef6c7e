#include "ui/error_log.h"

#include "test_support.h"

#include <string>
#include <vector>

namespace wbfax {
namespace {

class ErrorLogTest : public test::ScratchInstall {
protected:
    std::string LogFile() const { return DataDir() + "/sqb_NTFY.log"; }
    std::vector<ErrorLogRow> Read(const std::string &content) {
        test::WriteFile(LogFile(), content);
        return ReadErrorLog(ErrorLogPath());
    }
};

TEST_F(ErrorLogTest, ShowsTheFailedNoticesAtTheirLineNumbers) {
    const std::vector<ErrorLogRow> rows = Read(
        "11,PC01,0007,2009.01.30.14.05.22,2009.01.30.14.00,Sender,0312,FAX0001.tif,no answer\r\n"
        "10,PC02,0007,2009.01.30.14.05.23,,,,FAX0001.tif,delivered\r\n"
        "a line without any separator\r\n"
        "19,PC03,,2010.12.01.09.30.00,,,,FAX0002.pdf\r\n"
        "7,PC04,,2011.02.03.04.05\r\n"
        "12,192.168.1.5,0008,2012.07.08.23.59.01,,,,last.tif");  // no line end at the end
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].line, 0);
    EXPECT_EQ(rows[0].status, 11);
    EXPECT_EQ(rows[0].pcAddress, "PC01");
    EXPECT_EQ((std::vector<int>{rows[0].year, rows[0].month, rows[0].day, rows[0].hour, rows[0].minute}),
              (std::vector<int>{2009, 1, 30, 14, 5}));
    EXPECT_EQ(rows[0].fileName, "FAX0001.tif");
    EXPECT_EQ(rows[1].line, 3);
    EXPECT_EQ(rows[1].status, 19);
    EXPECT_EQ(rows[1].fileName, "FAX0002.pdf");
    EXPECT_EQ(rows[2].line, 4);
    EXPECT_EQ(rows[2].status, 7);
    EXPECT_EQ(rows[2].minute, 5);
    EXPECT_EQ(rows[2].fileName, "");
    EXPECT_EQ(rows[3].line, 5);
    EXPECT_EQ(rows[3].pcAddress, "192.168.1.5");
    EXPECT_EQ(rows[3].fileName, "last.tif");
}

TEST_F(ErrorLogTest, TakesTheLeadingDigitsOfTheStatusAndDateParts) {
    const std::vector<ErrorLogRow> rows = Read("11x,PC01,,2009y.3.4z\n ,PC02\n");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].status, 11);
    EXPECT_EQ(rows[0].year, 2009);
    EXPECT_EQ(rows[0].month, 3);
    EXPECT_EQ(rows[0].day, 4);
    EXPECT_EQ(rows[0].hour, 0);
    EXPECT_EQ(rows[1].status, 0);  // no digits at all
    EXPECT_EQ(ErrorLogStatusText(rows[1].status), "0");
}

TEST_F(ErrorLogTest, StopsAtTheFirstLineLongerThanTheWindowReads) {
    // 510 characters and the line end fill the window's 512-byte buffer exactly; one more
    // character does not fit.
    const std::string fits = "11,PC01,,2009.01.30.14.05,,,," + std::string(510 - 29, 'a');
    const std::string tooLong = "11,PC02,,2009.01.30.14.05,,,," + std::string(511 - 29, 'b');
    ASSERT_EQ(fits.size(), 510u);
    const std::vector<ErrorLogRow> rows = Read(fits + "\r\n" + tooLong + "\r\n" + "11,PC03,,2009.01.30.14.05\r\n");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].pcAddress, "PC01");
    EXPECT_EQ(rows[0].fileName, std::string(510 - 29, 'a'));
}

TEST_F(ErrorLogTest, AMissingFileShowsNothing) { EXPECT_TRUE(ReadErrorLog(ErrorLogPath()).empty()); }

}  // namespace
}  // namespace wbfax
