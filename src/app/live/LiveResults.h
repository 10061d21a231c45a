#pragma once
// Live results on the local network: after every change of the run or the
// protocol the window's state goes to the web server as one snapshot; the server
// serves it on its own thread. Its switch and port live beside the settings.
#include "LiveServer.h"
#include "RunListener.h"

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

class QTimer;
class TFormLive;
class TFormMain;

class TLiveResults : public QObject, public TRunListener {
public:
    explicit TLiveResults(TFormMain& window);
    ~TLiveResults() override;

    // After every change of the run or the protocol: the open pages follow.
    void Changed();
    TLiveState Snapshot() const;
    // Switches the web server on or off; false (and a message) when it cannot start.
    bool Switch(bool on, int port);
    // The small window with switch, port, addresses and QR code (Ctrl+L).
    void ShowWindow();
    // Nothing reaches the server any more: before the window's controls go.
    void Close();

    TLiveServer* Server() const { return FServer.get(); }
    TFormLive* Form() const { return FForm; }
    static QString BindAddress; // all IPv4 interfaces; tests keep it on 127.0.0.1
    // A small mark of a protocol cell ("!" suspicious, "H" hand time); unset: none.
    std::function<QString(int col, int row)> CellMark;
    // The standings of the event for the page; unset: none.
    std::function<void(TLiveState& state)> FillStandings;

    void RunEvent(const TRunNotice&) override { Changed(); }
    void ProtocolChanged(const TProtocolChange&) override { Changed(); }
    void RunArranged() override { Changed(); }

private:
    bool Start(QString& error);
    void Publish();

    TFormMain& FWindow;
    std::unique_ptr<TLiveServer> FServer;
    TFormLive* FForm = nullptr;
    QTimer* FTimer = nullptr;
    int FPort = 8080;
    std::vector<QMetaObject::Connection> FConnections;
};
