#pragma once
// A window whose serial port is a simulated light barrier on COM2: line changes
// reach the window through the port's watch thread as at the track.
#include "FMain.h"
#include "SimComDevice.h"
#include "TickSource.h"
#include "WaitUntil.h"

#include <QTest>
#include <thread>

// What the next window starts from, as a program start would find it.
static TRunSettings Run;

struct Barrier {
    TFormMain w{Run};
    std::shared_ptr<TSimComLine> line = TSimComBus::Attach(2);
    int dsrEvents = 0;
    explicit Barrier(int rule, uint32_t initial = 0) {
        line->SetModemStatus(initial);
        w.ComPort->Port = 2;
        w.ComPort->Tag = rule;
        const auto handler = w.ComPort->OnDSR;
        w.ComPort->OnDSR = [this, handler](QObject* s) {
            ++dsrEvents;
            handler(s);
        };
        w.ComPort->Open();
        QVERIFY(WaitUntil([&] { return line->WaitPending(); }));
    }
    // Switches the lines and waits until the window has seen the change.
    void Set(uint32_t status) {
        const int before = dsrEvents;
        line->SetModemStatus(status);
        QVERIFY(WaitUntil([&] { return dsrEvents > before; }));
    }
    // Switches the lines and waits until the watch thread has stamped the
    // change, without letting the window get to it.
    void Taken(uint32_t status) {
        const int reports = line->Reports();
        line->SetModemStatus(status);
        // Waiting again means the change was stamped as well.
        for (int i = 0; i < 40000 && (line->Reports() == reports || !line->WaitPending()); ++i)
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        QVERIFY(line->Reports() != reports);
    }
    // The window gets to what was taken.
    void Serve(int events) {
        QVERIFY(WaitUntil([&] { return dsrEvents >= events; }));
        QTest::qWait(10);
    }
    // The clock moves on to the end of the dead time when it is not there yet.
    void EndDeadTime() {
        QVERIFY(w.TimerGesperrtStart->isActive());
        const uint32_t end = *w.DeadTimeEnd();
        if (TickSource::Diff(end, TickSource::Now()) > 0) TickSource::SetManual(end);
        w.TimerGesperrtTimer();
    }
};
