#include "LiveState.h"

#include "TimeText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QJsonObject TimeObject(int32_t ms) {
    return QJsonObject{{QStringLiteral("ms"), ms}, {QStringLiteral("text"), TimeToText(ms)}};
}

QString StateName(TLiveCar::TState s) {
    switch (s) {
    case TLiveCar::Running:
        return QStringLiteral("running");
    case TLiveCar::Finished:
        return QStringLiteral("finished");
    case TLiveCar::Dnf:
        return QStringLiteral("dnf");
    default:
        return QStringLiteral("ready");
    }
}

QJsonObject StandingsObject(const TLiveState& state) {
    QJsonArray classes;
    for (const TLiveStandingClass& c : state.Standings) {
        QJsonArray rows;
        for (const TLiveStandingRow& r : c.Rows)
            rows.append(QJsonObject{{QStringLiteral("rank"), r.Rank},
                                    {QStringLiteral("startNo"), r.StartNo},
                                    {QStringLiteral("name"), r.Name},
                                    {QStringLiteral("time"), r.Time},
                                    {QStringLiteral("penalty"), r.Penalty},
                                    {QStringLiteral("gap"), r.Gap},
                                    {QStringLiteral("marks"), r.Marks}});
        classes.append(QJsonObject{{QStringLiteral("name"), c.Name},
                                   {QStringLiteral("rows"), rows},
                                   {QStringLiteral("notes"), QJsonArray::fromStringList(c.Notes)}});
    }
    return QJsonObject{{QStringLiteral("rule"), state.StandingsRule},
                       {QStringLiteral("classes"), classes}};
}

QByteArray WithoutBrace(const QJsonObject& doc) {
    return EscapeJsonForHtml(QJsonDocument(doc).toJson(QJsonDocument::Compact)).mid(1);
}

} // namespace

QByteArray LiveStandingsJsonBody(const TLiveState& state, qint64 seq) {
    QJsonObject doc = StandingsObject(state);
    doc.insert(QStringLiteral("version"), 1);
    doc.insert(QStringLiteral("seq"), seq);
    doc.insert(QStringLiteral("title"), state.Title);
    return WithoutBrace(doc);
}

QByteArray LiveSeasonJsonBody(const TLiveState& state, qint64 seq) {
    QJsonArray classes;
    for (const TLiveSeasonClass& c : state.Season) {
        QJsonArray rows;
        for (const QStringList& r : c.Rows)
            rows.append(QJsonArray::fromStringList(r));
        classes.append(QJsonObject{{QStringLiteral("name"), c.Name}, {QStringLiteral("rows"), rows}});
    }
    const QJsonObject doc{{QStringLiteral("version"), 1},
                          {QStringLiteral("seq"), seq},
                          {QStringLiteral("name"), state.SeasonName},
                          {QStringLiteral("rule"), state.SeasonRule},
                          {QStringLiteral("stamp"), state.SeasonStamp},
                          {QStringLiteral("columns"), QJsonArray::fromStringList(state.SeasonColumns)},
                          {QStringLiteral("classes"), classes}};
    return WithoutBrace(doc);
}

QByteArray EscapeJsonForHtml(const QByteArray& json) {
    QByteArray out;
    out.reserve(json.size() + 32);
    for (char c : json) {
        switch (c) {
        case '<':
            out += "\\u003c";
            break;
        case '>':
            out += "\\u003e";
            break;
        case '&':
            out += "\\u0026";
            break;
        default:
            out += c;
        }
    }
    return out;
}

QByteArray LiveStateJsonBody(const TLiveState& state, qint64 seq) {
    QJsonArray current;
    for (const TLiveCar& car : state.Current) {
        QJsonObject c{{QStringLiteral("car"), car.Car},
                      {QStringLiteral("name"), car.Name},
                      {QStringLiteral("state"), StateName(car.State)}};
        QJsonArray laps;
        for (int32_t ms : car.LapMs)
            laps.append(TimeObject(ms));
        c.insert(QStringLiteral("laps"), laps);
        if (car.State == TLiveCar::Running) {
            c.insert(QStringLiteral("start"), car.StartEpochMs);
            c.insert(QStringLiteral("lapStart"), car.LapStartEpochMs);
        }
        if (car.State == TLiveCar::Finished)
            c.insert(QStringLiteral("total"), TimeObject(car.TotalMs));
        current.append(c);
    }
    QJsonArray rows;
    for (const TLiveRow& row : state.Rows) {
        QJsonObject r{{QStringLiteral("rank"), row.Rank},
                      {QStringLiteral("cells"), QJsonArray::fromStringList(row.Cells)}};
        if (!row.Marks.isEmpty()) r.insert(QStringLiteral("marks"), QJsonArray::fromStringList(row.Marks));
        rows.append(r);
    }
    const QJsonObject doc{
        {QStringLiteral("version"), 1},
        {QStringLiteral("seq"), seq},
        {QStringLiteral("title"), state.Title},
        {QStringLiteral("run"), state.RunNumber},
        {QStringLiteral("date"), state.Date.toString(Qt::ISODate)},
        {QStringLiteral("cars"), state.Cars},
        {QStringLiteral("laps"), state.Laps},
        {QStringLiteral("current"), current},
        {QStringLiteral("protocol"),
         QJsonObject{{QStringLiteral("columns"), QJsonArray::fromStringList(state.Columns)},
                     {QStringLiteral("rows"), rows}}},
        {QStringLiteral("standings"), StandingsObject(state)},
        // The season itself is read from /api/season when its stamp changes.
        {QStringLiteral("season"), QJsonObject{{QStringLiteral("name"), state.SeasonName},
                                               {QStringLiteral("stamp"), state.SeasonStamp}}},
    };
    return WithoutBrace(doc);
}

QByteArray LiveStateJson(const QByteArray& body, qint64 serverTimeMs) {
    QByteArray out = "{\"serverTime\":" + QByteArray::number(serverTimeMs);
    if (body.size() > 1) out += ',';
    out += body;
    return out;
}
