#include "platform/ui/FittedMessage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace Orvanta::FittedMessage {
namespace {

// The share of the screen a message may take: room is left for the window
// frame and for the window the message is about.
constexpr double kShare = 0.6;

QRect roomFor(const QWidget* parent)
{
    QScreen* screen = parent ? parent->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
}

// The width the text is wrapped to: as a message box would lay it out, and
// never wider than the room.
int textWidth(const QRect& room)
{
    return std::max(200, std::min(560, int(room.width() * kShare)));
}

int runLong(QMessageBox& box, const QRect& room)
{
    QDialog dialog(box.parentWidget());
    dialog.setWindowTitle(box.windowTitle());
    dialog.setWindowModality(box.windowModality());
    dialog.setObjectName(QStringLiteral("fittedMessage"));

    // Read-only and frameless on the window's own colour, it reads as the
    // box's label; unlike a label it scrolls, and a run of letters with no
    // space in it still wraps.
    auto* field = new QPlainTextEdit(&dialog);
    field->setObjectName(QStringLiteral("messageText"));
    field->setReadOnly(true);
    field->setPlainText(box.text());
    field->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    field->setFrameShape(QFrame::NoFrame);
    field->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, dialog.palette().color(QPalette::Window));
    field->setPalette(palette);
    field->setFocusPolicy(Qt::ClickFocus);

    auto* buttons = new QDialogButtonBox(&dialog);
    int chosen = QMessageBox::NoButton;
    for (QAbstractButton* original : box.buttons()) {
        const QMessageBox::StandardButton which = box.standardButton(original);
        QPushButton* copy = buttons->addButton(original->text(), QDialogButtonBox::ButtonRole(box.buttonRole(original)));
        QObject::connect(copy, &QPushButton::clicked, &dialog, [&dialog, &chosen, which] {
            chosen = which;
            dialog.done(which);
        });
        if (original == box.defaultButton() || box.buttons().size() == 1) {
            copy->setDefault(true);
            copy->setFocus();
        }
        if (original == box.escapeButton())
            QObject::connect(&dialog, &QDialog::rejected, &dialog, [&chosen, which] {
                if (chosen == QMessageBox::NoButton)
                    chosen = which;
            });
    }
    // A box of one button closes with Escape as that button.
    if (box.buttons().size() == 1)
        QObject::connect(&dialog, &QDialog::rejected, &dialog, [&chosen, &box] {
            if (chosen == QMessageBox::NoButton)
                chosen = box.standardButton(box.buttons().front());
        });

    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(field, 1);
    layout->addWidget(buttons);

    const int width = textWidth(room);
    field->setMinimumWidth(width);
    const int height = int(room.height() * kShare);
    field->setFixedHeight(height);
    dialog.setMaximumSize(room.size());
    dialog.adjustSize();
    dialog.move(room.center() - QPoint(dialog.width() / 2, dialog.height() / 2));
    dialog.exec();
    return chosen;
}

} // namespace

bool fits(const QMessageBox& box, const QString& text, const QRect& room)
{
    const int width = textWidth(room);
    const QRect needed = QFontMetrics(box.font()).boundingRect(QRect(0, 0, width, 1 << 24),
                                                               Qt::TextWordWrap | Qt::AlignLeft, text);
    return needed.width() <= width && needed.height() <= int(room.height() * kShare);
}

int exec(QMessageBox& box)
{
    const QRect room = roomFor(box.parentWidget());
    if (fits(box, box.text(), room))
        return box.exec();
    return runLong(box, room);
}

} // namespace Orvanta::FittedMessage
