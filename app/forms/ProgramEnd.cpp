#include "app/forms/ProgramEnd.h"

#include "app/forms/Form.h"

namespace Orvanta::ProgramEnd {

namespace {
int g_handlerDepth = 0;
std::function<void()> g_endAction;
} // namespace

void handlerEntered()
{
    ++g_handlerDepth;
}

void handlerLeft()
{
    if (g_handlerDepth > 0)
        --g_handlerDepth;
    check();
}

int runningHandlers()
{
    return g_handlerDepth;
}

bool due()
{
    return g_handlerDepth == 0 && Forms::loadedCount() == 0;
}

void setAction(std::function<void()> action)
{
    g_endAction = std::move(action);
}

void check()
{
    if (due() && g_endAction)
        g_endAction();
}

} // namespace Orvanta::ProgramEnd
