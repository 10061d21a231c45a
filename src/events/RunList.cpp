#include "RunList.h"

#include "Corrections.h"
#include "Protocol.h"
#include "TimeText.h"

#include <QDateTime>
#include <algorithm>

namespace {

enum { colTime, colRun, colCar, colStartNo, colName, colLap1 };

QString Time(int ms) {
    return ms < 0 ? QString() : TimeToText(ms);
}

QString ClockOf(qint64 wallMs) {
    return wallMs <= 0 ? QString()
                       : QDateTime::fromMSecsSinceEpoch(wallMs).toString(QStringLiteral("HH:mm:ss"));
}

// What the filter looks through: start number and name, folded as typed text is.
QString KeyOf(const TEffectiveRun& e) {
    return (e.Run.StartNo + QLatin1Char(' ') + e.Run.Name).toCaseFolded();
}

QString CsvField(const QString& text) {
    if (!text.contains(QLatin1Char(';')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString q = text;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

} // namespace

std::vector<TEffectiveRun> LatestRunPerDriver(const std::vector<TEffectiveRun>& newestFirst) {
    std::vector<TEffectiveRun> out;
    QSet<QString> seen;
    for (const TEffectiveRun& e : newestFirst) {
        if (e.Withdrawn) continue;
        const QString key = e.Run.Name.simplified().toCaseFolded();
        if (seen.contains(key)) continue;
        seen.insert(key);
        out.push_back(e);
    }
    std::reverse(out.begin(), out.end());
    return out;
}

TRunListModel::TRunListModel(QObject* parent) : QAbstractTableModel(parent) {}

void TRunListModel::SetRuns(std::vector<TEffectiveRun> runs) {
    beginResetModel();
    FRuns = std::move(runs);
    std::reverse(FRuns.begin(), FRuns.end());
    FLaps = 2;
    FKeys.clear();
    FKeys.reserve(FRuns.size());
    for (const TEffectiveRun& e : FRuns) {
        FLaps = std::max(FLaps, std::min(e.Run.Laps, MaxLaps));
        FKeys.push_back(KeyOf(e));
    }
    Refilter(QString());
    endResetModel();
}

void TRunListModel::AddOlderRuns(std::vector<TEffectiveRun> runs) {
    int laps = FLaps;
    for (const TEffectiveRun& e : runs)
        laps = std::max(laps, std::min(e.Run.Laps, MaxLaps));
    if (laps > FLaps) {
        beginInsertColumns(QModelIndex(), colLap1 + FLaps, colLap1 + laps - 1);
        FLaps = laps;
        endInsertColumns();
    }
    std::vector<int> shown;
    for (TEffectiveRun& e : runs) {
        FKeys.push_back(KeyOf(e));
        FRuns.push_back(std::move(e));
        if (FFolded.isEmpty() || FKeys.back().contains(FFolded)) shown.push_back(int(FRuns.size()) - 1);
    }
    if (shown.empty()) return;
    beginInsertRows(QModelIndex(), int(FShown.size()), int(FShown.size() + shown.size()) - 1);
    FShown.insert(FShown.end(), shown.begin(), shown.end());
    endInsertRows();
}

void TRunListModel::SetFilter(const QString& text) {
    FFilter = text;
    const QString previous = FFolded;
    FFolded = text.trimmed().toCaseFolded();
    if (FFolded == previous) return; // a blank typed at the end finds the same rows
    beginResetModel();
    Refilter(previous);
    endResetModel();
}

void TRunListModel::Refilter(const QString& previous) {
    const QString& f = FFolded;
    if (f.isEmpty()) {
        FShown.resize(FRuns.size());
        for (size_t i = 0; i < FShown.size(); ++i)
            FShown[i] = int(i);
        return;
    }
    // Typing on only narrows: what matches now matched the shorter text too.
    if (!previous.isEmpty() && f.contains(previous)) {
        std::erase_if(FShown, [&](int i) { return !FKeys[size_t(i)].contains(f); });
        return;
    }
    FShown.clear();
    for (int i = 0; i < int(FRuns.size()); ++i)
        if (FKeys[size_t(i)].contains(f)) FShown.push_back(i);
}

void TRunListModel::SetCounting(const QStringList& uuids) {
    FCounting = QSet<QString>(uuids.begin(), uuids.end());
    if (!FShown.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

const TEffectiveRun* TRunListModel::RunAt(int row) const {
    if (row < 0 || row >= int(FShown.size())) return nullptr;
    return &FRuns[size_t(FShown[size_t(row)])];
}

QStringList TRunListModel::Header() const {
    QStringList h{QStringLiteral("Uhrzeit"), QStringLiteral("Lauf"), QStringLiteral("Auto"),
                  QStringLiteral("Start-Nr."), QStringLiteral("Name")};
    for (int k = 1; k <= FLaps; ++k)
        h << QStringLiteral("Runde %1").arg(k);
    h << QStringLiteral("Gesamtzeit") << QStringLiteral("Strafe") << QStringLiteral("Mit Strafe")
      << QStringLiteral("Beste Runde") << QStringLiteral("Status")
      << QStringLiteral("Wertung") << QStringLiteral("Hinweise") << QStringLiteral("Änderungen");
    return h;
}

QString TRunListModel::ChangesText(const TEffectiveRun& e) {
    if (e.History.empty()) return QString();
    const qsizetype stations = e.CorrectingStations().size();
    // Two timing points changed the same run: both changes count, in the order of their time.
    return stations > 1 ? QStringLiteral("%1 (%2 Stationen)").arg(e.History.size()).arg(stations)
                        : QString::number(e.History.size());
}

QString TRunListModel::StatusText(const TEffectiveRun& e) {
    if (e.Withdrawn) return QStringLiteral("zurückgenommen");
    const QString& s = e.Run.Status;
    if (s == RunStatusOk) return QString();
    if (s == RunStatusDsq && !e.StatusReason.isEmpty())
        return s + QStringLiteral(" (") + e.StatusReason + QLatin1Char(')');
    return s;
}

QString TRunListModel::CellText(const TEffectiveRun& e, int column) const {
    const TRunRecord& r = e.Run;
    switch (column) {
    case colTime: return ClockOf(r.StartMs > 0 ? r.StartMs : r.RecordedMs);
    case colRun: return r.RunNo;
    case colCar: return QString::number(r.Car);
    case colStartNo: return r.StartNo;
    case colName: return r.Name;
    default: break;
    }
    const int k = column - colLap1;
    if (k < FLaps) return k < r.Laps ? Time(r.LapMs[size_t(k)]) : QString();
    const bool untimed = r.Status == RunStatusDnf || r.Status == RunStatusDns;
    switch (k - FLaps) {
    case 0: return untimed ? r.Status : Time(r.TotalMs);
    case 1: return e.PenaltyMs() > 0 ? QStringLiteral("+") + TimeToText(e.PenaltyMs()) : QString();
    case 2: return untimed || r.TotalMs < 0 ? Time(-1) : Time(r.TotalMs + e.PenaltyMs());
    case 3: return Time(r.BestMs);
    case 4: return StatusText(e);
    case 5: return FCounting.contains(r.Uuid) ? QStringLiteral("✔") : QString();
    case 6: return NotesText(e);
    case 7: return ChangesText(e);
    default: return QString();
    }
}

QStringList TRunListModel::RowTexts(int row) const {
    const TEffectiveRun* e = RunAt(row);
    if (!e) return {};
    QStringList t;
    for (int c = 0; c < columnCount(); ++c)
        t << CellText(*e, c);
    return t;
}

int TRunListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(FShown.size());
}

int TRunListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : colLap1 + FLaps + 8;
}

QVariant TRunListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole) {
        const TEffectiveRun* e = RunAt(index.row());
        return e ? CellText(*e, index.column()) : QString();
    }
    if (role == Qt::TextAlignmentRole)
        return index.column() == colName ? int(Qt::AlignLeft | Qt::AlignVCenter)
                                         : int(Qt::AlignRight | Qt::AlignVCenter);
    if (role == CountingRole) {
        const TEffectiveRun* e = RunAt(index.row());
        return e && FCounting.contains(e->Run.Uuid);
    }
    if (role == WithdrawnRole) {
        const TEffectiveRun* e = RunAt(index.row());
        return e && e->Withdrawn;
    }
    if (role == FlaggedRole || role == HandTimeRole || role == Qt::ToolTipRole) {
        const TEffectiveRun* e = RunAt(index.row());
        const int field = FieldOfColumn(index.column());
        if (!e || field < 0) return {};
        if (role == Qt::ToolTipRole) return NotesText(*e);
        if (role == FlaggedRole)
            return std::any_of(e->Flags.begin(), e->Flags.end(),
                               [field](const TFlag& f) { return f.Field == field; });
        // A total made of a hand-timed lap is a hand time too.
        return field == 0 ? !e->HandFields.empty()
                          : std::find(e->HandFields.begin(), e->HandFields.end(), field) !=
                                e->HandFields.end();
    }
    return {};
}

int TRunListModel::FieldOfColumn(int col) const {
    if (col >= colLap1 && col < colLap1 + FLaps) return col - colLap1 + 1;
    return col == colLap1 + FLaps ? 0 : -1;
}

QString TRunListModel::NotesText(const TEffectiveRun& e) {
    QStringList notes = RunNotes(e);
    for (const TPenalty& p : e.Penalties)
        notes << QStringLiteral("Strafe: %1 × %2").arg(p.Count).arg(p.Item) +
                     (p.Reason.isEmpty() ? QString() : QStringLiteral(" – ") + p.Reason);
    return notes.join(QStringLiteral("; "));
}

QStringList RunNotes(const TEffectiveRun& e) {
    QStringList notes;
    for (const TFlag& f : e.Flags)
        notes << QStringLiteral("Auffällig: ") + (f.Reason.isEmpty() ? f.Code : f.Reason);
    for (const int field : e.HandFields)
        notes << (field == 0 ? QStringLiteral("Handzeit Gesamtzeit")
                             : QStringLiteral("Handzeit Runde %1").arg(field));
    return notes;
}

QVariant TRunListModel::headerData(int section, Qt::Orientation o, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (o == Qt::Horizontal) return Header().value(section);
    return section + 1;
}

QByteArray TRunListModel::Csv() const {
    QByteArray out("\xEF\xBB\xBF");
    const auto line = [&out](const QStringList& fields) {
        QStringList q;
        for (const QString& f : fields)
            q << CsvField(f);
        out += q.join(QLatin1Char(';')).toUtf8() + "\r\n";
    };
    line(Header());
    for (int row = 0; row < rowCount(); ++row)
        line(RowTexts(row));
    return out;
}

QString TRunListModel::HistoryText(const TCorrection& c) {
    namespace K = CorrectionKind;
    QString what;
    if (c.Kind == K::Undo) what = QStringLiteral("zurückgenommen (Strg+Z)");
    else if (c.Kind == K::Lap) what = QStringLiteral("Runde %1 getippt: %2").arg(c.Field).arg(Time(c.Ms));
    else if (c.Kind == K::Total) what = QStringLiteral("Gesamtzeit getippt: %1").arg(Time(c.Ms));
    else if (c.Kind == K::Dns) what = QStringLiteral("nicht gestartet (DNS)");
    else if (c.Kind == K::Dnf) what = QStringLiteral("ausgefallen (DNF)");
    else if (c.Kind == K::RowDeleted) what = QStringLiteral("Zeile entfernt");
    else if (c.Kind == K::TableCleared) what = QStringLiteral("Protokoll geleert");
    else if (c.Kind == K::ToProtocol) what = QStringLiteral("in das Protokoll übernommen");
    else if (c.Kind == K::Status) what = QStringLiteral("Status: %1").arg(c.Text);
    else if (c.Kind == K::Penalty) what = QStringLiteral("Strafe: %1 × %2").arg(c.Count).arg(c.Text);
    else if (c.Kind == K::Flag) what = QStringLiteral("markiert: %1").arg(c.Text);
    else if (c.Kind == K::Checked) what = QStringLiteral("geprüft");
    else if (c.Kind == K::Exclusion)
        what = c.Text == QLatin1String("on") ? QStringLiteral("Ausschluss") : QStringLiteral("Ausschluss aufgehoben");
    else if (c.Kind == K::HandTime)
        what = (c.Field > 0 ? QStringLiteral("Handzeit Runde %1: %2").arg(c.Field)
                            : QStringLiteral("Handzeit gesamt: %2"))
                   .arg(Time(c.Ms));
    else what = c.Kind;
    if (!c.Reason.isEmpty()) what += QStringLiteral(" – ") + c.Reason;
    return ClockOf(c.RecordedMs) + QLatin1Char(' ') + what;
}

QStringList ProtocolCells(const TEffectiveRun& e) {
    const TRunRecord& r = e.Run;
    QStringList cells(pcCount);
    cells[pcStartNr] = r.StartNo;
    cells[pcName] = r.Name;
    for (int k = 0; k < MaxLaps && k < r.Laps; ++k)
        cells[pcLap1 + k] = Time(r.LapMs[size_t(k)]);
    if (r.Status == RunStatusDnf || r.Status == RunStatusDns)
        cells[pcTotal] = r.Status == RunStatusDnf ? DnfText : DnsText;
    else
        cells[pcTotal] = Time(r.TotalMs);
    cells[pcBest] = Time(r.BestMs);
    return cells;
}
