#pragma once

#include "attente.h"
#include "bureau.h"

#include <QJsonValue>

/**
 * KDE Plasma 5 and 6: plasmashell runs a desktop script sent over D-Bus that sets the image
 * wallpaper of every desktop. The layout is read the same way, without waiting, into a copy kept here.
 */
class BureauKde final : public Bureau
{
public:
    BureauKde();

    QString nom() const override;
    void remettre(const QString &chemin) override;
    int lirePosition() override;
    void enregistrerPosition(int position) override;
    bool attendre(int msecs = -1) override;

private:
    /** The JavaScript literal for a JSON value; a string stays one string whatever it holds. */
    static QString litteralJavaScript(const QJsonValue &valeur);
    /** The script that sets one key of the image wallpaper on every desktop. */
    static QString scriptEcriture(const QString &cle, const QJsonValue &valeur);
    /** The script that prints the first desktop's FillMode. */
    static QString scriptLecture();
    /** Our layout for a Plasma FillMode, 0 when it has none. */
    static int positionDeRemplissage(int fillMode);
    void evaluer(const QString &script, std::function<void(bool, const QString &)> apres);
    void rafraichir();

    int position = 0;
    int positionsDemandees = 0;
    bool lectureEnCours = false;
    Attente attente;
};
