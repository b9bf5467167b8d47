#include "scanner/scandialogs.h"

#include "widgets/accessiblenames.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

namespace lumenta {

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("lumenta::ScanDialogs", text);
}

bool isLineArt(const QString& mode) {
    const QString m = mode.toLower();
    return m == QLatin1String("lineart") || m == QLatin1String("binary") ||
           m == QLatin1String("black & white") || m == QLatin1String("bw");
}

QString modeLabel(const QString& mode) {
    const QString m = mode.toLower();
    if (m == QLatin1String("color") || m == QLatin1String("colour"))
        return tr("Couleur");
    if (m == QLatin1String("gray") || m == QLatin1String("grey"))
        return tr("Niveaux de gris");
    if (isLineArt(mode))
        return tr("Noir et blanc");
    if (m == QLatin1String("halftone"))
        return tr("Tramé");
    return mode;
}

int bitsPerPixel(const ModeChoice& c) {
    if (c.depth == 1 || isLineArt(c.mode))
        return 1;
    const QString m = c.mode.toLower();
    return m == QLatin1String("gray") || m == QLatin1String("grey") ? 8 : 24;
}

} // namespace

QList<ModeChoice> modeChoices(const DeviceCapabilities& caps) {
    QList<ModeChoice> out;
    const bool eight = caps.depths.contains(8);
    bool lineArt = false;
    QString gray;
    for (const QString& m : caps.modes) {
        const bool art = isLineArt(m);
        lineArt = lineArt || art;
        if (modeLabel(m) == tr("Niveaux de gris"))
            gray = m;
        out.append({modeLabel(m), m, art || !eight ? 0 : 8});
    }
    if (!lineArt && !gray.isEmpty() && caps.depths.contains(1))
        out.append({tr("Noir et blanc"), gray, 1});
    if (out.isEmpty())
        out.append({tr("Réglage du scanner"), QString(), 0});
    return out;
}

QList<int> resolutionChoices(const DeviceCapabilities& caps) {
    QList<int> out;
    if (!caps.dpiList.isEmpty()) {
        for (double v : caps.dpiList)
            out.append(int(std::lround(v)));
        return out;
    }
    if (caps.maxDpi <= 0)
        return out;
    for (int v : {50, 75, 100, 150, 200, 300, 400, 600, 1200, 2400, 4800}) {
        if (v >= caps.minDpi && v <= caps.maxDpi)
            out.append(v);
    }
    if (out.isEmpty())
        out = {int(std::ceil(caps.minDpi)), int(std::floor(caps.maxDpi))};
    return out;
}

qint64 estimatedBytes(const QRectF& areaMM, double dpi, int bitsPerPixel) {
    const qint64 w = qint64(areaMM.width() * dpi / 25.4);
    const qint64 h = qint64(areaMM.height() * dpi / 25.4);
    // Rows of a bitmap file are padded to 4 bytes.
    const qint64 row = (w * bitsPerPixel + 31) / 32 * 4;
    return row * h;
}

SourceDialog::SourceDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SourceDialog"));
    setWindowTitle(tr("Sélectionner source"));
    lblStatus = new QLabel(tr("Recherche des scanners..."), this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lstDevices = new QListWidget(this);
    lstDevices->setObjectName(QStringLiteral("lstDevices"));
    lstDevices->setToolTip(tr("Les scanners trouvés, réseau compris"));
    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("&Sélectionner"));
    buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Annuler"));
    auto* box = new QVBoxLayout(this);
    box->addWidget(lblStatus);
    box->addWidget(lstDevices);
    box->addWidget(buttons);
    nameListsAfterTheirLabels(this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(lstDevices, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    resize(420, 260);
}

void SourceDialog::setDevices(const QList<ScanDevice>& devices, const QString& current, bool ok) {
    lstDevices->clear();
    for (const ScanDevice& d : devices) {
        auto* item = new QListWidgetItem(d.label(), lstDevices);
        item->setData(Qt::UserRole, d.name);
        if (d.name == current || (current.isEmpty() && lstDevices->count() == 1))
            lstDevices->setCurrentItem(item);
    }
    if (!devices.isEmpty())
        lblStatus->setText(tr("Scanners disponibles :"));
    else if (ok)
        lblStatus->setText(tr("Aucun scanner n'a été trouvé."));
    else
        lblStatus->setText(tr("La recherche des scanners a échoué."));
    buttons->button(QDialogButtonBox::Ok)->setEnabled(!devices.isEmpty());
}

QString SourceDialog::chosen() const {
    const QListWidgetItem* item = lstDevices->currentItem();
    return item ? item->data(Qt::UserRole).toString() : QString();
}

ScanSettingsDialog::ScanSettingsDialog(const DeviceCapabilities& caps, const ScanSettings& last,
                                       bool lastValid, QWidget* parent)
    : QDialog(parent), m_caps(caps), m_modes(modeChoices(caps)) {
    setObjectName(QStringLiteral("ScanSettingsDialog"));
    setWindowTitle(tr("Paramètres de numérisation"));

    cboMode = new QComboBox(this);
    cboMode->setObjectName(QStringLiteral("cboMode"));
    cboMode->setToolTip(tr("Couleur, niveaux de gris ou noir et blanc"));
    // The last choice, else colour, else the device's mode.
    int modeIndex = -1, colourIndex = -1;
    for (const ModeChoice& c : m_modes) {
        cboMode->addItem(c.label);
        const bool same = lastValid ? c.mode == last.mode && (c.depth == 1) == (last.depth == 1)
                                    : c.mode == caps.currentMode && c.depth != 1;
        if (same && modeIndex < 0)
            modeIndex = cboMode->count() - 1;
        if (c.label == tr("Couleur") && colourIndex < 0)
            colourIndex = cboMode->count() - 1;
    }
    if (!lastValid && colourIndex >= 0)
        modeIndex = colourIndex;
    cboMode->setCurrentIndex(std::max(0, modeIndex));
    cboMode->setEnabled(m_modes.size() > 1);

    cboResolution = new QComboBox(this);
    cboResolution->setObjectName(QStringLiteral("cboResolution"));
    cboResolution->setToolTip(tr("Points par pouce"));
    const QList<int> dpis = resolutionChoices(caps);
    const double wanted = lastValid && last.dpi > 0 ? last.dpi : 200;
    int dpiIndex = 0;
    for (int v : dpis) {
        cboResolution->addItem(tr("%1 ppp").arg(v), v);
        if (std::abs(v - wanted) < std::abs(dpis[dpiIndex] - wanted))
            dpiIndex = cboResolution->count() - 1;
    }
    if (dpis.isEmpty())
        cboResolution->addItem(tr("Réglage du scanner"), 0);
    cboResolution->setCurrentIndex(dpiIndex);
    cboResolution->setEnabled(!dpis.isEmpty());

    cboArea = new QComboBox(this);
    cboArea->setObjectName(QStringLiteral("cboArea"));
    cboArea->setToolTip(tr("La partie de la vitre à numériser"));
    cboArea->addItem(tr("Toute la surface"), int(ScanArea::WholeBed));
    cboArea->addItem(tr("A4 (210 x 297 mm)"), int(ScanArea::A4));
    cboArea->addItem(tr("Lettre US (216 x 279 mm)"), int(ScanArea::Letter));
    cboArea->setCurrentIndex(caps.hasArea && lastValid ? cboArea->findData(int(last.area)) : 0);
    cboArea->setEnabled(caps.hasArea);

    lblSize = new QLabel(this);
    lblSize->setObjectName(QStringLiteral("lblSize"));

    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("&Numériser"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Annuler"));

    auto* form = new QFormLayout;
    form->addRow(tr("&Mode :"), cboMode);
    form->addRow(tr("&Résolution :"), cboResolution);
    form->addRow(tr("&Surface :"), cboArea);
    form->addRow(QString(), lblSize);
    auto* box = new QVBoxLayout(this);
    box->addLayout(form);
    box->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    setMinimumWidth(380); // room for the title
    for (QComboBox* c : {cboMode, cboResolution, cboArea})
        connect(c, &QComboBox::currentIndexChanged, this, [this] { updateSize(); });
    updateSize();
}

ScanSettings ScanSettingsDialog::settings() const {
    ScanSettings s;
    const ModeChoice& c = m_modes.value(cboMode->currentIndex());
    s.mode = c.mode;
    s.depth = c.depth;
    s.dpi = cboResolution->currentData().toInt();
    s.area = ScanArea(cboArea->currentData().toInt());
    return s;
}

void ScanSettingsDialog::updateSize() {
    const ScanSettings s = settings();
    const double dpi = s.dpi > 0 ? s.dpi : m_caps.currentDpi;
    if (!m_caps.hasArea || dpi <= 0) {
        lblSize->clear();
        return;
    }
    const qint64 bytes = estimatedBytes(areaOnBed(s.area, m_caps.bed), dpi,
                                        bitsPerPixel(m_modes.value(cboMode->currentIndex())));
    const double mb = bytes / (1024.0 * 1024.0);
    lblSize->setText(
        tr("Taille de l'image : %1 Mo").arg(QLocale(QLocale::French).toString(mb, 'f', 1)));
    lblSize->setStyleSheet(mb > 12 ? QStringLiteral("color: #b00000") : QString());
}

} // namespace lumenta
