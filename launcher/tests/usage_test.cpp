#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "usage.h"

namespace {

// What answerHelpRequest wrote, and whether it answered.
struct Answer {
    bool answered;
    std::string text;
};

Answer ask(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "QuillbeckSetup.exe");
    std::FILE* out = std::tmpfile();
    Answer answer{answerHelpRequest(static_cast<int>(arguments.size()), arguments.data(), out), ""};
    if (std::fseek(out, 0, SEEK_SET) != 0) {
        ADD_FAILURE() << "cannot read back what was written";
    }
    for (int c; (c = std::fgetc(out)) != EOF;) {
        answer.text += static_cast<char>(c);
    }
    std::fclose(out);
    return answer;
}

TEST(HelpRequest, SoleHelpArgumentPrintsTheUsageWithTheVersion) {
    for (const char* argument : {"/?", "-h", "--help"}) {
        const Answer answer = ask({argument});
        EXPECT_TRUE(answer.answered) << argument;
        EXPECT_EQ(answer.text.rfind(std::string("QuillbeckSetup ") + IMAGEPREP_VERSION + ",", 0),
                  0u)
            << answer.text;
        EXPECT_NE(answer.text.find("%ProgramData%"), std::string::npos);
    }
}

// Anything else is a package folder (or no argument) and runs as always, silently.
TEST(HelpRequest, EverythingElseIsLeftToTheRun) {
    for (const std::vector<const char*>& arguments : {std::vector<const char*>{},
                                                      {"C:\\pkg"},
                                                      {"/??"},
                                                      {"-H"},
                                                      {"help"},
                                                      {"/?", "C:\\pkg"},
                                                      {"C:\\pkg", "/?"}}) {
        const Answer answer = ask(arguments);
        EXPECT_FALSE(answer.answered);
        EXPECT_EQ(answer.text, "");
    }
}

}  // namespace
