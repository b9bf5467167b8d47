#include "fileutil/vbcopym.h"

#include "app/module1.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace lumenta {

VbCopyM::VbCopyM(AppState& state, QWidget* parent) : QDialog(parent), m_st(state) {
    setObjectName(QStringLiteral("vbcopym"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowTitle(tr("Fichier existant"));

    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Label1 = new QLabel(tr("Label1"), Frame1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    Label1->setWordWrap(true);
    Label1->setMinimumWidth(360);
    auto* frameLayout = new QVBoxLayout(Frame1);
    frameLayout->addWidget(Label1);

    auto button = [this](const char* name, const QString& text, int value) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, value] { answer(value); });
        return b;
    };
    Command1 = button("Command1", tr("&Remplacer"), 1);
    Command2 = button("Command2", tr("&Tout remplacer"), 2);
    Command3 = button("Command3", tr("Sauter"), 3);
    Command4 = button("Command4", tr("&Annuler"), 4);
    Command1->setDefault(true);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {Command1, Command2, Command3, Command4})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(Frame1);
    layout->addLayout(buttons);

    // Opening: the captions of the running operation.
    if (m_st.DeleteInProgress == 1) {
        setWindowTitle(tr("Suppression de fichiers"));
        Command1->setText(tr("&Supprimer"));
        Command2->setText(tr("&Tout supprimer"));
    }
    if (m_st.CopyInProgress == 1) {
        setWindowTitle(tr("Copie de fichiers"));
        Command1->setText(tr("&Remplacer"));
        Command2->setText(tr("&Tout remplacer"));
    }
}

void VbCopyM::ask(const QString& question) {
    Label1->setText(question);
    setWindowModality(Qt::ApplicationModal);
    adjustSize();
    CentreForm(this);
    show();
    Command1->setFocus();
}

void VbCopyM::answer(int value) {
    m_answer = value;
    accept();
}

void VbCopyM::done(int r) {
    // Any other way of closing (frame, Escape, Alt+F4) stops the operation.
    if (m_answered)
        return;
    m_answered = true;
    if (r != QDialog::Accepted)
        m_answer = 4;
    m_st.ConfirmAnswer = static_cast<int16_t>(m_answer);
    QDialog::done(r);
    Q_EMIT answered(m_answer);
}

} // namespace lumenta
