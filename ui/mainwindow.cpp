#include "ui/mainwindow.h"

#include "lookup/kept.h"
#include "ui/deferredsync.h"
#include "ui/factspanel.h"
#include "ui/findbar.h"
#include "ui/historyedit.h"
#include "ui/hoprow.h"
#include "ui/resultlinks.h"
#include "ui/resultview.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcessEnvironment>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>

namespace {

const QString kHistoryKey = QStringLiteral("history/queries");
const QString kGeometryKey = QStringLiteral("window/geometry");

} // namespace

mainWindow::mainWindow()
    : QWidget(nullptr)
{
    setWindowTitle(QStringLiteral("Vantor"));

    mainLayout = new QBoxLayout(QBoxLayout::TopToBottom, this);
    mainLayout->setContentsMargins(6, 6, 6, 6);
    mainLayout->setSpacing(0);

    createMenus();

    searchLayout = new QBoxLayout(QBoxLayout::LeftToRight);
    searchLayout->setSpacing(4);

    addressLabel = new QLabel;
    addressLabel->setText(QStringLiteral("Address"));
    searchLayout->addWidget(addressLabel, 0);

    addressEdit = new HistoryEdit;
    history()->setHistory(settings().value(kHistoryKey).toStringList());
    searchLayout->addWidget(addressEdit, 1);

    searchButton = new QPushButton;
    searchButton->setText(QStringLiteral(" Search"));
    searchButton->setIcon(QIcon(QStringLiteral(":/resources/images/ico_search.png")));
    // As wide as its longer text, so that it keeps its size as "Stop".
    searchButton->setMinimumWidth(searchButton->sizeHint().width());
    searchLayout->addWidget(searchButton, 0);

    mainLayout->addLayout(searchLayout, 0);

    // A view made for large plain text: read-only, never wrapped, and quick
    // with a reply of millions of lines.
    hopRow = new HopRow;
    mainLayout->addWidget(hopRow, 0);
    connect(hopRow, &HopRow::hopChosen, this, &mainWindow::showHop);
    factsPanel = new FactsPanel;
    factsPanel->setWanted(showFactsAction->isChecked());
    mainLayout->addWidget(factsPanel, 0);
    resultEdit = new ResultView;
    mainLayout->addWidget(resultEdit, 1);
    resultLinks = new ResultLinks(resultEdit);
    connect(resultLinks, &ResultLinks::lookUpRequested, this, [this](const QString &query) {
        addressEdit->setText(query);
        getData();
    });
    findBar = new FindBar(resultEdit);
    mainLayout->addWidget(findBar, 0);

    createStatusBar();

    // Where the user left it; 600 x 300 at the first start.
    if (!restoreGeometry(settings().value(kGeometryKey).toByteArray()))
        resize(600, 300);

    // Kept for the whole run, like the menus: the window is its only user.
    // The proxies of the environment are read once, here; one that cannot
    // be used is named now, and fails the lookups that would need it.
    WhoisEndpoints endpoints;
    endpoints.proxy = net::ProxySettings::fromEnvironment(QProcessEnvironment::systemEnvironment());
    whoisInfo = new WhoisInfo(statusBar, endpoints);
    if (const QStringList problems = endpoints.proxy.problems(); !problems.isEmpty())
        statusBar->showMessage(problems.join(QLatin1String("; ")));

    connect(searchButton, SIGNAL(clicked()), this, SLOT(getData()));
    connect(addressEdit, SIGNAL(returnPressed()), this, SLOT(getData()));

    m_runner = new LookupRunner(1, this);
    connect(m_runner, &LookupRunner::progress, this, [this](quint64, const QString &message) {
        statusBar->showMessage(message, 0);
    });
    connect(m_runner, &LookupRunner::finished, this, &mainWindow::showResult);
    createShortcuts();
}

void mainWindow::createStatusBar()
{
    statusBar = new QStatusBar(this);
    statusLabel = new QLabel(QString());
    statusBar->addWidget(statusLabel, 1);
    mainLayout->addWidget(statusBar, 0);
    busyIndicator = new QProgressBar;
    busyIndicator->setRange(0, 0); // moves to and fro: busy, for as long as it takes
    busyIndicator->setMaximumSize(80, 14);
    busyIndicator->setTextVisible(false);
    busyIndicator->hide();
    statusBar->addPermanentWidget(busyIndicator);
}

void mainWindow::createShortcuts()
{
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        // A running lookup first, then the find row. In the find field Esc
        // never gets here: the field closes the row itself.
        if (m_running)
            stopLookup();
        else if (!findBar->isHidden())
            findBar->dismiss();
    });
    auto *findNext = new QShortcut(QKeySequence(Qt::Key_F3), this);
    connect(findNext, &QShortcut::activated, this, [this] { stepFind(true); });
    auto *findPrevious = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), this);
    connect(findPrevious, &QShortcut::activated, this, [this] { stepFind(false); });
}

void mainWindow::stepFind(bool forward)
{
    // F3 and Shift+F3 open a closed find row with its last text.
    if (findBar->isHidden())
        findBar->open();
    else if (forward)
        findBar->next();
    else
        findBar->previous();
}

mainWindow::~mainWindow()
{
    // Quit ends the run with the window still open.
    if (isVisible())
        rememberGeometry();
    // Stopped and waited for here, while the window is still whole; the
    // lookup's waits look at the stop every 50 ms.
    delete m_runner;
}

void mainWindow::createMenus()
{
    fileMenu = new QMenu;
    fileMenu->setTitle(QStringLiteral("File"));
    fileMenu->addAction(QStringLiteral("Save"), QKeySequence(QKeySequence::Save), this, SLOT(saveData()));
    fileMenu->addAction(QStringLiteral("Quit"), QKeySequence(QKeySequence::Quit), qApp, SLOT(quit()));

    editMenu = new QMenu;
    editMenu->setTitle(QStringLiteral("Edit"));
    editMenu->addAction(QStringLiteral("Copy"), QKeySequence(QKeySequence::Copy), this, SLOT(copyData()));
    editMenu->addAction(QStringLiteral("Select All"), QKeySequence(QKeySequence::SelectAll), this,
                        SLOT(selectAllData()));
    clearHistoryAction = editMenu->addAction(QStringLiteral("Clear History"), this, [this] {
        history()->setHistory({});
        settings().remove(kHistoryKey);
    });
    clearAnswersAction = editMenu->addAction(QStringLiteral("Clear Saved Answers"), this, [this] {
        const QString error = kept::clear(whoisInfo->endpoints());
        statusBar->showMessage(error.isEmpty() ? QStringLiteral("Saved answers cleared")
                                               : QLatin1String("Saved answers not cleared: ") + error);
    });
    editMenu->addSeparator();
    findAction = editMenu->addAction(QStringLiteral("Find"), QKeySequence(QKeySequence::Find), this,
                                     [this] { findBar->open(); });

    // Whether RDAP is asked first, for every query it serves.
    lookupMenu = new QMenu(this);
    lookupMenu->setTitle(QStringLiteral("Lookup"));
    preferRdapAction = lookupMenu->addAction(QStringLiteral("Prefer RDAP"));
    preferRdapAction->setCheckable(true);
    preferRdapAction->setChecked(settings().value(QStringLiteral("lookup/preferRdap"), false).toBool());
    connect(preferRdapAction, &QAction::toggled, this,
            [](bool on) { settings().setValue(QStringLiteral("lookup/preferRdap"), on); });
    // The servers asked again, whatever answer is saved.
    refreshAction = lookupMenu->addAction(QStringLiteral("Refresh"), QKeySequence(QKeySequence::Refresh), this,
                                          [this] { startLookup(true); });

    showFactsAction = lookupMenu->addAction(QStringLiteral("Show Facts"));
    showFactsAction->setCheckable(true);
    showFactsAction->setChecked(settings().value(QStringLiteral("window/showFacts"), true).toBool());
    connect(showFactsAction, &QAction::toggled, this, [this](bool on) {
        settings().setValue(QStringLiteral("window/showFacts"), on);
        factsPanel->setWanted(on);
    });

    menuBar = new QMenuBar;
    menuBar->setMinimumHeight(22);
    menuBar->addMenu(fileMenu);
    menuBar->addMenu(editMenu);
    menuBar->addMenu(lookupMenu);

    mainLayout->setMenuBar(menuBar);
}

void mainWindow::getData(QString server)
{
    // Every search is a new lookup: the engine picks the server itself.
    Q_UNUSED(server);
    // While a lookup runs the button reads "Stop".
    if (m_running && sender() == searchButton) {
        stopLookup();
        return;
    }
    startLookup(false);
}

void mainWindow::startLookup(bool fresh)
{
    // A new search replaces the running one; that one's result is dropped.
    if (m_running)
        m_runner->stop(m_running);
    if (history()->remember(addressEdit->text()))
        settings().setValue(kHistoryKey, history()->history());
    m_focusAtStart = QApplication::focusWidget();
    LookupOptions options;
    options.preferRdap = preferRdapAction->isChecked();
    options.fresh = fresh;
    m_running = m_runner->start(addressEdit->text(), whoisInfo->endpoints(), options);
    setBusy(true);
}

QSettings &mainWindow::settings()
{
    // Kept in the user's settings folder, the same for every build.
    static QSettings store(QStringLiteral("Vantor"), QStringLiteral("Vantor"));
    static DeferredSync deferred(&store);
    return store;
}

HistoryEdit *mainWindow::history() const
{
    return static_cast<HistoryEdit *>(addressEdit);
}

void mainWindow::closeEvent(QCloseEvent *event)
{
    rememberGeometry();
    QWidget::closeEvent(event);
}

void mainWindow::rememberGeometry()
{
    settings().setValue(kGeometryKey, saveGeometry());
}

void mainWindow::stopLookup()
{
    if (m_running)
        m_runner->stop(m_running);
}

void mainWindow::showResult(const LookupResult &result)
{
    if (result.id != m_running)
        return;
    m_running = 0;
    setBusy(false);
    // A stopped lookup and a query that is no address leave the result as it was.
    if (result.outcome != WhoisInfo::Outcome::Stopped && result.outcome != WhoisInfo::Outcome::Refused) {
        whoisInfo->response = result.response;
        whoisInfo->query = result.query;
        whoisInfo->netRange = result.netRange;
        whoisInfo->cidr = result.cidr;
        whoisInfo->owner = result.owner;
        whoisInfo->country = result.country;
        whoisInfo->address = result.address;
        whoisInfo->replyIsUtf8 = result.replyIsUtf8;
        // Plain text: a reply that looks like HTML is shown as it came, and
        // what is shown is what Save writes.
        resultEdit->setPlainText(result.text);
        showDetails(result);
    }
    if (result.stored)
        statusBar->showMessage(result.status + QLatin1String(". F5 asks again"));
    // Said once in the run: the store gives it to one lookup only.
    if (!result.notice.isEmpty())
        statusBar->showMessage(result.notice);
    // Unless the user has put the focus somewhere else meanwhile.
    if (QApplication::focusWidget() == m_focusAtStart)
        resultEdit->setFocus(Qt::OtherFocusReason);
}

void mainWindow::showDetails(const LookupResult &result)
{
    // The answer is the last reply that came; a later hop that failed
    // leaves the one before it standing.
    m_answerText = result.text;
    m_answerHop = -1;
    for (qsizetype i = result.hops.size() - 1; i >= 0 && m_answerHop < 0; --i)
        if (result.hops.at(i).outcome == net::HopRecord::Outcome::Answered && !result.hops.at(i).reply.isEmpty())
            m_answerHop = int(i);
    if (m_answerHop < 0)
        m_answerHop = int(result.hops.size()) - 1; // none answered: the last stands for the message
    m_shownHop = m_answerHop;
    hopRow->setHops(result.hops, m_answerHop);
    factsPanel->setFacts(result.facts);
}

void mainWindow::showHop(int index)
{
    if (index < 0 || index >= hopRow->hops().size() || index == m_shownHop)
        return;
    m_shownHop = index;
    const net::HopRecord &hop = hopRow->hops().at(index);
    if (index == m_answerHop)
        resultEdit->setPlainText(m_answerText);
    else if (hop.reply.isEmpty())
        resultEdit->setPlainText(QStringLiteral("No reply from %1 (%2).\n").arg(hop.server, net::outcomeName(hop.outcome)));
    else
        resultEdit->setPlainText(hop.reply);
}

void mainWindow::setBusy(bool busy)
{
    searchButton->setText(busy ? QStringLiteral(" Stop") : QStringLiteral(" Search"));
    searchButton->setIcon(busy ? style()->standardIcon(QStyle::SP_BrowserStop)
                               : QIcon(QStringLiteral(":/resources/images/ico_search.png")));
    busyIndicator->setVisible(busy);
}

void mainWindow::saveData()
{
    // What is shown: the answer, or the reply of the hop chosen (in UTF-8,
    // which holds every letter whatever the server sent).
    const bool answer = m_shownHop == m_answerHop;
    const QString text = answer ? whoisInfo->formatText() : resultEdit->toPlainText();
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    qDebug().noquote().nospace() << '"' << desktop << "\" ";

    // Propose the query as the name, "192.0.2.1" as "192-0-2-1.txt", on the
    // desktop, or in the home folder where there is no desktop folder.
    const QString folder = QDir(desktop).exists() ? desktop : QDir::homePath();
    const QString name = proposedFileName(whoisInfo->query);
    const QString proposed = name.isEmpty() ? folder : QDir(folder).filePath(name);
    const QString fileName = QFileDialog::getSaveFileName(this, QStringLiteral("Save Whois Information"), proposed,
                                                          QStringLiteral("Text File (*.txt);"));
    if (fileName.isEmpty())
        return;

    // The encoding the reply came in: its letters are written as the server
    // sent them, none turned into '?'.
    const QByteArray bytes = whoisInfo->replyIsUtf8 || !answer ? text.toUtf8() : text.toLatin1();
    if (!writeTextFile(fileName, bytes))
        QMessageBox::information(this, QStringLiteral("error"), QStringLiteral("Couldn't write to file."),
                                 QMessageBox::Ok, QMessageBox::NoButton);
}

QString mainWindow::proposedFileName(const QString &query)
{
    // Letters, digits, '-' and '_' only: a slash would lead out of the
    // folder, and a colon or other sign is refused by some file systems.
    // Short enough for every file system, ".txt" included: at most 99
    // characters and 100 bytes in UTF-8 (most allow 255 bytes, and a name of
    // Japanese letters takes three bytes for each).
    constexpr int kMaxCharacters = 95;
    constexpr int kMaxBytes = 96;
    QString base;
    int characters = 0;
    int bytes = 0;
    for (qsizetype i = 0; i < query.size() && characters < kMaxCharacters; ++characters) {
        char32_t u = query.at(i).unicode();
        qsizetype units = 1;
        if (QChar::isHighSurrogate(u) && i + 1 < query.size() && query.at(i + 1).isLowSurrogate()) {
            u = QChar::surrogateToUcs4(query.at(i), query.at(i + 1));
            units = 2;
        }
        i += units;
        if (!QChar::isLetterOrNumber(u)) // a lone surrogate is none either
            u = U'-';
        const int size = u < 0x80 ? 1 : u < 0x800 ? 2 : u < 0x10000 ? 3 : 4;
        if (bytes + size > kMaxBytes)
            break;
        bytes += size;
        base += QStringView(QChar::fromUcs4(u));
    }
    return base.isEmpty() ? QString() : base + QLatin1String(".txt");
}

bool mainWindow::writeTextFile(const QString &fileName, const QByteArray &bytes)
{
    const QFileInfo target(fileName);
    if (target.exists() && !target.isFile() && !target.isDir()) {
        // A device or a pipe is written to as it is: renaming a file into
        // its place would replace it.
        QFile device(fileName);
        return device.open(QIODevice::WriteOnly | QIODevice::Text) && device.write(bytes) == bytes.size()
               && device.flush();
    }
    // Written aside and renamed into place, so a failed save leaves an
    // existing file as it was.
    QSaveFile file(fileName);
    return file.open(QIODevice::WriteOnly | QIODevice::Text) && file.write(bytes) == bytes.size() && file.commit();
}

void mainWindow::copyData()
{
    if (resultEdit->hasSelection())
        resultEdit->copy();
}

void mainWindow::selectAllData()
{
    resultEdit->selectAll();
}
