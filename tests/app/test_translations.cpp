#include "app/translations.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <gtest/gtest.h>

TEST(Translations, QtOwnButtonsSpeakFrench) {
    lumenta::installFrenchTranslations();
    QDialogButtonBox box(QDialogButtonBox::Yes | QDialogButtonBox::No | QDialogButtonBox::Retry |
                         QDialogButtonBox::Cancel);
    EXPECT_EQ(box.button(QDialogButtonBox::Yes)->text().remove(QLatin1Char('&')),
              QStringLiteral("Oui"));
    EXPECT_EQ(box.button(QDialogButtonBox::No)->text().remove(QLatin1Char('&')),
              QStringLiteral("Non"));
    EXPECT_EQ(box.button(QDialogButtonBox::Retry)->text().remove(QLatin1Char('&')),
              QStringLiteral("Réessayer"));
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&')),
              QStringLiteral("Annuler"));
}
