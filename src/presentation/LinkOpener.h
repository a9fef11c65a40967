#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class MyDocument;

// Opens "corvane://HOST/api/v1/project/N" and ".../item/N" links: one second
// after the link arrives the list or item is selected; when it is not there
// yet (a sync may be bringing it in), the status bar says so and a second try
// follows ten seconds later, after which a failure is reported in an alert.
// Links to another host, or to neither a list nor an item, are ignored.
class LinkOpener : public QObject
{
    Q_OBJECT
public:
    explicit LinkOpener(MyDocument *document, int firstMilliseconds = 1000, int retryMilliseconds = 10000,
                        QObject *parent = nullptr);

    // Answers whether the text is a link this opener acts on.
    bool handleURLEvent(const QString &text);

private:
    struct Target {
        std::function<bool()> select;
        QString searching;
        QString notFound;
    };
    void attempt(const Target &target, bool lastTry);

    QPointer<MyDocument> m_document;
    int m_firstMilliseconds;
    int m_retryMilliseconds;
};
