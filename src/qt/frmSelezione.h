#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui { class frmSelezione; }

namespace qt {

// The file selection dialog: a directory list, the list of the folder's files
// that match Variabili::Filtro, a box showing the chosen name, and OK. The
// answer goes to Variabili::PercorsoScelto ("" for none); the folder last
// shown stays in Variabili::CartellaCorrente for the next showing.
//
// One object serves the whole program: mostraModale() loads it afresh,
// shows it and returns once it has been unloaded. It has no Qt owner; the
// window that shows it, `sopra`, only keeps it above (transient for) that
// window at the window-system level.
class frmSelezione : public QDialog {
    Q_OBJECT
public:
    explicit frmSelezione(QWidget* parent = nullptr);
    ~frmSelezione() override;

    void mostraModale(const QWidget* sopra = nullptr);

public slots:
    void reject() override;  // Escape: the user closes the dialog

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;  // close box, system menu, Alt+F4

private:
    // Reasons for an unload.
    static constexpr int chiusoDallUtente = 0;
    static constexpr int chiusoDaCodice = 1;

    void Form_Load();
    void Form_Activate();
    void Dir1_Change();
    void File1_Click();
    void cmdOK_Click();
    void Form_QueryUnload(int motivo);
    void scarica(int motivo);

    std::unique_ptr<Ui::frmSelezione> ui;
    QString Titolo;
    QString Estensione;
    bool giaMostrato_ = false;
};

}  // namespace qt
