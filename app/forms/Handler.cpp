#include "app/forms/Handler.h"

#include "app/forms/ProgramEnd.h"
#include "app/forms/RuntimeError.h"
#include "platform/ui/BusyCursor.h"

#include <stdexcept>

namespace Orvanta {

namespace {

// The report is the last thing between an error and Qt's code: nothing of it
// may escape either.
void report(const std::exception& error) noexcept
{
    try {
        reportRuntimeError(error);
    } catch (...) {
    }
}

} // namespace

bool runHandler(const std::function<void()>& handler)
{
    ProgramEnd::handlerEntered();
    BusyCursor::handlerEntered();
    bool completed = false;
    try {
        handler();
        completed = true;
    } catch (const std::exception& e) {
        report(e);
    } catch (...) {
        report(std::runtime_error("Unknown error"));
    }
    BusyCursor::handlerLeft();
    ProgramEnd::handlerLeft();
    return completed;
}

} // namespace Orvanta
