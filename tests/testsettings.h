#ifndef VANTOR_TESTSETTINGS_H
#define VANTOR_TESTSETTINGS_H

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

// The window's settings (history, geometry, Prefer RDAP) in a folder of the
// test program's own, never the user's: the suites run side by side, and one
// that clears its settings must not clear another's. Made before the first
// window, which opens its settings once for the whole run.
class TestSettings
{
public:
    TestSettings()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_folder.path());
    }

    // The window's settings live until the program ends: what it has not
    // written yet is written now, while the folder is there, not after.
    ~TestSettings() { QSettings(QStringLiteral("Vantor"), QStringLiteral("Vantor")).sync(); }

    static void clear() { QSettings(QStringLiteral("Vantor"), QStringLiteral("Vantor")).clear(); }

private:
    QTemporaryDir m_folder;
};

#endif
