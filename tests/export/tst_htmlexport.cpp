#include "DocumentFakes.h"
#include "EmailComposer.h"
#include "HTMLToAttributedStringTransformer.h"
#include "HtmlExport.h"
#include "MailDelivery.h"
#include "PdfExport.h"
#include "TestSupport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace {

QString itemRow(const QString &name, const QString &notePart = {})
{
    return u"<tr><td class=\"cvitem\"><b>%1</b>%2</td></tr>\n"_s.arg(name, notePart);
}

QString notePart(const QString &escaped)
{
    return u"<br>\n<i>&nbsp;%1</i>"_s.arg(escaped);
}

// The PDF's text as pdftotext reads it; pages end with a form feed. With
// `bbox`, one line per word: "in <word>" inside the pages' text area,
// "cut <word>" across its edge, "out <word>" in the margins (clipped text,
// header and footer).
QString pdfText(const QString &path, bool bbox = false)
{
    const QString tool = QStandardPaths::findExecutable(u"pdftotext"_s);
    if (tool.isEmpty())
        return u"pdftotext (poppler-utils) is missing"_s;
    QProcess process;
    process.start(tool, {bbox ? u"-bbox"_s : u"-layout"_s, path, u"-"_s});
    process.waitForFinished();
    const QString text = QString::fromUtf8(process.readAllStandardOutput());
    if (!bbox)
        return text;
    static const QRegularExpression word(u"yMin=\"([0-9.]+)\" xMax=\"[0-9.]+\" yMax=\"([0-9.]+)\">([^<]*)</word>"_s);
    const double top = PdfExport::MarginPoints - 0.5, bottom = 842 - PdfExport::MarginPoints + 0.5;
    QString words;
    for (const QRegularExpressionMatch &m : word.globalMatch(text)) {
        const double yMin = m.captured(1).toDouble(), yMax = m.captured(2).toDouble();
        const bool inside = yMin >= top && yMax <= bottom;
        const bool outside = yMax <= top + 1 || yMin >= bottom - 1;
        words += (inside ? u"in "_s : outside ? u"out "_s : u"cut "_s) + m.captured(3) + u'\n';
    }
    return words;
}

} // namespace

class tst_HtmlExport : public QObject
{
    Q_OBJECT

private slots:
    // The page of an empty list: every store text escaped, colours as the
    // quadrants show them (white when there is none).
    void emptyListPage()
    {
        DocumentFixture f;
        f.document->setUp();
        TODOList *list = f.selectedList(u"A & <B> %1"_s);
        list->setColorFirstQuadrant(u"{1, 0, 0, 1}"_s);
        list->setColorSecondQuadrant(u"{0, 0, 1, 1}"_s);
        list->setColorThirdQuadrant(u"not a colour"_s);
        list->setColorFourthQuadrant(QString());
        list->setTextSecondQuadrant(u"Q&A"_s);
        const QString page = HtmlExport(*f.document).listToHtml(list);
        for (const QString &part : {u"<title >A &amp; &lt;B&gt; %1</title>"_s, u"<h2>A &amp; &lt;B&gt; %1</h2>"_s,
                                    u"#q1 { background:#ff0000; }\n    #q2 { background:#0000ff; }\n    #q3 { background:#ffffff; }\n"
                                    "    #q4 { background:#ffffff; }"_s,
                                    u"id=\"q2\"><b>Q&amp;A</b>"_s})
            QVERIFY2(page.contains(part), qPrintable(part));
    }

    void itemRows_data()
    {
        QTest::addColumn<QStringList>("names");  // added in this order to the first quadrant
        QTest::addColumn<QVariant>("notes");     // every item's description text; invalid: none
        QTest::addColumn<int>("sorting");        // the order choice
        QTest::addColumn<QString>("rows");       // the first quadrant's table rows

        const QVariant none;
        QTest::newRow("display order") << QStringList{"Pears", "Apples", "Figs"} << none << 1
                                       << itemRow(u"Apples"_s) + itemRow(u"Figs"_s) + itemRow(u"Pears"_s);
        QTest::newRow("markup in a name") << QStringList{"<img src=x onerror=alert(1)>"} << none << 0 << itemRow(u"&lt;img src=x onerror=alert(1)&gt;"_s);
        QTest::newRow("placeholders kept") << QStringList{"50%1 %2 off"} << QVariant(u"%1"_s) << 0 << itemRow(u"50%1 %2 off"_s, notePart(u"%1"_s));
        QTest::newRow("escaped notes") << QStringList{"a<b"} << QVariant(u"a<b \"it's\" & more"_s) << 0
                                       << itemRow(u"a&lt;b"_s, notePart(u"a&lt;b &quot;it&apos;s&quot; &amp; more"_s));
        QTest::newRow("empty notes") << QStringList{"x"} << QVariant(QString(u""_s)) << 0 << itemRow(u"x"_s, notePart({}));
        QTest::newRow("named entities") << QStringList{"é"} << QVariant(u"\u00a0ÿ€α∑♦"_s) << 0
                                        << itemRow(u"&eacute;"_s, notePart(u"&nbsp;&yuml;&euro;&alpha;&sum;&diams;"_s));
        QTest::newRow("numeric references") << QStringList{"ā"} << QVariant(u"😀\u0080"_s) << 0
                                            << itemRow(u"&#257;"_s, notePart(u"&#55357;&#56832;&#128;"_s));
        QTest::newRow("completed item, open shown") << QStringList{"Done", "Open"} << none << 0 << itemRow(u"Open"_s);
    }

    // The page shows what the quadrant shows: its items, in its order, as its filters let them through.
    void itemRows()
    {
        QFETCH(QStringList, names);
        QFETCH(QVariant, notes);
        QFETCH(int, sorting);
        QFETCH(QString, rows);
        DocumentFixture f;
        f.document->setUp();
        TODOList *list = f.selectedList();
        for (const QString &name : names) {
            TODOItem *item = f.item(0, name);
            if (notes.isValid())
                item->setDescriptionText(notes.toString());
            if (name == u"Done"_s)
                f.document->markTODOItem(item, list, f.document->controllerForQuadrant(0), 100);
        }
        f.document->filters().setShowingChoice(1); // open items only
        f.document->filters().setSortingChoice(sorting);
        f.document->updateFilters();
        f.document->updateSortDescriptors();
        QCOMPARE(HtmlExport(*f.document).quadrant(0, list),
                 u"<b>Critical and Immediate</b><br>\n<table class=\"cvquadrant\">%1</table>"_s.arg(rows));
    }

    void notes_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("html");
        QTest::addColumn<QString>("text");      // what the drawer shows
        QTest::addColumn<QString>("boldWord");  // a word shown bold, if any
        QTest::newRow("plain text") << u"a<b & c"_s << false << u"a<b & c"_s << QString();
        QTest::newRow("html") << u"<p>Hello <b>bold</b> caf&eacute;</p>"_s << true << u"Hello bold café"_s << u"bold"_s;
        QTest::newRow("html and a line break") << u"<p>One</p><p><b>Two</b></p>\n"_s << true << u"One\nTwo "_s << u"Two"_s;
        QTest::newRow("two characters after the tag") << u"<p>x</p>\n\n"_s << false << u"<p>x</p>\n\n"_s << QString();
    }

    // Stored notes show in the drawer, and what the drawer writes back reads as the same notes.
    void notes()
    {
        QFETCH(QString, stored);
        QFETCH(QString, text);
        QFETCH(QString, boldWord);
        QTEST(HTMLToAttributedStringTransformer::isHTML(stored), "html");
        const HTMLToAttributedStringTransformer transformer;
        const auto shown = transformer.transformedValue(stored).value<QTextDocumentFragment>();
        QCOMPARE(shown.toPlainText(), text);

        const QString written = transformer.reverseTransformedValue(QVariant::fromValue(shown)).toString();
        for (const char *element : {"<!DOCTYPE", "<html", "<head", "<body", "<meta"})
            QVERIFY2(!written.contains(QLatin1String(element), Qt::CaseInsensitive), qPrintable(written));
        QVERIFY2(HTMLToAttributedStringTransformer::isHTML(written), qPrintable(written));
        const auto reread = transformer.transformedValue(written).value<QTextDocumentFragment>();
        QCOMPARE(reread.toPlainText(), text);

        QTextDocument document;
        QTextCursor cursor(&document);
        cursor.insertFragment(reread);
        if (!boldWord.isEmpty()) {
            cursor.setPosition(int(text.indexOf(boldWord)) + 1);
            QCOMPARE(cursor.charFormat().fontWeight(), int(QFont::Bold));
        }
    }

    void mailFragments_data()
    {
        QTest::addColumn<int>("percentage");
        QTest::addColumn<QDateTime>("due");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("inQuadrant");  // the item's part of the quadrant fragment
        QTest::addColumn<QString>("single");      // the item fragment
        const QDateTime none;
        const QString due = u"<li>Due Friday, 17 May 2024"_s;
        QTest::newRow("name only") << 0 << none << QString() << u"<li><b>R&amp;D</b>"_s << u"<b>R&amp;D</b>"_s;
        QTest::newRow("due and two lines") << 40 << localTime(2024, 5, 17) << u"a<b\n%1 é"_s
                                           << u"<li><b>R&amp;D</b> (40% complete)<ul>\n"_s + due + u"<li>Description: a&lt;b<br>%1 &eacute;</ul>\n"_s
                                           << u"<b>R&amp;D</b> (40% complete)<ul>\n"_s + due + u"\n<li>Description: a&lt;b<br>%1 &eacute;</ul>\n"_s;
    }

    // Mails carry the quadrant's items, escaped, with their percentage, due date and notes.
    void mailFragments()
    {
        QFETCH(int, percentage);
        QFETCH(QDateTime, due);
        QFETCH(QString, description);
        QFETCH(QString, inQuadrant);
        QFETCH(QString, single);
        DocumentFixture f;
        f.document->setUp();
        TODOList *list = f.selectedList(u"R&D"_s);
        TODOItem *item = f.item(1, u"R&D"_s);
        item->setCompletionPercentage(percentage);
        item->setDueDate(due);
        item->setDescriptionText(description);
        f.document->updateFilters();
        const EmailComposer composer(*f.document);
        const QString heading = u"<br><b>%1:</b>\n<ol>\n"_s;
        QCOMPARE(composer.emailBodyFromList(list),
                 heading.arg(u"Critical and Immediate"_s) + u"</ol>\n"_s + heading.arg(u"Critical but Not Immediate"_s) + inQuadrant
                     + u"</ol>\n"_s + heading.arg(u"Not Critical but Immediate"_s) + u"</ol>\n"_s + heading.arg(u"Uncategorized"_s)
                     + u"</ol>\n"_s);
        QCOMPARE(EmailComposer::emailBodyFromItem(item), single);
        QCOMPARE(EmailComposer::emailBodyFromItems({item, item}), u"<ol><li> %1<li> %1</ol>"_s.arg(single));
    }

    void mailSubjectsAndLinks()
    {
        DocumentFixture f;
        TODOList *list = f.selectedList(u"R&D"_s);
        // Subjects reach the mail client as plain text (mailDelivery checks the other subjects).
        QCOMPARE(EmailComposer::selectedItemsSubject(list, {f.item(0, u"Milk & honey"_s)}), u"R&D: Milk & honey"_s);
        // A user name with "&" or "=" stays whole in the subject.
        const QUrl feedback = EmailComposer::feedbackLink(u"Corvane"_s, u"1.0"_s, u"Ann & Bob=1 Ünal"_s);
        QCOMPARE(QUrlQuery(feedback).queryItemValue(u"subject"_s, QUrl::FullyDecoded), u"Feedback for Corvane v1.0 From Ann & Bob=1 Ünal"_s);
    }

    void mailDelivery_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("opens");     // a mail client opens the link
        QTest::addColumn<QString>("subject"); // of the new message; empty when nothing is sent
        QTest::addColumn<QString>("text");    // in the plain-text alternative
        QTest::newRow("list") << u"list"_s << true << u"R&D"_s << u"Milk & honey"_s;
        QTest::newRow("quadrant, no mail client") << u"quadrant"_s << false << u"R&D: Critical but Not Immediate"_s
                                                  << u"Bread"_s;
        QTest::newRow("two selected items") << u"two selected"_s << true << u"R&D: 2 items"_s << u"Jam"_s;
        QTest::newRow("nothing selected") << u"selected"_s << true << QString() << QString();
        QTest::newRow("drawer's item") << u"item"_s << true << u"Milk & honey"_s << u"Milk & honey"_s;
        QTest::newRow("drawer closed") << u"no item"_s << true << QString() << QString();
    }

    // A mail puts the message on the clipboard, says so, and opens a new
    // message with its subject; without a mail client the user is told and
    // the message is still there to paste.
    void mailDelivery()
    {
        QFETCH(QString, command);
        QFETCH(bool, opens);
        QFETCH(QString, subject);
        QFETCH(QString, text);
        DocumentFixture f;
        f.document->setUp();
        f.selectedList(u"R&D"_s);
        TODOItem *milk = f.item(0, u"Milk & honey"_s);
        f.item(0, u"Jam"_s);
        f.item(1, u"Bread"_s);
        f.document->updateFilters();
        QGuiApplication::clipboard()->clear();
        QList<QUrl> opened;
        MailDelivery mail(*f.document, QGuiApplication::clipboard(), [&](const QUrl &url, auto done) {
            opened << url;
            done(opens);
        });
        if (command == u"list")
            mail.emailCurrentList();
        else if (command == u"quadrant")
            mail.emailFromQuadrant(1);
        else if (command.endsWith(u"selected")) {
            if (command != u"selected")
                f.document->enableQuadrant(0, QList<int>{0, 1});
            mail.emailSelectedItems();
        } else {
            if (command == u"item")
                f.document->openDrawer(milk, false);
            else
                f.document->closeDrawer();
            mail.emailCurrentItem();
        }

        const QMimeData *data = QGuiApplication::clipboard()->mimeData();
        if (subject.isEmpty()) {
            QVERIFY(opened.isEmpty());
            QVERIFY(f.alerts.warnings.isEmpty());
            return;
        }
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened[0].scheme(), u"mailto"_s);
        QCOMPARE(QUrlQuery(opened[0]).queryItemValue(u"subject"_s, QUrl::FullyDecoded), subject);
        QVERIFY(data->text().contains(text));
        QVERIFY(data->html().contains(HtmlExport::makeValidHTML(text)));
        QStringList alerts{u"Message ready|We have copied your message in the pasteboard. You can now paste it in the mail "
                           "window. We are filling out a message window for your convenience."_s};
        if (!opens)
            alerts << u"Run and configure the Mail app"_s;
        QCOMPARE(f.alerts.warnings, alerts);
    }

    void pdf_data()
    {
        QTest::addColumn<int>("items");
        QTest::addColumn<bool>("wrap");
        QTest::addColumn<bool>("numbering");
        QTest::addColumn<int>("minPages");
        QTest::addColumn<int>("maxPages");
        QTest::newRow("numbered") << 3 << false << true << 1 << 1;
        QTest::newRow("long list") << 150 << false << true << 2 << 20;
        QTest::newRow("long list, rewrapped") << 150 << true << false << 2 << 30;
    }

    // Every item reaches the PDF once, whatever the page breaks; page numbers only when asked.
    void pdf()
    {
        QFETCH(int, items);
        QFETCH(bool, wrap);
        QFETCH(bool, numbering);
        QFETCH(int, minPages);
        QFETCH(int, maxPages);
        DocumentFixture f;
        f.document->setUp();
        TODOList *list = f.selectedList(u"Groceries"_s);
        QStringList names;
        for (int i = 0; i < items; ++i) {
            names << u"Item%1x"_s.arg(i, 3, 10, QLatin1Char('0'));
            f.item(i % 2 == 0 ? 0 : 3, names.last())->setDescriptionText(u"note %1"_s.arg(i));
        }
        const QString path = f.dir.filePath(u"list.pdf"_s);
        QString error;
        const int pages = PdfExport::writePdf(*f.document, list, {numbering, wrap}, path, &error);
        QVERIFY2(pages >= minPages && pages <= maxPages, qPrintable(u"%1 pages %2"_s.arg(pages).arg(error)));

        const QString text = pdfText(path);
        QCOMPARE(text.count(QLatin1Char('\f')), pages);
        QVERIFY2(text.contains(u"Groceries"_s), qPrintable(text));
        // No line is cut at a page break; each item is seen once.
        const QString words = pdfText(path, true);
        QVERIFY2(!words.contains(u"cut "_s), qPrintable(words));
        for (const QString &name : std::as_const(names))
            QVERIFY2(words.count(u"in "_s + name + u'\n') == 1, qPrintable(name));
        QCOMPARE(text.contains(u"Page %1 of %1"_s.arg(pages)), numbering);
        if (wrap) {
            // Rewrapped to the page, the text is not scaled down: it takes more pages.
            QVERIFY(pages > PdfExport::writePdf(*f.document, list, {numbering, false}, path, &error));
        }
    }
};

QTEST_MAIN(tst_HtmlExport)
#include "tst_htmlexport.moc"
