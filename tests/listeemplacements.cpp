#include "locations/listeemplacements.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

class TestListeEmplacements : public QObject
{
    Q_OBJECT

private slots:
    void ajouterRefuseSeulementLaPaireExacte_data()
    {
        QTest::addColumn<QString>("chemin");
        QTest::addColumn<QString>("filtre");
        QTest::addColumn<int>("lignes");
        QTest::newRow("même paire") << "D:/Images" << QStringLiteral("*.jpg") << 1;
        QTest::newRow("autre filtre") << "D:/Images" << QStringLiteral("*.png") << 2;
        QTest::newRow("casse du chemin") << "D:/images" << QStringLiteral("*.jpg") << 2;
        QTest::newRow("barre finale") << "D:/Images/" << QStringLiteral("*.jpg") << 2;
    }
    void ajouterRefuseSeulementLaPaireExacte()
    {
        QFETCH(QString, chemin);
        QFETCH(QString, filtre);
        QFETCH(int, lignes);
        ListeEmplacements modele;
        QAbstractItemModelTester testeur(&modele, QAbstractItemModelTester::FailureReportingMode::QtTest);
        modele.ajouterEmplacement(QStringLiteral("D:/Images"), QStringLiteral("*.jpg"));
        modele.ajouterEmplacement(chemin, filtre);
        QCOMPARE(modele.rowCount(), lignes);
        QCOMPARE(modele.rowCount(modele.index(0, 0)), 0);
        QCOMPARE(modele.estSelectionne(lignes - 1), false);
        QCOMPARE(modele.data(modele.index(lignes - 1, 0)).toString(), filtre);
        QCOMPARE(modele.data(modele.index(lignes - 1, 1)).toString(), chemin);
    }

    // A row out of the list changes nothing; removing one moves the next ones up, selection included.
    void supprimer()
    {
        ListeEmplacements modele;
        QAbstractItemModelTester testeur(&modele, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (const char *d : {"/a", "/b", "/c"})
            modele.ajouterEmplacement(QString::fromLatin1(d), QStringLiteral("*.jpg"));
        QSignalSpy suppressions(&modele, &QAbstractItemModel::rowsAboutToBeRemoved);
        for (int ligne : {-1, 3, 1000000}) {
            modele.supprimerEmplacement(ligne);
            modele.setSelectionne(ligne, true);
            QVERIFY(!modele.data(modele.index(ligne, 0)).isValid());
        }
        QCOMPARE(suppressions.count(), 0);
        QVERIFY(!modele.estSelectionne(0) && !modele.estSelectionne(1) && !modele.estSelectionne(2));
        modele.setSelectionne(2, true);
        modele.supprimerEmplacement(1);
        QCOMPARE(modele.rowCount(), 2);
        QCOMPARE(modele.cheminEmplacement(1), QStringLiteral("/c"));
        QVERIFY(!modele.estSelectionne(0) && modele.estSelectionne(1));
        modele.supprimerEmplacement(1);
        modele.supprimerEmplacement(0);
        QCOMPARE(modele.rowCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestListeEmplacements)
#include "listeemplacements.moc"
