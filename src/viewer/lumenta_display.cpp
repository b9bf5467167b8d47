// Scroll bars, clipboard copy and the display settings menu.
#include "app/module1.h"
#include "viewer/lumenta.h"
#include "widgets/picturewidgets.h"
#include "widgets/twips.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QMenuBar>
#include <QMimeData>
#include <QScrollBar>

namespace lumenta {

void Lumenta::CalculScroll() {
    const ScrollResult r =
        calculScroll(twips::fromPx(PicFond->width()), twips::fromPx(PicFond->height()),
                     twips::fromPx(Open->width()), twips::fromPx(Open->height()));
    VScroll1->setMaximum(r.vMax);
    VScroll1->setPageStep(r.vLargeStep);
    HScroll1->setMaximum(r.hMax);
    HScroll1->setPageStep(r.hLargeStep);
    m_st.PictureWidthMM = r.widthMM;
    m_st.PictureHeightMM = r.heightMM;
    if (r.aspect)
        m_st.PictureAspect = *r.aspect;
}

void Lumenta::Image1_DblClick() {
    if (putOffWhileLoading(AfterLoad::Copy))
        return;
    m_st.CurrentFileExt = extensionOf(m_st.CurrentFilePath);
    // A tiled picture is never held whole, and the clipboard takes only
    // whole pictures.
    if (m_picture.isTiled() && !Open->isHidden()) {
        refusePictureTooLarge(
            tr("Cette image est trop grande pour être copiée dans le presse papier !"));
        return;
    }
    if (!putPictureOnClipboard(Open->displayedImage(), m_picture, m_st.CurrentFileExt))
        m_ctx.dlg().message(tr("Cette image ne peut pas être copiée dans le presse papier !"),
                            tr("Avertissement"), MsgIcon::Information, MsgButtons::Ok, this);
}

void Lumenta::createDisplayMenu() {
    Mnu_Parametres = Mnu_Affichage->addMenu(tr("&Paramétrage"));
    Mnu_Parametres->setObjectName(QStringLiteral("Mnu_Parametres"));
    Mnu_TailleEcr = Mnu_Parametres->addMenu(tr("&Taille de l'image pour l'affichage plein écran"));
    Mnu_TailleEcr->setObjectName(QStringLiteral("Mnu_TailleEcr"));
    Mnu_CoulFond = Mnu_Parametres->addMenu(tr("&Couleur de fond pour l'affichage plein écran"));
    Mnu_CoulFond->setObjectName(QStringLiteral("Mnu_CoulFond"));

    auto item = [this](QMenu* menu, const char* name, const QString& text) {
        QAction* a = menu->addAction(text);
        a->setObjectName(QLatin1String(name));
        a->setCheckable(true);
        return a;
    };
    Mnu_AffichProp = item(Mnu_TailleEcr, "Mnu_AffichProp", tr("&Proportionnelle - Echelle 1:1"));
    Mnu_AffichMaxi = item(Mnu_TailleEcr, "Mnu_AffichMaxi", tr("&Maxi et proportionnelle"));
    Mnu_CoulNoir = item(Mnu_CoulFond, "Mnu_CoulNoir", tr("&Noir"));
    Mnu_CoulBlanc = item(Mnu_CoulFond, "Mnu_CoulBlanc", tr("&Blanc"));
    Mnu_CoulGris = item(Mnu_CoulFond, "Mnu_CoulGris", tr("&Gris"));
    Mnu_CoulBleu = item(Mnu_CoulFond, "Mnu_CoulBleu", tr("B&leu"));
    Mnu_CoulRouge = item(Mnu_CoulFond, "Mnu_CoulRouge", tr("&Rouge"));
    Mnu_CoulVert = item(Mnu_CoulFond, "Mnu_CoulVert", tr("&Vert"));

    connect(Mnu_AffichProp, &QAction::triggered, this, [this] { setFullScreenSizeMode(1); });
    connect(Mnu_AffichMaxi, &QAction::triggered, this, [this] { setFullScreenSizeMode(2); });
    const QList<QAction*> colours = {Mnu_CoulNoir, Mnu_CoulBlanc, Mnu_CoulGris,
                                     Mnu_CoulBleu, Mnu_CoulRouge, Mnu_CoulVert};
    for (int i = 0; i < colours.size(); ++i)
        connect(colours[i], &QAction::triggered, this,
                [this, i] { setFullScreenBackColor(i + 1); });
}

void Lumenta::Mnu_Affichage_Open() {
    Settings& s = m_st.settings;
    Mnu_AffichMaxi->setChecked(s.FullScreenSizeMode == 2);
    Mnu_AffichProp->setChecked(s.FullScreenSizeMode != 2);
    const QList<QAction*> colours = {Mnu_CoulNoir, Mnu_CoulBlanc, Mnu_CoulGris,
                                     Mnu_CoulBleu, Mnu_CoulRouge, Mnu_CoulVert};
    if (s.FullScreenBackColor < 1 || s.FullScreenBackColor > 6)
        s.FullScreenBackColor = 1; // in memory only
    for (int i = 0; i < colours.size(); ++i)
        colours[i]->setChecked(s.FullScreenBackColor == i + 1);
}

void Lumenta::setFullScreenSizeMode(int mode) {
    m_st.settings.FullScreenSizeMode = static_cast<int16_t>(mode);
    m_st.SaveSettings();
    Mnu_Affichage_Open();
}

void Lumenta::setFullScreenBackColor(int code) {
    m_st.settings.FullScreenBackColor = static_cast<int16_t>(code);
    m_st.SaveSettings();
    Mnu_Affichage_Open();
}

} // namespace lumenta
