#include "TestSupport.h"

#include "ItemIdentifiers.h"
#include "ManagedObject.h"
#include "ObjectModel.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>

LogCapture::LogCapture(const char *category)
    : m_category(category)
    , m_outer(s_current)
{
    s_current = this;
    m_previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    s_current = m_outer;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // Every capture alive whose category matches keeps the line.
    bool kept = false;
    for (LogCapture *capture = s_current; capture; capture = capture->m_outer) {
        if (!capture->m_category || (context.category && qstrcmp(context.category, capture->m_category) == 0)) {
            capture->m_lines.append({type, message});
            kept = true;
        }
    }
    if (!kept && s_current && s_current->m_previous && s_current->m_previous != &LogCapture::handler)
        s_current->m_previous(type, context, message);
}

QStringList LogCapture::lines() const
{
    QStringList out;
    for (const Line &line : m_lines)
        out << line.text;
    return out;
}

QStringList LogCapture::linesOfType(QtMsgType type) const
{
    QStringList out;
    for (const Line &line : m_lines)
        if (line.type == type)
            out << line.text;
    return out;
}

ScriptedDraws::ScriptedDraws(const QList<quint32> &draws)
    : m_draws(std::make_shared<QList<quint32>>(draws))
{
    ItemIdentifiers::setGeneratorForTesting([queue = m_draws, beyond = quint32(1000000)]() mutable -> quint32 {
        if (queue->isEmpty())
            return beyond++;
        return queue->takeFirst();
    });
}

ScriptedDraws::ScriptedDraws(std::function<quint32()> generator)
    : m_draws(std::make_shared<QList<quint32>>())
{
    ItemIdentifiers::setGeneratorForTesting(std::move(generator));
}

ScriptedDraws::~ScriptedDraws()
{
    ItemIdentifiers::setGeneratorForTesting({});
}

int ScriptedDraws::remaining() const
{
    return int(m_draws->size());
}

QDateTime localTime(int year, int month, int day, int hour, int minute, int second)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::LocalTime);
}

QDateTime utcTime(int year, int month, int day, int hour, int minute, int second, int msec)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second, msec), Qt::UTC);
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
}

QStringList folderEntries(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

const ObjectModel &testModel(int version)
{
    using A = AttributeType;
    static const ObjectModel v2(QStringLiteral("test_model"), 2,
        {EntityDescription(QStringLiteral("Folder"),
                           {{QStringLiteral("title"), A::Text},
                            {QStringLiteral("state"), A::Int32}},
                           {{QStringLiteral("notes"), QStringLiteral("Note"), QStringLiteral("folder"), true}}),
         EntityDescription(QStringLiteral("Note"),
                           {{QStringLiteral("count"), A::Int32},
                            {QStringLiteral("big"), A::Int64},
                            {QStringLiteral("ratio"), A::Double},
                            {QStringLiteral("flag"), A::Bool},
                            {QStringLiteral("text"), A::Text},
                            {QStringLiteral("when"), A::Date},
                            {QStringLiteral("blob"), A::Binary},
                            {QStringLiteral("added"), A::Text},
                            {QStringLiteral("name"), A::Text},
                            {QStringLiteral("label"), A::Text},
                            {QStringLiteral("descriptionText"), A::Text},
                            {QStringLiteral("quadrant"), A::Int32},
                            {QStringLiteral("state"), A::Int32},
                            {QStringLiteral("serial"), A::Int64},
                            {QStringLiteral("dueDate"), A::Date}},
                           {{QStringLiteral("folder"), QStringLiteral("Folder"), QStringLiteral("notes"), false}}),
         EntityDescription(QStringLiteral("Extra"), {{QStringLiteral("value"), A::Text}})});
    static const ObjectModel v1(QStringLiteral("test_model"), 1,
        {EntityDescription(QStringLiteral("Folder"),
                           {{QStringLiteral("title"), A::Text}},
                           {{QStringLiteral("notes"), QStringLiteral("Note"), QStringLiteral("folder"), true}}),
         EntityDescription(QStringLiteral("Note"),
                           {{QStringLiteral("count"), A::Int32}, {QStringLiteral("text"), A::Text}},
                           {{QStringLiteral("folder"), QStringLiteral("Folder"), QStringLiteral("notes"), false}})});
    return version == 1 ? v1 : v2;
}

QVariant sampleValue(AttributeType type, int seed)
{
    switch (type) {
    case AttributeType::Int32: return seed % 2 ? -(70000 + seed) : 70000 + seed;
    case AttributeType::Int64: return qlonglong(5000000000LL + seed);
    case AttributeType::Double: return 12.625 + seed;
    case AttributeType::Bool: return true;
    case AttributeType::Text: return QStringLiteral("text %1 — ünï \"quoted\" 'x' %").arg(seed);
    case AttributeType::Date: return QDateTime(QDate(2023, 3, 26), QTime(1, 30, 15)).addDays(seed);
    case AttributeType::Binary: return QByteArray("\x00\x01\xff binary ", 12) + QByteArray::number(seed);
    }
    return {};
}

void fillAttributes(ManagedObject *record, int seed)
{
    const auto &attributes = record->entity().attributes();
    for (int i = 0; i < attributes.size(); ++i)
        record->setValue(attributes[i].name, sampleValue(attributes[i].type, seed + i));
}

QVariantMap attributeValues(const ManagedObject *record, const QStringList &skipped)
{
    QVariantMap values;
    for (const AttributeDescription &attribute : record->entity().attributes())
        if (!skipped.contains(attribute.name))
            values.insert(attribute.name, record->value(attribute.name));
    return values;
}
