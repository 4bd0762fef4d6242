#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// Answers the program's modal windows the way a user would, so that tests can
// run through the real QMessageBox and the real dialog: every few
// milliseconds it looks at the active modal window; a message box is
// recorded (title, icon, text) and dismissed with its OK button, any other
// modal window is handed to the test's own handler.
class RispostaMessaggi : public QObject {
    Q_OBJECT
public:
    struct Messaggio {
        QString titolo;
        QMessageBox::Icon icona = QMessageBox::NoIcon;
        QString testo;
        int pulsanti = 0;
    };

    using GestoreFinestra = std::function<void(QWidget*)>;

    explicit RispostaMessaggi(QObject* parent = nullptr);

    // Called once for each other modal window that becomes active.
    void suFinestra(GestoreFinestra gestore) { gestoreFinestra_ = std::move(gestore); }

    // Also called for each message box, after it was recorded, before it is dismissed.
    void suMessaggio(std::function<void(const Messaggio&)> f) { suMessaggio_ = std::move(f); }

    const QList<Messaggio>& messaggi() const { return messaggi_; }

private:
    void guarda();

    QTimer timer_;
    QList<Messaggio> messaggi_;
    GestoreFinestra gestoreFinestra_;
    std::function<void(const Messaggio&)> suMessaggio_;
    QWidget* ultimaFinestra_ = nullptr;
};
