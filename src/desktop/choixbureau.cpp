#include "bureau.h"
#include "bureaunul.h"

/** The backend this platform's session asks for (its folder defines it), null when none fits; raison says
 * why, voulu whether the user asked for none. */
std::unique_ptr<Bureau> bureauDeSession(QString &raison, bool &voulu);

std::unique_ptr<Bureau> creerBureau()
{
    QString raison;
    bool voulu = false;
    std::unique_ptr<Bureau> choisi = bureauDeSession(raison, voulu);
    if (!choisi) {
        if (!voulu)
            qCWarning(lcBureau) << raison;
        choisi = std::make_unique<BureauNul>(raison);
    } else {
        qCInfo(lcBureau) << "chosen because" << raison;
    }
    qCInfo(lcBureau) << "desktop backend:" << choisi->nom();
    return choisi;
}
