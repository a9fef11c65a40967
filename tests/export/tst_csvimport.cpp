#include <QTest>
class tst_CsvImport : public QObject { Q_OBJECT };
QTEST_MAIN(tst_CsvImport)
#include "tst_csvimport.moc"
