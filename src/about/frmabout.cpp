#include "about/frmabout.h"

#include "app/version.h"
#include "system/launcher.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace lumenta {

FrmAbout::FrmAbout(AppContext& ctx, QWidget* parent) : QDialog(parent), m_ctx(ctx) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(tr("A propos : ") + applicationTitle());

    auto* icon = new QLabel(this);
    icon->setPixmap(QApplication::windowIcon().isNull()
                        ? style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(48, 48)
                        : QApplication::windowIcon().pixmap(64, 64));

    lblTitle = new QLabel(applicationTitle(), this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont big = lblTitle->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    lblTitle->setFont(big);

    lblVersion = new QLabel(tr("Version ") + versionText(), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));

    auto* description = new QLabel(tr("Visionneuse d'images"), this);
    description->setObjectName(QStringLiteral("lblDescription"));

    cmdOK = new QPushButton(tr("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdSysInfo = new QPushButton(tr("&Système Info..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdSysInfo->setToolTip(tr("Informations système"));

    auto* texts = new QVBoxLayout;
    texts->addWidget(lblTitle);
    texts->addWidget(lblVersion);
    texts->addWidget(description);
    texts->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(texts, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdSysInfo);
    buttons->addStretch();
    top->addLayout(buttons);
    setLayout(top);

    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdSysInfo, &QPushButton::clicked, this, [this] { StartSysInfo(); });
}

QStringList FrmAbout::systemInfoTools() {
    return {QStringLiteral("kinfocenter"), QStringLiteral("hardinfo"),
            QStringLiteral("gnome-system-monitor")};
}

void FrmAbout::StartSysInfo() {
    const QString tool = findFirstProgram(systemInfoTools());
    if (!tool.isEmpty() && startProgram(tool, {}))
        return;
    m_ctx.dlg().message(tr("Information Systeme introuvable !"), applicationTitle(), MsgIcon::None,
                        MsgButtons::Ok, this);
}

} // namespace lumenta
