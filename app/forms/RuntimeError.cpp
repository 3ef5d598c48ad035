#include "app/forms/RuntimeError.h"

#include "platform/Error.h"
#include "platform/ui/MessageBox.h"

#include <new>

namespace Orvanta {

QString runtimeErrorCaption()
{
    return QStringLiteral("Tarsel Orvanta");
}

QString runtimeErrorText(const std::exception& error)
{
    int number = ErrorCode::InvalidProcedureCall;
    QString text;
    if (const auto* e = dynamic_cast<const Error*>(&error)) {
        number = e->number();
        text = e->text();
    } else if (dynamic_cast<const std::bad_alloc*>(&error)) {
        number = ErrorCode::OutOfMemory;
        text = QStringLiteral("Out of memory");
    } else {
        text = QString::fromLocal8Bit(error.what());
    }
    return QStringLiteral("Run-time error '%1':\n\n%2").arg(number).arg(text);
}

void reportRuntimeError(const std::exception& error)
{
    MessageSink::show(runtimeErrorCaption(), runtimeErrorText(error));
}

} // namespace Orvanta
