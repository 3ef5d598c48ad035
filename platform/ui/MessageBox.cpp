#include "platform/ui/MessageBox.h"

#include <QApplication>
#include <QMessageBox>

namespace Orvanta {

namespace {
MessageSink::Recorder& recorder()
{
    static MessageSink::Recorder r;
    return r;
}
} // namespace

void MessageSink::setRecorder(Recorder r)
{
    recorder() = std::move(r);
}

void MessageSink::show(QString caption, QString text)
{
    if (recorder()) {
        recorder()(caption, text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace Orvanta
