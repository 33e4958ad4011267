#include "couleursway.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

QByteArray lireCouleurSway(const QByteArray &reponse)
{
    static const QRegularExpression couleurValide(QStringLiteral("^#[0-9A-Fa-f]{6}([0-9A-Fa-f]{2})?$"));
    QString texte = QJsonDocument::fromJson(reponse).object().value(QLatin1String("config")).toString();
    texte.replace(QLatin1String("\\\n"), QLatin1String(" "));
    QHash<QString, QString> variables;
    // The words of the blocks the line is in: "output * {" then "bg … " is "output * bg …".
    QList<QStringList> blocs;
    QString couleur;
    for (const QString &ligne : texte.split(QLatin1Char('\n'))) {
        // sway's word rules but for single quotes and backslashes: a picture's path quoted so, with spaces,
        // costs its line's colour (black instead).
        QStringList m = QProcess::splitCommand(ligne);
        if (m.isEmpty() || m.first().startsWith(QLatin1Char('#')))
            continue;
        if (m == QStringList {QStringLiteral("}")}) {
            if (!blocs.isEmpty())
                blocs.removeLast();
            continue;
        }
        if (m.last() == QLatin1String("{")) {
            m.removeLast();
            blocs << m;
            continue;
        }
        for (auto b = blocs.crbegin(); b != blocs.crend(); ++b)
            m = *b + m;
        if (m.size() >= 3 && m.at(0) == QLatin1String("set") && m.at(1).startsWith(QLatin1Char('$'))) {
            variables.insert(m.at(1), m.mid(2).join(QLatin1Char(' ')));
            continue;
        }
        if (m.size() < 5 || m.at(0) != QLatin1String("output")
            || (m.at(2) != QLatin1String("bg") && m.at(2) != QLatin1String("background")))
            continue;
        // "bg COLOUR solid_color", or "bg FILE MODE [FALLBACK]".
        QString c = m.at(4) == QLatin1String("solid_color") ? m.at(3) : m.value(5);
        c = variables.value(c, c);
        if (couleurValide.match(c).hasMatch())
            couleur = c;
    }
    return couleur.isEmpty() ? QByteArrayLiteral("#000000") : couleur.toLatin1();
}
