// Takes pictures of the connect dialog and the document choice for the
// documentation: ui_server_screenshots OUTDIR. Run it under Xvfb (xvfb-run)
// or with QT_QPA_PLATFORM=offscreen.
#include <QApplication>
#include <QDir>
#include <QListWidget>

#include <cstdio>

#include "ui/serverdialogs.h"

using namespace zt::ui;

namespace {

bool Save(QWidget* w, const QString& path) {
    w->show();
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
    bool ok = w->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: ui_server_screenshots OUTDIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    bool ok = true;
    CZTConnectDialog connect({QStringLiteral("notizen.example.org/ztweb/ztDB.php"),
                              QStringLiteral("127.0.0.1:8080/ztweb/ztDB.php")},
                             QStringLiteral("localhost:8080/ztweb/ztDB.php"), QStringLiteral("anna"), QString(), false);
    ok &= Save(&connect, out + QStringLiteral("/server-connect.png"));

    zt::srv::GetContentAnswer list;
    list.user = "anna";
    list.level = 2;
    list.docs = {{"Projekte", "1", 4}, {"Rezepte", "2", 2}, {"Handbuch", "3", 1}, {"Reisen 2026", "4", 3}};
    CZTDocChoiceDialog choice(list);
    ok &= Save(&choice, out + QStringLiteral("/server-documents.png"));
    return ok ? 0 : 1;
}
