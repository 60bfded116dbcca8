#include "QObjectPointers.h"
#include "QmlFuture.h"
#include "QmlSharedPointer.h"
#include "TestSupport.h"

#include <QJSEngine>
#include <QJsonArray>
#include <QJsonObject>
#include <QPromise>
#include <QThread>
#include <QTimer>
#include <QUuid>
#include <QtTest>

#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

class NotConnected : public QException
{
public:
    const char *what() const noexcept override { return "Robot is not connected"; }
    void raise() const override { throw *this; }
    NotConnected *clone() const override { return new NotConnected(*this); }
};

enum class Timing { Ready, Later, Worker };

// Makes a promise from a future that is settled before, after (on the GUI thread) or on a worker
// thread. Worker threads are joined by the test.
using Scenario = std::function<QJSValue(QJSEngine *, Timing, std::vector<std::thread> &)>;

template<class T> Scenario scenario(std::function<void(QPromise<T> &)> settle)
{
    return [settle](QJSEngine *engine, Timing timing, std::vector<std::thread> &threads) {
        auto promise = std::make_shared<QPromise<T>>();
        promise->start();
        const auto settleNow = [promise, settle] {
            settle(*promise);
            promise->finish();
        };
        if (timing == Timing::Ready) {
            settleNow();
            return makeQmlPromise(engine, promise->future());
        }
        QJSValue js = makeQmlPromise(engine, promise->future());
        if (timing == Timing::Later)
            QTimer::singleShot(0, qApp, settleNow);
        else
            threads.emplace_back(settleNow);
        return js;
    };
}

// Records where a JavaScript callback ran.
class ThreadProbe : public QObject
{
    Q_OBJECT
public:
    Q_INVOKABLE void record() { onGuiThread = onGuiThread && QThread::currentThread() == thread(); }
    bool onGuiThread = true;
};

} // namespace

Q_DECLARE_METATYPE(Scenario)
Q_DECLARE_METATYPE(Timing)

class tst_QmlPromise : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void settles_data();
    void settles();
    void settlesOnTheGuiThreadFromManyThreads();
    void promisesFromOneFutureAreIndependent();
    void settledWrapperIsCollected_data();
    void settledWrapperIsCollected();
    void engineGoneBeforeTheFutureFinishes();
    void handleKeepsObjectAndDeletesLater();
    void handleCastsSharingOwnership();
    void pointerFactoriesDetachFromParent();
    void metaTypesByName();

private:
    QJSValue observe(const QJSValue &promise);
    std::unique_ptr<QJSEngine> m_engine;
    std::vector<std::thread> m_threads;
};

void tst_QmlPromise::init()
{
    m_engine = std::make_unique<QJSEngine>();
}

void tst_QmlPromise::cleanup()
{
    for (std::thread &thread : m_threads)
        thread.join();
    m_threads.clear();
    m_engine.reset();
    // Objects the engine owned go through deferred deletion, and so do the objects they held.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QJSValue tst_QmlPromise::observe(const QJSValue &promise)
{
    const QJSValue observer = m_engine->evaluate(
        QStringLiteral("(p) => { const box = { state: 'pending' };"
                       "  p.then(v => { box.state = 'resolved'; box.value = v },"
                       "         e => { box.state = 'rejected'; box.error = e });"
                       "  return box }"));
    return observer.call({ promise });
}

void tst_QmlPromise::settles_data()
{
    QTest::addColumn<Scenario>("make");
    QTest::addColumn<QString>("state");
    // A JavaScript predicate on the value (resolved) or on the Error's message (rejected).
    QTest::addColumn<QString>("check");

    const QUuid uuid = QUuid::fromString(u"{8f0c5c3e-3d7e-4c55-9a4e-5b7c2f1d0a11}");
    struct Row
    {
        const char *name;
        Scenario make;
        const char *state;
        QString check;
    };
    const std::vector<Row> rows{
        { "bool", scenario<bool>([](auto &p) { p.addResult(true); }), "resolved",
          "v => v === true" },
        { "json object", scenario<QJsonObject>([](auto &p) {
              p.addResult(QJsonObject{ { "a", 1 }, { "b", QJsonArray{ "x", "y" } } });
          }),
          "resolved", "v => v.a === 1 && v.b.length === 2 && v.b[1] === 'y'" },
        { "uuid", scenario<QUuid>([uuid](auto &p) { p.addResult(uuid); }), "resolved",
          QStringLiteral("v => String(v).toLowerCase() === '%1'").arg(uuid.toString()) },
        { "handle", scenario<QmlSharedPointer *>([](auto &p) {
              auto object = orvane::make_shared_qptr<QObject>(nullptr);
              object->setObjectName("held");
              object->moveToThread(qApp->thread());
              // Made where the future finishes, handed to the GUI thread with the result,
              // owned by the engine once QML has it.
              QmlSharedPointer *handle = makeQmlSharedPointer(nullptr, object);
              handle->moveToThread(qApp->thread());
              QJSEngine::setObjectOwnership(handle, QJSEngine::JavaScriptOwnership);
              p.addResult(handle);
          }),
          "resolved", "v => v.getObject().objectName === 'held'" },
        { "null handle", scenario<QmlSharedPointer *>([](auto &p) {
              p.addResult(static_cast<QmlSharedPointer *>(nullptr));
          }),
          "resolved", "v => v === null" },
        { "void", scenario<void>([](auto &) {}), "resolved", "v => v === undefined" },
        { "string list", scenario<QStringList>([](auto &p) {
              p.addResult(QStringList{ "a", "b" });
          }),
          "resolved", "v => v.join() === 'a,b'" },
        { "not connected", scenario<bool>([](auto &p) { p.setException(NotConnected()); }),
          "rejected", "m => m === 'Robot is not connected'" },
        { "void not connected", scenario<void>([](auto &p) { p.setException(NotConnected()); }),
          "rejected", "m => m === 'Robot is not connected'" },
        { "void std exception", scenario<void>([](auto &p) {
              p.setException(std::make_exception_ptr(std::runtime_error("disk full")));
          }),
          "rejected", "m => m === 'disk full'" },
        // The faults below left the promise pending for ever.
        { "std exception", scenario<QUuid>([](auto &p) {
              p.setException(std::make_exception_ptr(std::runtime_error("disk full")));
          }),
          "rejected", "m => m === 'Unknown error'" },
        { "void foreign exception",
          scenario<void>([](auto &p) { p.setException(std::make_exception_ptr(42)); }), "rejected",
          "m => m === 'Unknown error'" },
        { "canceled", scenario<bool>([](auto &p) { p.future().cancel(); }), "rejected",
          "m => m === 'Operation canceled'" },
        { "void canceled", scenario<void>([](auto &p) { p.future().cancel(); }), "rejected",
          "m => m === 'Operation canceled'" },
        { "no result", scenario<QJsonObject>([](auto &) {}), "rejected",
          "m => m === 'Operation finished without a result'" },
    };
    const std::pair<const char *, Timing> timings[]
        = { { "ready", Timing::Ready }, { "later", Timing::Later }, { "worker", Timing::Worker } };
    for (const Row &row : rows) {
        for (const auto &[timingName, timing] : timings) {
            const Timing t = timing;
            const Scenario make = row.make;
            QTest::addRow("%s, %s", row.name, timingName)
                << Scenario([make, t](QJSEngine *e, Timing, std::vector<std::thread> &th) {
                       return make(e, t, th);
                   })
                << row.state << row.check;
        }
    }
}

void tst_QmlPromise::settles()
{
    QFETCH(Scenario, make);
    QFETCH(QString, state);
    QFETCH(QString, check);

    const QJSValue promise = make(m_engine.get(), Timing::Ready, m_threads);
    QVERIFY(promise.toString().contains("Promise"));
    const QJSValue box = observe(promise);
    QTRY_COMPARE_WITH_TIMEOUT(box.property("state").toString(), state, nimbrel::test::scaled(5000));
    const QJSValue subject
        = state == "resolved" ? box.property("value") : box.property("error").property("message");
    if (state == "rejected")
        QCOMPARE(box.property("error").property("name").toString(), QStringLiteral("Error"));
    const QJSValue verdict = m_engine->evaluate(check).call({ subject });
    QVERIFY2(verdict.toBool(), qPrintable(subject.toString()));
}

void tst_QmlPromise::settlesOnTheGuiThreadFromManyThreads()
{
    ThreadProbe probe;
    m_engine->globalObject().setProperty("probe", m_engine->newQObject(&probe));
    QJSEngine::setObjectOwnership(&probe, QJSEngine::CppOwnership);
    const QJSValue collect = m_engine->evaluate(QStringLiteral(
        "(p, sum) => p.then(v => { probe.record(); sum.total += v; sum.count += 1 })"));
    QJSValue sum = m_engine->newObject();
    sum.setProperty("total", 0);
    sum.setProperty("count", 0);

    constexpr int count = 64;
    std::vector<std::shared_ptr<QPromise<int>>> promises;
    for (int i = 0; i < count; ++i) {
        auto promise = std::make_shared<QPromise<int>>();
        promise->start();
        collect.call({ makeQmlPromise(m_engine.get(), promise->future()), sum });
        promises.push_back(promise);
    }
    for (int i = 0; i < count; ++i) {
        m_threads.emplace_back([promise = promises[i], i] {
            promise->addResult(i);
            promise->finish();
        });
    }
    QTRY_COMPARE_WITH_TIMEOUT(sum.property("count").toInt(), count, nimbrel::test::scaled(10000));
    QCOMPARE(sum.property("total").toInt(), count * (count - 1) / 2);
    QVERIFY(probe.onGuiThread);
}

void tst_QmlPromise::promisesFromOneFutureAreIndependent()
{
    QPromise<bool> source;
    source.start();
    const QJSValue first = observe(makeQmlPromise(m_engine.get(), source.future()));
    const QJSValue second = observe(makeQmlPromise(m_engine.get(), source.future()));
    source.addResult(false);
    source.finish();
    QTRY_COMPARE(first.property("state").toString(), QStringLiteral("resolved"));
    QTRY_COMPARE(second.property("state").toString(), QStringLiteral("resolved"));
    QCOMPARE(first.property("value").toBool(), false);
}

void tst_QmlPromise::settledWrapperIsCollected_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::newRow("resolved") << false;
    QTest::newRow("canceled") << true;
}

void tst_QmlPromise::settledWrapperIsCollected()
{
    QFETCH(bool, cancel);
    QPromise<bool> source;
    source.start();
    auto *wrapper = new QmlFuture<bool>(source.future(), m_engine.get());
    QPointer<QObject> guard(wrapper);
    {
        const QJSValue self = m_engine->newQObject(wrapper);
        wrapper->setSelfReference(self);
        const QJSValue noop = m_engine->evaluate(QStringLiteral("() => {}"));
        QMetaObject::invokeMethod(wrapper, "registerFutureCallback", Q_ARG(QJSValue, noop),
                                  Q_ARG(QJSValue, noop));
    }
    m_engine->collectGarbage();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY2(guard, "a pending wrapper must not be collected");

    if (cancel)
        source.future().cancel();
    else
        source.addResult(true);
    source.finish();
    QTRY_VERIFY(!guard || !wrapper->isPending());
    const auto collected = [this, &guard] {
        m_engine->collectGarbage();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return guard.isNull();
    };
    QTRY_VERIFY_WITH_TIMEOUT(collected(), nimbrel::test::scaled(5000));
}

void tst_QmlPromise::engineGoneBeforeTheFutureFinishes()
{
    // The wrapper outlives its engine here (owned by C++), as it could while a worker still
    // holds the future: finishing the future must not touch the dead engine.
    QPromise<QJsonObject> source;
    source.start();
    auto wrapper = std::make_unique<QmlFuture<QJsonObject>>(source.future(), m_engine.get());
    wrapper->setSelfReference(m_engine->newQObject(wrapper.get()));
    QJSEngine::setObjectOwnership(wrapper.get(), QJSEngine::CppOwnership);
    const QJSValue noop = m_engine->evaluate(QStringLiteral("() => {}"));
    wrapper->registerFutureCallback(noop, noop);
    QVERIFY(wrapper->isPending());
    m_engine.reset();

    std::thread worker([&source] {
        source.addResult(QJsonObject{ { "late", true } });
        source.finish();
    });
    worker.join();
    QVERIFY(source.future().isFinished());
    // The watcher reports the end from the event loop: run it; nothing may touch the engine.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

void tst_QmlPromise::handleKeepsObjectAndDeletesLater()
{
    auto object = orvane::make_shared_qptr<QObject>(m_engine.get());
    QPointer<QObject> guard(object.get());
    QmlSharedPointer *handle = makeQmlSharedPointer(m_engine.get(), object);
    QCOMPARE(QJSEngine::objectOwnership(handle), QJSEngine::JavaScriptOwnership);
    QCOMPARE(handle->getObject(), object.get());
    QCOMPARE(handle->getObject(), object.get());
    QCOMPARE(QJSEngine::objectOwnership(object.get()), QJSEngine::CppOwnership);

    object.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY2(guard, "the handle still owns the object");
    delete handle;
    QVERIFY2(guard, "the last release only schedules the deletion");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(guard.isNull());

    QmlSharedPointer *untouched = makeQmlSharedPointer(nullptr, {});
    QCOMPARE(QJSEngine::objectOwnership(untouched), QJSEngine::CppOwnership);
    QCOMPARE(untouched->getObject(), nullptr);
    delete untouched;
}

void tst_QmlPromise::handleCastsSharingOwnership()
{
    auto timer = orvane::make_shared_qptr<QTimer>(nullptr);
    QmlSharedPointer handle(timer);
    const std::shared_ptr<QTimer> asTimer = handle.as<QTimer>();
    QCOMPARE(asTimer.get(), timer.get());
    QCOMPARE(timer.use_count(), 3);
    QVERIFY(!handle.as<QThread>());
    QCOMPARE(timer.use_count(), 3);
}

void tst_QmlPromise::pointerFactoriesDetachFromParent()
{
    QObject parent;
    {
        auto shared = orvane::make_shared_qptr<QTimer>(m_engine.get(), &parent);
        QCOMPARE(shared->parent(), nullptr);
        QCOMPARE(QJSEngine::objectOwnership(shared.get()), QJSEngine::CppOwnership);
    }
    auto unique = orvane::make_unique_qptr<QTimer>(nullptr, &parent);
    QCOMPARE(unique->parent(), nullptr);
    QPointer<QTimer> guard(unique.get());
    unique.reset();
    QVERIFY(guard);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(guard.isNull());
    QCOMPARE(parent.children().size(), 0);
}

void tst_QmlPromise::metaTypesByName()
{
    orvane::registerPointerMetaTypes();
    QCOMPARE(QMetaType::fromName("orvane::shared_qptr<QObject>"),
             QMetaType::fromType<std::shared_ptr<QObject>>());
    QCOMPARE(QMetaType::fromName("orvane::unique_qptr<QObject>"),
             QMetaType::fromType<orvane::unique_qptr<QObject>>());
    auto object = std::make_shared<QObject>();
    const QVariant carried = QVariant::fromValue(object);
    QCOMPARE(carried.value<std::shared_ptr<QObject>>().get(), object.get());
}

QTEST_GUILESS_MAIN(tst_QmlPromise)
#include "tst_qmlPromise.moc"
