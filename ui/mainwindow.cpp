#include "ui/mainwindow.h"

#include <QApplication>
#include <QBoxLayout>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTextEdit>
#include <QTextOption>

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

    addressEdit = new QLineEdit;
    searchLayout->addWidget(addressEdit, 1);

    searchButton = new QPushButton;
    searchButton->setText(QStringLiteral(" Search"));
    searchButton->setIcon(QIcon(QStringLiteral(":/resources/images/ico_search.png")));
    searchLayout->addWidget(searchButton, 0);

    mainLayout->addLayout(searchLayout, 0);

    resultEdit = new QTextEdit;
    resultEdit->setWordWrapMode(QTextOption::NoWrap);
    resultEdit->setReadOnly(true);
    resultEdit->setAcceptRichText(false);
    mainLayout->addWidget(resultEdit, 1);

    statusBar = new QStatusBar(this);
    statusLabel = new QLabel(QString());
    statusBar->addWidget(statusLabel, 1);
    mainLayout->addWidget(statusBar, 0);

    resize(600, 300);

    // Kept for the whole run, like the menus: the window is its only user.
    whoisInfo = new WhoisInfo(statusBar);

    connect(searchButton, SIGNAL(clicked()), this, SLOT(getData()));
    connect(addressEdit, SIGNAL(returnPressed()), this, SLOT(getData()));
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

    menuBar = new QMenuBar;
    menuBar->setMinimumHeight(22);
    menuBar->addMenu(fileMenu);
    menuBar->addMenu(editMenu);

    mainLayout->setMenuBar(menuBar);
}

void mainWindow::getData(QString server)
{
    Q_UNUSED(server);
}

void mainWindow::saveData()
{
}

void mainWindow::copyData()
{
}

void mainWindow::selectAllData()
{
}
