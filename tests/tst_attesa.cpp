// Waiting for a long run: busy cursor, and a modal progress window only
// when the run lasts.
#include "qt/Attesa.h"
#include "sistema/ErroreRuntime.h"

#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <chrono>
#include <thread>

namespace {

struct Osservato {
    bool creata = false;         // a progress window existed, even hidden
    bool finestra = false;       // a progress window was visible
    bool modale = false;
    bool pulsanti = false;       // it had a visible button
    QString testo;
    bool cursoreOccupato = false;
};

// Runs qt::attendi with `lavoro`, watching the windows from this thread.
Osservato osserva(const std::function<void()>& lavoro, bool* eccezione = nullptr)
{
    Osservato o;
    QTimer sguardo;
    QObject::connect(&sguardo, &QTimer::timeout, [&] {
        if (QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor)
            o.cursoreOccupato = true;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* p = qobject_cast<QProgressDialog*>(w);
            o.creata |= p != nullptr;
            if (p == nullptr || !p->isVisible())
                continue;
            o.finestra = true;
            o.modale = p->isModal();
            o.testo = p->labelText();
            for (QPushButton* b : p->findChildren<QPushButton*>())
                o.pulsanti |= b->isVisible();
        }
    });
    sguardo.start(10);
    try {
        qt::attendi(QStringLiteral("Attendere..."), lavoro);
    } catch (const sistema::ErroreRuntime&) {
        if (eccezione)
            *eccezione = true;
    }
    return o;
}

void dormi(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool finestraVisibile()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QProgressDialog*>(w) && w->isVisible())
            return true;
    return false;
}

}  // namespace

class TstAttesa : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { qt::impostaRitardoAttesa(1000); }
    void lungaOBreve_data();
    void lungaOBreve();
    void errorePassaAlChiamante();
};

void TstAttesa::lungaOBreve_data()
{
    QTest::addColumn<int>("ritardo");
    QTest::addColumn<int>("durata");
    QTest::addColumn<bool>("finestra");
    QTest::newRow("long run") << 50 << 600 << true;
    QTest::newRow("short run") << 1000 << 30 << false;
    QTest::newRow("instant run") << 1000 << 0 << false;
}

void TstAttesa::lungaOBreve()
{
    QFETCH(int, ritardo);
    QFETCH(int, durata);
    QFETCH(bool, finestra);
    qt::impostaRitardoAttesa(ritardo);
    bool fatto = false;
    const Osservato o = osserva([&] {
        dormi(durata);
        fatto = true;
    });
    QVERIFY(fatto);
    QCOMPARE(o.finestra, finestra);
    QCOMPARE(o.creata, finestra);  // a short run never makes it, so it cannot flash
    if (finestra) {
        QVERIFY(o.modale);
        QVERIFY(!o.pulsanti);
        QCOMPARE(o.testo, QStringLiteral("Attendere..."));
    }
    if (durata >= 100)
        QVERIFY(o.cursoreOccupato);
    // Everything back as it was.
    QVERIFY(!finestraVisibile());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void TstAttesa::errorePassaAlChiamante()
{
    qt::impostaRitardoAttesa(20);
    bool eccezione = false;
    osserva([] {
        dormi(100);
        throw sistema::ErroreRuntime(sistema::CodiceErrore::DiscoPieno);
    }, &eccezione);
    QVERIFY(eccezione);
    QVERIFY(!finestraVisibile());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

QTEST_MAIN(TstAttesa)
#include "tst_attesa.moc"
