#include "JournalListener.h"
#include "Protocol.h"

namespace {

QString SourceName(TRunEventSource source) {
    switch (source) {
    case TRunEventSource::Mouse:
        return QStringLiteral("Maus");
    case TRunEventSource::Barrier:
        return QStringLiteral("LS");
    case TRunEventSource::Restored:
        return QStringLiteral("Fortsetzung");
    case TRunEventSource::Key:
        break;
    }
    return QStringLiteral("Taste");
}

} // namespace

void TJournalListener::RunEvent(const TRunNotice& n) {
    static const char* const names[] = {"START", "LAP", "FINISH", "DNF", "UNDO", "RESET"};
    const QString event = QLatin1String(names[int(n.Kind)]);
    // Taking back any event of an entered run takes its results back too.
    if (n.Kind == TRunNoticeKind::Reset || n.Kind == TRunNoticeKind::Undo) FResultsEntered = false;
    if (n.Kind == TRunNoticeKind::Reset) {
        FWrite(event, {}, n.WallMs);
        return;
    }
    if (n.Kind == TRunNoticeKind::Undo) {
        FWrite(event,
               {{QStringLiteral("Auto"), QString::number(n.Car)},
                {QStringLiteral("Tick"), QString::number(n.Tick)}},
               n.WallMs);
        return;
    }
    // Enough of the run in every line to pick it up again after a crash.
    Journal::TFields fields{{QStringLiteral("Auto"), QString::number(n.Car)},
            {QStringLiteral("Tick"), QString::number(n.Tick)},
            {QStringLiteral("Quelle"), SourceName(n.Source)},
            {QStringLiteral("Ereignis"), QString::number(n.EventCount)},
            {QStringLiteral("Lauf"), n.RunNumber},
            {QStringLiteral("Autos"), QString::number(n.Cars)},
            {QStringLiteral("Runden"), QString::number(n.Laps)},
            {QStringLiteral("Name1"), n.Names[1]},
            {QStringLiteral("Name2"), n.Names[2]},
            {QStringLiteral("Titel"), n.Title}};
    // The run's identity, fixed here: its database record and a replay use it.
    if (n.Kind == TRunNoticeKind::Start && !n.RunId.isEmpty())
        fields.push_back({QStringLiteral("Id"), n.RunId});
    FWrite(event, fields, n.WallMs);
}

void TJournalListener::ProtocolChanged(const TProtocolChange& c) {
    // A correction names its run and itself: the next start adds what the database lacks.
    const auto identities = [&c](Journal::TFields& fields) {
        if (c.CorrectionId.isEmpty()) return;
        fields.push_back({QStringLiteral("Id"), c.CorrectionId});
        fields.push_back({QStringLiteral("LaufId"), c.RunId});
        if (c.NewRun) fields.push_back({QStringLiteral("Neu"), QStringLiteral("1")});
        if (c.NewRun && !c.StartNr.isEmpty()) fields.push_back({QStringLiteral("StartNr"), c.StartNr});
    };
    switch (c.Kind) {
    case TProtocolChangeKind::ResultsEntered:
        FWrite(QStringLiteral("RESULT"), {}, 0);
        break;
    case TProtocolChangeKind::NotStarted:
    case TProtocolChangeKind::StartedAgain: {
        Journal::TFields fields{{QStringLiteral("Zeile"), QString::number(c.Row)},
                                {QStringLiteral("Name"), c.Name},
                                {QStringLiteral("Lauf"), c.RunNumber}};
        if (c.Kind == TProtocolChangeKind::StartedAgain)
            fields.push_back({QStringLiteral("Zurueck"), QStringLiteral("1")});
        identities(fields);
        FWrite(QStringLiteral("DNS"), fields, 0);
        break;
    }
    case TProtocolChangeKind::LapTyped:
    case TProtocolChangeKind::HandTime: {
        Journal::TFields fields{{QStringLiteral("Zeile"), QString::number(c.Row)},
                                {QStringLiteral("Spalte"), ProtocolCaptions[c.Col]},
                                {QStringLiteral("Text"), c.Text}};
        if (c.Kind == TProtocolChangeKind::HandTime)
            fields.push_back({QStringLiteral("Quelle"), QStringLiteral("Handzeit")});
        if (!c.CorrectionId.isEmpty()) {
            fields.push_back({QStringLiteral("Name"), c.Name});
            fields.push_back({QStringLiteral("Lauf"), c.RunNumber});
        }
        identities(fields);
        FWrite(QStringLiteral("EDIT"), fields, 0);
        break;
    }
    default:
        break;
    }
}

void TJournalListener::BackupWritten(const QString& file, bool modified) {
    FWrite(Journal::BackupEvent,
           {{QStringLiteral("Datei"), file},
            {QStringLiteral("Geaendert"), modified ? "1" : "0"},
            {QStringLiteral("Ergebnis"), FResultsEntered ? "1" : "0"}},
           0);
}

void TJournalListener::BarrierDropped(int dropped, int total) {
    FWrite(QStringLiteral("VERWORFEN"),
           {{QStringLiteral("Anzahl"), QString::number(dropped)},
            {QStringLiteral("Gesamt"), QString::number(total)}},
           0);
}

void TJournalListener::BarrierWatch(const TBarrierWatchNotice& n) {
    static const char* const names[] = {"GETRENNT", "VERBUNDEN", "PRIORITAET"};
    Journal::TFields fields{{QStringLiteral("Port"), QStringLiteral("COM%1").arg(n.Port)}};
    if (!n.Detail.isEmpty())
        fields.push_back({n.Kind == TBarrierWatchNotice::Lost ? QStringLiteral("Fehler")
                                                              : QStringLiteral("Prioritaet"),
                          n.Detail});
    FWrite(QLatin1String(names[n.Kind]), fields, 0);
}
