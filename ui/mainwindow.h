#ifndef VANTOR_MAINWINDOW_H
#define VANTOR_MAINWINDOW_H

#include <QString>
#include <QWidget>

#include "whois/whoisinfo.h"

class QBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QStatusBar;
class ResultView;

class mainWindow : public QWidget
{
    Q_OBJECT

public:
    mainWindow();

public slots:
    void getData(QString server = QLatin1String(WhoisEndpoints::kDefaultServer));
    void saveData();
    void copyData();
    void selectAllData();

public:
    // The widgets are public so that tests can drive the window as a user would.
    QBoxLayout *mainLayout;
    QBoxLayout *searchLayout;
    QLabel *addressLabel;
    QLineEdit *addressEdit;
    QPushButton *searchButton;
    ResultView *resultEdit;
    QLabel *statusLabel;
    QMenuBar *menuBar;
    QMenu *fileMenu;
    QMenu *editMenu;
    QStatusBar *statusBar;
    WhoisInfo *whoisInfo;

private:
    void createMenus();
    // The file name Save proposes for a query: safe on every system, or
    // empty for an empty query.
    static QString proposedFileName(const QString &query);
    // Writes bytes as the file's whole content; false when that failed.
    static bool writeTextFile(const QString &fileName, const QByteArray &bytes);
};

#endif
