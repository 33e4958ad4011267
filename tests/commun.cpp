#include "commun.h"
#include "settings/configuration.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QProcess>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

bool montrerSur(Bureau &bureau, const QString &chemin, int delaiMs)
{
    std::optional<Bureau::Resultat> resultat;
    const QMetaObject::Connection c
        = QObject::connect(&bureau, &Bureau::imageTraitee, [&](const QString &image, Bureau::Resultat r) {
              if (QFileInfo(image).absoluteFilePath() == QFileInfo(chemin).absoluteFilePath())
                  resultat = r;
          });
    bureau.montrer(chemin);
    for (const QDeadlineTimer fin(delaiMs); delaiMs != 0 && !resultat && !fin.hasExpired();)
        QTest::qWait(10);
    QObject::disconnect(c);
    return resultat == Bureau::Resultat::Montree;
}

void disposerSur(Bureau &bureau, int position)
{
    if (const std::optional<Disposition> d = dispositionDeNumero(position))
        bureau.enregistrerDisposition(*d);
}

int positionSur(Bureau &bureau)
{
    const std::optional<Disposition> d = bureau.lireDisposition();
    return d ? numeroDe(*d) : 0;
}

BureauEnregistreur *installerEnregistreur()
{
    auto bureau = std::make_unique<BureauEnregistreur>();
    BureauEnregistreur *enregistreur = bureau.get();
    installerBureau(std::move(bureau));
    return enregistreur;
}

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
    const bool ecrit = f.open(QIODevice::WriteOnly) && f.write(texte) == texte.size() && f.flush();
    f.close();
    ouvrirConfiguration();
    return ecrit;
}

QByteArray DossierDeTravail::contenuIni() const
{
    QFile f(ini());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QImage imageCellules(QSize taille)
{
    QImage image(taille, QImage::Format_RGB32);
    QPainter peintre(&image);
    const int w = taille.width(), h = taille.height();
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
            peintre.fillRect(
                QRect(QPoint(w * i / 4, h * j / 4), QPoint(w * (i + 1) / 4 - 1, h * (j + 1) / 4 - 1)),
                QColor::fromHsv((j * 4 + i) * 22, 255, (i + j) % 2 ? 150 : 255));
    return image;
}

QImage imageUnie(QColor couleur, QSize taille)
{
    QImage image(taille, QImage::Format_RGB32);
    image.fill(couleur);
    return image;
}

QString ecrireImage(const QString &nom, const QImage &image)
{
    const QString chemin = dossierImages() + nom;
    QDir().mkpath(QFileInfo(chemin).path());
    return image.save(chemin, nullptr, 95) ? chemin : QString();
}

bool creerImage(const QString &chemin)
{
    return QDir().mkpath(QFileInfo(chemin).path()) && imageCellules({4, 4}).save(chemin, "PNG");
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

namespace {
/** Where the picture's pixel (0,0) lands, and its scale, on a screen. */
struct Placement
{
    double ex = 1, ey = 1, ox = 0, oy = 0;
    bool tuile = false;
};

class Juge
{
public:
    Juge(const QImage &capture, const QImage &image, const QList<QRect> &ignores)
        : capture(capture.convertToFormat(QImage::Format_RGB32))
        , image(image.convertToFormat(QImage::Format_RGB32))
        , ignores(ignores)
    {
        for (int y = 0; y < image.height() && palette.size() <= 16; ++y)
            for (int x = 0; x < image.width(); ++x)
                palette.insert(this->image.pixel(x, y) & 0xffffff);
        // With many colours, "none of the picture's colours" says nothing about the background.
        if (palette.size() > 16)
            palette.clear();
    }

    // The layout as a user expects it on a screen of that size; the screen does not say where tiling starts:
    // at a corner, the centre, or anywhere for a small picture.
    bool montre(int position, QString *detail) const
    {
        const QSizeF i = image.size(), e = capture.size();
        const double rx = e.width() / i.width(), ry = e.height() / i.height();
        Placement p;
        if (position == 3)
            p = {rx, ry};
        else if (position >= 4)
            p.ex = p.ey = position == 4 ? std::min(rx, ry) : std::max(rx, ry);
        p.ox = (e.width() - i.width() * p.ex) / 2;
        p.oy = (e.height() - i.height() * p.ey) / 2;
        p.tuile = position == 2;
        QPair<int, int> r = ecarts(p);
        const int w = image.width(), h = image.height(), tout = w * h <= 40000 ? w * h : 0;
        for (int k = -2; p.tuile && r.first > 0 && k < tout; ++k) {
            p.ox = k == -2 ? 0 : k == -1 ? std::fmod(p.ox + w, w) : k % w;
            p.oy = k == -2 ? 0 : k == -1 ? std::fmod(p.oy + h, h) : k / w;
            if (ecarts(p, 0).first == 0)
                r = ecarts(p);
        }
        *detail += QStringLiteral(" %1:%2/%3").arg(position).arg(r.first).arg(r.second);
        return r.first == 0 && r.second >= 50;
    }

private:
    /** Mismatches, up to plafond, and samples of the capture against the picture placed so. */
    QPair<int, int> ecarts(const Placement &p, int plafond = 1 << 30) const
    {
        int ecarts = 0, echantillons = 0;
        // Smooth scaling blends colours over one source pixel across an edge: half of it on each side.
        const double marge = std::max({3.0, p.ex / 2, p.ey / 2});
        for (int y = 2; y < capture.height() && ecarts <= plafond; y += 4) {
            for (int x = 2; x < capture.width() && ecarts <= plafond; x += 4) {
                if (std::any_of(ignores.cbegin(), ignores.cend(),
                                [&](const QRect &r) { return r.contains(x, y); }))
                    continue;
                // Rounding or smoothing may go either way near an edge of a colour: such samples are skipped.
                const std::optional<QRgb> attendu = source(p, x + 0.5, y + 0.5);
                bool net = attendu || !palette.isEmpty();
                for (int d = 0; d < 9 && net; ++d)
                    net = source(p, x + 0.5 + marge * (d % 3 - 1), y + 0.5 + marge * (d / 3 - 1)) == attendu;
                const QColor vu = capture.pixelColor(x, y);
                if (!net)
                    continue;
                ++echantillons;
                if (attendu ? !procheDe(vu, QColor(*attendu))
                            : std::any_of(palette.cbegin(), palette.cend(),
                                          [&](QRgb c) { return procheDe(vu, c); }))
                    ++ecarts;
            }
        }
        return {ecarts, echantillons};
    }

    std::optional<QRgb> source(const Placement &p, double x, double y) const
    {
        double u = (x - p.ox) / p.ex, v = (y - p.oy) / p.ey;
        if (p.tuile) {
            u -= std::floor(u / image.width()) * image.width();
            v -= std::floor(v / image.height()) * image.height();
        }
        if (u < 0 || v < 0 || u >= image.width() || v >= image.height())
            return std::nullopt;
        return image.pixel(int(u), int(v)) & 0xffffff;
    }

    QImage capture, image;
    QList<QRect> ignores;
    QSet<QRgb> palette;
};
} // namespace

bool montre(const QImage &capture, const QImage &image, int position, QString *pourquoi,
            const QList<QRect> &ignores)
{
    QStringList vues;
    QString detail = QStringLiteral(" no capture or no picture");
    if (!capture.isNull() && !image.isNull()) {
        const Juge juge(capture, image, ignores);
        detail.clear();
        for (int n = 1; n <= 5; ++n)
            if ((pourquoi || !position || n == position) && juge.montre(n, &detail))
                vues << QString::number(n);
    }
    if (pourquoi)
        *pourquoi = QStringLiteral("shown in: %1 (mismatches/samples%2)")
                        .arg(vues.isEmpty() ? QStringLiteral("none") : vues.join(QLatin1Char(' ')), detail);
    return position ? vues.contains(QString::number(position)) : !vues.isEmpty();
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

QByteArray premiereLigne(QProcess &pair, const QString &programme, const QStringList &arguments)
{
    pair.start(programme, arguments);
    QByteArray lu;
    while (!lu.contains('\n') && pair.waitForReadyRead(15000))
        lu += pair.readAllStandardOutput();
    return lu.contains('\n') ? lu.left(lu.indexOf('\n')).trimmed() : QByteArray();
}

QStringList moniteur(int rang, QRect r)
{
    const QString zone = QString::asprintf("%d/%dx%d/%d+%d+%d", r.width(), r.width() / 4, r.height(),
                                           r.height() / 4, r.x(), r.y());
    return {QStringLiteral("--setmonitor"), QStringLiteral("m%1").arg(rang), zone,
            QLatin1String(rang ? "none" : "screen")};
}

bool xrandr(const QStringList &arguments)
{
    return !sortieDe(QStringLiteral("xrandr"), arguments).isNull();
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
