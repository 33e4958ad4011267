#include "commun.h"
#include "settings/configuration.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
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

bool montre(const QImage &captureBrute, const QImage &imageBrute, int position, QString *pourquoi,
            const QList<QRect> &ignores)
{
    const QImage capture = captureBrute.convertToFormat(QImage::Format_RGB32),
                 image = imageBrute.convertToFormat(QImage::Format_RGB32);
    const int w = image.width(), h = image.height();
    QSet<QRgb> palette;
    for (int y = 0; y < h && palette.size() <= 16; ++y)
        for (int x = 0; x < w; ++x)
            palette.insert(image.pixel(x, y) & 0xffffff);
    // With many colours, "none of the picture's colours" says nothing about the background.
    if (palette.size() > 16)
        palette.clear();
    // The picture's pixel (0,0) lands at (ox, oy), scaled by (ex, ey).
    double ex = 1, ey = 1, ox = 0, oy = 0;
    bool tuile = false;
    const auto source = [&](double x, double y) -> std::optional<QRgb> {
        double u = (x - ox) / ex, v = (y - oy) / ey;
        if (tuile) {
            u -= std::floor(u / w) * w;
            v -= std::floor(v / h) * h;
        }
        if (u < 0 || v < 0 || u >= w || v >= h)
            return std::nullopt;
        return image.pixel(int(u), int(v)) & 0xffffff;
    };
    // Mismatches, up to plafond, and samples of the capture against the picture placed so.
    const auto ecarts = [&](int plafond) {
        int ecarts = 0, echantillons = 0;
        // Smooth scaling blends colours over one source pixel across an edge: half of it on each side.
        const double marge = std::max({3.0, ex / 2, ey / 2});
        for (int y = 2; y < capture.height() && ecarts <= plafond; y += 4) {
            for (int x = 2; x < capture.width() && ecarts <= plafond; x += 4) {
                if (std::any_of(ignores.cbegin(), ignores.cend(),
                                [&](const QRect &r) { return r.contains(x, y); }))
                    continue;
                // Rounding or smoothing may go either way near an edge of a colour: such samples are skipped.
                const std::optional<QRgb> attendu = source(x + 0.5, y + 0.5);
                bool net = attendu || !palette.isEmpty();
                for (int d = 0; d < 9 && net; ++d)
                    net = source(x + 0.5 + marge * (d % 3 - 1), y + 0.5 + marge * (d / 3 - 1)) == attendu;
                const QColor vu = capture.pixelColor(x, y);
                echantillons += net;
                if (net
                    && (attendu ? !procheDe(vu, QColor(*attendu))
                                : std::any_of(palette.cbegin(), palette.cend(),
                                              [&](QRgb c) { return procheDe(vu, c); })))
                    ++ecarts;
            }
        }
        return QPair<int, int>(ecarts, echantillons);
    };
    QStringList vues;
    const bool vide = capture.isNull() || image.isNull();
    QString detail = vide ? QStringLiteral(" no capture or no picture") : QString();
    // Each layout as a user expects it on a screen of that size; the screen does not say where tiling
    // starts: at a corner, the centre, or anywhere for a small picture.
    for (int n = 1; n <= 5 && !vide; ++n) {
        if (!pourquoi && position && n != position)
            continue;
        const double rx = double(capture.width()) / w, ry = double(capture.height()) / h;
        ex = n == 3 ? rx : n == 4 ? std::min(rx, ry) : n == 5 ? std::max(rx, ry) : 1;
        ey = n == 3 ? ry : ex;
        ox = (capture.width() - w * ex) / 2;
        oy = (capture.height() - h * ey) / 2;
        tuile = n == 2;
        QPair<int, int> r = ecarts(1 << 30);
        // The centre was tried; then the corner, then, for a small picture, every start.
        for (int k = 0; tuile && r.first > 0 && k < (w * h <= 40000 ? w * h : 1); ++k) {
            ox = k % w;
            oy = k / w;
            if (ecarts(0).first == 0)
                r = ecarts(1 << 30);
        }
        detail += QStringLiteral(" %1:%2/%3").arg(n).arg(r.first).arg(r.second);
        if (r.first == 0 && r.second >= 50)
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
