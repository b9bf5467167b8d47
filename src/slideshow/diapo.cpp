#include "slideshow/diapo.h"

#include "dialogs/commondialog.h"
#include "slideshow/ecrdiapo.h"
#include "slideshow/slideshowrules.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace lumenta {

namespace {

template <typename T> T* named(T* w, const char* name) {
    w->setObjectName(QLatin1String(name));
    return w;
}

QLabel* plainLabel(QWidget* parent, const char* name, const QString& text = QString()) {
    auto* l = named(new QLabel(text, parent), name);
    // "<Echap>" and the like are text, not markup.
    l->setTextFormat(Qt::PlainText);
    return l;
}

} // namespace

Diapo::Diapo(AppContext& ctx, const SlideshowHost& host, QWidget* parent)
    : QDialog(parent), m_ctx(ctx), m_host(host) {
    setObjectName(QStringLiteral("Diapo"));
    setWindowTitle(tr("Paramétrage du diaporama"));
    createControls();
    wire();
    load();
}

void Diapo::run(AppContext& ctx, const SlideshowHost& host) {
    if (host.fileCount() == 0 && ctx.state.settings.SelectionListValid == 0) {
        ctx.dlg().message(tr("Aucune image sélectionné pour le diaporama !"), tr("Avertissement"),
                          MsgIcon::Exclamation, MsgButtons::Ok, host.window);
        return;
    }
    bool start = false;
    {
        Diapo settings(ctx, host, host.window);
        start = settings.exec() == QDialog::Accepted;
    }
    if (start) {
        EcrDiapo show(ctx, host, host.window);
        show.exec();
    }
}

QString Diapo::helpText(int sizeMode) {
    const QString first = tr("L'image est centrée dans l'écran.");
    QString rest;
    switch (sizeMode) {
    case 1:
        rest = tr("L'image n'est pas ajustée à la taille "
                  "de l'écran.") +
               QLatin1Char('\n') + tr("Affichage à l'echelle 1:1.");
        break;
    case 2:
        rest = tr("Dans tous les cas l'image occupe "
                  "tout l'écran et n'est pas proportionnelle");
        break;
    case 3:
        rest = tr("Si la taille de l'image est supérieure "
                  "à la taille de l'écran elle est ajustée "
                  "à la taille de l'écran. Sinon elle reste à l'échelle 1:1.");
        break;
    case 4:
        rest = tr("Si la taille de l'image est supérieure ou inférieure "
                  "à la taille de l'écran elle est ajustée "
                  "à la taille de l'écran. ");
        break;
    default:
        return QString();
    }
    return first + QLatin1Char('\n') + rest;
}

void Diapo::createControls() {
    auto radio = [](QWidget* parent, const char* name, const QString& text,
                    const QString& tip = QString()) {
        auto* r = named(new QRadioButton(text, parent), name);
        if (!tip.isEmpty())
            r->setToolTip(tip);
        return r;
    };
    auto frame = [this](const char* name, const QString& title) {
        return named(new QGroupBox(title, this), name);
    };

    Frame1 = frame("Frame1", tr("Taille des images à l'écran "));
    Option1 = radio(Frame1, "Option1", tr("Proportionnelle - Echelle 1:1"),
                    tr("Echelle 1 - Si la taille de l'image est supérieure à l'écran l'image "
                       "n'est pas visible en totalité"));
    Option2 = radio(Frame1, "Option2", tr("Ajustée à la taille de l'écran"),
                    tr("L'image n'est pas proportionnelle mais occupe tout l'écran"));
    Option5 = radio(Frame1, "Option5", tr("Proportionnelle et ajustée "),
                    tr("Image proportionnelle ajustée à la taille de l'écran"));
    Option6 = radio(Frame1, "Option6", tr("Maxi et proportionnelle"),
                    tr("Largeur ou hauteur maxi calculée - L'image est proportionnelle"));
    Label5 = plainLabel(Frame1, "Label5");
    Label5->setWordWrap(true);
    Label5->setMinimumHeight(Label5->fontMetrics().lineSpacing() * 4);
    auto* sizes = new QVBoxLayout(Frame1);
    for (QWidget* w : {static_cast<QWidget*>(Option1), static_cast<QWidget*>(Option2),
                       static_cast<QWidget*>(Option5), static_cast<QWidget*>(Option6),
                       static_cast<QWidget*>(Label5)})
        sizes->addWidget(w);

    Frame2 = frame("Frame2", tr("Début du diaporama"));
    Option3 = radio(Frame2, "Option3", tr("Ordre aphabétique"));
    Option4 = radio(Frame2, "Option4", tr("Ordre inverse"));
    auto* order = new QVBoxLayout(Frame2);
    order->addWidget(Option3);
    order->addWidget(Option4);

    Frame3 = frame("Frame3", tr("Couleur de fond de l'écran"));
    Option7 = radio(Frame3, "Option7", tr("Noir"));
    Option8 = radio(Frame3, "Option8", tr("Blanc"));
    Option9 = radio(Frame3, "Option9", tr("Gris"));
    Option10 = radio(Frame3, "Option10", tr("Bleu"));
    Option11 = radio(Frame3, "Option11", tr("Rouge"));
    Option12 = radio(Frame3, "Option12", tr("Vert"));
    auto* colours = new QGridLayout(Frame3);
    const QRadioButton* const colourOrder[] = {Option7,  Option8,  Option9,
                                               Option10, Option11, Option12};
    for (int i = 0; i < 6; ++i)
        colours->addWidget(const_cast<QRadioButton*>(colourOrder[i]), i % 3, i / 3);

    Frame5 = frame("Frame5", tr("Choix de la liste pour le diaporama"));
    Option13 = radio(Frame5, "Option13", tr("Diaporama à partir des images du dossier en cours"));
    Option14 = radio(Frame5, "Option14",
                     tr("Diaporama à partir des images sélectionnées contenues dans la liste "));
    auto* source = new QVBoxLayout(Frame5);
    source->addWidget(Option13);
    source->addWidget(Option14);

    Frame6 = frame("Frame6", tr("Type de diaporama"));
    Option15 = radio(Frame6, "Option15", tr("Diaporama automatique"));
    Option16 = radio(Frame6, "Option16", tr("Diaporama manuel"));
    auto* type = new QVBoxLayout(Frame6);
    type->addWidget(Option15);
    type->addWidget(Option16);

    Frame7 = frame("Frame7", tr("Musique d'accompagement "));
    Check2 = named(new QCheckBox(tr("Jouer une musique d'accompagnement"), Frame7), "Check2");
    Command3 = named(new QPushButton(tr("Parcourir..."), Frame7), "Command3");
    Command3->setAutoDefault(false);
    Label6 = plainLabel(Frame7, "Label6");
    auto* music = new QGridLayout(Frame7);
    music->addWidget(Check2, 0, 0);
    music->addWidget(Command3, 0, 1);
    music->addWidget(Label6, 1, 0, 1, 2);

    Frame8 = frame("Frame8", tr("Options d'affichage "));
    Check1 = named(new QCheckBox(tr("Afficher le nom du fichier image"), Frame8), "Check1");
    Check3 = named(new QCheckBox(tr("Diaporama en boucle"), Frame8), "Check3");
    Check4 = named(
        new QCheckBox(tr("Enregistrer le chemin de recherche des images en quittant"), Frame8),
        "Check4");
    Label1 = plainLabel(Frame8, "Label1", tr("Pause entre 2 images "));
    HScroll1 = named(new QScrollBar(Qt::Horizontal, Frame8), "HScroll1");
    HScroll1->setRange(1, 60);
    HScroll1->setPageStep(5);
    HScroll1->setToolTip(tr("Pause entre 2 images"));
    HScroll1->setMinimumWidth(160);
    Label2 = plainLabel(Frame8, "Label2");
    Label2->setMinimumWidth(Label2->fontMetrics().horizontalAdvance(QStringLiteral("000")));
    Label4 = plainLabel(Frame8, "Label4", tr("secondes."));
    Label3 = plainLabel(Frame8, "Label3");
    auto* options = new QGridLayout(Frame8);
    options->addWidget(Check1, 0, 0, 1, 4);
    options->addWidget(Check3, 1, 0, 1, 4);
    options->addWidget(Check4, 2, 0, 1, 4);
    options->addWidget(Label1, 3, 0);
    options->addWidget(HScroll1, 3, 1);
    options->addWidget(Label2, 3, 2);
    options->addWidget(Label4, 3, 3);
    options->addWidget(Label3, 4, 0, 1, 4);
    options->setColumnStretch(1, 1);

    Frame4 = named(new QGroupBox(this), "Frame4");
    Command1 = named(new QPushButton(tr("&OK"), Frame4), "Command1");
    Command2 = named(new QPushButton(tr("&Annuler"), Frame4), "Command2");
    Command1->setDefault(true);
    auto* buttons = new QHBoxLayout(Frame4);
    buttons->addStretch();
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);

    auto* left = new QVBoxLayout;
    left->addWidget(Frame1);
    left->addWidget(Frame3);
    left->addWidget(Frame6);
    left->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(Frame2);
    right->addWidget(Frame5);
    right->addWidget(Frame7);
    right->addWidget(Frame8);
    right->addStretch();
    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);
    auto* all = new QVBoxLayout(this);
    all->addLayout(columns);
    all->addWidget(Frame4);
}

void Diapo::wire() {
    auto onSelect = [this](QRadioButton* r, auto handler) {
        connect(r, &QRadioButton::toggled, this, [this, handler](bool on) {
            if (on && !m_loading)
                handler();
        });
    };
    onSelect(Option1, [this] { sizeChosen(1); });
    onSelect(Option2, [this] { sizeChosen(2); });
    onSelect(Option5, [this] { sizeChosen(3); });
    onSelect(Option6, [this] { sizeChosen(4); });
    onSelect(Option3, [this] { orderChosen(1); });
    onSelect(Option4, [this] { orderChosen(2); });
    QRadioButton* const colours[] = {Option7, Option8, Option9, Option10, Option11, Option12};
    for (int i = 0; i < 6; ++i)
        onSelect(colours[i], [this, i] { colourChosen(int16_t(i + 1)); });
    onSelect(Option13, [this] { m_ctx.state.settings.SlideSource = 0; });
    onSelect(Option14, [this] { m_ctx.state.settings.SlideSource = 1; });
    onSelect(Option15, [this] { typeChosen(0); });
    onSelect(Option16, [this] { typeChosen(1); });

    auto onToggle = [this](QCheckBox* c, void (Diapo::*handler)()) {
        connect(c, &QCheckBox::toggled, this, [this, handler] {
            if (!m_loading)
                (this->*handler)();
        });
    };
    onToggle(Check1, &Diapo::check1Changed);
    onToggle(Check2, &Diapo::check2Changed);
    onToggle(Check3, &Diapo::check3Changed);
    onToggle(Check4, &Diapo::check4Changed);
    connect(HScroll1, &QScrollBar::valueChanged, this, [this](int v) {
        if (!m_loading)
            pauseChanged(v);
    });
    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command2, &QPushButton::clicked, this, &QDialog::reject);
}

void Diapo::load() {
    // Each control takes its stored value and its handler runs, changed or
    // not, so that out-of-range values are replaced and saved.
    m_loading = true;
    AppState& st = m_ctx.state;
    Settings& s = st.settings;
    st.SlideStopRequested = 0;
    Label3->setText(tr("Quitter le diaporama :  DoubleClic ou touche <Echap>") + QLatin1Char('\n') +
                    tr("   Pause : Clic ou touche <Barre d'espace>"));
    normaliseSlideSettings(s);

    (s.SlideShowType == 1 ? Option16 : Option15)->setChecked(true);
    typeChosen(s.SlideShowType);

    const SourceChoice source =
        slideSourceChoice(m_host.fileCount(), s.SelectionListValid, s.SlideSource);
    Option13->setEnabled(source.folderEnabled);
    Option14->setEnabled(source.listEnabled);
    (source.source == 1 ? Option14 : Option13)->setChecked(true);
    s.SlideSource = source.source;

    Check3->setChecked(s.SlideLoop == 1);
    check3Changed();
    Check2->setChecked(s.SlideMusicOn == 1);
    check2Changed();
    Check1->setChecked(s.SlideShowFileName != 0);
    check1Changed();

    QRadioButton* const colours[] = {Option7, Option8, Option9, Option10, Option11, Option12};
    colours[s.SlideBackColor - 1]->setChecked(true);
    colourChosen(s.SlideBackColor);
    (s.SlideOrder == 2 ? Option4 : Option3)->setChecked(true);
    orderChosen(s.SlideOrder);
    QRadioButton* const sizes[] = {Option1, Option2, Option5, Option6};
    sizes[s.SlideSizeMode - 1]->setChecked(true);
    sizeChosen(s.SlideSizeMode);

    HScroll1->setValue(s.SlidePauseSeconds);
    pauseChanged(s.SlidePauseSeconds);
    AffichAide();

    m_loading = false;
    if (std::exchange(m_rewriteDue, false))
        st.SaveSettings();
}

bool Diapo::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate)
        activated();
    return QDialog::event(e);
}

void Diapo::activated() {
    Settings& s = m_ctx.state.settings;
    if (m_host.fileCount() == 0 && s.SelectionListValid == 0) {
        m_ctx.dlg().message(tr("Aucune image sélectionné pour le diaporama !"), tr("Avertissement"),
                            MsgIcon::Exclamation, MsgButtons::Ok, this);
        reject();
        return;
    }
    if (s.SelectionListValid != 0) {
        Option14->setEnabled(true);
    } else {
        Option13->setChecked(true);
        Option14->setEnabled(false);
        s.SlideSource = 0;
    }
    Check4->setChecked(s.KeepSearchFolder == 1);
    check4Changed();
}

void Diapo::AffichAide() {
    const QString text = helpText(m_ctx.state.settings.SlideSizeMode);
    if (!text.isEmpty())
        Label5->setText(text);
}

void Diapo::rewrite() {
    if (m_loading)
        m_rewriteDue = true;
    else
        m_ctx.state.SaveSettings();
}

void Diapo::sizeChosen(int16_t mode) {
    m_ctx.state.settings.SlideSizeMode = mode;
    Check1->setVisible(mode != 1);
    AffichAide();
    rewrite();
}

void Diapo::orderChosen(int16_t order) {
    m_ctx.state.settings.SlideOrder = order;
    rewrite();
}

void Diapo::colourChosen(int16_t code) {
    m_ctx.state.settings.SlideBackColor = code;
    rewrite();
}

void Diapo::typeChosen(int16_t type) {
    m_ctx.state.settings.SlideShowType = type;
    setPauseGroupVisible(type == 0);
    rewrite();
}

void Diapo::setPauseGroupVisible(bool on) {
    for (QWidget* w : {static_cast<QWidget*>(Label1), static_cast<QWidget*>(HScroll1),
                       static_cast<QWidget*>(Label2), static_cast<QWidget*>(Label4),
                       static_cast<QWidget*>(Label3), static_cast<QWidget*>(Frame2),
                       static_cast<QWidget*>(Frame5), static_cast<QWidget*>(Check3)})
        w->setVisible(on);
}

void Diapo::check1Changed() {
    m_ctx.state.settings.SlideShowFileName = Check1->isChecked() ? 1 : 0;
    rewrite();
}

void Diapo::check2Changed() {
    const bool on = Check2->isChecked();
    m_ctx.state.settings.SlideMusicOn = on ? 1 : 0;
    Label6->setVisible(on);
    Command3->setVisible(on);
    if (on)
        Label6->setText(m_ctx.state.settings.SlideMusicFile);
}

void Diapo::check3Changed() {
    m_ctx.state.settings.SlideLoop = Check3->isChecked() ? 1 : 0;
    rewrite();
}

void Diapo::check4Changed() {
    m_ctx.state.settings.KeepSearchFolder = Check4->isChecked() ? 1 : 0;
    m_ctx.state.settings.SearchFolder = m_host.folder();
}

void Diapo::pauseChanged(int value) {
    m_ctx.state.settings.SlidePauseSeconds = int16_t(value);
    Label2->setText(QString::number(value));
}

void Diapo::Command3_Click() {
    Settings& s = m_ctx.state.settings;
    CommonDialog own(m_ctx.dlg(), this);
    CommonDialog& dlg = m_host.dialog ? *m_host.dialog : own;
    dlg.setParent(this);
    dlg.CancelError = false;
    dlg.FileName = s.SlideMusicFile;
    dlg.DialogTitle = tr("Ouvrir");
    dlg.Filter = QStringLiteral("*.WAV|*.wav|*.MID|*.mid");
    dlg.FilterIndex = 1;
    dlg.Flags = 0;
    dlg.ShowOpen();
    dlg.setParent(m_host.window);
    s.SlideMusicFile = dlg.FileName;
    if (!s.SlideMusicFile.isEmpty())
        Label6->setText(s.SlideMusicFile);
}

void Diapo::Command1_Click() {
    Settings& s = m_ctx.state.settings;
    s.KeepSearchFolder = Check4->isChecked() ? 1 : 0;
    s.SearchFolder = m_host.folder();
    m_ctx.state.SaveSettings();
    accept();
}

} // namespace lumenta
