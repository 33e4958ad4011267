#include "bureau.h"
#include "commun/chemins.h"
#include "commun/nomsfichiers.h"

#include <QGuiApplication>
#include <QScreen>
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
    auto *application = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    if (!application)
        return;
    const auto suivre = [this](QScreen *ecran) {
        connect(ecran, &QScreen::geometryChanged, this, &Bureau::ecransChanges);
    };
    for (QScreen *ecran : QGuiApplication::screens())
        suivre(ecran);
    connect(application, &QGuiApplication::screenAdded, this, [this, suivre](QScreen *ecran) {
        suivre(ecran);
        emit ecransChanges();
    });
    // Queued: when a screen goes, the list of screens changes after the signal.
    connect(application, &QGuiApplication::screenRemoved, this, &Bureau::ecransChanges, Qt::QueuedConnection);
    connect(application, &QGuiApplication::primaryScreenChanged, this, &Bureau::ecransChanges);
}

Bureau::~Bureau() = default;

QList<QPair<QRect, QString>> Bureau::places(const QList<Ecran> &ecrans, const QStringList &chemins)
{
    QList<QPair<QRect, QString>> resultat;
    for (qsizetype i = 0; i < ecrans.size() && i < chemins.size(); ++i)
        resultat.append({ecrans[i].geometrie, chemins[i]});
    return resultat;
}

bool Bureau::suivreEcrans(QList<Ecran> &ecrans, QStringList &chemins) const
{
    QList<Ecran> restants;
    QStringList leurs;
    for (const Ecran &e : lireEcrans()) {
        for (qsizetype i = 0; i < ecrans.size() && i < chemins.size(); ++i) {
            if (ecrans[i].nom == e.nom) {
                restants << e;
                leurs << chemins[i];
            }
        }
    }
    ecrans = restants;
    chemins = leurs;
    return !chemins.isEmpty();
}

QList<Bureau::Ecran> Bureau::lireEcrans() const
{
    QList<Ecran> ecrans;
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return ecrans;
    const QScreen *principal = QGuiApplication::primaryScreen();
    for (const QScreen *s : QGuiApplication::screens()) {
        // Desktops count in the screen's own pixels; Qt scales a screen's size, but keeps its place native.
        const QRect g = s->geometry();
        Ecran e {s->name(), QRect(g.topLeft(), g.size() * s->devicePixelRatio()), s == principal};
        ecrans.insert(e.principal ? 0 : ecrans.size(), e);
    }
    return ecrans;
}

void Bureau::montrerParEcran(const QList<Ecran> &, const QStringList &chemins)
{
    montrer(chemins.value(0));
}

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
