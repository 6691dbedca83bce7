#ifndef VANTOR_TESTS_MODALDRIVER_H
#define VANTOR_TESTS_MODALDRIVER_H

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <functional>

// Answers the modal dialogs that Save opens, the way a user would.
class ModalDriver : public QObject
{
public:
    std::function<void(QFileDialog *)> onFileDialog; // rejects the dialog when unset
    QStringList boxes; // "title|text" of every message box seen
    QString proposed;  // what the save dialog offered first

    ModalDriver()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { poke(); });
        m_timer.start(20);
    }

    // The user types the folder and the name and presses Save.
    static void chooseFile(QFileDialog *dialog, const QString &path)
    {
        typeName(dialog, path);
        static_cast<QDialog *>(dialog)->accept(); // QFileDialog::accept, protected there
    }

    // The same, past the dialog's own checks, as if the name were taken
    // whatever the dialog thinks of it.
    static void insistOnFile(QFileDialog *dialog, const QString &path)
    {
        typeName(dialog, path);
        static_cast<QDialog *>(dialog)->done(QDialog::Accepted);
    }

private:
    static void typeName(QFileDialog *dialog, const QString &path)
    {
        // The whole path typed into the name field, as a user may; selectFile()
        // leaves that field alone while it has the focus.
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(QFileInfo(path).absoluteFilePath());
    }

    void poke()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            if (dialog->property("driven").toBool())
                return;
            dialog->setProperty("driven", true);
            proposed = dialog->selectedFiles().value(0);
            // Answered from a posted call, so that this timer keeps running
            // and can answer a question the dialog asks in turn.
            QMetaObject::invokeMethod(
                dialog,
                [this, dialog] {
                    if (onFileDialog)
                        onFileDialog(dialog);
                    else
                        dialog->reject();
                },
                Qt::QueuedConnection);
        } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            boxes.append(box->windowTitle() + QLatin1Char('|') + box->text());
            QAbstractButton *yes = box->button(QMessageBox::Yes);
            (yes ? yes : box->button(QMessageBox::Ok))->click();
        }
    }

    QTimer m_timer;
};

#endif
