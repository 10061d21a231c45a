#pragma once
#include <QDialog>

class QLabel;
class QPushButton;

// Modal yes/no question: "Ja" answers 6 (yes); "Nein", Escape and closing the
// dialog answer cancel.
class TFDlgYesNo : public QDialog {
    Q_OBJECT
public:
    static constexpr int mrYes = 6;
    static constexpr int mrCancel = 2;

    explicit TFDlgYesNo(QWidget* owner = nullptr);

    QLabel* Label1;
    QLabel* Image1;
    QPushButton* YesBtn;
    QPushButton* NoBtn;

    // Shows the dialog modally, centred on its owner; returns the modal result.
    int ShowModal();
    // Size for the question in Label1 (260 × 120 unless it needs more).
    void FitQuestion();

protected:
    void showEvent(QShowEvent* event) override;
};
