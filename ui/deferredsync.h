#ifndef VANTOR_DEFERREDSYNC_H
#define VANTOR_DEFERREDSYNC_H

#include <QBasicTimer>
#include <QEvent>
#include <QSettings>

// Writes the settings file half a second after a change instead of at the
// next turn of the event loop: the write ends in a flush to disk that takes
// milliseconds, and a search, which enters the history, would otherwise
// wait for it before its saved answer shows. What is set is read back at
// once all the same; what is not written yet is written at exit.
class DeferredSync : public QObject
{
public:
    explicit DeferredSync(QSettings *settings) : m_settings(settings)
    {
        settings->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::UpdateRequest)
            return false;
        if (!m_timer.isActive())
            m_timer.start(500, this);
        return true;
    }
    void timerEvent(QTimerEvent *) override
    {
        m_timer.stop();
        m_settings->sync();
    }

private:
    QSettings *m_settings;
    QBasicTimer m_timer;
};

#endif
