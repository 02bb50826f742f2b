// The About dialog's texts and links: a link opens in a window the user sees.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/system.h"
#include "ui/about.h"

namespace tarvik {
namespace {

class ShellRecorder : public System {
public:
    struct Call {
        std::string verb, file;
        bool parameters, directory;
        int show;
    };
    std::vector<Call> calls;
    intptr_t ShellExecute(const char* verb, const char* file, const char* parameters,
                          const char* directory, int show) override {
        calls.push_back({verb ? verb : "(null)", file ? file : "(null)", parameters != nullptr,
                         directory != nullptr, show});
        return 42;
    }
};

TEST(About, LinksOpenShownNormallyWithTheirOwnTextCutTo255) {
    ShellRecorder shell;
    SetSystem(&shell);
    EXPECT_EQ(OpenAboutLink("https://orvanto.example/tarvik/"), 42);
    const std::string longText(300, 'x');
    EXPECT_EQ(OpenAboutLink(longText), 42);
    EXPECT_EQ(OpenAboutLink(""), 0);  // nothing to open: the shell is not asked
    SetSystem(nullptr);

    ASSERT_EQ(shell.calls.size(), 2u);
    EXPECT_EQ(shell.calls[0].verb, "open");
    EXPECT_EQ(shell.calls[0].file, "https://orvanto.example/tarvik/");
    EXPECT_FALSE(shell.calls[0].parameters);
    EXPECT_FALSE(shell.calls[0].directory);
    EXPECT_EQ(shell.calls[0].show, 1);  // SW_SHOWNORMAL, never hidden
    EXPECT_EQ(shell.calls[1].file, std::string(255, 'x'));
}

TEST(About, VersionAndNoticeLines) {
    EXPECT_EQ(AboutVersionText(), u"Tarvik version 5.0");
    EXPECT_EQ(AboutNoticeText(), u"Copyright \u00A9 2019\u20132026 Orvanto Software");
}

}  // namespace
}  // namespace tarvik
