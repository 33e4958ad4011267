// What the rotation keeps across runs, read back by a new process's worth of objects: the history's order,
// its bound, and names no text can hold, through a rotation.ini written by us or by anything else.
#include "rotation/historique.h"
#include "commun/chemins.h"
#include "commun/nomsfichiers.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

class TestHistorique : public QObject
{
    Q_OBJECT
    const QString m1 = QStringLiteral("\\\\.\\DISPLAY2/m1");

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(QDir().mkpath(QFileInfo(cheminRotation()).path()));
    }
    void init() { QFile::remove(cheminRotation()); }

    // Steps, split on "|", each a file name's bytes after its sign: "+" a picture drawn, "<" one gone back
    // to, "-" set aside, "=" taken back (alone: all of them); "m1:" before the sign, on the track of a
    // monitor named with QSettings' separators. Read back after a restart: the pictures before the current
    // one (of the track named the same way), and those set aside.
    void apresRedemarrage_data()
    {
        QTest::addColumn<QByteArray>("etapes");
        QTest::addColumn<QByteArray>("precedentes");
        QTest::addColumn<QByteArray>("ecartees");
        QTest::newRow("newest first; drawn after going back, what was gone past gives way")
            << QByteArray("+a|+b|+c|+d|<c|<b|+e") << QByteArray("b|a") << QByteArray();
        QTest::newRow("set aside: left out of the way back")
            << QByteArray("+a|+b|+c|-b") << QByteArray("a") << QByteArray("b");
        QTest::newRow("all taken back") << QByteArray("-a|-b|=") << QByteArray() << QByteArray();
        QTest::newRow("not UTF-8, a comma, quotes, a newline")
            << QByteArray("+/\xc3\xa9|+/\x81|+/\"a\", b\n|-/\x81|-/\"a\", b\n") << QByteArray("/\xc3\xa9")
            << QByteArray("/\x81|/\"a\", b\n");
        QTest::newRow("another monitor's track apart")
            << QByteArray("+a|m1:+x|+b|m1:+y") << QByteArray("a") << QByteArray();
        QTest::newRow("its own, gone back on")
            << QByteArray("+a|m1:+x|+b|m1:+y|m1:+z|m1:<y") << QByteArray("m1:x") << QByteArray();
    }
    void apresRedemarrage()
    {
        QFETCH(QByteArray, etapes);
        QFETCH(QByteArray, precedentes);
        QFETCH(QByteArray, ecartees);
        {
            Historique h;
            for (QByteArray e : etapes.split('|')) {
                const QString piste = e.startsWith("m1:") ? m1 : QString();
                e.remove(0, piste.isEmpty() ? 0 : 3);
                const QString nom = nomDepuisOctets(e.mid(1));
                if (e.at(0) == '+' || e.at(0) == '<')
                    h.noter({{piste, nom}}, e.at(0) == '<');
                else if (e.at(0) == '-')
                    h.ecarter(nom);
                else
                    h.reprendre(nom);
            }
        }
        const auto noms = [](const QByteArray &liste) {
            QStringList n;
            for (const QByteArray &o : liste.split('|'))
                n << nomDepuisOctets(o);
            return liste.isEmpty() ? QStringList() : n;
        };
        const Historique relu;
        const bool surM1 = precedentes.startsWith("m1:");
        QCOMPARE(relu.precedentes(surM1 ? m1 : QString()), noms(precedentes.mid(surM1 ? 3 : 0)));
        QCOMPARE(relu.ecartees(), noms(ecartees));
    }

    // A file spoilt by hand, or kept by a copy with a longer history, reads as what can be made of it: how
    // many pictures lie before the current one.
    void unFichierAbime()
    {
        QByteArray long_ = "[General]\nhistorique=";
        for (int i = 0; i < 80; ++i)
            long_ += "/p/" + QByteArray::number(i) + ".jpg, ";
        for (const auto &[fichier, avant] :
             QList<std::pair<QByteArray, int>> {{long_ + "/p/80.jpg\nplace=80\n", 49},
                                                {"[General]\nhistorique=a, b, c\nplace=-7\n", 2},
                                                {"[General]\nhistorique=@Variant(\\0\\0\nplace=3\n", 0},
                                                {QByteArray("\x89PNG\r\n\x1a\n\0\0\xff", 11), 0}}) {
            QFile f(cheminRotation());
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(fichier) == fichier.size());
            f.close();
            QCOMPARE(Historique().precedentes().size(), avant);
        }
    }
};

QTEST_GUILESS_MAIN(TestHistorique)
#include "historique.moc"
