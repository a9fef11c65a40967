#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>

// One running application per store. The first start listens on a local
// socket named after the store file; a later start hands its messages (links
// to open) to the running one and exits without opening the store.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    enum class Role { Primary, Secondary };

    explicit SingleInstance(const QString &storePath, QObject *parent = nullptr);

    // Delivers the messages to a running instance (Secondary), or becomes
    // the running instance and listens (Primary).
    Role claim(const QStringList &messages);

signals:
    void messageReceived(const QString &message);

private:
    bool deliver(const QStringList &messages) const;
    void readConnection();

    QString m_name;
    QLocalServer m_server;
};
