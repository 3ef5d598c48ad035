#include "platform/ui/SaveFileDialog.h"

#include <QFileDialog>

namespace Orvanta {

namespace {

SaveFileDialog::Answerer& answerer()
{
    static SaveFileDialog::Answerer instance;
    return instance;
}

} // namespace

void SaveFileDialog::setAnswerer(Answerer a)
{
    answerer() = std::move(a);
}

QString SaveFileDialog::ask(QWidget* parent, const QString& caption, const QString& suggestedPath,
                            const QString& filter)
{
    if (answerer())
        return answerer()(caption, suggestedPath);
    return QFileDialog::getSaveFileName(parent, caption, suggestedPath, filter);
}

} // namespace Orvanta
