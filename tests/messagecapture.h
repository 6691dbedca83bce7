#ifndef VANTOR_TESTS_MESSAGECAPTURE_H
#define VANTOR_TESTS_MESSAGECAPTURE_H

#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QtGlobal>

// Collects the debug messages written while it exists, as the default
// handler would receive them.
class MessageCapture
{
public:
    MessageCapture() { previous = qInstallMessageHandler(&MessageCapture::handler); }
    ~MessageCapture() { qInstallMessageHandler(previous); }

    QStringList take()
    {
        QMutexLocker lock(&mutex());
        QStringList result = store();
        store().clear();
        return result;
    }

private:
    static QMutex &mutex() { static QMutex m; return m; }
    static QStringList &store() { static QStringList s; return s; }
    static void handler(QtMsgType type, const QMessageLogContext &, const QString &msg)
    {
        if (type != QtDebugMsg)
            return;
        QMutexLocker lock(&mutex());
        store().append(msg);
    }

    QtMessageHandler previous;
};

// Drops debug messages while it exists, for suites whose code traces every
// step; warnings and worse still reach the handler that was there before.
class QuietDebug
{
public:
    QuietDebug() { previous() = qInstallMessageHandler(&QuietDebug::handler); }
    ~QuietDebug() { qInstallMessageHandler(previous()); }

private:
    static QtMessageHandler &previous() { static QtMessageHandler h = nullptr; return h; }
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &msg)
    {
        if (type != QtDebugMsg)
            previous()(type, context, msg);
    }
};

#endif
