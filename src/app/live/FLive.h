#pragma once
#include "QrCode.h"

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <functional>

// Draws a QR code with its quiet zone, as large as the widget allows.
class TQrView : public QWidget {
public:
    explicit TQrView(QWidget* parent = nullptr);
    void SetText(const QString& text);
    const TQrMatrix& Matrix() const { return FMatrix; }
    QSize sizeHint() const override { return {232, 232}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TQrMatrix FMatrix;
};

// The small window of the live results: switch, port, the addresses to open on
// a phone and a QR code of the chosen one.
class TFormLive : public QDialog {
public:
    explicit TFormLive(QWidget* parent = nullptr);

    QCheckBox* cbLiveOn;
    QSpinBox* seLivePort;
    QLabel* lStatus;
    QListWidget* lbAddresses;
    TQrView* QrView;
    QLabel* lHint;
    QPushButton* bClose;

    // Shows whether the page is served, on which port and where; error in red.
    void ShowState(bool on, int port, const QStringList& addresses, const QString& error);

    // The operator switched the page on or off (port as set in the window).
    std::function<void(QObject* sender, bool on, int port)> OnSwitch;

private:
    void AddressChosen();
};
