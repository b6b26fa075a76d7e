#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

// Widget tests run inside one QApplication, on whichever platform the test
// launcher chose (offscreen, or an Xvfb server the test starts itself). A
// test built with SCREENS ("WxH+X+Y,...") gets those offscreen screens, the
// first one primary, instead of the platform's single default screen.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QTemporaryDir configDirectory;
#ifdef VELOTAP_TEST_SCREENS
    QJsonArray screens;
    static const QRegularExpression geometry(QStringLiteral("^(\\d+)x(\\d+)\\+(-?\\d+)\\+(-?\\d+)$"));
    for (const QString& screen : QStringLiteral(VELOTAP_TEST_SCREENS).split(QLatin1Char(','))) {
        const QRegularExpressionMatch m = geometry.match(screen.trimmed());
        if (!m.hasMatch()) {
            std::fprintf(stderr, "bad test screen %s\n", qPrintable(screen));
            return 2;
        }
        screens.append(QJsonObject{{"name", QStringLiteral("screen%1").arg(screens.size())},
                                   {"width", m.captured(1).toInt()},
                                   {"height", m.captured(2).toInt()},
                                   {"x", m.captured(3).toInt()},
                                   {"y", m.captured(4).toInt()},
                                   {"logicalDpi", 96},
                                   {"logicalBaseDpi", 96},
                                   {"dpr", 1}});
    }
    QFile config(configDirectory.filePath(QStringLiteral("screens.json")));
    if (!config.open(QIODevice::WriteOnly)
        || config.write(QJsonDocument(QJsonObject{{"screens", screens}}).toJson()) < 0) {
        std::fprintf(stderr, "cannot write the test screens\n");
        return 2;
    }
    config.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config.fileName()));
#endif
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
