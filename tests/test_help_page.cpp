// The "&Help" item as Outlook raises it: the real shell opens the help page
// with whatever program the test prefix registers for http, a recording
// browser or one that cannot start.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/expected_texts.h"
#include "support/host_fixture.h"
#include "support/http_handler.h"
#include "support/message_boxes.h"

namespace {

const char* const kHelpPage = kstest::expected::kHelpPageAddress;
const std::string kBrowserFailed = kstest::expected::ErrorBox(kstest::expected::kBrowserFailed);

class HelpPage : public kstest::HostFixture {
protected:
    void SetUp() override {
        kstest::HostFixture::SetUp();
        kstest::ClearRecordedAddresses();
    }
    void TearDown() override {
        kstest::ClearRecordedAddresses();
        kstest::HostFixture::TearDown();
    }

    // Clicks the Help item with the boxes read and closed.
    VARIANT_BOOL ClickHelp(VARIANT_BOOL cancelDefault = VARIANT_FALSE) {
        kstest::BoxRecorder recorder;
        kshost::Button* help = HelpItem();
        VARIANT_BOOL result = help ? help->Click(cancelDefault) : cancelDefault;
        for (const kstest::ShownBox& b : recorder.Boxes()) boxes.push_back(b);
        return result;
    }

    std::vector<kstest::ShownBox> boxes;
};

}  // namespace

TEST_F(HelpPage, OpensTheHelpPageInTheRegisteredBrowser) {
    ASSERT_NE(GetFileAttributesW((kstest::TestDirectory() + L"url_recorder.exe").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the recording browser is built with the host programs (target url_recorder)";
    kstest::HttpHandler browser(kstest::RecorderCommand());
    ASSERT_TRUE(browser.Installed());
    ASSERT_EQ(Connect(), S_OK);

    EXPECT_EQ(ClickHelp(), VARIANT_FALSE);
    EXPECT_EQ(kstest::WaitForRecordedAddresses(1), std::vector<std::string>{kHelpPage});
    EXPECT_TRUE(boxes.empty());

    // Each click opens the page again.
    EXPECT_EQ(ClickHelp(VARIANT_TRUE), VARIANT_TRUE) << "the cancel-default flag is left as passed";
    EXPECT_EQ(kstest::WaitForRecordedAddresses(2), (std::vector<std::string>{kHelpPage, kHelpPage}));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(HelpPage, BrowserThatCannotStartGivesOneBoxPerClick) {
    kstest::HttpHandler browser(L"\"C:\\no such folder\\no-browser.exe\" \"%1\"");
    ASSERT_TRUE(browser.Installed());
    ASSERT_EQ(Connect(), S_OK);

    ClickHelp();
    EXPECT_EQ(kstest::Texts(boxes), std::vector<std::string>{kBrowserFailed});

    ClickHelp();
    EXPECT_EQ(kstest::Texts(boxes), (std::vector<std::string>{kBrowserFailed, kBrowserFailed}));
}

TEST_F(HelpPage, ClickAfterDisconnectionOpensNothing) {
    kstest::HttpHandler browser(kstest::RecorderCommand());
    ASSERT_EQ(Connect(), S_OK);
    ASSERT_EQ(Disconnect(), S_OK);
    ClickHelp();
    Sleep(500);  // a browser started in error would have written by now
    EXPECT_TRUE(kstest::RecordedAddresses().empty());
    EXPECT_TRUE(boxes.empty());
}
