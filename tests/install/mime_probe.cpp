// Asks Qt's MIME database - what Qt file dialogs and KDE see - for the type of
// each file, after the install check has put our MIME package into the search
// path. Prints one line per file: name, type, icon name, comment.
//
//   trezorka_mime_probe LANGUAGE FILE...

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>
#include <QMimeDatabase>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        QTextStream(stderr) << "usage: trezorka_mime_probe LANGUAGE FILE...\n";
        return 2;
    }
    // The comment follows the default locale's languages.
    QLocale::setDefault(QLocale(args[1]));

    QMimeDatabase db;
    QTextStream out(stdout);
    for (qsizetype i = 2; i < args.size(); ++i) {
        const QMimeType type = db.mimeTypeForFile(args[i]);
        out << QFileInfo(args[i]).fileName() << '\t' << type.name() << '\t' << type.iconName() << '\t'
            << type.comment() << '\n';
    }
    return 0;
}
