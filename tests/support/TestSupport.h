#pragma once

// Helpers shared by every test suite: log capture, scripted identifier
// draws, file helpers and a small object model for store tests.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <memory>

class ManagedObject;
class ObjectModel;
enum class AttributeType;

// Collects log lines while alive, then passes nothing on (tests stay quiet).
// With a category, only that category's lines are kept; the others still
// reach the previous handler.
class LogCapture
{
public:
    explicit LogCapture(const char *category = nullptr);
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const;
    bool contains(const QString &line) const { return lines().contains(line); }
    int count(const QString &line) const { return int(lines().count(line)); }
    QStringList linesOfType(QtMsgType type) const;

private:
    struct Line {
        QtMsgType type;
        QString text;
    };
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);

    const char *m_category;
    QList<Line> m_lines;
    QtMessageHandler m_previous = nullptr;
    LogCapture *m_outer = nullptr;
    static inline LogCapture *s_current = nullptr;
};

// Replaces the identifier generator while alive: either a fixed sequence of
// draws (fresh values past its end, so a faulty caller cannot draw forever)
// or any function.
class ScriptedDraws
{
public:
    explicit ScriptedDraws(const QList<quint32> &draws);
    explicit ScriptedDraws(std::function<quint32()> generator);
    ~ScriptedDraws();
    ScriptedDraws(const ScriptedDraws &) = delete;
    ScriptedDraws &operator=(const ScriptedDraws &) = delete;

    int remaining() const;

private:
    std::shared_ptr<QList<quint32>> m_draws;
};

// Moments for date tables, read in the time zone the test runs in, or in UTC.
QDateTime localTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
QDateTime utcTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int msec = 0);

// Whole-file helpers: an unreadable file reads as empty.
QByteArray readBytes(const QString &path);
bool writeBytes(const QString &path, const QByteArray &bytes);
// SHA-256 of a file, in hexadecimal; empty when unreadable.
QByteArray fileHash(const QString &path);
// Names in a folder, hidden ones included, sorted.
QStringList folderEntries(const QString &folder);

// A small model for store, predicate and arrangement tests: a Folder holds
// Notes with one attribute or more of every type; Extra has one text value.
// Version 1 lacks most attributes and the Extra entity, for migration tests.
const ObjectModel &testModel(int version = 2);

// A value of the type that differs by seed: 32-bit numbers of both signs,
// 64-bit numbers beyond 32 bits, texts beyond ASCII, dates in whole seconds
// between 2023 and 2037.
QVariant sampleValue(AttributeType type, int seed);
// Gives every attribute of a record sampleValue(its type, seed + its position).
void fillAttributes(ManagedObject *record, int seed);
// Every attribute of a record by name (absent ones invalid), but the skipped ones.
QVariantMap attributeValues(const ManagedObject *record, const QStringList &skipped = {});
