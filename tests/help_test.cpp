#include "zelk_process.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

const std::string help_transcript = text::banner + text::question + text::help_page + text::farewell;

TEST(Help, PageInFullWithNoClearCommandOnThePath)
{
    Scratch scratch;
    Launch launch;
    launch.input = "3\n";
    launch.environment = {{"PATH", scratch.dir().string()}, {"TERM", std::nullopt}};
    const Outcome run = scratch.run(launch);
    EXPECT_EQ(run.out, help_transcript);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
}

// `script` gives the program a pseudo-terminal, whose bytes come back with
// CR LF line ends.
class HelpOnTerminal : public testing::Test {
protected:
    void SetUp() override
    {
        if (testing_windows_build())
            GTEST_SKIP() << "the terminal checks run against the native build";
        if (!fs::exists("/usr/bin/script"))
            GTEST_SKIP() << "no /usr/bin/script";
    }

    Outcome run(std::vector<std::pair<std::string, std::optional<std::string>>> environment) const
    {
        Launch launch;
        launch.input = "3\n";
        launch.environment = std::move(environment);
        launch.command = {"/usr/bin/script", "-qec", zelk_command().front(), "/dev/null"};
        return scratch.run(launch);
    }

    static std::string on_terminal(const std::string& text)
    {
        std::string crlf;
        for (char c : text)
            crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        return crlf;
    }

    Scratch scratch;
};

TEST_F(HelpOnTerminal, ScreenIsClearedAfterTheQuestionAndBeforeThePage)
{
    const Outcome shown = run({{"TERM", "xterm"}});
    const std::size_t question = shown.out.find(text::question);
    const std::size_t cleared = shown.out.find("\x1b[2J");
    const std::size_t page = shown.out.find(on_terminal(text::help_page + text::farewell));
    ASSERT_NE(question, std::string::npos) << shown.out;
    ASSERT_NE(cleared, std::string::npos) << shown.out;
    ASSERT_NE(page, std::string::npos) << shown.out;
    EXPECT_LT(question, cleared);
    EXPECT_LT(cleared, page);
    EXPECT_EQ(shown.status, 0);
}

TEST_F(HelpOnTerminal, NoClearCommandStillGivesThePageAndNoErrorText)
{
    const Outcome shown = run({{"TERM", "xterm"}, {"PATH", scratch.dir().string()}});
    EXPECT_NE(shown.out.find(on_terminal(text::help_page + text::farewell)), std::string::npos) << shown.out;
    EXPECT_EQ(shown.out.find("not found"), std::string::npos) << shown.out;
}

TEST_F(HelpOnTerminal, UnsetTermPrintsNoComplaint)
{
    const Outcome shown = run({{"TERM", std::nullopt}});
    EXPECT_NE(shown.out.find(on_terminal(text::help_page + text::farewell)), std::string::npos) << shown.out;
    EXPECT_EQ(shown.out.find("TERM"), std::string::npos) << shown.out;
}

}  // namespace
