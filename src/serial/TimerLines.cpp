#include "TimerLines.h"

#include <algorithm>

namespace {

bool Digits(const QByteArray& s, int from, int count) {
    for (int i = from; i < from + count; ++i)
        if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
    return true;
}

int Number(const QByteArray& s, int from, int count) {
    int n = 0;
    for (int i = from; i < from + count; ++i)
        n = n * 10 + (s[i] - '0');
    return n;
}

// "SS.FFFF" (the fraction may be shorter, a comma stands for the point) to 1/10000 s.
bool Seconds(const QByteArray& text, int64_t& units) {
    const QByteArray s = text.trimmed();
    if (s.size() < 2 || !Digits(s, 0, 2)) return false;
    const int sec = Number(s, 0, 2);
    if (sec > 59) return false;
    int64_t fraction = 0;
    if (s.size() > 2) {
        if (s[2] != '.' && s[2] != ',') return false;
        const int digits = s.size() - 3;
        if (digits < 1 || digits > 4 || !Digits(s, 3, digits)) return false;
        fraction = Number(s, 3, digits);
        for (int i = digits; i < 4; ++i)
            fraction *= 10;
    }
    units = sec * 10000LL + fraction;
    return true;
}

bool HoursMinutes(const QByteArray& s, int h, int m, int64_t& units) {
    if (!Digits(s, h, 2) || !Digits(s, m, 2)) return false;
    const int hours = Number(s, h, 2), minutes = Number(s, m, 2);
    if (hours > 23 || minutes > 59) return false;
    units = (hours * 60LL + minutes) * 60 * 10000;
    return true;
}

TTimerLine Rejected(const QString& reason) {
    TTimerLine r;
    r.Kind = TTimerLineKind::Rejected;
    r.Reason = reason;
    return r;
}

TTimerLine ImpulseLine(const QByteArray& s) {
    if (s.size() == 28 && TimerChecksum(s.left(26)) != s.mid(26))
        return Rejected(QStringLiteral("Prüfsumme falsch"));
    TTimerLine r;
    TTimerImpulse& i = r.Impulse;
    i.Number = Number(s, 1, 4);
    i.Channel = QString::fromLatin1(s.mid(6, 2));
    i.Hand = s[8] == 'M';
    int64_t hm = 0, sec = 0;
    if (s[12] != ':' || s[15] != ':' || !HoursMinutes(s, 10, 13, hm) ||
        !Seconds(s.mid(16, 7), sec) || s[18] != '.' || s[23] != ' ')
        return Rejected(QStringLiteral("Zeit unlesbar"));
    i.Time = hm + sec;
    r.Kind = TTimerLineKind::Impulse;
    return r;
}

TTimerLine TLine(const QByteArray& s) {
    // Columns counted from 1: channel 13-14, hours 16-17, minutes 19-20, seconds from 22.
    const QByteArray channel = s.mid(12, 2).trimmed();
    if (channel != "1" && channel != "2" && channel != "M1" && channel != "M2")
        return Rejected(QStringLiteral("Kanal unlesbar"));
    int64_t hm = 0, sec = 0;
    if (!HoursMinutes(s, 15, 18, hm) || !Seconds(s.mid(21), sec))
        return Rejected(QStringLiteral("Zeit unlesbar"));
    TTimerLine r;
    r.Kind = TTimerLineKind::Impulse;
    r.Impulse.Hand = channel.startsWith('M');
    r.Impulse.Channel = QString::fromLatin1(channel.right(1));
    r.Impulse.Time = hm + sec;
    return r;
}

} // namespace

QString TTimerImpulse::Key() const {
    if (Number >= 0) return QString::number(Number);
    return Channel + QLatin1Char('@') + QString::number(Time);
}

QByteArray TimerChecksum(const QByteArray& line26) {
    unsigned sum = 0;
    for (char c : line26)
        sum += static_cast<unsigned char>(c);
    sum &= 0xFF;
    QByteArray pair(2, '0');
    pair[0] = static_cast<char>(0x30 + (sum >> 4));
    pair[1] = static_cast<char>(0x30 + (sum & 0xF));
    return pair;
}

TTimerLine ParseTimerLine(const QByteArray& raw) {
    // The lines are printable ASCII: a NUL or 0xFF a line picks up (an adapter plugged in,
    // the device switched on) would make it an answer and lose the impulse.
    QByteArray s;
    for (const char c : raw)
        if (c >= 0x20 && c < 0x7f) s += c;
    // An impulse line by its head: " NNNN C"; anything else of another length is an answer.
    if ((s.size() == 26 || s.size() == 28) && s[0] == ' ' && Digits(s, 1, 4) && s[5] == ' ' &&
        s[6] == 'C' && Digits(s, 7, 1))
        return ImpulseLine(s);
    if (s.size() == 30 && s.startsWith("T ")) return TLine(s);
    return {};
}

QByteArray TimerImpulseLine(int number, const QString& channel, int64_t time, bool checksum,
                            bool hand) {
    QByteArray line = QStringLiteral(" %1 %2%3 %4 00")
                          .arg(number % 10000, 4, 10, QLatin1Char('0'))
                          .arg(channel, hand ? QStringLiteral("M") : QStringLiteral(" "))
                          .arg(TimerTimeText(time))
                          .toLatin1();
    if (checksum) line += TimerChecksum(line);
    return line;
}

int64_t TimerDifference(int64_t later, int64_t earlier) {
    return ((later - earlier) % TimerDayUnits + TimerDayUnits) % TimerDayUnits;
}

int32_t TimerDifferenceMs(int64_t later, int64_t earlier) {
    return static_cast<int32_t>(TimerDifference(later, earlier) / 10);
}

QString TimerTimeText(int64_t time) {
    const int64_t t = ((time % TimerDayUnits) + TimerDayUnits) % TimerDayUnits;
    return QStringLiteral("%1:%2:%3.%4")
        .arg(t / 36000000, 2, 10, QLatin1Char('0'))
        .arg(t / 600000 % 60, 2, 10, QLatin1Char('0'))
        .arg(t / 10000 % 60, 2, 10, QLatin1Char('0'))
        .arg(t % 10000, 4, 10, QLatin1Char('0'));
}

int64_t TimerTimeFromText(const QString& text) {
    const QByteArray s = text.toLatin1();
    int64_t hm = 0, sec = 0;
    if (s.size() < 8 || s[2] != ':' || s[5] != ':' || !HoursMinutes(s, 0, 3, hm) ||
        !Seconds(s.mid(6), sec))
        return -1;
    return hm + sec;
}

int64_t TimerSignedDifference(int64_t later, int64_t earlier) {
    const int64_t d = TimerDifference(later, earlier);
    return d > TimerDayUnits / 2 ? d - TimerDayUnits : d;
}

bool TImpulseNumbers::Take(const TTimerImpulse& impulse) {
    const auto seen = FTaken.find(impulse.Key());
    if (seen != FTaken.end() && seen->second == impulse.Time) return false;
    if (seen != FTaken.end()) Clear();
    FTaken.emplace(impulse.Key(), impulse.Time);
    FMissing.clear();
    if (FLastTime < 0 || TimerSignedDifference(impulse.Time, FLastTime) > 0)
        FLastTime = impulse.Time;
    if (impulse.Number < 0) return true;
    if (FLast >= 0) {
        // Forward within half the number range: the numbers between were never seen.
        const int ahead = (impulse.Number - FLast + 10000) % 10000;
        if (ahead > 1 && ahead < 5000)
            for (int n = (FLast + 1) % 10000; n != impulse.Number; n = (n + 1) % 10000)
                if (!FTaken.count(QString::number(n))) FMissing.push_back(n);
        if (ahead == 0 || ahead >= 5000) return true; // a late one, read back
    }
    FLast = impulse.Number;
    return true;
}

bool TImpulseNumbers::Taken(const TTimerImpulse& impulse) const {
    const auto seen = FTaken.find(impulse.Key());
    return seen != FTaken.end() && seen->second == impulse.Time;
}

void TImpulseNumbers::Clear() {
    FTaken.clear();
    FLast = -1;
    FLastTime = -1;
    FMissing.clear();
}

TStoredImpulses SortStored(std::vector<TTimerImpulse> read, const TImpulseNumbers& taken,
                           int64_t runStart, int64_t lastPass) {
    std::erase_if(read, [&](const TTimerImpulse& i) {
        return taken.Taken(i) || TimerSignedDifference(i.Time, runStart) < 0;
    });
    std::stable_sort(read.begin(), read.end(), [&](const TTimerImpulse& a, const TTimerImpulse& b) {
        return TimerDifference(a.Time, runStart) < TimerDifference(b.Time, runStart);
    });
    TStoredImpulses s;
    for (const TTimerImpulse& i : read) {
        // The same impulse sent twice in one read-back is offered once.
        const auto same = [&](const TTimerImpulse& o) {
            return o.Key() == i.Key() && o.Time == i.Time;
        };
        if (std::any_of(s.After.begin(), s.After.end(), same) ||
            std::any_of(s.Between.begin(), s.Between.end(), same))
            continue;
        (TimerSignedDifference(i.Time, lastPass) > 0 ? s.After : s.Between).push_back(i);
    }
    return s;
}
