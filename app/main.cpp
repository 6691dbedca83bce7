#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

#include "ui/mainwindow.h"

namespace {

// Fusion in dark colours, for desktops whose dark scheme does not reach Qt
// (Qt before 6.5 on X11 has no way to learn it): VANTOR_COLOR_SCHEME=dark.
void useDarkColours(QApplication &app)
{
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette p;
    const QColor window(0x30, 0x30, 0x30);
    const QColor base(0x24, 0x24, 0x24);
    const QColor text(0xe8, 0xe8, 0xe8);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Highlight, QColor(0x2a, 0x6f, 0xc9));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x6c, 0xb4, 0xff));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    app.setPalette(p);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (qgetenv("VANTOR_COLOR_SCHEME") == "dark")
        useDarkColours(app);
    mainWindow window;
    window.show();
    return app.exec();
}
