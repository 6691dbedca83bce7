#include "whois/whoisinfo.h"

WhoisInfo::WhoisInfo(QStatusBar *statusBar, const WhoisEndpoints &endpoints)
    : QObject(nullptr), statusBar(statusBar), m_endpoints(endpoints)
{
}
