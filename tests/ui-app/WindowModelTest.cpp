// The window model: load, show, hide, unload, the user's close, unloading
// from inside the window's own handler, and the program end.
#include "AppTestSupport.h"

#include "app/forms/Form.h"
#include "app/forms/ProgramEnd.h"
#include "app/forms/Handler.h"
#include "platform/Error.h"

#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <string>
#include <vector>

namespace Orvanta::Test {
namespace {

std::vector<std::string> g_log;

class ProbeForm : public Form {
public:
    ProbeForm()
    {
        g_log.push_back("construct");
        button = new QPushButton(QStringLiteral("Unload"), this);
        button->setGeometry(10, 10, 80, 25);
        connect(button, &QPushButton::clicked, this, [this] { button_Click(); });
    }
    ~ProbeForm() override { g_log.push_back("destroy"); }

    void button_Click()
    {
        Forms::unload<ProbeForm>();
        // The window is still a valid object for the rest of its handler.
        afterUnload = isFormLoaded() ? "loaded" : "unloaded";
        button->setText(QStringLiteral("Gone"));
        g_log.push_back("handler end");
    }

    static inline bool failLoad = false;
    QPushButton* button;
    std::string afterUnload;

protected:
    void Form_Load() override
    {
        g_log.push_back(isVisible() ? "load (visible)" : "load (invisible)");
        if (failLoad)
            throw Error(ErrorCode::FileNotFound, QStringLiteral("File not found"));
        g_log.push_back("load done");
    }
    void Form_Unload() override { g_log.push_back("unload"); }
};

class OtherForm : public Form {};

class WindowModel : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        g_log.clear();
        ProbeForm::failLoad = false;
    }
    void TearDown() override
    {
        Forms::unload<ProbeForm>();
        Forms::unload<OtherForm>();
        AppTest::TearDown();
    }
};

using Log = std::vector<std::string>;

TEST_F(WindowModel, ShowLoadsOnceAndRunsTheLoadStepBeforeTheWindowIsVisible)
{
    EXPECT_EQ(Forms::loaded<ProbeForm>(), nullptr);
    ProbeForm& f = Forms::show<ProbeForm>();
    EXPECT_EQ(g_log, (Log{"construct", "load (invisible)", "load done"}));
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(f.isFormLoaded());
    EXPECT_EQ(Forms::loaded<ProbeForm>(), &f);
    EXPECT_EQ(Forms::loadedCount(), 1);

    ProbeForm& again = Forms::show<ProbeForm>();
    EXPECT_EQ(&again, &f);
    EXPECT_EQ(g_log.size(), 3u) << "a second show runs no load step";
}

TEST_F(WindowModel, LoadLeavesTheWindowInvisible)
{
    ProbeForm& f = Forms::load<ProbeForm>();
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(f.isFormLoaded());
    EXPECT_EQ(&Forms::load<ProbeForm>(), &f);
    EXPECT_EQ(g_log, (Log{"construct", "load (invisible)", "load done"}));
}

TEST_F(WindowModel, HideKeepsTheWindowLoadedAndShowBringsItBackWithoutLoading)
{
    ProbeForm& f = Forms::show<ProbeForm>();
    Forms::hide<ProbeForm>();
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(Forms::loaded<ProbeForm>(), &f);
    Forms::show<ProbeForm>();
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(g_log, (Log{"construct", "load (invisible)", "load done"}));
    Forms::hide<OtherForm>(); // not loaded: nothing happens
    EXPECT_EQ(Forms::loaded<OtherForm>(), nullptr);
}

TEST_F(WindowModel, UnloadDestroysAndALaterShowLoadsAfresh)
{
    QPointer<ProbeForm> first = &Forms::show<ProbeForm>();
    Forms::unload<ProbeForm>();
    EXPECT_EQ(Forms::loaded<ProbeForm>(), nullptr);
    EXPECT_FALSE(first->isFormLoaded());
    EXPECT_FALSE(first->isVisible());
    flushDeletions();
    EXPECT_TRUE(first.isNull());

    ProbeForm& second = Forms::show<ProbeForm>();
    EXPECT_TRUE(second.isVisible());
    EXPECT_EQ(g_log, (Log{"construct", "load (invisible)", "load done", "unload", "destroy",
                          "construct", "load (invisible)", "load done"}));
    Forms::unload<OtherForm>(); // not loaded: nothing happens
}

TEST_F(WindowModel, UnloadInsideTheWindowsOwnClickHandlerIsSafe)
{
    QPointer<ProbeForm> f = &Forms::show<ProbeForm>();
    QTest::mouseClick(f->button, Qt::LeftButton);
    ASSERT_FALSE(f.isNull()) << "destroyed only after the handler has returned";
    EXPECT_EQ(f->afterUnload, "unloaded");
    EXPECT_EQ(f->button->text(), QStringLiteral("Gone"));
    EXPECT_EQ(Forms::loaded<ProbeForm>(), nullptr);
    flushDeletions();
    EXPECT_TRUE(f.isNull());
    EXPECT_EQ(g_log, (Log{"construct", "load (invisible)", "load done", "unload", "handler end",
                          "destroy"}));
}

TEST_F(WindowModel, TheUsersCloseUnloadsTheWindow)
{
    QPointer<ProbeForm> f = &Forms::show<ProbeForm>();
    EXPECT_TRUE(f->close());
    EXPECT_EQ(Forms::loaded<ProbeForm>(), nullptr);
    flushDeletions();
    EXPECT_TRUE(f.isNull());
    EXPECT_EQ(g_log, (Log{"construct", "load (invisible)", "load done", "unload", "destroy"}));
}

TEST_F(WindowModel, AFailingLoadStepLeavesNoWindowLoaded)
{
    ProbeForm::failLoad = true;
    try {
        Forms::show<ProbeForm>();
        FAIL() << "the load step's error reaches the caller";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), ErrorCode::FileNotFound);
    }
    EXPECT_EQ(Forms::loaded<ProbeForm>(), nullptr);
    flushDeletions();
    EXPECT_EQ(g_log, (Log{"construct", "load (invisible)", "destroy"}));

    ProbeForm::failLoad = false;
    EXPECT_TRUE(Forms::show<ProbeForm>().isVisible());
}

TEST_F(WindowModel, EachWindowClassHasItsOwnInstance)
{
    ProbeForm& probe = Forms::show<ProbeForm>();
    OtherForm& other = Forms::load<OtherForm>();
    EXPECT_NE(static_cast<QWidget*>(&probe), static_cast<QWidget*>(&other));
    EXPECT_EQ(Forms::loadedCount(), 2);
    Forms::unload<ProbeForm>();
    EXPECT_EQ(Forms::loaded<OtherForm>(), &other);
    EXPECT_EQ(Forms::loadedCount(), 1);
}

// The end comes when the last window is unloaded and the handler that did it
// has returned, not before; a loaded invisible window keeps the program alive.
TEST_F(WindowModel, TheProgramEndsWhenNoWindowIsLoadedAndNoHandlerRuns)
{
    int ends = 0;
    ProgramEnd::setAction([&] { ++ends; });

    runHandler([] { Forms::show<ProbeForm>(); return true; });
    EXPECT_EQ(ends, 0);

    // Unload the visible window while another stays loaded but invisible.
    runHandler([] {
        Forms::load<OtherForm>();
        Forms::unload<ProbeForm>();
        return true;
    });
    EXPECT_EQ(ends, 0) << "an invisible loaded window keeps the program running";
    EXPECT_FALSE(ProgramEnd::due());

    // Nested handlers: the end waits for the outermost one.
    int endsInsideHandler = -1;
    runHandler([&] {
        runHandler([] { Forms::unload<OtherForm>(); return true; });
        endsInsideHandler = ends;
        EXPECT_EQ(ProgramEnd::runningHandlers(), 1);
        return true;
    });
    EXPECT_EQ(endsInsideHandler, 0);
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(ProgramEnd::due());
}

TEST_F(WindowModel, ClosingTheOneWindowEndsTheProgram)
{
    int ends = 0;
    ProgramEnd::setAction([&] { ++ends; });
    ProbeForm* f = nullptr;
    runHandler([&] { f = &Forms::show<ProbeForm>(); return true; });
    runHandler([&] { return f->close(); });
    EXPECT_EQ(ends, 1);
}

} // namespace
} // namespace Orvanta::Test
