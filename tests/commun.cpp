#include "commun.h"
#include "settings/configuration.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QProcess>
#include <QTest>

#include <memory>

DossierDeTravail::DossierDeTravail()
    : precedent(QDir::currentPath())
{
    QDir::setCurrent(dossier.path());
}

DossierDeTravail::~DossierDeTravail()
{
    QDir::setCurrent(precedent);
}

QString DossierDeTravail::chemin(const QString &nom) const
{
    return nom.isEmpty() ? dossier.path() : dossier.filePath(nom);
}

bool DossierDeTravail::ecrireIni(const QByteArray &texte) const
{
    QFile f(ini());
    if (!f.open(QIODevice::WriteOnly) || f.write(texte) != texte.size())
        return false;
    f.close();
    ouvrirConfiguration();
    return true;
}

QByteArray DossierDeTravail::contenuIni() const
{
    QFile f(ini());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QImage imageQuadrants(int largeur, int hauteur)
{
    QImage image(largeur, hauteur, QImage::Format_RGB32);
    QPainter p(&image);
    const int mx = largeur / 2, my = hauteur / 2;
    p.fillRect(0, 0, mx, my, Qt::red);
    p.fillRect(mx, 0, largeur - mx, my, Qt::green);
    p.fillRect(0, my, mx, hauteur - my, Qt::blue);
    p.fillRect(mx, my, largeur - mx, hauteur - my, Qt::yellow);
    return image;
}

QImage imageUnie(QColor couleur, QSize taille)
{
    QImage image(taille, QImage::Format_RGB32);
    image.fill(couleur);
    return image;
}

bool ecrireImage(const QString &chemin, const QImage &image, const char *format)
{
    return image.save(chemin, format, 95);
}

bool creerImage(const QString &chemin)
{
    QDir().mkpath(QFileInfo(chemin).path());
    return imageQuadrants(4, 4).save(chemin, "PNG");
}

QString dossierImages()
{
    static QTemporaryDir dossier;
    return dossier.path() + QLatin1Char('/');
}

bool procheDe(QColor a, QColor b, int tolerance)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance
        && qAbs(a.blue() - b.blue()) <= tolerance;
}

BureauEnregistreur *installerEnregistreur()
{
    auto bureau = std::make_unique<BureauEnregistreur>();
    BureauEnregistreur *enregistreur = bureau.get();
    installerBureau(std::move(bureau));
    return enregistreur;
}

QString sortieDe(const QString &programme, const QStringList &arguments)
{
    QProcess p;
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(programme, arguments);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    // Never null, even when it printed nothing.
    return QStringLiteral("") + QString::fromUtf8(p.readAllStandardOutput());
}

bool enfantReussit(const QProcessEnvironment &env)
{
    QProcess enfant;
    enfant.setProcessEnvironment(env);
    enfant.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--enfant")});
    return enfant.waitForFinished(60000) && enfant.exitStatus() == QProcess::NormalExit
        && enfant.exitCode() == 0;
}

bool xrandr(const QStringList &arguments)
{
    return !sortieDe(QStringLiteral("xrandr"), arguments).isNull();
}

QStringList moniteur(int rang, QRect r)
{
    return {QStringLiteral("--setmonitor"), QStringLiteral("m%1").arg(rang),
            QStringLiteral("%1/%2x%3/%4+%5+%6")
                .arg(r.width())
                .arg(r.width() / 4)
                .arg(r.height())
                .arg(r.height() / 4)
                .arg(r.x())
                .arg(r.y()),
            rang == 0 ? QStringLiteral("screen") : QStringLiteral("none")};
}

bool reglerEcrans(const QList<QRect> &ecrans)
{
    for (int i = 3; i >= 0; --i)
        xrandr({QStringLiteral("--delmonitor"), QStringLiteral("m%1").arg(i)});
    for (int i = 0; i < ecrans.size(); ++i)
        if (!xrandr(moniteur(i, ecrans.at(i))))
            return false;
    return true;
}

PartageLent::PartageLent()
{
    QDir().mkpath(source());
    QDir().mkpath(montage());
    changerDelai(0);
}

PartageLent::~PartageLent()
{
    if (fuse.state() == QProcess::NotRunning)
        return;
    fuse.terminate();
    if (!fuse.waitForFinished(5000))
        couper();
}

void PartageLent::couper()
{
    fuse.kill();
    fuse.waitForFinished(5000);
    QProcess::execute(QStringLiteral("fusermount"), {QStringLiteral("-uz"), montage()});
}

bool PartageLent::monter(QString *raison)
{
    if (!QFile::exists(QStringLiteral("/dev/fuse"))) {
        *raison = QStringLiteral("no /dev/fuse");
        return false;
    }
    fuse.setProcessChannelMode(QProcess::MergedChannels);
    fuse.start(QDir::cleanPath(QStringLiteral(PAPIROL2_DONNEES "/../partagelent.py")),
               {source(), montage(), dossier.filePath(QStringLiteral("delai"))});
    const auto monte = [this] {
        QFile table(QStringLiteral("/proc/self/mounts"));
        return table.open(QIODevice::ReadOnly)
            && table.readAll().contains(' ' + QFile::encodeName(montage()) + ' ');
    };
    if (QTest::qWaitFor([&] { return monte() || fuse.state() == QProcess::NotRunning; }, 15000) && monte())
        return true;
    fuse.kill();
    fuse.waitForFinished(5000);
    *raison
        = QStringLiteral("the FUSE mirror did not mount (needs python3-fusepy, libfuse2, fuse and root): ")
        + QString::fromUtf8(fuse.readAll()).trimmed();
    return false;
}

void PartageLent::changerDelai(double secondes, double ouverture)
{
    QFile f(dossier.filePath(QStringLiteral("delai")));
    if (f.open(QIODevice::WriteOnly))
        f.write(QByteArray::number(secondes) + ' ' + QByteArray::number(ouverture));
}

bool montrerSur(Bureau &bureau, const QString &chemin, int delaiMs)
{
    std::optional<Bureau::Resultat> resultat;
    const QMetaObject::Connection c
        = QObject::connect(&bureau, &Bureau::imageTraitee, [&](const QString &image, Bureau::Resultat r) {
              if (image == chemin)
                  resultat = r;
          });
    bureau.montrer(chemin);
    bureau.attendre(delaiMs);
    for (const QDeadlineTimer fin(delaiMs); !resultat && !fin.hasExpired();)
        QTest::qWait(10);
    QObject::disconnect(c);
    return resultat == Bureau::Resultat::Montree;
}

void disposerSur(Bureau &bureau, int position, int delaiMs)
{
    if (const std::optional<Disposition> d = dispositionDeNumero(position))
        bureau.enregistrerDisposition(*d);
    bureau.attendre(delaiMs);
}

int positionSur(Bureau &bureau)
{
    const std::optional<Disposition> d = bureau.lireDisposition();
    return d ? numeroDe(*d) : 0;
}
