#include "bureau.h"
#include "commun/chemins.h"
#include "commun/nomsfichiers.h"

#include <QSettings>

Q_LOGGING_CATEGORY(lcBureau, "papirol2.bureau", QtCriticalMsg)

namespace {
std::unique_ptr<Bureau> &instance()
{
    static std::unique_ptr<Bureau> courant;
    return courant;
}

const QString cleDerniere = QStringLiteral("dernier");
} // namespace

QString derniereImage()
{
    return nomDepuisReglage(QSettings(cheminRotation(), QSettings::IniFormat).value(cleDerniere));
}

Bureau::Bureau()
    : courante(derniereImage())
{
}

Bureau::~Bureau() = default;

void Bureau::signaler(const QString &chemin, Resultat resultat)
{
    if (resultat == Resultat::Montree && chemin != courante) {
        courante = chemin;
        QSettings memoire(cheminRotation(), QSettings::IniFormat);
        memoire.setValue(cleDerniere, nomVersReglage(chemin));
        memoire.sync();
        if (memoire.status() != QSettings::NoError)
            qCWarning(lcBureau) << "cannot record the picture shown in" << memoire.fileName();
    }
    emit imageTraitee(chemin, resultat);
}

Bureau &bureau()
{
    auto &courant = instance();
    if (!courant)
        courant = creerBureau();
    return *courant;
}

void installerBureau(std::unique_ptr<Bureau> nouveau)
{
    instance() = std::move(nouveau);
}
