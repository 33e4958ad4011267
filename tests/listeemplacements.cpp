#include "locations/listeemplacements.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

class TestListeEmplacements : public QObject
{
    Q_OBJECT

private slots:
    void enTetesEtRoles_data()
    {
        QTest::addColumn<int>("section");
        QTest::addColumn<int>("role");
        QTest::addColumn<QVariant>("attendu");
        QTest::newRow("Filtre") << 0 << int(Qt::DisplayRole) << QVariant(QStringLiteral("Filtre"));
        QTest::newRow("Chemin") << 1 << int(Qt::DisplayRole) << QVariant(QStringLiteral("Chemin"));
        QTest::newRow("section 2") << 2 << int(Qt::DisplayRole) << QVariant();
        QTest::newRow("édition") << 0 << int(Qt::EditRole) << QVariant();
        QTest::newRow("bulle") << 1 << int(Qt::ToolTipRole) << QVariant();
    }
    void enTetesEtRoles()
    {
        QFETCH(int, section);
        QFETCH(int, role);
        QFETCH(QVariant, attendu);
        ListeEmplacements modele;
        QCOMPARE(modele.headerData(section, Qt::Horizontal, role), attendu);
        QCOMPARE(modele.headerData(section, Qt::Vertical, role), attendu);
    }

    void ajouterRefuseSeulementLaPaireExacte_data()
    {
        QTest::addColumn<QString>("chemin");
        QTest::addColumn<QString>("filtre");
        QTest::addColumn<int>("lignes");
        QTest::newRow("même paire") << QStringLiteral("D:/Images") << QStringLiteral("*.jpg") << 1;
        QTest::newRow("autre filtre") << QStringLiteral("D:/Images") << QStringLiteral("*.png") << 2;
        QTest::newRow("casse du chemin") << QStringLiteral("D:/images") << QStringLiteral("*.jpg") << 2;
        QTest::newRow("barre finale") << QStringLiteral("D:/Images/") << QStringLiteral("*.jpg") << 2;
        QTest::newRow("filtre vide") << QStringLiteral("D:/Images") << QString() << 2;
    }
    void ajouterRefuseSeulementLaPaireExacte()
    {
        QFETCH(QString, chemin);
        QFETCH(QString, filtre);
        QFETCH(int, lignes);
        ListeEmplacements modele;
        QAbstractItemModelTester testeur(&modele, QAbstractItemModelTester::FailureReportingMode::QtTest);
        modele.ajouterEmplacement(QStringLiteral("D:/Images"), QStringLiteral("*.jpg"));
        QSignalSpy insertions(&modele, &QAbstractItemModel::rowsInserted);
        modele.ajouterEmplacement(chemin, filtre);
        QCOMPARE(modele.rowCount(), lignes);
        QCOMPARE(insertions.count(), lignes - 1);
        QCOMPARE(modele.estSelectionne(lignes - 1), false);
        QCOMPARE(modele.data(modele.index(lignes - 1, 0)).toString(), filtre);
        QCOMPARE(modele.data(modele.index(lignes - 1, 1)).toString(), chemin);
    }

    void lesCellulesNeSontNiEditablesNiCochables()
    {
        ListeEmplacements modele;
        modele.ajouterEmplacement(QStringLiteral("/a"), QStringLiteral("*.jpg"));
        for (int colonne = 0; colonne < 2; ++colonne) {
            const QModelIndex i = modele.index(0, colonne);
            QVERIFY(i.isValid());
            QCOMPARE(modele.flags(i), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            QVERIFY(!modele.setData(i, QStringLiteral("x")));
            QVERIFY(!modele.data(i, Qt::CheckStateRole).isValid());
            QVERIFY(!modele.data(i, Qt::EditRole).isValid());
        }
        QCOMPARE(modele.data(modele.index(0, 0)).toString(), QStringLiteral("*.jpg"));
    }

    void supprimerDecaleLesLignesSuivantes()
    {
        ListeEmplacements modele;
        QAbstractItemModelTester testeur(&modele, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (const char *d : {"/a", "/b", "/c"})
            modele.ajouterEmplacement(QString::fromLatin1(d), QStringLiteral("*.jpg"));
        modele.setSelectionne(0, true);
        modele.setSelectionne(2, true);
        modele.supprimerEmplacement(1);
        QCOMPARE(modele.rowCount(), 2);
        QCOMPARE(modele.cheminEmplacement(1), QStringLiteral("/c"));
        QCOMPARE(modele.estSelectionne(0), true);
        QCOMPARE(modele.estSelectionne(1), true);
        modele.supprimerEmplacement(1);
        modele.supprimerEmplacement(0);
        QCOMPARE(modele.rowCount(), 0);
    }

    void uneLigneHorsDeLaListeNeChangeRien_data()
    {
        QTest::addColumn<int>("ligne");
        QTest::newRow("-1") << -1;
        QTest::newRow("2") << 2;
        QTest::newRow("grand") << 1000000;
    }
    void uneLigneHorsDeLaListeNeChangeRien()
    {
        QFETCH(int, ligne);
        ListeEmplacements modele;
        QAbstractItemModelTester testeur(&modele, QAbstractItemModelTester::FailureReportingMode::QtTest);
        modele.ajouterEmplacement(QStringLiteral("/a"), QStringLiteral("*.jpg"));
        modele.ajouterEmplacement(QStringLiteral("/b"), QStringLiteral("*.jpg"));
        QSignalSpy changements(&modele, &QAbstractItemModel::rowsAboutToBeRemoved);
        modele.supprimerEmplacement(ligne);
        modele.setSelectionne(ligne, true);
        QCOMPARE(modele.rowCount(), 2);
        QCOMPARE(changements.count(), 0);
        QVERIFY(!modele.estSelectionne(0) && !modele.estSelectionne(1));
        QVERIFY(!modele.data(modele.index(ligne, 0)).isValid());
    }
};

QTEST_GUILESS_MAIN(TestListeEmplacements)
#include "listeemplacements.moc"
