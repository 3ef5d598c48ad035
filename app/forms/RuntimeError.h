// The run-time error message: what the user sees for an error that no handler
// caught. Caption "Tarsel Orvanta", text "Run-time error 'N':", a blank line
// and the error's text, an OK button.
#pragma once

#include <QString>

#include <exception>

namespace Orvanta {

// The caption of the message.
QString runtimeErrorCaption();

// The message text for an error. An Orvanta::Error gives its own number and
// text; other exceptions count as out of memory (std::bad_alloc) or as an
// invalid procedure call with their description.
QString runtimeErrorText(const std::exception& error);

// Shows the message (through MessageSink) and returns when it is dismissed.
void reportRuntimeError(const std::exception& error);

} // namespace Orvanta
