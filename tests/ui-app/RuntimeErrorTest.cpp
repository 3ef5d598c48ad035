// The run-time error message and the program going on after it.
#include "AppTestSupport.h"

#include "app/forms/Form.h"
#include "app/forms/ProgramEnd.h"
#include "app/forms/Handler.h"
#include "app/forms/RuntimeError.h"
#include "platform/Error.h"

#include <new>
#include <stdexcept>

namespace Orvanta::Test {
namespace {

using RuntimeErrors = AppTest;

TEST_F(RuntimeErrors, MessageTextCarriesTheNumberABlankLineAndTheText)
{
    struct Case {
        int number;
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {53, "File not found", "Run-time error '53':\n\nFile not found"},
        {481, "Invalid picture", "Run-time error '481':\n\nInvalid picture"},
        {3024, "Could not find file 'C:\\x\\jst.mdb'.",
         "Run-time error '3024':\n\nCould not find file 'C:\\x\\jst.mdb'."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(runtimeErrorText(Error(c.number, QString::fromUtf8(c.text))),
                  QString::fromUtf8(c.expected));
    }
    EXPECT_EQ(runtimeErrorText(std::bad_alloc()), QStringLiteral("Run-time error '7':\n\nOut of memory"));
    EXPECT_EQ(runtimeErrorText(std::runtime_error("bad argument")),
              QStringLiteral("Run-time error '5':\n\nbad argument"));
    EXPECT_EQ(runtimeErrorCaption(), QStringLiteral("Tarsel Orvanta"));
}

TEST_F(RuntimeErrors, ReportGoesToTheMessageBox)
{
    reportRuntimeError(Error(ErrorCode::PathNotFound, QStringLiteral("Path not found")));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, QStringLiteral("Tarsel Orvanta"));
    EXPECT_EQ(messages[0].text, QStringLiteral("Run-time error '76':\n\nPath not found"));
}

TEST_F(RuntimeErrors, AFailingHandlerStopsWhereItFailedAndTheProgramGoesOn)
{
    bool stepAfterFailure = false;
    const bool result = runHandler([&]() -> bool {
        throw Error(ErrorCode::FileNotFound, QStringLiteral("File not found"));
        stepAfterFailure = true;
        return true;
    });
    EXPECT_FALSE(result);
    EXPECT_FALSE(stepAfterFailure);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, QStringLiteral("Tarsel Orvanta"));
    EXPECT_EQ(messages[0].text, QStringLiteral("Run-time error '53':\n\nFile not found"));
    EXPECT_EQ(ProgramEnd::runningHandlers(), 0);

    // The next handler runs as usual.
    bool ran = false;
    EXPECT_TRUE(runHandler([&] { ran = true; return true; }));
    EXPECT_TRUE(ran);
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(RuntimeErrors, AnErrorInANestedHandlerIsReportedOnceAndTheOuterOneGoesOn)
{
    bool outerWentOn = false;
    runHandler([&] {
        runHandler([]() -> bool { throw std::runtime_error("inner"); });
        outerWentOn = true;
        return true;
    });
    EXPECT_TRUE(outerWentOn);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QStringLiteral("Run-time error '5':\n\ninner"));
}

} // namespace
} // namespace Orvanta::Test
