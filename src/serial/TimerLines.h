#pragma once
// Lines of RS-232 timing devices, read without a window. Two families are told
// apart by their shape: 26 characters ` NNNN CC  HH:MM:SS.FFFF GG` (optionally
// two checksum characters) and 30 characters starting with "T ". Times are
// times of day in 1/10000 s.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <map>
#include <vector>

constexpr int64_t TimerDayUnits = 24LL * 3600 * 10000;

struct TTimerImpulse {
    int Number = -1;   // impulse number; -1 for lines that carry none
    QString Channel;   // "C0".."C9", or "1"/"2" of the "T " family
    bool Hand = false; // the device's own key
    int64_t Time = 0;  // time of day, 1/10000 s
    // The impulse's identity: its number, or channel and time when it has none.
    QString Key() const;
};

enum class TTimerLineKind { Impulse, Rejected, Other };

struct TTimerLine {
    TTimerLineKind Kind = TTimerLineKind::Other;
    TTimerImpulse Impulse;
    QString Reason; // why a line was rejected, in German
};

// One line as it came; CR, LF and bytes that are not printable ASCII are left out.
TTimerLine ParseTimerLine(const QByteArray& line);
// The two checksum characters of a 26-character impulse line.
QByteArray TimerChecksum(const QByteArray& line26);
// An impulse line as such a device sends it (without CR), for tools and tests.
QByteArray TimerImpulseLine(int number, const QString& channel, int64_t time, bool checksum,
                            bool hand = false);
// later - earlier in 1/10000 s, across midnight (the later time is never before).
int64_t TimerDifference(int64_t later, int64_t earlier);
// The same difference cut to whole milliseconds, as the window's laps take it.
int32_t TimerDifferenceMs(int64_t later, int64_t earlier);
// "HH:MM:SS.FFFF"
QString TimerTimeText(int64_t time);
// The time of such a text; -1 when it is none.
int64_t TimerTimeFromText(const QString& text);

// later - earlier in 1/10000 s, negative when later lies before (within half a day).
int64_t TimerSignedDifference(int64_t later, int64_t earlier);

// Which impulses were taken, by number, and which numbers are missing. A number
// seen again with another time means the device started counting again (its
// memory cleared): what was taken before no longer counts.
class TImpulseNumbers {
public:
    // False when the impulse was taken before (nothing is taken twice).
    bool Take(const TTimerImpulse& impulse);
    bool Taken(const TTimerImpulse& impulse) const;
    // Numbers skipped before the impulse last taken (numbers wrap after 9999).
    const std::vector<int>& Missing() const { return FMissing; }
    // The time of the latest impulse taken; -1 before the first.
    int64_t LastTime() const { return FLastTime; }
    void Clear();

private:
    std::map<QString, int64_t> FTaken; // key and time
    int FLast = -1;
    int64_t FLastTime = -1;
    std::vector<int> FMissing;
};

// Impulses read back from the device's memory that are not taken yet, from a
// run's start on, in the order of their times: those
// after the last pass taken can still be passes, the rest lie between passes.
struct TStoredImpulses {
    std::vector<TTimerImpulse> After, Between;
};
TStoredImpulses SortStored(std::vector<TTimerImpulse> read, const TImpulseNumbers& taken,
                           int64_t runStart, int64_t lastPass);
