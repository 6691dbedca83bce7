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
        statusBar->showMessage(message, 0);
        // The lookup holds the GUI thread, so the event loop would paint the
        // message only after it is over; paint it now.
        statusBar->repaint();
    }
}
