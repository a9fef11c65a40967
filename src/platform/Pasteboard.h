#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The general pasteboard, reduced to what the document needs: typed data
// declared by one writer at a time. Private types are MIME types
// ("TODOItemDataType", "TODOListDataType").
class Pasteboard
{
public:
    virtual ~Pasteboard() = default;

    // Declares `type` as the only type and sets its data.
    virtual void declareAndSet(const QString &type, const QByteArray &data) = 0;
    virtual QByteArray data(const QString &type) const = 0;
    virtual bool hasType(const QString &type) const = 0;
    virtual void clear() = 0;
};

// A pasteboard kept in memory: the headless document's and the tests'.
class MemoryPasteboard : public Pasteboard
{
public:
    void declareAndSet(const QString &type, const QByteArray &data) override
    {
        m_type = type;
        m_data = data;
    }
    QByteArray data(const QString &type) const override { return type == m_type ? m_data : QByteArray(); }
    bool hasType(const QString &type) const override { return !m_type.isEmpty() && type == m_type; }
    void clear() override
    {
        m_type.clear();
        m_data.clear();
    }

private:
    QString m_type;
    QByteArray m_data;
};

// The desktop clipboard (QClipboard); needs a QGuiApplication.
class ClipboardPasteboard : public Pasteboard
{
public:
    void declareAndSet(const QString &type, const QByteArray &data) override;
    QByteArray data(const QString &type) const override;
    bool hasType(const QString &type) const override;
    void clear() override;
};
