#include "criteria/core/SaveQuestions.h"

namespace Orvanta::SaveQuestions {

QString caption()
{
    return QStringLiteral("Tarsel Orvanta");
}

QString overwrite(const QString& selected, const QString& loaded)
{
    QString text = QStringLiteral("存檔會以目前的內容取代「%1」原有的內容。\n").arg(selected);
    if (!loaded.isEmpty())
        text += QStringLiteral("目前的內容載入自「%1」，不是這個檔案。\n").arg(loaded);
    return text + QStringLiteral("\n要取代「%1」嗎？").arg(selected);
}

QString unsavable(qsizetype count)
{
    return QStringLiteral("有 %1 個字元不在 Big5（字碼頁 950）的字集裡，存檔後會變成「?」。\n\n仍要存檔嗎？")
        .arg(count);
}

} // namespace Orvanta::SaveQuestions
