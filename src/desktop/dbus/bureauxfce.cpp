#include "bureauxfce.h"
#include "arriveeservice.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>

#include <algorithm>
#include <memory>

namespace {
const QString service = QStringLiteral("org.xfce.Xfconf");
const QString objet = QStringLiteral("/org/xfce/Xfconf");
const QString interface = QStringLiteral("org.xfce.Xfconf");
const QString canal = QStringLiteral("xfce4-desktop");
const QString feuilleImage = QStringLiteral("last-image");
const QString feuilleStyle = QStringLiteral("image-style");

constexpr TableDispositions<int> styles {1, 2, 3, 4, 5};

std::optional<Disposition> dispositionXfce(const QVariant &style)
{
    bool ok = false;
    const int n = style.toInt(&ok);
    return ok ? styles.trouver(n) : std::nullopt;
}

// The monitor/workspace folders that already carry a wallpaper setting, sorted.
QStringList dossiersExistants(const QVariantMap &proprietes)
{
    static const QRegularExpression motif(
        QStringLiteral("^(/backdrop/screen[0-9]+/monitor[^/]+/workspace[0-9]+)/(last-image|image-style)$"));
    QStringList dossiers;
    for (auto it = proprietes.cbegin(); it != proprietes.cend(); ++it) {
        const QRegularExpressionMatch m = motif.match(it.key());
        if (m.hasMatch() && !dossiers.contains(m.captured(1)))
            dossiers.append(m.captured(1));
    }
    dossiers.sort();
    return dossiers;
}

QStringList dossiersNeufs()
{
    QStringList dossiers;
    for (const QScreen *ecran : QGuiApplication::screens())
        dossiers.append(QStringLiteral("/backdrop/screen0/monitor%1/workspace0").arg(ecran->name()));
    return dossiers;
}
} // namespace

BureauXfce::BureauXfce()
{
    QDBusConnection::sessionBus().connect(service, objet, interface, QStringLiteral("PropertyChanged"), this,
                                          SLOT(proprieteChangee(QString, QString, QDBusVariant)));
    ecrirePartout({});
}

void BureauXfce::montrer(const QString &chemin)
{
    montrerParEcran({}, {chemin});
}

void BureauXfce::montrerParEcran(const QList<Ecran> &ecrans, const QStringList &chemins)
{
    Ecriture ecriture {{feuilleImage, QFileInfo(chemins.value(0)).absoluteFilePath()}};
    if (disposition)
        ecriture.append({feuilleStyle, styles[*disposition]});
    QHash<QString, QString> parEcran;
    for (qsizetype i = 0; i < ecrans.size() && i < chemins.size(); ++i)
        parEcran.insert(ecrans[i].nom, QFileInfo(chemins[i]).absoluteFilePath());
    ecrirePartout(ecriture, chemins.value(0), parEcran);
}

std::optional<Disposition> BureauXfce::lireDisposition()
{
    return disposition;
}

void BureauXfce::enregistrerDisposition(Disposition nouvelle)
{
    disposition = nouvelle;
    ++dispositionsDemandees;
    ecrirePartout({{feuilleStyle, styles[nouvelle]}});
}

void BureauXfce::proprieteChangee(const QString &nomCanal, const QString &propriete,
                                  const QDBusVariant &valeur)
{
    // Echoes of our own writes can arrive after a newer layout was asked for: while they are in flight,
    // the layout asked last is the one that will stand.
    if (!file.isEmpty())
        return;
    if (nomCanal == canal && propriete.startsWith(QLatin1String("/backdrop/"))
        && propriete.endsWith(QLatin1Char('/') + feuilleStyle))
        disposition = dispositionXfce(valeur.variant());
}

// Reads the channel first, so every monitor and workspace the desktop knows gets the change; an empty
// ecriture only refreshes the layout kept here.
void BureauXfce::ecrirePartout(const Ecriture &ecriture, const QString &aSignaler,
                               const QHash<QString, QString> &parEcran)
{
    file.append({ecriture, aSignaler, parEcran});
    if (file.size() == 1)
        traiterSuivante();
}

// One batch at a time: a later layout must not overtake an earlier one on its way into xfconfd.
void BureauXfce::traiterSuivante()
{
    if (file.isEmpty())
        return;
    auto appel
        = QDBusMessage::createMethodCall(service, objet, interface, QStringLiteral("GetAllProperties"));
    appel << canal << QStringLiteral("/backdrop");
    const int demandees = dispositionsDemandees;
    appelerDBus(this, appel, [this, demandees](const QDBusMessage &reponse) {
        const Ecriture ecriture = file.constFirst().ecriture;
        QVariantMap proprietes;
        if (reponse.type() == QDBusMessage::ReplyMessage && !reponse.arguments().isEmpty()) {
            proprietes = qdbus_cast<QVariantMap>(reponse.arguments().constFirst());
        } else if (!reponse.errorName().startsWith(QLatin1String("org.xfce.Xfconf.Error."))) {
            // Only "no such channel or property" means an empty channel; anything else, xfconfd is not there.
            qCWarning(lcBureau) << "xfconf is not available, wallpaper left as it is:"
                                << reponse.errorMessage();
            disposition.reset();
            file.first().echec = true;
            return terminerLot();
        }
        const QStringList dossiers = dossiersExistants(proprietes);
        if (ecriture.isEmpty()) {
            // A layout asked for since this was read is newer than what was read.
            if (!dossiers.isEmpty() && demandees == dispositionsDemandees)
                disposition = dispositionXfce(
                    proprietes.value(dossiers.constFirst() + QLatin1Char('/') + feuilleStyle));
            return terminerLot();
        }
        const QHash<QString, QString> parEcran = file.constFirst().parEcran;
        QStringList neufs = dossiers.isEmpty() ? dossiersNeufs() : QStringList();
        // A monitor of the round with no folder yet (plugged in since xfdesktop last wrote) gets one for each
        // workspace the others have.
        QStringList espaces;
        for (const QString &dossier : std::as_const(dossiers))
            espaces << dossier.section(QLatin1Char('/'), -1);
        espaces.removeDuplicates();
        if (espaces.isEmpty())
            espaces << QStringLiteral("workspace0");
        for (auto it = parEcran.cbegin(); it != parEcran.cend(); ++it) {
            const QString moniteur = QStringLiteral("/monitor%1/").arg(it.key());
            if (!std::any_of(dossiers.cbegin(), dossiers.cend(),
                             [&moniteur](const QString &d) { return d.contains(moniteur); }))
                for (const QString &espace : std::as_const(espaces))
                    neufs << QStringLiteral("/backdrop/screen0") + moniteur + espace;
        }
        neufs.removeDuplicates();
        // A new folder gets a layout too, xfdesktop's own default (zoomed) when none is known.
        const bool avecStyle = std::any_of(ecriture.cbegin(), ecriture.cend(),
                                           [](const auto &e) { return e.first == feuilleStyle; });
        Ecriture aEcrire;
        for (const QString &dossier : dossiers + neufs) {
            // Folders of monitors not in the round (gone, or named otherwise) get the primary's picture.
            const QString moniteur = dossier.section(QLatin1Char('/'), 3, 3).mid(7);
            for (const auto &[feuille, valeur] : ecriture)
                aEcrire.append(
                    {dossier + QLatin1Char('/') + feuille,
                     feuille == feuilleImage ? parEcran.value(moniteur, valeur.toString()) : valeur});
            if (!avecStyle && neufs.contains(dossier))
                aEcrire.append({dossier + QLatin1Char('/') + feuilleStyle, styles[dispositionParDefaut]});
        }
        if (aEcrire.isEmpty()) {
            qCWarning(lcBureau) << "no screen to give xfdesktop a wallpaper for";
            file.first().echec = true;
            return terminerLot();
        }
        auto restantes = std::make_shared<qsizetype>(aEcrire.size());
        for (const auto &[propriete, valeur] : std::as_const(aEcrire))
            ecrire(propriete, valeur, [this, restantes](bool ecrit) {
                file.first().echec |= !ecrit;
                if (--*restantes == 0)
                    terminerLot();
            });
    });
}

void BureauXfce::terminerLot()
{
    const Lot lot = file.takeFirst();
    if (!lot.aSignaler.isEmpty())
        signaler(lot.aSignaler, lot.echec ? Resultat::Injoignable : Resultat::Montree);
    traiterSuivante();
}

void BureauXfce::ecrire(const QString &propriete, const QVariant &valeur,
                        const std::function<void(bool)> &apres)
{
    auto appel = QDBusMessage::createMethodCall(service, objet, interface, QStringLiteral("SetProperty"));
    appel << canal << propriete << QVariant::fromValue(QDBusVariant(valeur));
    appelerDBus(this, appel, [propriete, apres](const QDBusMessage &reponse) {
        const bool refuse = reponse.type() == QDBusMessage::ErrorMessage;
        if (refuse)
            qCWarning(lcBureau) << "xfconf refused" << propriete << ":" << reponse.errorMessage();
        apres(!refuse);
    });
}
