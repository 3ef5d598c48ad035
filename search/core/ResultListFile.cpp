#include "search/core/ResultListFile.h"

#include "platform/Error.h"

namespace Orvanta {

QString resultListCell(const QString& text)
{
    QString cell = text;
    for (QChar& c : cell) {
        switch (c.unicode()) {
        case u'\t':
        case u'\n':
        case u'\v':
        case u'\f':
        case u'\r':
        case 0x0085:
        case 0x2028:
        case 0x2029:
            c = QLatin1Char(' ');
            break;
        default:
            break;
        }
    }
    return cell;
}

void appendResultListRow(QByteArray& file, const QString& title, const QString& htm)
{
    file += resultListCell(title).toUtf8();
    file += '\t';
    file += resultListCell(htm).toUtf8();
    file += '\n';
}

QString resultListNotSavedMessage(const QString& nativePath, int errorNumber)
{
    QString cause;
    switch (errorNumber) {
    case ErrorCode::PermissionDenied:
        cause = QStringLiteral("沒有權限");
        break;
    case ErrorCode::PathNotFound:
    case ErrorCode::FileNotFound:
        cause = QStringLiteral("資料夾不存在");
        break;
    case ErrorCode::DiskFull:
        cause = QStringLiteral("磁碟已滿");
        break;
    default:
        cause = QStringLiteral("無法寫入");
        break;
    }
    return QStringLiteral("無法儲存結果清單「%1」（%2）。\n檔案沒有寫入，請選擇其他位置。")
        .arg(nativePath, cause);
}

} // namespace Orvanta
