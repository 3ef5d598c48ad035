#include "criteria/core/EditorText.h"

namespace Orvanta::EditorText {
namespace {
constexpr char16_t LfPicture = u'\u240A';
constexpr char16_t CrPicture = u'\u240D';
} // namespace

QString toWidget(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n') {
                out += u'\n';
                ++i;
            } else {
                out += CrPicture;
            }
        } else if (c == u'\n') {
            out += LfPicture;
        } else {
            out += c;
        }
    }
    return out;
}

QString fromWidget(const QString& widgetText)
{
    QString out;
    out.reserve(widgetText.size() + widgetText.size() / 16);
    for (const QChar c : widgetText) {
        switch (c.unicode()) {
        case u'\n':
        case 0x2028: // line separator
        case 0x2029: // paragraph separator
            out += QLatin1String("\r\n");
            break;
        case LfPicture:
            out += u'\n';
            break;
        case CrPicture:
            out += u'\r';
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace Orvanta::EditorText
