#pragma once
// The dialog "Server und Station": where this station forwards its runs and
// under which name. A password typed into the connection is removed with a
// message: passwords belong in ~/.pgpass.
#include "ServerSettings.h"

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <functional>

class TFormServer : public QDialog {
public:
    explicit TFormServer(QWidget* parent = nullptr);

    QLineEdit *eServer, *eStation;
    QCheckBox* cbToProtocol;
    QLabel* lState;
    QPushButton *bOk, *bCancel;

    void SetValues(const QString& server, const QString& station, bool toProtocol, const QString& state);
    // Checks the fields: false (and a message) when the connection cannot be used
    // or the station has no name. A removed password is told, the rest kept.
    bool Check();
    TServerConnection Connection() const { return FConnection; }
    QString Station() const { return CleanStationName(eStation->text()); }

    // Message box; tests replace it.
    static std::function<void(QWidget*, const QString&)> ShowMessage;

private:
    TServerConnection FConnection;
};
