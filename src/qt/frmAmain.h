#pragma once

#include <QFont>
#include <QWidget>

#include <array>
#include <memory>

class QLabel;
namespace Ui { class frmAmain; }

namespace qt {

class frmSelezione;

// The main window: a banner, four caption lines and the picture button
// whose click is the program's one command: choose a file in the selection
// dialog, then remove its repeated items.
class frmAmain : public QWidget {
    Q_OBJECT
public:
    explicit frmAmain(QWidget* parent = nullptr);
    ~frmAmain() override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void Form_Load();
    void cmdDuplicate_Click();
    void adattaAlloSchermo();  // the banner and the captions for the window's screen

    std::unique_ptr<Ui::frmAmain> ui;
    std::array<QLabel*, 4> Label1{};
    std::unique_ptr<frmSelezione> selezione_;  // created on first use, kept for the program's life
    QFont didascalie_;  // the captions' font, before any fitting
    bool centrata_ = false;
};

}  // namespace qt
