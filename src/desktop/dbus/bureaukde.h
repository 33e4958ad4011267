#pragma once

#include "desktop/attente.h"
#include "desktop/bureau.h"

#include <QJsonValue>

/**
 * KDE Plasma 5 and 6: plasmashell runs a desktop script sent over D-Bus that sets the image
 * wallpaper of every desktop. The layout is read the same way, without waiting, into a copy kept here.
 */
class BureauKde final : public Bureau
{
    Q_OBJECT
public:
    BureauKde();

    QString nom() const override;
    void montrer(const QString &chemin) override;
    std::optional<Disposition> lireDisposition() override;
    void enregistrerDisposition(Disposition disposition) override;
    bool attendre(int msecs = -1) override;

private:
    /** The JavaScript literal for a JSON value; a string stays one string whatever it holds. */
    static QString litteralJavaScript(const QJsonValue &valeur);
    /** The script that sets one key of the image wallpaper on every desktop. */
    static QString scriptEcriture(const QString &cle, const QJsonValue &valeur);
    /** The script that prints the first desktop's FillMode. */
    static QString scriptLecture();
    void evaluer(const QString &script, std::function<void(bool, const QString &)> apres);
    void rafraichir();

    std::optional<Disposition> disposition;
    int dispositionsDemandees = 0;
    bool lectureEnCours = false;
    Attente attente;
};
