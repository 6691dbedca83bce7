#include <QDebug>
#include <QStatusBar>

#include "whois/whoisinfo.h"

void WhoisInfo::showProgress(QString message)
{
    qDebug().noquote().nospace() << '"' << message << "\" ";
    status = message;
    if (progressSink)
        progressSink(message);
    if (statusBar) {
        // Called by name, so that the engine needs no widget library: the
        // command-line program starts without loading one.
        QObject *bar = statusBar;
        QMetaObject::invokeMethod(bar, "showMessage", Qt::DirectConnection, Q_ARG(QString, message), Q_ARG(int, 0));
        // The lookup holds the GUI thread, so the event loop would paint the
        // message only after it is over; paint it now.
        QMetaObject::invokeMethod(bar, "repaint", Qt::DirectConnection);
    }
}
