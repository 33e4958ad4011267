#include "bureaulxqt.h"
#include "commun/chemins.h"

#include <QCoreApplication>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

namespace {
const QString prefixe = QStringLiteral("lxqt-");
// The drawn picture has the desktop's size, so any mode shows it alike; stretch is pcmanfm-qt's default.
const QString modeRendu = QStringLiteral("stretch");

// The picture pcmanfm-qt shows now, unless it is one drawn here: its most recently saved profile says.
QString imageDuBureau(const QString &rendus)
{
    const QDir profils(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                       + QStringLiteral("/pcmanfm-qt"));
    QFileInfo recent;
    for (const QString &profil : profils.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QFileInfo reglages(profils.filePath(profil + QStringLiteral("/settings.conf")));
        if (reglages.isFile() && (!recent.exists() || reglages.lastModified() > recent.lastModified()))
            recent = reglages;
    }
    if (!recent.exists())
        return {};
    const QString image = QSettings(recent.filePath(), QSettings::IniFormat)
                              .value(QStringLiteral("Desktop/Wallpaper"))
                              .toString();
    // Ours, or gone since: our own last picture is redrawn instead.
    if (image.isEmpty() || QFileInfo(image).absolutePath() == rendus || !QFileInfo(image).isFile())
        return {};
    return image;
}

} // namespace

BureauLxqt::BureauLxqt()
    : magasin(QStringLiteral("lxqt"))
{
    connect(&arrivee, &ArriveeService::essayer, this, [this] { envoyer(renduEnAttente, cheminEnAttente); });
    // Run now, pcmanfm-qt would become the instance itself, one with no desktop, and store nothing.
    connect(&arrivee, &ArriveeService::expiree, this, [this] {
        qCWarning(lcBureau) << "pcmanfm-qt's desktop did not come; dropped" << cheminEnAttente;
        renduEnAttente.clear();
        conclure(std::exchange(cheminEnAttente, {}), Resultat::Injoignable);
    });
    // Queued: when a screen goes, the list of screens changes after the signal.
    connect(
        this, &Bureau::ecransChanges, &contexte, [this] { on_ecransChanges(); }, Qt::QueuedConnection);
}

BureauLxqt::~BureauLxqt()
{
    // What is still being drawn is dropped; a picture drawn already still reaches the desktop.
    ouvrier.arreter(500);
    QCoreApplication::sendPostedEvents(&contexte, QEvent::MetaCall);
    const auto enVol = [this] {
        const auto appels = contexte.findChildren<QDBusPendingCallWatcher *>();
        return std::any_of(appels.cbegin(), appels.cend(), [](auto *appel) { return !appel->isFinished(); });
    };
    // Wakes the loop at the bound if no reply does.
    QTimer::singleShot(500, &contexte, [] {});
    for (const QDeadlineTimer fin(500); !fin.hasExpired() && enVol();)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void BureauLxqt::montrer(const QString &chemin)
{
    cheminsPropres.clear();
    aSignaler = QFileInfo(chemin).absoluteFilePath();
    planifier(aSignaler, magasin.lireOuDefaut());
}

void BureauLxqt::montrerParEcran(const QList<Ecran> &ecrans, const QStringList &chemins)
{
    ecransPropres = ecrans;
    cheminsPropres = chemins;
    aSignaler = QFileInfo(chemins.value(0)).absoluteFilePath();
    planifier(aSignaler, magasin.lireOuDefaut());
}

std::optional<Disposition> BureauLxqt::lireDisposition()
{
    return magasin.lireOuDefaut();
}

void BureauLxqt::enregistrerDisposition(Disposition disposition)
{
    magasin.enregistrer(disposition);
    planifier(aSignaler, disposition);
}

void BureauLxqt::on_ecransChanges()
{
    if (!cheminsPropres.isEmpty() && !suivreEcrans(ecransPropres, cheminsPropres))
        cheminsPropres.clear();
    if (actif)
        planifier(aSignaler, magasin.lireOuDefaut(), true);
}

void BureauLxqt::planifier(const QString &chemin, Disposition disposition, bool ecransSeulement)
{
    // What pcmanfm-qt stretches the picture over: the virtual desktop, and each screen on it.
    QList<QRect> ecrans;
    QRect zone;
    for (const Ecran &e : lireEcrans()) {
        ecrans.append(e.geometrie);
        zone |= e.geometrie;
    }
    for (QRect &ecran : ecrans)
        ecran.translate(-zone.topLeft());
    const QSize bureau = zone.size();
    if (bureau.isEmpty()) {
        qCWarning(lcBureau) << "no screen to draw the LXQt wallpaper for";
        conclure(chemin, Resultat::Injoignable);
        return;
    }
    if (ecransSeulement && bureau == bureauDessine && ecrans == ecransDessines)
        return;
    bureauDessine = bureau;
    ecransDessines = ecrans;
    actif = true;
    const Demande demande {chemin,         disposition, bureau, ecrans, places(ecransPropres, cheminsPropres),
                           imageCourante()};
    ouvrier.lancer([this, demande](const Ouvrier::Poste &poste) {
        Resultat resultat = Resultat::Injoignable;
        const QString rendu = dessiner(demande, &resultat);
        poste([this, rendu, chemin = demande.chemin, resultat] {
            if (rendu.isEmpty())
                conclure(chemin, resultat);
            else
                envoyer(rendu, chemin);
        });
    });
}

QString BureauLxqt::dessiner(const Demande &d, Resultat *resultat)
{
    if (!d.places.isEmpty()) {
        const QImage compose = composerEcrans(d.places, d.disposition);
        if (compose.isNull())
            *resultat = Resultat::Refusee;
        return compose.isNull() ? QString() : enregistrerRendu(d.places.first().second, compose, prefixe);
    }
    const QString rendus = dossierDonnees();
    // A layout change redraws what the desktop shows: a picture set in pcmanfm-qt since, or ours.
    const QString image = d.chemin.isEmpty() ? imageDuBureau(rendus) : d.chemin;
    const QString source = image.isEmpty() ? d.derniere : image;
    if (source.isEmpty()) {
        qCInfo(lcBureau) << "layout stored; no picture to redraw yet";
        return {};
    }
    // A new picture is read again, even under a name drawn before: its file may have changed.
    if (!d.chemin.isEmpty())
        images.oublier();
    if (!images.preparer(source, d.disposition, d.ecrans)) {
        *resultat = Resultat::Refusee;
        return {};
    }
    return enregistrerRendu(source, assembler(d.bureau, d.ecrans, images.images()), prefixe);
}

void BureauLxqt::conclure(const QString &chemin, Resultat resultat)
{
    if (!chemin.isEmpty() && chemin == aSignaler) {
        aSignaler.clear();
        signaler(chemin, resultat);
    }
}

void BureauLxqt::envoyer(const QString &rendu, const QString &chemin)
{
    auto appel = QDBusMessage::createMethodCall(
        QStringLiteral("org.pcmanfm.PCManFM"), QStringLiteral("/Application"),
        QStringLiteral("org.pcmanfm.Application"), QStringLiteral("setWallpaper"));
    appel << rendu << modeRendu;
    appelerDBus(&contexte, appel, [this, rendu, chemin](const QDBusMessage &reponse) {
        if (reponse.type() == QDBusMessage::ReplyMessage) {
            if (arrivee.enCours()) {
                arrivee.arreter();
                renduEnAttente.clear();
                qCInfo(lcBureau) << "pcmanfm-qt's desktop came; it took" << chemin;
            }
            return conclure(chemin, Resultat::Montree);
        }
        const QDBusError erreur(reponse);
        if (ArriveeService::absent(erreur)) {
            // Started now, it would become the instance itself, with no desktop, and store nothing.
            if (!arrivee.enCours())
                qCInfo(lcBureau) << "pcmanfm-qt's desktop is not on the bus yet; the picture waits for it";
            renduEnAttente = rendu;
            cheminEnAttente = chemin;
            return arrivee.attendre();
        }
        if (erreur.type() == QDBusError::Disconnected)
            return confier(rendu, chemin);
        qCWarning(lcBureau) << "pcmanfm-qt refused the wallpaper:" << reponse.errorMessage();
        conclure(chemin, Resultat::Injoignable);
    });
}

void BureauLxqt::confier(const QString &rendu, const QString &chemin)
{
    const QStringList arguments {QStringLiteral("--wallpaper-mode"), modeRendu,
                                 QStringLiteral("--set-wallpaper"), rendu};
    const bool lance = QProcess::startDetached(QStringLiteral("pcmanfm-qt"), arguments);
    if (!lance)
        qCWarning(lcBureau) << "pcmanfm-qt is neither on D-Bus nor runnable";
    conclure(chemin, lance ? Resultat::Montree : Resultat::Injoignable);
}
