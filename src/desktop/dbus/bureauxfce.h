#pragma once

#include "desktop/bureau.h"

#include <QDBusVariant>
#include <QHash>
#include <QObject>
#include <QVariant>

#include <functional>

/**
 * XFCE: the picture and layout of every monitor and workspace in xfconf's "xfce4-desktop" channel,
 * which xfdesktop watches. Talks to xfconfd over D-Bus without waiting; the layout is read from a
 * copy kept up to date by xfconfd's change signal.
 */
class BureauXfce final : public Bureau
{
    Q_OBJECT
public:
    BureauXfce();

    QString nom() const override { return QStringLiteral("xfce"); }
    void montrer(const QString &chemin) override;
    bool montreParEcran() const override { return true; }
    void montrerParEcran(const QList<Ecran> &ecrans, const QStringList &chemins) override;
    std::optional<Disposition> lireDisposition() override;
    void enregistrerDisposition(Disposition disposition) override;

private slots:
    void proprieteChangee(const QString &canal, const QString &propriete, const QDBusVariant &valeur);

private:
    using Ecriture = QList<QPair<QString, QVariant>>;
    struct Lot
    {
        Ecriture ecriture;
        // The picture to report on once every write is answered, and whether one failed.
        QString aSignaler;
        // Each monitor's own picture by its name, when each has one; it replaces the ecriture's there.
        QHash<QString, QString> parEcran;
        bool echec = false;
    };
    void ecrirePartout(const Ecriture &ecriture, const QString &aSignaler = QString(),
                       const QHash<QString, QString> &parEcran = {});
    void traiterSuivante();
    void terminerLot();
    void ecrire(const QString &propriete, const QVariant &valeur, const std::function<void(bool)> &apres);

    std::optional<Disposition> disposition;
    int dispositionsDemandees = 0;
    QList<Lot> file;
};
