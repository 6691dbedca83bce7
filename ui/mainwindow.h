#ifndef VANTOR_MAINWINDOW_H
#define VANTOR_MAINWINDOW_H

#include <QPointer>
#include <QString>
#include <QWidget>

#include "lookup/runner.h"
#include "whois/whoisinfo.h"

class QAction;
class QBoxLayout;
class QCloseEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QProgressBar;
class QSettings;
class QPushButton;
class QStatusBar;
class FactsPanel;
class FindBar;
class HopRow;
class ResultLinks;
class HistoryEdit;
class ResultView;

class mainWindow : public QWidget
{
    Q_OBJECT

public:
    mainWindow();
    ~mainWindow() override;

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
    QLineEdit *addressEdit; // a HistoryEdit: the queries searched before
    QPushButton *searchButton;
    HopRow *hopRow;         // the servers asked; each one's reply on a click
    FactsPanel *factsPanel; // what the answer says, above its text
    ResultView *resultEdit;
    ResultLinks *resultLinks; // links and "Look up" in the result text
    FindBar *findBar; // below the result, hidden until Edit > Find
    QLabel *statusLabel;
    QMenuBar *menuBar;
    QMenu *fileMenu;
    QMenu *editMenu;
    QMenu *lookupMenu;
    QAction *clearHistoryAction;
    QAction *findAction;
    QAction *preferRdapAction; // remembered across runs
    QAction *refreshAction;      // F5: the current query asked of the servers again
    QAction *clearAnswersAction; // empties the saved answers
    QAction *showFactsAction;    // remembered across runs
    QStatusBar *statusBar;
    WhoisInfo *whoisInfo;

    // A lookup runs on a thread of its own; the window keeps answering.
    bool lookupRunning() const { return m_running != 0; }
    QProgressBar *busyIndicator;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    static QSettings &settings();
    HistoryEdit *history() const;
    void rememberGeometry();
    void stopLookup();
    void startLookup(bool fresh);
    void showResult(const LookupResult &result);
    void setBusy(bool busy);
    // The hop row and the facts of a result; a hop's reply on choosing it.
    void showDetails(const LookupResult &result);
    void showHop(int index);

    void createMenus();
    void createStatusBar();
    void createShortcuts();
    void stepFind(bool forward);
    // The file name Save proposes for a query: safe on every system, or
    // empty for an empty query.
    static QString proposedFileName(const QString &query);
    // Writes bytes as the file's whole content; false when that failed.
    static bool writeTextFile(const QString &fileName, const QByteArray &bytes);

    LookupRunner *m_runner;
    quint64 m_running = 0;            // the lookup whose result will be shown
    QPointer<QWidget> m_focusAtStart; // where the focus was when it started
    QString m_answerText;             // the result's own text, for its hop
    int m_answerHop = -1;             // the hop whose reply is the answer
    int m_shownHop = -1;              // the hop whose reply is shown
};

#endif
