#include "gui/dialogs/formbody.h"

#include <QtTest>

namespace {
// What a form decoder on the server side does: "+" is a space, then
// percent-decoding of UTF-8.
QList<std::pair<QString, QString>> decodeForm(const QByteArray &body)
{
    QList<std::pair<QString, QString>> pairs;
    for (const QByteArray &part : body.split('&')) {
        const int eq = part.indexOf('=');
        auto decode = [](QByteArray b) { return QString::fromUtf8(QByteArray::fromPercentEncoding(b.replace('+', ' '))); };
        pairs.append({decode(part.left(eq)), decode(part.mid(eq + 1))});
    }
    return pairs;
}
} // namespace

class TestReportBody : public QObject {
    Q_OBJECT
private slots:
    void encode_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("plain") << "Hello" << QByteArray("k=Hello");
        QTest::newRow("space") << "a b" << QByteArray("k=a%20b");
        QTest::newRow("plus") << "1+1" << QByteArray("k=1%2B1");
        QTest::newRow("ampersand and equals") << "a=b&c=d" << QByteArray("k=a%3Db%26c%3Dd");
        QTest::newRow("percent signs") << "100% %41 %zz" << QByteArray("k=100%25%20%2541%20%25zz");
        QTest::newRow("japanese") << "日本語のテスト"
                                  << QByteArray("k=%E6%97%A5%E6%9C%AC%E8%AA%9E%E3%81%AE%E3%83%86%E3%82%B9%E3%83%88");
        QTest::newRow("outside the basic plane") << "絵😀" << QByteArray("k=%E7%B5%B5%F0%9F%98%80");
        QTest::newRow("line break and tab") << "改行\nあり\t" << QByteArray("k=%E6%94%B9%E8%A1%8C%0A%E3%81%82%E3%82%8A%09");
        QTest::newRow("hash") << "#1" << QByteArray("k=%231");
        QTest::newRow("empty") << "" << QByteArray("k=");
    }
    void encode()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, expected);
        const QByteArray body = FormBody::encode({{"k", value}});
        QCOMPARE(body, expected);
        // Whatever the bytes, a form decoder must give back the exact text.
        const auto decoded = decodeForm(body);
        QCOMPARE(decoded.size(), 1);
        QCOMPARE(decoded.first().second, value);
    }

    void pairsKeepTheirOrder()
    {
        const QByteArray body = FormBody::encode({{"entry.2", "b+"}, {"entry.1", "a&"}, {"entry.3", "="}});
        QCOMPARE(body, QByteArray("entry.2=b%2B&entry.1=a%26&entry.3=%3D"));
    }
};

QTEST_APPLESS_MAIN(TestReportBody)
#include "tst_reportbody.moc"
