#pragma once

#include "attente.h"
#include "bureau.h"

#include <QDBusVariant>
#include <QObject>
#include <QVariant>

#include <functional>

/**
 * XFCE: the picture and layout of every monitor and workspace in xfconf's "xfce4-desktop" channel,
 * which xfdesktop watches. Talks to xfconfd over D-Bus without waiting; the layout is read from a
 * copy kept up to date by xfconfd's change signal.
 */
class BureauXfce final : public QObject, public Bureau
{
    Q_OBJECT
public:
    BureauXfce();

    QString nom() const override;
    void remettre(const QString &chemin) override;
    int lirePosition() override;
    void enregistrerPosition(int position) override;
    bool attendre(int msecs = -1) override;

private slots:
    void proprieteChangee(const QString &canal, const QString &propriete, const QDBusVariant &valeur);

private:
    using Ecriture = QList<QPair<QString, QVariant>>;
    void ecrirePartout(const Ecriture &ecriture);
    void traiterSuivante();
    void terminerLot();
    void ecrire(const QString &propriete, const QVariant &valeur, const std::function<void()> &apres);

    int position = 0;
    int positionsDemandees = 0;
    QList<Ecriture> file;
    Attente attente;
};
