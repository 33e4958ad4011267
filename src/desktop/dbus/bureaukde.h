#pragma once

#include "arriveeservice.h"
#include "desktop/bureau.h"

#include <QJsonValue>
#include <QList>
#include <QPair>

/**
 * KDE Plasma 5 and 6: plasmashell runs a desktop script sent over D-Bus that sets the image
 * wallpaper of every desktop, or of each by its screen. The layout is read the same way, without waiting,
 * into a copy kept here. Before plasmashell is on the bus with its desktops (a session starting), what is
 * asked is kept, the last picture and layout, and written as soon as it is.
 */
class BureauKde final : public Bureau
{
    Q_OBJECT
public:
    BureauKde();

    QString nom() const override { return QStringLiteral("kde"); }
    void montrer(const QString &chemin) override;
    bool montreParEcran() const override { return true; }
    void montrerParEcran(const QList<Ecran> &ecrans, const QStringList &chemins) override;
    std::optional<Disposition> lireDisposition() override;
    void enregistrerDisposition(Disposition disposition) override;

private:
    /** The JavaScript literal for a JSON value; a string stays one string whatever it holds. */
    static QString litteralJavaScript(const QJsonValue &valeur);
    using Ecriture = QList<QPair<QString, QJsonValue>>;
    /** The script that sets keys of the image wallpaper on every desktop, and prints how many there were. A
     * value that is an array of [x, y, value] gives each desktop the value of the nearest x, y: a monitor's
     * centre in shares of the whole layout. */
    static QString scriptEcriture(const Ecriture &ecriture);
    /** The script that prints the first desktop's FillMode. */
    static QString scriptLecture();
    /** Runs a script; apres gets whether it ran, what it printed, and whether plasmashell was not there. */
    void evaluer(const QString &script, std::function<void(bool, const QString &, bool)> apres);
    void rafraichir();
    /** Writes keys; chemin, when not empty, is the picture to report. */
    void ecrire(const Ecriture &ecriture, const QString &chemin);
    /** Keeps what could not be written yet, a newer value replacing an older one. */
    void garder(const Ecriture &ecriture, const QString &chemin);
    void on_essayer();
    void on_expiree();

    std::optional<Disposition> disposition;
    int dispositionsDemandees = 0;
    bool lectureEnCours = false;
    Ecriture enAttente;
    QString cheminEnAttente;
    bool essaiEnCours = false;
    ArriveeService arrivee {QStringLiteral("org.kde.plasmashell")};
};
