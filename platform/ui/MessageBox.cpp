#include "platform/ui/MessageBox.h"

#include "platform/ui/BusyCursor.h"
#include "platform/ui/FittedMessage.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace Orvanta {

namespace {
MessageSink::Recorder& recorder()
{
    static MessageSink::Recorder r;
    return r;
}

MessageSink::Answerer& answerer()
{
    static MessageSink::Answerer a;
    return a;
}
} // namespace

void MessageSink::setRecorder(Recorder r)
{
    recorder() = std::move(r);
}

void MessageSink::show(QString caption, QString text)
{
    // The box waits for the user, not the program: no wait cursor over it.
    BusyCursor::interrupt();
    if (recorder()) {
        recorder()(caption, text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    FittedMessage::exec(box);
}

void MessageSink::setAnswerer(Answerer a)
{
    answerer() = std::move(a);
}

bool MessageSink::ask(QString caption, QString text)
{
    if (answerer())
        return answerer()(caption, text);
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    QApplication::activeWindow());
    box.button(QMessageBox::Yes)->setText(QStringLiteral("是(&Y)"));
    box.button(QMessageBox::No)->setText(QStringLiteral("否(&N)"));
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    box.setWindowModality(Qt::ApplicationModal);
    return FittedMessage::exec(box) == QMessageBox::Yes;
}

} // namespace Orvanta
