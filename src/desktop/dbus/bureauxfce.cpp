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
    Ecriture ecriture {{feuilleImage, QFileInfo(chemin).absoluteFilePath()}};
    if (disposition)
        ecriture.append({feuilleStyle, styles[*disposition]});
    ecrirePartout(ecriture, chemin);
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
void BureauXfce::ecrirePartout(const Ecriture &ecriture, const QString &aSignaler)
{
    file.append({ecriture, aSignaler});
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
        QStringList dossiers = dossiersExistants(proprietes);
        if (ecriture.isEmpty()) {
            // A layout asked for since this was read is newer than what was read.
            if (!dossiers.isEmpty() && demandees == dispositionsDemandees)
                disposition = dispositionXfce(
                    proprietes.value(dossiers.constFirst() + QLatin1Char('/') + feuilleStyle));
            return terminerLot();
        }
        Ecriture complete = ecriture;
        if (dossiers.isEmpty()) {
            dossiers = dossiersNeufs();
            // A new folder gets a layout too, xfdesktop's own default (zoomed) when none is known.
            const bool avecStyle = std::any_of(ecriture.cbegin(), ecriture.cend(),
                                               [](const auto &e) { return e.first == feuilleStyle; });
            if (!avecStyle)
                complete.append({feuilleStyle, styles[dispositionParDefaut]});
        }
        if (dossiers.isEmpty()) {
            qCWarning(lcBureau) << "no screen to give xfdesktop a wallpaper for";
            file.first().echec = true;
        }
        auto restantes = std::make_shared<int>(dossiers.size() * complete.size());
        if (*restantes == 0)
            return terminerLot();
        for (const QString &dossier : std::as_const(dossiers)) {
            for (const auto &[feuille, valeur] : std::as_const(complete))
                ecrire(dossier + QLatin1Char('/') + feuille, valeur, [this, restantes](bool ecrit) {
                    file.first().echec |= !ecrit;
                    if (--*restantes == 0)
                        terminerLot();
                });
        }
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
