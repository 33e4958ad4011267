#include "affichage.h"
#include "audemarrage.h"
#include "avissansplateau.h"
#include "basculeplateau.h"
#include "canal.h"
#include "commun/chemins.h"
#include "commun/nomsfichiers.h"
#include "commun/ouvrier.h"
#include "desktop/bureau.h"
#include "dossierpersonnel.h"
#include "lignedecommande.h"
#include "rotation/historique.h"
#include "signaux.h"
#include "sondebus.h"
#include "ui/papirol2.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLockFile>
#include <QStringList>
#include <QTranslator>
#include <QVersionNumber>

#include <cstdio>
#include <cstdlib>
#include <vector>

Q_LOGGING_CATEGORY(lcDemarrage, "papirol2.demarrage", QtCriticalMsg)

int main(int argc, char *argv[])
{
    // Before Qt reads the environment: the home its stores hang from.
    ignorerXdgRelatifs();
    auto maisonTemporaire = etablirDossierPersonnel();
    // QApplication takes its own options out of argv; a restart passes them again.
    std::vector<char *> arguments(argv, argv + argc + 1);
    QStringList mots;
    for (int i = 0; i < argc; ++i)
        mots.append(QString::fromLocal8Bit(argv[i]));
    const LigneDeCommande ligne = lireLigneDeCommande(mots, false);
    if (ligne.action != LigneDeCommande::Action::Demarrer)
        ouvrirConsole();
    switch (ligne.action) {
    case LigneDeCommande::Action::Aide:
    case LigneDeCommande::Action::Erreur:
        return afficherUsage(ligne.action == LigneDeCommande::Action::Erreur);
    case LigneDeCommande::Action::Commande:
        if (const int code = envoyerCommande(cheminReglages(), ligne.valeur.constData());
            code != 0 || ligne.valeur != "courante")
            return code;
        if (const QStringList images = imagesAffichees(); !images.isEmpty()) {
            // The bytes the disk has, for a shell to use; one line per monitor when each has its own.
            QByteArray chemin;
            for (const QString &image : images)
                chemin += octetsDuNom(QDir::toNativeSeparators(image)) + '\n';
            return fwrite(chemin.constData(), 1, size_t(chemin.size()), stdout) == size_t(chemin.size()) ? 0
                                                                                                         : 1;
        }
        dire(stderr, QString::fromUtf8(rienAFaire));
        return 1;
    case LigneDeCommande::Action::AuDemarrage:
        return reglerAuDemarrage(ligne.valeur == "oui");
    case LigneDeCommande::Action::Demarrer:
        break;
    }
    // And a bus Qt can talk to.
    sonderBusSession();
    ArretSurSignal::preparer();

    GardeAffichage affichage;
    QApplication application(argc, argv);
    affichage.fin();
    if (ligne.aConfirmer && lireLigneDeCommande(QCoreApplication::arguments(), true).action != ligne.action) {
        ouvrirConsole();
        return afficherUsage(true);
    }
    const ArretSurSignal arret;
    // Only "Quitter" ends the program: closing a dialog while nothing else is visible must not.
    application.setQuitOnLastWindowClosed(false);
    QGuiApplication::setDesktopFileName(QStringLiteral("papirol2"));

    QTranslator traducteur;
    if (!traducteur.load(QStringLiteral("qt_fr"), QStringLiteral(":/")))
        qCWarning(lcDemarrage) << "Qt's French catalogue could not be loaded";
    QCoreApplication::installTranslator(&traducteur);

    // One running copy per settings file, the lock named after the ini's absolute path.
    const QString chemin = cheminVerrou(cheminReglages());
    QLockFile verrou(chemin);
    verrou.setStaleLockTime(0);
    if (chemin.isEmpty()) {
        qCWarning(lcDemarrage)
            << "no private folder for the lock; starting without checking for another copy";
    } else if (!verrou.tryLock(0)) {
        qCInfo(lcDemarrage) << "already running on this settings file; leaving it alone";
        return 0;
    }

    bool relancer = false;
    int code;
    {
        // Before the icon: it looks at the bus as Qt is about to.
        const BasculePlateau bascule;
        // Listening once the lock is ours, taking commands once there is a menu to take them.
        Canal canal(cheminCanal(cheminReglages()));
        Papirol2 papirol2;
        canal.executer = [&papirol2](const QString &mot) {
            return papirol2.on_commande(mot);
        };
        QObject::connect(&bascule, &BasculePlateau::hoteChange, &papirol2, [&papirol2, &relancer] {
            // Qt 6.8 looks again for each new icon (seen on 6.8.2); 6.4 kept its first answer.
            if (QLibraryInfo::version() >= QVersionNumber(6, 8)) {
                papirol2.recreerIcone();
                return prevoirAvisSansPlateau(&papirol2);
            }
            qCInfo(lcDemarrage) << "this Qt keeps the tray it chose first; restarting";
            relancer = true;
            QCoreApplication::quit();
        });
        prevoirAvisSansPlateau(&papirol2);
        code = application.exec();
    }
    // The desktop's last job draws with Qt: it ends, or is let go, while Qt is still whole.
    installerBureau(nullptr);
    if (!relancer) {
        if (Ouvrier::travailEnCours()) {
            // Stuck on a dead share, most likely: tearing Qt down under it would crash the exit. Everything
            // worth keeping is written by now.
            qCInfo(lcDemarrage) << "a job is still running; leaving without tearing Qt down";
            verrou.unlock();
            maisonTemporaire.reset();
            std::fflush(nullptr);
            std::_Exit(code);
        }
        return code;
    }
    // Everything torn down as on "Quitter", the lock left for the new copy to take.
    verrou.unlock();
    return relancerProgramme(arguments.data());
}
