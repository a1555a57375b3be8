#include "net/HostLookup.h"

#include <QTest>
#include <QThread>

using namespace Qt::StringLiterals;

class HostLookupTest : public QObject {
    Q_OBJECT
  private slots:
    void answerComesToTheContextsThread();
    void noAnswerAfterTheContextIsGone();
};

void HostLookupTest::answerComesToTheContextsThread() {
    QObject context;
    bool answered = false;
    std::optional<quint32> address;
    QThread* thread = nullptr;
    HostLookup::start(u"localhost"_s, &context, [&](std::optional<quint32> found) {
        answered = true;
        address = found;
        thread = QThread::currentThread();
    });
    QTRY_VERIFY(answered);
    QCOMPARE(address, std::optional<quint32>(0x7F000001u));
    QCOMPARE(thread, QThread::currentThread());

    // A name no resolver knows gives no address, and still an answer.
    answered = false;
    HostLookup::start(u"no such host"_s, &context, [&](std::optional<quint32> found) {
        answered = true;
        address = found;
    });
    QTRY_VERIFY(answered);
    QVERIFY(!address);
}

void HostLookupTest::noAnswerAfterTheContextIsGone() {
    bool answered = false;
    for (int i = 0; i < 20; ++i) {
        auto* context = new QObject;
        HostLookup::start(u"localhost"_s, context,
                          [&](std::optional<quint32>) { answered = true; });
        delete context;
    }
    // Long enough for every worker to finish and post whatever it would.
    QTest::qWait(500);
    QVERIFY(!answered);
}

QTEST_GUILESS_MAIN(HostLookupTest)
#include "test_host_lookup.moc"
