// The 異體字 check box: searches that find every variant form of their words
// (人參 also finds 人蔘 and 人参). It lies in the free strip under the result
// list, so that every control of the design keeps its place, size and
// caption; F8 toggles it. Its state is the reader's and outlives the
// program (QSettings). Switching it runs the search again on the query box's
// text, as Enter does, without a history entry: the statement, the history
// and the criteria files are the same either way; only how the statement is
// run changes.
#include "search/FrmVelmoraMain.h"

#include "app/forms/Handler.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/Twips.h"

#include <QCheckBox>
#include <QSettings>

namespace Orvanta {

namespace {

const QString kSettingsKey = QStringLiteral("search/variants");

QSettings settings()
{
    return QSettings(QStringLiteral("Tarsel"), QStringLiteral("Orvanta"));
}

} // namespace

QString FrmVelmoraMain::variantsCaption()
{
    return QStringLiteral("異體字");
}

void FrmVelmoraMain::buildVariantSwitch()
{
    m_chkVariants = new QCheckBox(variantsCaption(), this);
    m_chkVariants->setObjectName(QStringLiteral("ChkVariants"));
    // Under the result list (which ends at 8325 twips), above the client
    // area's bottom edge (8730).
    m_chkVariants->setGeometry(pxRect(240, 8340, 1500, 390));
    m_chkVariants->setFont(designFont(QStringLiteral("新細明體"), 9.75));
    m_chkVariants->setToolTip(QStringLiteral("找出每個字的各種寫法 (F8)：人參 也找 人蔘、人参；針 也找 鍼"));
    m_chkVariants->setFocusPolicy(Qt::NoFocus);
    m_chkVariants->setAutoFillBackground(true);
    m_chkVariants->setChecked(settings().value(kSettingsKey, false).toBool());
    connectHandler(m_chkVariants, &QCheckBox::clicked, this, [this] { ChkVariants_Click(); });
}

LikeComparison FrmVelmoraMain::comparison() const
{
    return m_chkVariants && m_chkVariants->isChecked() ? LikeComparison::Variants : LikeComparison::Exact;
}

void FrmVelmoraMain::toggleVariants()
{
    m_chkVariants->setChecked(!m_chkVariants->isChecked());
    ChkVariants_Click();
}

void FrmVelmoraMain::ChkVariants_Click()
{
    settings().setValue(kSettingsKey, m_chkVariants->isChecked());
    RunSearch();
}

} // namespace Orvanta
